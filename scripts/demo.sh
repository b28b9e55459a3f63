#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds, counts the pages of the bundled examples and merges
# them into one file.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default --target kq-pdfmerge
build/default/kq-pdfmerge count examples/*.pdf
out=build/default/examples-merged.pdf
build/default/kq-pdfmerge merge "$out" examples/*.pdf
echo "merged file written to $out"
