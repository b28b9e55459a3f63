#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds everything and runs all tests.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --workflow --preset default
