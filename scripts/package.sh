#!/usr/bin/env bash
# Builds the release packages from this checkout into dist/ (or the folder given):
#   kq_out_pdfmerge-VERSION-windows-x64.zip     the DLL, the program, import libraries for
#                                               Microsoft's linker and MinGW, the .def, header,
#                                               CMake package, pkg-config file, README, CHANGES,
#                                               LICENSE
#   kq_out_pdfmerge-VERSION-linux-x86_64.tar.gz the installed tree (versioned .so and its links,
#                                               header, program, manual page, CMake package,
#                                               pkg-config file, the documents in share/doc/)
#   kq_pdfmerge-VERSION-py3-none-manylinux_2_N_x86_64.whl, ...-win_amd64.whl
#                                               the Python package with the library beside it
#   KqOutPdfMerge.VERSION.nupkg                 the .NET wrapper and both native libraries
# VERSION is the header's. Installs what it needs from Debian when missing (mingw-w64, LLVM's
# dlltool, Mono's compiler). The Windows build is the windows preset's (build/windows, built
# when needed); the Linux one is the package-linux preset's, with the C++ runtime linked in so
# that the packages run on any x86-64 Linux with the C library they name.
#
#   scripts/package.sh [DIST]          then: scripts/check_packages.sh [DIST]
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
dist="${1:-dist}"
mkdir -p "$dist"
dist="$(cd "$dist" && pwd)"

scripts/setup.sh googletest g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 llvm \
  mono-mcs mono-runtime

step() { echo "== $*"; }
version=$(sed -n 's/^#define KQ_PDFMERGE_VERSION_STRING "\(.*\)"$/\1/p' include/kq_out_pdfmerge.h)
work="build/package"
rm -rf "$work"
mkdir -p "$work"
rm -f "$dist"/kq_out_pdfmerge-*-windows-x64.zip "$dist"/kq_out_pdfmerge-*-linux-x86_64.tar.gz \
  "$dist"/kq_pdfmerge-*.whl "$dist"/KqOutPdfMerge.*.nupkg

step "Linux build (preset package-linux)"
cmake --preset package-linux >/dev/null
cmake --build --preset package-linux
linux="$work/linux/kq_out_pdfmerge-$version-linux-x86_64"
cmake --install build/package-linux --strip --prefix "$linux" >/dev/null
mkdir -p "$linux/share/doc/kq_out_pdfmerge"
cp README.md CHANGES.md LICENSE "$linux/share/doc/kq_out_pdfmerge/"
so="$linux/lib/libkq_out_pdfmerge.so.$version"

step "Windows build (preset windows)"
[ -f build/windows/CMakeCache.txt ] || cmake --preset windows >/dev/null
cmake --build build/windows --target kq_out_pdfmerge kq-pdfmerge -j2
windows="$work/windows/kq_out_pdfmerge-$version-windows-x64"
cmake --install build/windows --strip --prefix "$windows" >/dev/null
# The import library that Microsoft's linker (and lld-link, clang-cl) reads, made from the
# export list; the installed one, libkq_out_pdfmerge.dll.a, serves MinGW.
python3 packaging/write_def.py "$windows/lib/kq_out_pdfmerge.def"
llvm-dlltool -m i386:x86-64 -d "$windows/lib/kq_out_pdfmerge.def" -l "$windows/lib/kq_out_pdfmerge.lib"
cp README.md CHANGES.md LICENSE "$windows/"
dll="$windows/bin/kq_out_pdfmerge.dll"

step "archives"
python3 packaging/write_archive.py "$windows" "$dist/kq_out_pdfmerge-$version-windows-x64.zip"
python3 packaging/write_archive.py "$linux" "$dist/kq_out_pdfmerge-$version-linux-x86_64.tar.gz"

step "Python wheels"
python3 packaging/write_wheel.py --library "$so" --platform linux --out "$dist"
python3 packaging/write_wheel.py --library "$dll" --platform windows --out "$dist"

step "NuGet package"
assembly="$work/nuget"
mkdir -p "$assembly"
cat >"$assembly/AssemblyInfo.cs" <<EOF
// Made by scripts/package.sh from the header's version.
using System.Reflection;
[assembly: AssemblyTitle("KqOutPdfMerge")]
[assembly: AssemblyDescription("Page counts and merges of PDF files through kq_out_pdfmerge")]
[assembly: AssemblyProduct("kq_out_pdfmerge")]
[assembly: AssemblyVersion("$version.0")]
[assembly: AssemblyFileVersion("$version.0")]
[assembly: AssemblyInformationalVersion("$version")]
EOF
# -nowarn:1591: members without a documentation comment are the native declarations, which the
# C header documents.
mcs -nologo -warnaserror -nowarn:1591 -optimize+ -target:library \
  -out:"$assembly/KqOutPdfMerge.dll" -doc:"$assembly/KqOutPdfMerge.xml" \
  samples/csharp/KqPdfMerge.cs "$assembly/AssemblyInfo.cs"
cp packaging/nuget/KqOutPdfMerge.dll.config "$assembly/"
repository="${PDFMERGE_REPOSITORY_URL:-$(git remote get-url origin 2>/dev/null || true)}"
case "$repository" in https://* | http://* | git@*) ;; *) repository="" ;; esac
python3 packaging/write_nupkg.py --assembly "$assembly" --windows-dll "$dll" --linux-so "$so" \
  --out "$dist" --repository "$repository" --commit "$(git rev-parse HEAD 2>/dev/null || true)"

step "packages of kq_out_pdfmerge $version in $dist"
(cd "$dist" && ls -l kq_out_pdfmerge-"$version"-* kq_pdfmerge-"$version"-*.whl \
  KqOutPdfMerge."$version".nupkg | awk '{print $5, $9}')
