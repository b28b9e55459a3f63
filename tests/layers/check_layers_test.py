#!/usr/bin/env python3
"""The layer check finds every kind of wrong-way include, and only those: each case copies the
library's sources, adds one include to one file and runs the check on the copy.

usage: check_layers_test.py SRC_DIR"""
import os
import shutil
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_layers  # noqa: E402

# (file under src/, include added, whether the check must object)
CASES = [
    ("pdfmerge/reader/load.cpp", "pdfmerge/merge/merge.h", True),        # sideways: reader to merge
    ("pdfmerge/merge/writer.cpp", "pdfmerge/reader/reader.h", True),     # sideways: merge to reader
    ("pdfmerge/syntax/lexer.cpp", "pdfmerge/document/document.h", True),  # upward
    ("pdfmerge/pages/pages.h", "pdfmerge/keep/keep.h", True),           # upward, from a header
    ("pdfmerge/pages/page_tree.cpp", "pdfmerge/pdfmerge_internal.h", True),  # the tests' header
    ("pdfmerge/driver.cpp", "pdfmerge/reader/phases.h", True),           # a private header
    ("pdfmerge/keep/outlines.cpp", "pdfmerge/merge/options.h", True),    # private, though below
    ("inflate/inflate.cpp", "deflate/deflate.h", True),                  # decoder to encoder
    ("pdfmerge/filters/filter_chain.cpp", "crypt/crypt.h", True),        # a library not below
    ("pdfmerge/merge/writer.cpp", "pdfmerge/nowhere/x.h", True),         # no such folder
    ("pdfmerge/keep/outlines.cpp", "pdfmerge/merge/merge.h", False),     # downward, public
    ("pdfmerge/reader/load.cpp", "inflate/inflate.h", False),            # a library below
    ("pdfmerge/pdfmerge.cpp", "pdfmerge/keep/keep.h", False),            # the top sees all
]


def main():
    src = sys.argv[1]
    failures = []
    base = check_layers.violations(src)
    if base:
        failures.append("the sources themselves break the layers:\n  " + "\n  ".join(base))
    with tempfile.TemporaryDirectory() as tmp:
        for rel, include, objects in CASES:
            copy = os.path.join(tmp, "src")
            shutil.rmtree(copy, ignore_errors=True)
            shutil.copytree(src, copy)
            with open(os.path.join(copy, rel), "a", encoding="utf-8") as f:
                f.write(f'\n#include "{include}"\n')
            found = [v for v in check_layers.violations(copy) if v.startswith(rel + ":")]
            if objects and not found:
                failures.append(f"{rel} including {include}: not reported")
            if not objects and found:
                failures.append(f"{rel} including {include}: reported, though allowed: {found}")
    for f in failures:
        print(f)
    print(f"check_layers_test: {len(CASES)} cases, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
