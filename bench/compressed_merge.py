#!/usr/bin/env python3
"""Times the merge with compressed content against the plain merge and the peers on the shared
benchmark's merge workloads, and compares output sizes.

usage: compressed_merge.py LIB PEER_BENCH_DIR [--driver KQDRV] [--rounds N] [--only W1,W2,W3]

LIB is the built library (libkq_out_pdfmerge.so); PEER_BENCH_DIR the folder where the shared
benchmark built its workloads (gen.json, w1/, w2/, w3/, bin/kqdrv). For each workload every tool
runs once per round, the order rotated from round to round so that drift and the neighbours'
load hit all alike; a warm-up run comes first and is not counted. The tools and their commands
are those of the shared benchmark, plus the library through its driver with options 0 (plain)
and 4 (compressed content):

  ours         kqdrv LIB mergeopt 0 OUT IN...
  ours -c      kqdrv LIB mergeopt 4 OUT IN...
  qpdf         qpdf --empty --pages IN... -- OUT        (exit 3, warnings, counts as success)
  pdfunite     pdfunite IN... OUT
  mutool       mutool merge -o OUT IN...

Printed per workload and tool: median wall seconds, median CPU seconds (user + system of the
process, which the machine's other load disturbs less than wall time), the output size and its
ratio to qpdf's, and for `ours -c` the median over rounds of its time divided by each peer's in
the same round, wall and CPU.
"""
import argparse
import json
import os
import shutil
import statistics
import sys
import tempfile
import time

ENV = dict(os.environ, LC_ALL="C")


def timed(argv, out):
    """Runs argv; (wall seconds, CPU seconds, exit code, output size)."""
    if os.path.exists(out):
        os.unlink(out)
    t0 = time.perf_counter()
    pid = os.posix_spawn(argv[0], argv, ENV, file_actions=[
        (os.POSIX_SPAWN_OPEN, 0, "/dev/null", os.O_RDONLY, 0),
        (os.POSIX_SPAWN_OPEN, 1, "/dev/null", os.O_WRONLY, 0),
        (os.POSIX_SPAWN_OPEN, 2, "/dev/null", os.O_WRONLY, 0)])
    _, status, ru = os.wait4(pid, 0)
    wall = time.perf_counter() - t0
    size = os.path.getsize(out) if os.path.exists(out) else 0
    return wall, ru.ru_utime + ru.ru_stime, os.waitstatus_to_exitcode(status), size


def tools_for(key, files, lib, driver, qpdf, pdfunite, mutool, outd):
    o = lambda name: os.path.join(outd, "%s-%s.pdf" % (key, name))
    return [
        ("ours", [driver, lib, "mergeopt", "0", o("ours"), *files], o("ours"), (0,)),
        ("ours -c", [driver, lib, "mergeopt", "4", o("ours-c"), *files], o("ours-c"), (0,)),
        ("qpdf", [qpdf, "--empty", "--pages", *files, "--", o("qpdf")], o("qpdf"), (0, 3)),
        ("pdfunite", [pdfunite, *files, o("pdfunite")], o("pdfunite"), (0,)),
        ("mutool", [mutool, "merge", "-o", o("mutool"), *files], o("mutool"), (0,)),
    ]


def bench(key, files, tools, rounds):
    runs = {name: [] for name, *_ in tools}
    sizes = {}
    for name, argv, out, ok in tools:  # warm-up and check
        wall, cpu, rc, size = timed(argv, out)
        if rc not in ok or size == 0:
            sys.exit("%s: %s failed (exit %d)" % (key, name, rc))
        sizes[name] = size
        os.unlink(out)
    for k in range(rounds):
        order = tools[k % len(tools):] + tools[:k % len(tools)]
        for name, argv, out, ok in order:
            wall, cpu, rc, size = timed(argv, out)
            if rc not in ok:
                sys.exit("%s: %s failed in round %d (exit %d)" % (key, name, k, rc))
            runs[name].append((wall, cpu))
            os.unlink(out)
    return runs, sizes


def report(key, files, runs, sizes):
    mb = sum(os.path.getsize(f) for f in files) / 1e6
    print("\n%s: %d files, %.1f MB in, %d rounds" % (key, len(files), mb, len(runs["ours"])))
    print("%-9s %9s %9s %12s %8s" % ("tool", "wall s", "CPU s", "output MB", "÷qpdf"))
    for name, r in runs.items():
        print("%-9s %9.3f %9.3f %12.2f %8.2f" % (
            name, statistics.median(w for w, _ in r), statistics.median(c for _, c in r),
            sizes[name] / 1e6, sizes[name] / sizes["qpdf"]))
    mine = runs["ours -c"]
    for peer in ("ours", "qpdf", "pdfunite", "mutool"):
        theirs = runs[peer]
        wall = statistics.median(a[0] / b[0] for a, b in zip(mine, theirs))
        cpu = statistics.median(a[1] / b[1] for a, b in zip(mine, theirs) if b[1] > 0)
        print("ours -c ÷ %-8s wall %.2f  CPU %.2f" % (peer, wall, cpu))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("lib")
    ap.add_argument("peer_bench")
    ap.add_argument("--driver", help="kqdrv binary (default: PEER_BENCH_DIR/bin/kqdrv)")
    ap.add_argument("--rounds", type=int, default=5)
    ap.add_argument("--only", default="W1,W2,W3")
    a = ap.parse_args()
    lib = os.path.abspath(a.lib)
    driver = os.path.abspath(a.driver or os.path.join(a.peer_bench, "bin", "kqdrv"))
    with open(os.path.join(a.peer_bench, "gen.json")) as f:
        sets = json.load(f)["sets"]
    peers = [shutil.which(t) for t in ("qpdf", "pdfunite", "mutool")]
    if not all(peers) or not os.access(driver, os.X_OK):
        sys.exit("needs qpdf, pdfunite, mutool and the driver %s" % driver)
    print("library %s; load %.2f; %d rounds" % (lib, os.getloadavg()[0], a.rounds))
    with tempfile.TemporaryDirectory(prefix="compressed-merge-") as outd:
        for key in a.only.split(","):
            files = sets[key]["files"]
            tools = tools_for(key, files, lib, driver, *peers, outd)
            runs, sizes = bench(key, files, tools, a.rounds)
            report(key, files, runs, sizes)
    return 0


if __name__ == "__main__":
    sys.exit(main())
