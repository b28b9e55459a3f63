#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds everything and runs all tests: unit and API tests,
# then the real-world corpus suites (skipped with a message when ../shared/corpus is absent).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --workflow --preset default
ctest --preset corpus
