#!/usr/bin/env bash
# Installs the library into a fresh folder and builds a tiny host program against the installed
# tree twice, once with find_package(kq_out_pdfmerge) and once with pkg-config, and runs both on
# the bundled examples. Uses the default preset's build (build/default), configured and built
# when needed; set PDFMERGE_BUILD_DIR to use another build of the project.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
if ! command -v pkg-config >/dev/null; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update
  $sudo apt-get install -y pkgconf
fi

build="${PDFMERGE_BUILD_DIR:-build/default}"
work="build/install-test"
prefix="$PWD/$work/prefix"
[ -f "$build/CMakeCache.txt" ] || cmake --preset default -B "$build" >/dev/null
cmake --build "$build" --target kq_out_pdfmerge kq-pdfmerge -j2
rm -rf "$work"
cmake --install "$build" --prefix "$prefix" >/dev/null
echo "== installed tree"
(cd "$prefix" && find . -type f -o -type l | sort)

inputs=(examples/letter.pdf examples/object-streams.pdf examples/rotated.pdf)

echo "== consumer built with find_package(kq_out_pdfmerge)"
cmake -S tests/consumer -B "$work/cmake" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$work/cmake" -j2 >/dev/null
"$work/cmake/consumer" "$work/cmake-out.pdf" "${inputs[@]}" | tee "$work/cmake.txt"

echo "== consumer built with pkg-config"
export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
echo "kq_out_pdfmerge $(pkg-config --modversion kq_out_pdfmerge):" \
  "$(pkg-config --cflags --libs kq_out_pdfmerge)"
# shellcheck disable=SC2046
cc -std=c99 -Wall -Wextra -Wpedantic -Werror tests/consumer/consumer.c \
  $(pkg-config --cflags --libs kq_out_pdfmerge) -o "$work/pkg-config-consumer"
LD_LIBRARY_PATH="$(pkg-config --variable=libdir kq_out_pdfmerge)" \
  "$work/pkg-config-consumer" "$work/pkg-config-out.pdf" "${inputs[@]}" | tee "$work/pkg-config.txt"

# Both hosts print the same lines (apart from the output's name) and write the same file.
sed 's/cmake-out/OUT/' "$work/cmake.txt" >"$work/cmake.norm"
sed 's/pkg-config-out/OUT/' "$work/pkg-config.txt" >"$work/pkg-config.norm"
diff "$work/cmake.norm" "$work/pkg-config.norm"
cmp "$work/cmake-out.pdf" "$work/pkg-config-out.pdf"
echo "consumer: both builds ran and agree"
