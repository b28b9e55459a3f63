#!/usr/bin/env python3
"""Times the merges that write shared objects once (option 8) and pack objects into object
streams (16) against the plain merge and the peers on the shared benchmark's merge workloads,
and compares output sizes.

usage: compact_merge.py LIB PEER_BENCH_DIR [--driver KQDRV] [--rounds N] [--only W1,W2]

LIB is the built library; PEER_BENCH_DIR the folder where the shared benchmark built its
workloads (gen.json, w1/, w2/, bin/kqdrv). Method as in compressed_merge.py: every tool once per
round in rotated order after a warm-up run; median wall and CPU seconds, output size; and for
each of the library's rows with the new bits the median over rounds of its time divided by the
plain merge's (and by the peers') in the same round.

  ours         kqdrv LIB mergeopt 0 OUT IN...
  ours 4       ... mergeopt 4 (compressed content)
  ours 8       ... mergeopt 8 (shared objects)
  ours 16      ... mergeopt 16 (object streams)
  ours 8|16|4  ... mergeopt 28
  qpdf, pdfunite, mutool merge   as in the shared benchmark
"""
import argparse
import json
import os
import shutil
import statistics
import sys
import tempfile

from compressed_merge import bench

OURS = [("ours", 0), ("ours 4", 4), ("ours 8", 8), ("ours 16", 16), ("ours 8|16|4", 28)]


def tools_for(key, files, lib, driver, qpdf, pdfunite, mutool, outd):
    o = lambda name: os.path.join(outd, "%s-%s.pdf" % (key, name.replace(" ", "-").replace("|", "")))
    tools = [(name, [driver, lib, "mergeopt", str(bits), o(name), *files], o(name), (0,))
             for name, bits in OURS]
    return tools + [
        ("qpdf", [qpdf, "--empty", "--pages", *files, "--", o("qpdf")], o("qpdf"), (0, 3)),
        ("pdfunite", [pdfunite, *files, o("pdfunite")], o("pdfunite"), (0,)),
        ("mutool", [mutool, "merge", "-o", o("mutool"), *files], o("mutool"), (0,)),
    ]


def ratio(mine, theirs, k):
    values = [a[k] / b[k] for a, b in zip(mine, theirs) if b[k] > 0]
    return statistics.median(values) if values else float("nan")


def report(key, files, runs, sizes):
    mb = sum(os.path.getsize(f) for f in files) / 1e6
    print("\n%s: %d files, %.1f MB in, %d rounds" % (key, len(files), mb, len(runs["ours"])))
    print("%-12s %9s %9s %12s %8s" % ("tool", "wall s", "CPU s", "output MB", "÷ plain"))
    for name, r in runs.items():
        print("%-12s %9.3f %9.3f %12.2f %8.3f" % (
            name, statistics.median(w for w, _ in r), statistics.median(c for _, c in r),
            sizes[name] / 1e6, sizes[name] / sizes["ours"]))
    for name, _ in OURS[2:]:
        for peer in ("ours", "qpdf", "pdfunite", "mutool"):
            print("%-11s ÷ %-8s wall %.2f  CPU %.2f" % (
                name, peer, ratio(runs[name], runs[peer], 0), ratio(runs[name], runs[peer], 1)))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("lib")
    ap.add_argument("peer_bench")
    ap.add_argument("--driver", help="kqdrv binary (default: PEER_BENCH_DIR/bin/kqdrv)")
    ap.add_argument("--rounds", type=int, default=5)
    ap.add_argument("--only", default="W1,W2")
    a = ap.parse_args()
    lib = os.path.abspath(a.lib)
    driver = os.path.abspath(a.driver or os.path.join(a.peer_bench, "bin", "kqdrv"))
    with open(os.path.join(a.peer_bench, "gen.json")) as f:
        sets = json.load(f)["sets"]
    peers = [shutil.which(t) for t in ("qpdf", "pdfunite", "mutool")]
    if not all(peers) or not os.access(driver, os.X_OK):
        sys.exit("needs qpdf, pdfunite, mutool and the driver %s" % driver)
    print("library %s; load %.2f; %d rounds" % (lib, os.getloadavg()[0], a.rounds))
    with tempfile.TemporaryDirectory(prefix="compact-merge-") as outd:
        for key in a.only.split(","):
            files = sets[key]["files"]
            runs, sizes = bench(key, files, tools_for(key, files, lib, driver, *peers, outd),
                                a.rounds)
            report(key, files, runs, sizes)
    return 0


if __name__ == "__main__":
    sys.exit(main())
