#!/usr/bin/env bash
# Installs the library into a fresh folder and builds a tiny host program against the installed
# tree twice, once with find_package(kq_out_pdfmerge) and once with pkg-config, and runs both on
# the bundled examples. Uses the default preset's build (build/default), configured and built
# when needed; set PDFMERGE_BUILD_DIR to use another build of the project, or PDFMERGE_PREFIX to
# check a tree installed already (the Linux release archive, unpacked).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh pkgconf

build="${PDFMERGE_BUILD_DIR:-build/default}"
work="build/install-test"
rm -rf "$work"
if [ -n "${PDFMERGE_PREFIX:-}" ]; then
  prefix="$PDFMERGE_PREFIX"
else
  prefix="$PWD/$work/prefix"
  [ -f "$build/CMakeCache.txt" ] || cmake --preset default -B "$build" >/dev/null
  cmake --build "$build" --target kq_out_pdfmerge kq-pdfmerge -j2
  cmake --install "$build" --prefix "$prefix" >/dev/null
fi
echo "== installed tree"
(cd "$prefix" && find . -type f -o -type l | sort)

fail() {
  echo "consumer: FAILED: $*" >&2
  exit 1
}
version=$(sed -n 's/^#define KQ_PDFMERGE_VERSION_STRING "\(.*\)"$/\1/p' include/kq_out_pdfmerge.h)
major=${version%%.*}
echo "== versioned library $version"
lib="$prefix/lib/libkq_out_pdfmerge.so"
[ -f "$lib.$version" ] && [ ! -L "$lib.$version" ] || fail "no file $lib.$version"
[ "$(readlink "$lib.$major")" = "libkq_out_pdfmerge.so.$version" ] || fail "$lib.$major is no link to it"
[ "$(readlink "$lib")" = "libkq_out_pdfmerge.so.$major" ] || fail "$lib is no link to .so.$major"
soname=$(objdump -p "$lib.$version" | sed -n 's/^ *SONAME *//p')
echo "SONAME $soname"
[ "$soname" = "libkq_out_pdfmerge.so.$major" ] || fail "SONAME is '$soname'"
[ "$("$prefix/bin/kq-pdfmerge" --version)" = "kq-pdfmerge $version" ] ||
  fail "the installed program does not say its version"
grep -q "PACKAGE_VERSION \"$version\"" "$prefix/lib/cmake/kq_out_pdfmerge/kq_out_pdfmergeConfigVersion.cmake" ||
  fail "the CMake package has another version"
page="$prefix/share/man/man1/kq-pdfmerge.1"
warnings=$(groff -man -ww -z "$page" 2>&1) && [ -z "$warnings" ] || fail "manual page: $warnings"
man -l "$page" 2>/dev/null | grep -q -- "--version" || fail "man -l $page"
echo "installed: $lib.$version, links .so.$major and .so, manual page, CMake package $version"

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
[ "$(pkg-config --modversion kq_out_pdfmerge)" = "$version" ] || fail "the .pc file has another version"
# pkg-config quotes its flags for the shell (a prefix with a space in it comes back as
# "some\ where"): the shell splits them.
eval "flags=($(pkg-config --cflags --libs kq_out_pdfmerge))"
cc -std=c99 -Wall -Wextra -Wpedantic -Werror tests/consumer/consumer.c "${flags[@]}" \
  -o "$work/pkg-config-consumer"
# The host records the SONAME, so it keeps working with any later 0.x library.
objdump -p "$work/pkg-config-consumer" | grep -q "NEEDED *libkq_out_pdfmerge.so.$major\$" ||
  fail "the host does not need libkq_out_pdfmerge.so.$major"
eval "libdir=$(pkg-config --variable=libdir kq_out_pdfmerge)"
LD_LIBRARY_PATH="$libdir" "$work/pkg-config-consumer" "$work/pkg-config-out.pdf" "${inputs[@]}" | tee "$work/pkg-config.txt"

# Both hosts print the same lines (apart from the output's name) and write the same file.
sed 's/cmake-out/OUT/' "$work/cmake.txt" >"$work/cmake.norm"
sed 's/pkg-config-out/OUT/' "$work/pkg-config.txt" >"$work/pkg-config.norm"
diff "$work/cmake.norm" "$work/pkg-config.norm"
cmp "$work/cmake-out.pdf" "$work/pkg-config-out.pdf"
echo "consumer: both builds ran and agree"
