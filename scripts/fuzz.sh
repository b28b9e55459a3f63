#!/usr/bin/env bash
# Builds the fuzz targets (preset `fuzz`: clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer), replays every committed seed and regression input through them,
# then fuzzes each target for a bounded time. Fails on any crash, sanitizer report, leak,
# out-of-memory or timeout.
#
# Usage: scripts/fuzz.sh [TOTAL_SECONDS]   (default 60; 0 replays only)
# The whole-API target gets two shares of the time, every other target one.
set -euo pipefail
cd "$(dirname "$0")/.."
total="${1:-60}"

scripts/setup.sh
packages=(clang libclang-rt-14-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update
  $sudo apt-get install -y "${missing[@]}"
fi

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

bin=build/fuzz/fuzz
work=build/fuzz-ci
targets=(inflate deflate filters filter_chain api)
limits=(-rss_limit_mb=2048 -timeout=10)
share=$((total / (${#targets[@]} + 1)))

inputs_of() { # the committed input folders of target $1
  local dirs=("fuzz/seeds/$1")
  [ -d "fuzz/regressions/$1" ] && dirs+=("fuzz/regressions/$1")
  echo "${dirs[@]}"
}
dict_of() {
  case "$1" in api | filter_chain) echo "-dict=fuzz/pdf.dict" ;; esac
}

mkdir -p "$work"
for t in "${targets[@]}"; do
  # shellcheck disable=SC2046
  mapfile -t files < <(find $(inputs_of "$t") -type f | sort)
  echo "== replay fuzz_$t: ${#files[@]} inputs"
  # Files named one by one are each run once: nothing is written into their folders.
  if ! "$bin/fuzz_$t" "${limits[@]}" "${files[@]}" >"$work/replay-$t.txt" 2>&1; then
    tail -n 40 "$work/replay-$t.txt" >&2
    echo "fuzz: replaying through fuzz_$t failed" >&2
    exit 1
  fi
done

[ "$share" -gt 0 ] || exit 0
for t in "${targets[@]}"; do
  seconds=$share
  [ "$t" = api ] && seconds=$((2 * share))
  echo "== fuzz_$t for ${seconds}s"
  rm -rf "${work:?}/$t"
  mkdir -p "$work/$t/corpus"
  # New inputs go to the scratch corpus (the first folder), never to the committed ones.
  log="$work/$t/log.txt"
  # shellcheck disable=SC2046
  if ! "$bin/fuzz_$t" "${limits[@]}" $(dict_of "$t") -max_total_time="$seconds" \
    -artifact_prefix="$work/$t/" "$work/$t/corpus" $(inputs_of "$t") >"$log" 2>&1; then
    tail -n 40 "$log" >&2
    echo "fuzz: fuzz_$t failed; its log and the input are in $work/$t/" >&2
    exit 1
  fi
  grep -E "^#[0-9]+[[:space:]]+DONE|^Done [0-9]+ runs" "$log" | tail -n 2 || true
done
echo "fuzz: every seed and regression input replayed clean, every target fuzzed clean"
