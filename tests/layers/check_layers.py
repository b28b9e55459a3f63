#!/usr/bin/env python3
"""Checks that the library's folders include each other only downward.

usage: check_layers.py SRC_DIR

Every quoted #include of every file under SRC_DIR is read. A file may include the headers of
its own folder, and of another folder only that folder's public header, and only when that
folder lies below its own in LAYERS. No library source includes pdfmerge/pdfmerge_internal.h
(the tests' header of every layer). Prints one line per fault and exits with 1 when there is
any; prints a summary and exits with 0 otherwise."""
import os
import re
import sys

# Each folder with the folders it builds on directly; what those build on is below it too.
# reader/ and merge/ are side by side (neither may see the other), as are inflate/ and
# deflate/ (the decoder and the encoder).
LAYERS = {
    "inflate": [],
    "deflate": [],
    "crypt": [],
    "pdfmerge/platform": [],
    "pdfmerge/syntax": [],
    "pdfmerge/document": ["pdfmerge/platform", "pdfmerge/syntax"],
    "pdfmerge/decrypt": ["pdfmerge/document", "crypt"],
    "pdfmerge/filters": ["pdfmerge/document", "inflate"],
    "pdfmerge/pages": ["pdfmerge/filters"],
    "pdfmerge/reader": ["pdfmerge/pages", "pdfmerge/decrypt"],
    "pdfmerge/merge": ["pdfmerge/pages", "pdfmerge/decrypt", "deflate"],
    "pdfmerge/keep": ["pdfmerge/merge"],
    "pdfmerge": ["pdfmerge/reader", "pdfmerge/merge", "pdfmerge/keep", "public"],
}

# The headers a folder offers to the folders above it.
PUBLIC = {
    "inflate": {"inflate/inflate.h"},
    "deflate": {"deflate/deflate.h"},
    "crypt": {"crypt/crypt.h", "crypt/security_handler.h"},
    "public": {"kq_out_pdfmerge.h"},
}
for folder in LAYERS:
    if folder.startswith("pdfmerge/"):
        name = folder.split("/")[1]
        PUBLIC[folder] = {f"{folder}/{name}.h"}
PUBLIC["pdfmerge"] = {"pdfmerge/driver.h"}

UMBRELLA = "pdfmerge/pdfmerge_internal.h"
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.M)


def below(folder):
    """Every folder that `folder` may include, its own excepted."""
    seen, todo = set(), list(LAYERS[folder])
    while todo:
        f = todo.pop()
        if f not in seen:
            seen.add(f)
            todo += LAYERS.get(f, [])
    return seen


def folder_of_header(include):
    """The folder a quoted include names, or None for one that names none of ours."""
    if include in PUBLIC["public"]:
        return "public"
    parts = include.split("/")
    if len(parts) >= 3 and "/".join(parts[:2]) in LAYERS:
        return "/".join(parts[:2])
    if len(parts) >= 2 and parts[0] in LAYERS and parts[0] != "pdfmerge":
        return parts[0]
    if len(parts) == 2 and parts[0] == "pdfmerge":
        return "pdfmerge"
    return None


def violations(src):
    faults = []
    for root, _, names in os.walk(src):
        for name in sorted(names):
            if not name.endswith((".h", ".cpp")):
                continue
            path = os.path.join(root, name)
            rel = os.path.relpath(path, src).replace(os.sep, "/")
            folder = os.path.dirname(rel)
            with open(path, encoding="utf-8", errors="replace") as f:
                text = f.read()
            for inc in INCLUDE.findall(text):
                if rel == UMBRELLA:
                    continue  # the tests' header names every layer
                if inc == UMBRELLA:
                    faults.append(f"{rel}: includes {inc}, which is for tests only")
                    continue
                target = folder_of_header(inc)
                if target is None:
                    faults.append(f"{rel}: includes {inc}, which is no header of a known folder")
                elif folder not in LAYERS:
                    faults.append(f"{rel}: lies in {folder}, which is no known folder")
                elif target == folder:
                    continue
                elif target not in below(folder):
                    faults.append(f"{rel}: includes {inc}, but {target} is not below {folder}")
                elif inc not in PUBLIC[target]:
                    faults.append(f"{rel}: includes {inc}, which is private to {target} "
                                  f"(its public header: {', '.join(sorted(PUBLIC[target]))})")
    return faults


def main():
    if len(sys.argv) != 2:
        print(__doc__.split("\n\n")[1], file=sys.stderr)
        return 2
    faults = violations(sys.argv[1])
    for f in faults:
        print(f)
    if faults:
        print(f"check_layers: {len(faults)} include(s) break the layers")
        return 1
    print(f"check_layers: every include of {sys.argv[1]} goes downward")
    return 0


if __name__ == "__main__":
    sys.exit(main())
