"""What the packages take from the project's own files: the version from the public header and
the export list from cmake/exports.map, so that every package names the same version and
carries the same functions as the library."""

import os
import pathlib
import re
import subprocess

ROOT = pathlib.Path(__file__).resolve().parent.parent
HEADER = ROOT / "include" / "kq_out_pdfmerge.h"
EXPORTS_MAP = ROOT / "cmake" / "exports.map"


def version() -> str:
    found = re.search(r'^#define KQ_PDFMERGE_VERSION_STRING "([0-9]+\.[0-9]+\.[0-9]+)"$',
                      HEADER.read_text(encoding="utf-8"), re.MULTILINE)
    if not found:
        raise SystemExit("%s: no KQ_PDFMERGE_VERSION_STRING" % HEADER)
    return found.group(1)


def exports() -> list:
    """The exported functions, in the order of the list."""
    names = re.findall(r"^ *(pdfmerge_\w+);$", EXPORTS_MAP.read_text(), re.MULTILINE)
    if not names:
        raise SystemExit("%s: no export" % EXPORTS_MAP)
    return names


def source_date_epoch() -> int:
    """The time stamp of every archive entry: SOURCE_DATE_EPOCH, else the last commit's time,
    so that the same checkout packs to the same bytes."""
    if os.environ.get("SOURCE_DATE_EPOCH"):
        return int(os.environ["SOURCE_DATE_EPOCH"])
    try:
        out = subprocess.run(["git", "-C", str(ROOT), "log", "-1", "--format=%ct"],
                             capture_output=True, text=True, check=True).stdout.strip()
        return int(out)
    except (OSError, subprocess.CalledProcessError, ValueError):
        return 315532800  # 1980-01-01, the earliest time a zip entry can carry
