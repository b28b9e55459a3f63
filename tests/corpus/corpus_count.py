#!/usr/bin/env python3
"""Page counts of every real-world corpus file against the manifest's reference counts.

Runs `kq-pdfmerge count` on each file in its own process (so a crash or a hang is caught and
reported for that file), in parallel, and compares the result with the count a strict reader
found (qpdf's walk of the page tree). Every file where we differ, or fail where the reference
reader succeeds, must be listed in expected_count_differences.tsv with a reason; the test fails
on an unlisted difference and on a listed file that now agrees, so the list stays true.
Encrypted files that need a password must be refused with the encryption message; encrypted
files that open with the empty user password are compared like the others.

usage: corpus_count.py KQ_PDFMERGE_BINARY CORPUS_DIR [--timeout SECONDS] [--jobs N]
"""
import argparse
import concurrent.futures
import os
import subprocess
import sys
import time

from corpus_common import SKIP, needs_password, read_listed, read_manifest

HERE = os.path.dirname(os.path.abspath(__file__))
EXPECTATIONS = os.path.join(HERE, "expected_count_differences.tsv")


def read_expectations():
    return {path: (ours, reason) for path, ours, reason in read_listed(EXPECTATIONS)}


def count_one(binary, path, timeout):
    """Returns ('ok', n), ('error', message), ('crash', detail) or ('hang', '')."""
    try:
        p = subprocess.run([binary, "count", path], capture_output=True, timeout=timeout)
    except subprocess.TimeoutExpired:
        return ("hang", "")
    out = p.stdout.decode("utf-8", "replace").strip()
    if p.returncode not in (0, 1) or not out.startswith(path + ": "):
        return ("crash", "exit %d %s" % (p.returncode, p.stderr.decode("utf-8", "replace")[-300:]))
    rest = out[len(path) + 2:]
    if rest.startswith("error: "):
        return ("error", rest[len("error: "):])
    return ("ok", int(rest.split()[0]))


def outcome_text(result):
    kind, value = result
    return str(value) if kind == "ok" else kind


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("binary")
    ap.add_argument("corpus")
    ap.add_argument("--timeout", type=float, default=20.0)
    ap.add_argument("--jobs", type=int, default=os.cpu_count() or 2)
    args = ap.parse_args()

    if not os.path.isfile(os.path.join(args.corpus, "MANIFEST.tsv")):
        print("SKIP: no corpus at %s (MANIFEST.tsv missing); real-file page counts not checked"
              % args.corpus)
        return SKIP

    rows = read_manifest(args.corpus)
    listed = read_expectations()
    started = time.time()
    with concurrent.futures.ThreadPoolExecutor(args.jobs) as pool:
        futures = {r["path"]: pool.submit(count_one, args.binary,
                                          os.path.join(args.corpus, r["path"]), args.timeout)
                   for r in rows}
        results = {path: f.result() for path, f in futures.items()}

    problems = []
    crashes = hangs = comparable = agree = 0
    for r in rows:
        path = r["path"]
        kind, value = results[path]
        if kind == "crash":
            crashes += 1
            problems.append("%s: crashed (%s)" % (path, value))
            continue
        if kind == "hang":
            hangs += 1
            problems.append("%s: no result within %.0f s" % (path, args.timeout))
            continue
        if needs_password(r):
            refused = kind == "error" and value.startswith("encrypted PDFs are not supported: ")
            if refused and path in listed:
                problems.append("%s: listed, but now refused as encrypted; remove it" % path)
            elif not refused and path not in listed:
                problems.append("%s: file that needs a password not refused (%s)" % (path, value))
            continue
        reference = r["qpdf_pages"]
        if reference == "NA":
            continue  # the reference reader cannot read it: nothing to compare
        comparable += 1
        # A document without pages cannot be counted: the library reports it as a failure,
        # which agrees with a reference count of 0.
        same = (kind == "ok" and value == int(reference)) or (kind == "error" and reference == "0")
        agree += same
        if same and path in listed:
            problems.append("%s: listed as differing but now agrees (%s pages); remove it"
                            % (path, value))
        elif not same and path not in listed:
            problems.append("%s: we give %s, the reference %s pages, and it is not listed"
                            % (path, outcome_text((kind, value)), reference))
        elif not same and listed[path][0] != outcome_text((kind, value)):
            problems.append("%s: listed with result %s, now %s"
                            % (path, listed[path][0], outcome_text((kind, value))))

    for line in problems:
        print("FAIL " + line)
    print("page counts: %d of %d comparable files agree with the reference (%.2f%%); "
          "%d crashes, %d hangs; %d files in %.1f s"
          % (agree, comparable, 100.0 * agree / max(comparable, 1), crashes, hangs, len(rows),
             time.time() - started))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
