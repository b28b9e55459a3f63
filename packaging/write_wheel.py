"""Writes the Python wheel of the ctypes module with the native library beside it.

    write_wheel.py --library LIB --platform linux|windows --out DIR

The wheel holds the package kq_pdfmerge (samples/python/kq_pdfmerge.py as its __init__.py, the
marker py.typed and the library under the name the module looks for), and the three metadata
files of the wheel format: METADATA, WHEEL and RECORD (every file's SHA-256 and size). The code
is plain Python over ctypes, so the tag names no interpreter or ABI, only the platform: win_amd64,
or for Linux manylinux_2_N_x86_64 where 2.N is the newest version of the C library that the .so
asks for (it must need nothing else that a Linux system may lack).
"""

import argparse
import base64
import hashlib
import pathlib
import re
import subprocess
import time
import zipfile

import project

NAME = "kq_pdfmerge"
MODULE = project.ROOT / "samples" / "python" / "kq_pdfmerge.py"
README = project.ROOT / "samples" / "python" / "README.md"
LICENSE = project.ROOT / "LICENSE"
SUMMARY = "Counts the pages of PDF files and merges PDF files: the kq_out_pdfmerge library with " \
          "a typed ctypes module"
# What any glibc-based x86-64 Linux provides (the manylinux rules' own list, in short).
LINUX_LIBRARIES = {"libc.so.6", "libm.so.6", "libdl.so.2", "libpthread.so.0", "librt.so.1",
                   "ld-linux-x86-64.so.2"}


def linux_tag(library: pathlib.Path) -> str:
    dynamic = subprocess.run(["objdump", "-p", str(library)], capture_output=True, text=True,
                             check=True).stdout
    needed = set(re.findall(r"^\s*NEEDED\s+(\S+)$", dynamic, re.MULTILINE))
    if needed - LINUX_LIBRARIES:
        raise SystemExit("%s needs %s, which not every Linux has: build it with "
                         "PDFMERGE_STATIC_RUNTIME=ON" % (library, sorted(needed - LINUX_LIBRARIES)))
    versions = re.findall(r"\bGLIBC_2\.([0-9]+)\b", dynamic)
    if not versions:
        raise SystemExit("%s names no version of the C library" % library)
    return "manylinux_2_%d_x86_64" % max(int(v) for v in versions)


def record_line(name: str, data: bytes) -> str:
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
    return "%s,sha256=%s,%d" % (name, digest, len(data))


def metadata(version: str) -> str:
    return "\n".join([
        "Metadata-Version: 2.1",
        "Name: " + NAME,
        "Version: " + version,
        "Summary: " + SUMMARY,
        "Author: The kq_out_pdfmerge developers",
        "License: see LICENSE",
        "Keywords: pdf,merge,page count,ctypes",
        "Classifier: Programming Language :: Python :: 3",
        "Classifier: Operating System :: POSIX :: Linux",
        "Classifier: Operating System :: Microsoft :: Windows",
        "Classifier: Topic :: Office/Business",
        "Requires-Python: >=3.8",
        "Description-Content-Type: text/markdown",
        "",
        README.read_text(encoding="utf-8"),
    ])


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--library", required=True, type=pathlib.Path)
    parser.add_argument("--platform", required=True, choices=["linux", "windows"])
    parser.add_argument("--out", required=True, type=pathlib.Path)
    args = parser.parse_args()

    version = project.version()
    source = MODULE.read_text(encoding="utf-8")
    found = re.search(r'^__version__ = "(.*)"$', source, re.MULTILINE)
    if not found or found.group(1) != version:
        raise SystemExit("%s: __version__ is not %s, the header's version" % (MODULE, version))
    if args.platform == "windows":
        platform, library_name = "win_amd64", "kq_out_pdfmerge.dll"
    else:
        platform, library_name = linux_tag(args.library), "libkq_out_pdfmerge.so.0"
    tag = "py3-none-" + platform
    info = "%s-%s.dist-info" % (NAME, version)
    files = [
        (NAME + "/__init__.py", source.encode("utf-8"), 0o644),
        (NAME + "/py.typed", b"", 0o644),
        (NAME + "/" + library_name, args.library.read_bytes(), 0o755),
        (info + "/LICENSE", LICENSE.read_bytes(), 0o644),
        (info + "/METADATA", metadata(version).encode("utf-8"), 0o644),
        (info + "/WHEEL", ("Wheel-Version: 1.0\nGenerator: kq_out_pdfmerge write_wheel.py\n"
                           "Root-Is-Purelib: false\nTag: %s\n" % tag).encode(), 0o644),
    ]
    record = [record_line(name, data) for name, data, _ in files] + [info + "/RECORD,,"]
    files.append((info + "/RECORD", ("\n".join(record) + "\n").encode(), 0o644))

    args.out.mkdir(parents=True, exist_ok=True)
    wheel = args.out / ("%s-%s-%s.whl" % (NAME, version, tag))
    stamp = project.source_date_epoch()
    with zipfile.ZipFile(wheel, "w", zipfile.ZIP_DEFLATED) as archive:
        for name, data, mode in files:
            entry = zipfile.ZipInfo(name, time.gmtime(max(stamp, 315532800))[:6])
            entry.external_attr = (0o100000 | mode) << 16
            entry.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(entry, data)
    print(wheel)


if __name__ == "__main__":
    main()
