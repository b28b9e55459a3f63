#!/usr/bin/env bash
# Builds the library (default preset, build/default) and this sample with Mono's C# compiler,
# then runs it with Mono against the Linux library on the bundled examples. Installs mono-mcs
# and mono-runtime from Debian when missing. PDFMERGE_BUILD_DIR picks another build folder.
set -euo pipefail
cd "$(dirname "$0")/../.."
scripts/setup.sh mono-mcs mono-runtime

build="${PDFMERGE_BUILD_DIR:-build/default}"
[ -f "$build/CMakeCache.txt" ] || cmake --preset default -B "$build" >/dev/null
cmake --build "$build" --target kq_out_pdfmerge -j2 >/dev/null
out="$build/samples/csharp"
rm -rf "$out"
mkdir -p "$out"
mcs -nologo -warnaserror -out:"$out/samples.exe" samples/csharp/KqPdfMerge.cs \
  samples/csharp/Program.cs
# Mono finds libkq_out_pdfmerge.so through the loader's search path.
LD_LIBRARY_PATH="$PWD/$build${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" \
  mono "$out/samples.exe" examples "$out/work"
