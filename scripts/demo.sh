#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds, and counts the pages of the bundled examples.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default --target kq-pdfmerge
build/default/kq-pdfmerge count examples/*.pdf
