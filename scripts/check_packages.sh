#!/usr/bin/env bash
# Checks the packages that scripts/package.sh wrote into dist/ (or the folder given), as their
# users get them:
#   - every package names the header's version, and the archives, the wheels and the NuGet
#     package hold the files they document;
#   - the Windows archive: the .def, the import library for Microsoft's linker (an __imp_ symbol
#     for every export) and the DLL's export table are exactly the export list; a C program
#     compiled for the MSVC target and linked by lld-link against that import library alone runs
#     under wine;
#   - the Linux archive, unpacked into a fresh folder, serves the consumer test (find_package
#     and pkg-config, scripts/consumer.sh);
#   - the Linux wheel installs with `pip install --no-index` into a fresh virtual environment and
#     the Python tests pass against the installed package and its own library; the Windows wheel
#     installs for win_amd64 into a folder; every RECORD hash is right;
#   - the NuGet package unpacks to its documented layout, and C# programs compiled against its
#     assembly run with Mono, which finds the Linux library in runtimes/linux-x64/native/: the
#     sample counts and merges the examples, and a check compares the assembly's declarations
#     and options with the header.
# Installs what it needs from Debian when missing. Under wine it uses the windows preset's
# prefix (build/windows/wineprefix), which scripts/windows.sh also uses.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
dist="$(cd "${1:-dist}" && pwd)"

scripts/setup.sh pkgconf python3-venv python3-pytest python3-pip-whl clang lld llvm \
  mono-mcs mono-runtime wine64 wine binutils-mingw-w64-x86-64 unzip

step() { echo "== $*"; }
fail() {
  echo "check_packages: FAILED: $*" >&2
  exit 1
}
version=$(sed -n 's/^#define KQ_PDFMERGE_VERSION_STRING "\(.*\)"$/\1/p' include/kq_out_pdfmerge.h)
exports=$(sed -n 's/^ *\(pdfmerge_[a-z_]*\);$/\1/p' cmake/exports.map | sort)
[ -n "$exports" ] || fail "no export in cmake/exports.map"
work="$root/build/check-packages"
rm -rf "$work"
mkdir -p "$work"

zip="$dist/kq_out_pdfmerge-$version-windows-x64.zip"
tarball="$dist/kq_out_pdfmerge-$version-linux-x86_64.tar.gz"
nupkg="$dist/KqOutPdfMerge.$version.nupkg"
win_wheel="$dist/kq_pdfmerge-$version-py3-none-win_amd64.whl"
shopt -s nullglob
linux_wheels=("$dist/kq_pdfmerge-$version-py3-none-manylinux_2_"*"_x86_64.whl")
shopt -u nullglob
for f in "$zip" "$tarball" "$nupkg" "$win_wheel"; do
  [ -f "$f" ] || fail "no $f (the packages of version $version)"
done
[ ${#linux_wheels[@]} -eq 1 ] || fail "not one Linux wheel of version $version in $dist"
linux_wheel=${linux_wheels[0]}

# The entries of an archive below its top folder, sorted.
listing() {
  python3 - "$1" <<'EOF'
import sys, tarfile, zipfile
path = sys.argv[1]
if path.endswith(".tar.gz"):
    names = tarfile.open(path).getnames()
else:
    names = zipfile.ZipFile(path).namelist()
for n in sorted(names):
    print(n)
EOF
}
# Fails unless the archive $1 (entries below $2/) holds each of the following files.
holds() {
  local archive=$1 top=$2
  shift 2
  local entries
  entries=$(listing "$archive")
  for f in "$@"; do
    grep -qxF "$top$f" <<<"$entries" || fail "$(basename "$archive") lacks $top$f"
  done
}

step "Windows archive $(basename "$zip")"
top="kq_out_pdfmerge-$version-windows-x64/"
holds "$zip" "$top" bin/kq_out_pdfmerge.dll bin/kq-pdfmerge.exe lib/kq_out_pdfmerge.lib \
  lib/libkq_out_pdfmerge.dll.a lib/kq_out_pdfmerge.def include/kq_out_pdfmerge.h \
  lib/cmake/kq_out_pdfmerge/kq_out_pdfmergeConfig.cmake \
  lib/cmake/kq_out_pdfmerge/kq_out_pdfmergeConfigVersion.cmake \
  lib/cmake/kq_out_pdfmerge/kq_out_pdfmergeTargets.cmake lib/pkgconfig/kq_out_pdfmerge.pc \
  README.md CHANGES.md LICENSE
(cd "$work" && unzip -q "$zip")
win="$work/${top%/}"
grep -q "^#define KQ_PDFMERGE_VERSION_STRING \"$version\"$" "$win/include/kq_out_pdfmerge.h" ||
  fail "the archive's header is not version $version"
grep -q "^Version: $version$" "$win/lib/pkgconfig/kq_out_pdfmerge.pc" || fail "the .pc file's version"
x86_64-w64-mingw32-windres -i "$win/bin/kq_out_pdfmerge.dll" -O rc | tr -d '\r' |
  grep -qF "VALUE \"FileVersion\", \"$version\"" || fail "the DLL's version resource is not $version"
grep -qx "## $version" CHANGES.md || fail "CHANGES.md has no heading $version"

def_names=$(sed -n 's/^ \{4\}\(pdfmerge_[a-z_]*\)\r\{0,1\}$/\1/p' "$win/lib/kq_out_pdfmerge.def" | sort)
[ "$def_names" = "$exports" ] || fail "kq_out_pdfmerge.def: $def_names"
grep -q "^LIBRARY kq_out_pdfmerge.dll" "$win/lib/kq_out_pdfmerge.def" || fail "the .def names no DLL"
# Microsoft's format: one short import member per function (llvm-nm prints its symbols).
imp=$(llvm-nm "$win/lib/kq_out_pdfmerge.lib" | sed -n 's/^.* \(__imp_pdfmerge_[a-z_]*\)$/\1/p' | sort -u)
echo "$imp" | tr '\n' ' '
echo
[ "$imp" = "$(sed 's/^/__imp_/' <<<"$exports")" ] ||
  fail "kq_out_pdfmerge.lib lacks an __imp_ symbol of an export (or has another)"
dll_exports=$(x86_64-w64-mingw32-objdump -p "$win/bin/kq_out_pdfmerge.dll" |
  sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p' | sort)
[ "$dll_exports" = "$exports" ] || fail "the DLL exports $dll_exports"

step "a host built for the MSVC target, linked by lld-link against kq_out_pdfmerge.lib"
msvc="$work/msvc"
mkdir -p "$msvc"
printf 'LIBRARY kernel32.dll\nEXPORTS\n    GetStdHandle\n    WriteFile\n    ExitProcess\n' >"$msvc/kernel32.def"
llvm-dlltool -m i386:x86-64 -d "$msvc/kernel32.def" -l "$msvc/kernel32.lib"
clang --target=x86_64-pc-windows-msvc -O1 -ffreestanding -fno-builtin -fno-stack-protector \
  -Wall -Wextra -Werror -I"$win/include" -c tests/packages/msvc_host.c -o "$msvc/msvc_host.obj"
lld-link -nologo -out:"$msvc/msvc_host.exe" -entry:start -subsystem:console -nodefaultlib \
  "$msvc/msvc_host.obj" "$win/lib/kq_out_pdfmerge.lib" "$msvc/kernel32.lib"
host_imports=$(x86_64-w64-mingw32-objdump -p "$msvc/msvc_host.exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | sort | tr '\n' ' ')
echo "msvc_host.exe imports: $host_imports"
[ "$host_imports" = "kernel32.dll kq_out_pdfmerge.dll " ] || fail "msvc_host.exe imports $host_imports"
wine=$(command -v wine || command -v wine64 || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
export WINEPREFIX="$root/build/windows/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
mkdir -p "$WINEPREFIX"
"$wine" wineboot --init >/dev/null 2>&1 || true
"$wineserver" -w
cp "$win/bin/kq_out_pdfmerge.dll" examples/letter.pdf examples/object-streams.pdf \
  examples/rotated.pdf "$msvc/"
status=0
(cd "$msvc" && "$wine" msvc_host.exe) >"$msvc/out.raw" 2>&1 || status=$?
tr -d '\r' <"$msvc/out.raw" | tee "$msvc/out.txt"
[ $status -eq 0 ] && grep -qx ok "$msvc/out.txt" || fail "msvc_host.exe under wine (status $status)"
qpdf --check "$msvc/merged.pdf" >/dev/null || fail "qpdf rejects the file merged by msvc_host.exe"

step "the same host as a CMake project built with clang-cl: find_package gives kq_out_pdfmerge.lib"
clang_cl=$(command -v clang-cl || command -v clang-cl-14)
cmake -S tests/packages -B "$msvc/cmake" -DCMAKE_SYSTEM_NAME=Windows -DCMAKE_C_COMPILER="$clang_cl" \
  -DCMAKE_LINKER=lld-link -DCMAKE_MT=llvm-mt -DCMAKE_RC_COMPILER=llvm-rc -DCMAKE_C_COMPILER_WORKS=ON \
  -DCMAKE_C_STANDARD_LIBRARIES= -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_PREFIX_PATH="$win" \
  -DKERNEL32_LIB="$msvc/kernel32.lib" >/dev/null
cmake --build "$msvc/cmake" >/dev/null
grep -q -- "$win/lib/kq_out_pdfmerge.lib" "$msvc/cmake/CMakeFiles/msvc_host.dir/link.txt" ||
  fail "the CMake package did not give an MSVC host kq_out_pdfmerge.lib"
mkdir -p "$msvc/cmake-run"
cp "$win/bin/kq_out_pdfmerge.dll" examples/letter.pdf examples/object-streams.pdf \
  examples/rotated.pdf "$msvc/cmake-run/"
status=0
(cd "$msvc/cmake-run" && "$wine" "$msvc/cmake/msvc_host.exe") >"$msvc/cmake-out.raw" 2>&1 || status=$?
tr -d '\r' <"$msvc/cmake-out.raw" | tail -n 1
[ $status -eq 0 ] && tr -d '\r' <"$msvc/cmake-out.raw" | grep -qx ok || fail "the CMake-built host under wine"
cmp "$msvc/merged.pdf" "$msvc/cmake-run/merged.pdf" || fail "the two hosts merged different files"

step "Linux archive $(basename "$tarball"), unpacked into a fresh folder"
top="kq_out_pdfmerge-$version-linux-x86_64/"
holds "$tarball" "$top" "lib/libkq_out_pdfmerge.so.$version" lib/libkq_out_pdfmerge.so.0 \
  lib/libkq_out_pdfmerge.so include/kq_out_pdfmerge.h bin/kq-pdfmerge \
  share/man/man1/kq-pdfmerge.1 lib/cmake/kq_out_pdfmerge/kq_out_pdfmergeConfig.cmake \
  lib/pkgconfig/kq_out_pdfmerge.pc share/doc/kq_out_pdfmerge/LICENSE
mkdir -p "$work/somewhere else"
tar -xzf "$tarball" -C "$work/somewhere else"
PDFMERGE_PREFIX="$work/somewhere else/${top%/}" scripts/consumer.sh

# Every RECORD line of the wheel $1 names a file of it with its SHA-256 and size, and every file
# but RECORD has a line.
check_record() {
  python3 - "$1" <<'EOF'
import base64, hashlib, sys, zipfile
wheel = zipfile.ZipFile(sys.argv[1])
record = [n for n in wheel.namelist() if n.endswith(".dist-info/RECORD")]
assert len(record) == 1, "no RECORD"
lines = wheel.read(record[0]).decode().splitlines()
listed = set()
for line in lines:
    name, digest, size = line.rsplit(",", 2)
    listed.add(name)
    if name == record[0]:
        continue
    data = wheel.read(name)
    expected = "sha256=" + base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
    assert (digest, int(size)) == (expected, len(data)), "RECORD is wrong for " + name
assert listed == set(wheel.namelist()), "RECORD does not list %s" % (set(wheel.namelist()) ^ listed)
print("RECORD: %d files, hashes and sizes right" % (len(listed) - 1))
EOF
}

step "Python wheel $(basename "$linux_wheel")"
check_record "$linux_wheel"
holds "$linux_wheel" "" kq_pdfmerge/__init__.py kq_pdfmerge/py.typed \
  kq_pdfmerge/libkq_out_pdfmerge.so.0 "kq_pdfmerge-$version.dist-info/METADATA"
unzip -p "$linux_wheel" "kq_pdfmerge-$version.dist-info/METADATA" | grep -qx "Version: $version" ||
  fail "the wheel's metadata names another version"
# The tag names the newest C library version that the .so asks for.
unzip -p "$linux_wheel" kq_pdfmerge/libkq_out_pdfmerge.so.0 >"$work/wheel.so"
newest=$(objdump -T "$work/wheel.so" | grep -o 'GLIBC_2\.[0-9]*' | sort -t. -k2 -n -u | tail -n 1)
echo "the wheel's library needs $(objdump -p "$work/wheel.so" | sed -n 's/^ *NEEDED *//p' | tr '\n' ' ')up to $newest"
case "$(basename "$linux_wheel")" in
*"-manylinux_2_${newest#GLIBC_2.}_x86_64.whl") ;;
*) fail "the wheel's tag does not name $newest" ;;
esac
[ "$(objdump -p "$work/wheel.so" | sed -n 's/^ *SONAME *//p')" = "libkq_out_pdfmerge.so.0" ] ||
  fail "the wheel's library has another SONAME"
venv="$work/venv"
/usr/bin/python3 -m venv --system-site-packages "$venv" # pytest from Debian; the package from the wheel
"$venv/bin/python" -m pip install --no-index --disable-pip-version-check --quiet "$linux_wheel"
installed=$("$venv/bin/python" -c 'import kq_pdfmerge; print(kq_pdfmerge.__file__)')
echo "installed: $installed"
case "$installed" in "$venv"/lib/python3*/site-packages/kq_pdfmerge/__init__.py) ;;
*) fail "kq_pdfmerge is imported from $installed" ;;
esac
# The tests run from a folder of their own, so that the source module cannot be imported, with
# no other library on the search paths.
mkdir -p "$work/python-tests"
cp samples/python/test_kq_pdfmerge.py "$work/python-tests/"
(cd "$work/python-tests" && env -u KQ_PDFMERGE_LIBRARY -u LD_LIBRARY_PATH KQ_PDFMERGE_SOURCE="$root" \
  KQ_PDFMERGE_EXPECT_BUNDLED=1 "$venv/bin/python" -m pytest -p no:cacheprovider -q .)

step "Python wheel $(basename "$win_wheel")"
check_record "$win_wheel"
holds "$win_wheel" "" kq_pdfmerge/__init__.py kq_pdfmerge/kq_out_pdfmerge.dll
cmp <(unzip -p "$win_wheel" kq_pdfmerge/kq_out_pdfmerge.dll) "$win/bin/kq_out_pdfmerge.dll" ||
  fail "the Windows wheel carries another DLL than the archive"
"$venv/bin/python" -m pip install --no-index --disable-pip-version-check --quiet --no-deps \
  --only-binary=:all: --platform win_amd64 --target "$work/win-site" "$win_wheel"
[ -f "$work/win-site/kq_pdfmerge/kq_out_pdfmerge.dll" ] || fail "pip did not install the DLL for win_amd64"
echo "pip installs it for win_amd64"

step "NuGet package $(basename "$nupkg")"
nuget="$work/nuget"
mkdir -p "$nuget"
(cd "$nuget" && unzip -q "$nupkg")
layout=$(cd "$nuget" && find . -type f | sed 's|^\./||' | sort)
echo "$layout"
expected_layout=$(printf '%s\n' "[Content_Types].xml" KqOutPdfMerge.nuspec LICENSE README.md _rels/.rels \
  lib/netstandard2.0/KqOutPdfMerge.dll lib/netstandard2.0/KqOutPdfMerge.dll.config \
  lib/netstandard2.0/KqOutPdfMerge.xml runtimes/linux-x64/native/libkq_out_pdfmerge.so \
  runtimes/win-x64/native/kq_out_pdfmerge.dll | sort)
[ "$layout" = "$expected_layout" ] || fail "the NuGet package's layout"
cmp "$nuget/runtimes/win-x64/native/kq_out_pdfmerge.dll" "$win/bin/kq_out_pdfmerge.dll" ||
  fail "the NuGet package carries another DLL than the archive"
python3 - "$nuget" "$version" <<'EOF'
import pathlib, sys, xml.etree.ElementTree as ET
folder, version = pathlib.Path(sys.argv[1]), sys.argv[2]
ns = {"n": "http://schemas.microsoft.com/packaging/2013/05/nuspec.xsd"}
meta = ET.parse(folder / "KqOutPdfMerge.nuspec").getroot().find("n:metadata", ns)
def text(tag):
    found = meta.find("n:" + tag, ns)
    assert found is not None and (found.text or found.attrib), "the .nuspec has no " + tag
    return found
assert text("id").text == "KqOutPdfMerge"
assert text("version").text == version, "the .nuspec names another version"
assert text("authors").text and text("description").text
assert text("license").attrib.get("type") == "file" and text("license").text == "LICENSE"
assert text("repository").attrib.get("type") == "git"
types = ET.parse(folder / "[Content_Types].xml").getroot()
tns = "{http://schemas.openxmlformats.org/package/2006/content-types}"
extensions = {d.get("Extension") for d in types.iter(tns + "Default")}
overrides = {o.get("PartName") for o in types.iter(tns + "Override")}
for part in folder.rglob("*"):
    name = part.relative_to(folder).as_posix()
    if part.is_file() and name != "[Content_Types].xml":
        # The part's extension as the package format reads it: "_rels/.rels" has "rels".
        extension = part.name.rsplit(".", 1)[1] if "." in part.name else None
        assert extension in extensions or "/" + name in overrides, "no content type: " + name
print("nuspec: id, version %s, authors, licence, description, repository; content types" % version)
EOF
mcs -nologo -warnaserror -r:"$nuget/lib/netstandard2.0/KqOutPdfMerge.dll" \
  -out:"$work/nuget-sample.exe" samples/csharp/Program.cs
mcs -nologo -warnaserror -r:"$nuget/lib/netstandard2.0/KqOutPdfMerge.dll" \
  -out:"$work/nuget-check.exe" tests/packages/AssemblyCheck.cs
# Mono takes the assembly from the unpacked package (MONO_PATH), and the library from beside it
# through its .dll.config: nothing else names the library's folder.
runtime_so="$nuget/runtimes/linux-x64/native/libkq_out_pdfmerge.so"
env -u LD_LIBRARY_PATH MONO_PATH="$nuget/lib/netstandard2.0" mono "$work/nuget-check.exe" \
  include/kq_out_pdfmerge.h cmake/exports.map "$runtime_so" "$version"
env -u LD_LIBRARY_PATH MONO_PATH="$nuget/lib/netstandard2.0" mono "$work/nuget-sample.exe" \
  examples "$work/nuget-work"

echo "check_packages: all checks passed"
