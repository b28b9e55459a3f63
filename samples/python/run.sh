#!/usr/bin/env bash
# Builds the library (default preset, build/default) and runs this sample's tests with Debian's
# Python and pytest against it. Installs python3-pytest when missing. PDFMERGE_BUILD_DIR picks
# another build folder.
set -euo pipefail
cd "$(dirname "$0")/../.."
scripts/setup.sh python3-pytest

build="${PDFMERGE_BUILD_DIR:-build/default}"
[ -f "$build/CMakeCache.txt" ] || cmake --preset default -B "$build" >/dev/null
cmake --build "$build" --target kq_out_pdfmerge -j2 >/dev/null
export KQ_PDFMERGE_LIBRARY="$PWD/$build/libkq_out_pdfmerge.so.0"
# Debian's interpreter, which the python3-pytest package serves (another python3 may come first
# on PATH).
/usr/bin/python3 -m pytest -p no:cacheprovider samples/python "$@"
