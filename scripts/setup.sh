#!/usr/bin/env bash
# Installs the build and test dependencies on Debian 12 (only those missing), and the packages
# named as arguments (what the Windows script and the host samples need besides).
#   scripts/setup.sh [PACKAGE...]
set -euo pipefail

packages=(cmake make g++ python3 libgtest-dev libgmock-dev zlib1g-dev qpdf poppler-utils mupdf-tools
  groff-base
  "$@")
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update
$sudo apt-get install -y "${missing[@]}"
