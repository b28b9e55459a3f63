#!/usr/bin/env bash
# The Windows DLL: cross-builds it with mingw-w64 (preset `windows`), checks its export table,
# the DLLs it needs and its version resource, then runs the API tests (among them paths in
# Greek, Chinese and emoji, an ANSI Latin-1 name and paths past 260 characters), the
# command-line program and two host programs under wine, comparing what they print and write
# with the Linux build.
#
# Installs mingw-w64 and wine from Debian when missing. The Linux side uses the default preset's
# build (build/default), configured and built when needed; PDFMERGE_BUILD_DIR picks another.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"

scripts/setup.sh googletest g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64 wine

objdump=x86_64-w64-mingw32-objdump
win="build/windows"
bin="$win/bin"
run="$win/run"

step() { echo "== $*"; }
fail() {
  echo "windows: FAILED: $*" >&2
  exit 1
}

step "cross-build (preset windows)"
cmake --preset windows >/dev/null
cmake --build --preset windows
dll="$bin/kq_out_pdfmerge.dll"
[ -f "$dll" ] || fail "no $dll"
[ -f "$win/libkq_out_pdfmerge.dll.a" ] || fail "no import library"
$objdump -f "$dll" | grep -q "file format pei-x86-64" || fail "$dll is not a PE32+ x86-64 file"

step "export table of $dll"
# The names of the [Ordinal/Name Pointer] table: exactly the nine functions, unmangled.
exports=$($objdump -p "$dll" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p' | sort)
echo "$exports"
expected=$(printf '%s\n' pdfmerge_append pdfmerge_cleanup pdfmerge_files pdfmerge_files_ex pdfmerge_files_opt \
  pdfmerge_init pdfmerge_last_error pdfmerge_page_count pdfmerge_two | sort)
[ "$exports" = "$expected" ] || fail "the exports are not exactly the nine functions"

step "DLLs that $dll needs"
# Only Windows' own DLLs: no MinGW runtime (libstdc++-6, libgcc_s_seh-1, libwinpthread-1).
imports=$($objdump -p "$dll" | sed -n 's/^[[:space:]]*DLL Name: //p')
echo "$imports"
while read -r name; do
  case "${name,,}" in
  kernel32.dll | msvcrt.dll | ucrtbase.dll | api-ms-win-*.dll | advapi32.dll | ntdll.dll) ;;
  *) fail "$dll needs $name" ;;
  esac
done <<<"$imports"

step "version resource of $dll"
# What Explorer's Properties and installers read, decompiled; the API tests read it again under
# wine through GetFileVersionInfo.
version=$(sed -n 's/^#define KQ_PDFMERGE_VERSION_STRING "\(.*\)"$/\1/p' include/kq_out_pdfmerge.h)
resource=$(x86_64-w64-mingw32-windres -i "$dll" -O rc | tr -d '\r')
echo "$resource" | grep -E 'FILEVERSION|PRODUCTVERSION|VALUE "'
for line in "FILEVERSION ${version//./, }, 0" "PRODUCTVERSION ${version//./, }, 0" \
  "VALUE \"FileVersion\", \"$version\"" "VALUE \"ProductVersion\", \"$version\"" \
  'VALUE "ProductName", "kq_out_pdfmerge"' 'VALUE "OriginalFilename", "kq_out_pdfmerge.dll"' \
  'VALUE "FileDescription", "'; do
  grep -qF -- "$line" <<<"$resource" || fail "the version resource lacks: $line"
done

step "wine prefix"
wine=$(command -v wine || command -v wine64 || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
[ -x "$wine" ] || fail "no wine"
export WINEPREFIX="$root/$win/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
# The first start creates the prefix (about half a minute).
"$wine" wineboot --init >/dev/null 2>&1 || true
"$wineserver" -w
echo "$wine, prefix $WINEPREFIX"

step "API tests under wine"
"$wine" "$bin/api_tests.exe" --gtest_brief=1 >"$win/api_tests.txt" 2>&1 ||
  {
    cat "$win/api_tests.txt"
    fail "API tests under wine"
  }
tr -d '\r' <"$win/api_tests.txt" | grep -E '^\[ +(PASSED|SKIPPED|FAILED) +\]|tests? ran' || true

step "Linux build for comparison"
linux="${PDFMERGE_BUILD_DIR:-build/default}"
[ -f "$linux/CMakeCache.txt" ] || cmake --preset default -B "$linux" >/dev/null
cmake --build "$linux" --target kq-pdfmerge -j2 >/dev/null

# The same relative paths, with spaces, on both sides, so that both print the same lines.
rm -rf "$run"
for side in linux windows; do
  mkdir -p "$run/$side/examples with spaces"
  cp examples/*.pdf "$run/$side/examples with spaces/"
done
inputs=()
for f in examples/*.pdf; do inputs+=("examples with spaces/${f#examples/}"); done
linux_cli="$root/$linux/kq-pdfmerge"
windows_cli=("$wine" "$root/$bin/kq-pdfmerge.exe")

# Runs the command-line program on one side and records what it prints and its exit status.
cli() {
  local side=$1 name=$2
  shift 2
  local status=0
  if [ "$side" = linux ]; then
    (cd "$run/$side" && "$linux_cli" "$@") >"$run/$side/$name.txt" 2>&1 || status=$?
  else
    (cd "$run/$side" && "${windows_cli[@]}" "$@") >"$run/$side/$name.raw" 2>&1 || status=$?
    tr -d '\r' <"$run/$side/$name.raw" >"$run/$side/$name.txt"
  fi
  echo "exit $status" >>"$run/$side/$name.txt"
}

step "command-line program under wine and on Linux"
for side in linux windows; do
  cli "$side" version --version
  cli "$side" count count "${inputs[@]}" "examples with spaces/missing file.pdf"
  cli "$side" merge merge "merged output.pdf" "${inputs[@]}"
  cli "$side" merge-failed merge "merged output.pdf" "${inputs[0]}" "no such.pdf"
done
for name in version count merge merge-failed; do
  cat "$run/windows/$name.txt"
  diff -u "$run/linux/$name.txt" "$run/windows/$name.txt" || fail "kq-pdfmerge $name differs"
done
cmp "$run/linux/merged output.pdf" "$run/windows/merged output.pdf" ||
  fail "the merged files differ"
echo "the merged files are identical"
if command -v qpdf >/dev/null; then
  qpdf --check "$run/windows/merged output.pdf" >/dev/null ||
    fail "qpdf rejects the file merged under wine"
  echo "qpdf --check accepts the file merged under wine"
fi

step "host programs built against the installed Windows tree"
prefix="$root/$win/install"
rm -rf "$prefix" "$win/consumer"
cmake --install "$win" --prefix "$prefix" >/dev/null
(cd "$prefix" && find . -type f | sort)
# A cross build searches packages below the toolchain's root only: name the folder itself.
cmake -S tests/consumer -B "$win/consumer" -Dkq_out_pdfmerge_DIR="$prefix/lib/cmake/kq_out_pdfmerge" \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/x86_64-w64-mingw32.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$win/consumer" -j2 >/dev/null
(cd "$run/windows" && "$wine" "$root/$win/consumer/consumer.exe" "consumer out.pdf" \
  "${inputs[@]}") | tr -d '\r' | tee "$run/windows/consumer.txt"
grep -qx ok "$run/windows/consumer.txt" || fail "consumer under wine"
cp "$prefix/bin/kq_out_pdfmerge.dll" "$run/windows/"
(cd "$run/windows" && "$wine" "$root/$win/consumer/load_library.exe" kq_out_pdfmerge.dll \
  "load library out.pdf" "${inputs[@]}") | tr -d '\r' | tee "$run/windows/load_library.txt"
grep -qx ok "$run/windows/load_library.txt" || fail "LoadLibrary host under wine"
cmp "$run/windows/merged output.pdf" "$run/windows/load library out.pdf" ||
  fail "the LoadLibrary host wrote another file than the command-line program"

echo "windows: all checks passed"
