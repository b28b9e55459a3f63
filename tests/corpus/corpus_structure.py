#!/usr/bin/env python3
"""The corpus's tagged files merged alone and in pairs with --keep-structure, checked with
independent tools.

Tagged files are those whose bytes, or whose Flate streams once inflated, hold /StructTreeRoot
(files that need a password left out). Each is merged alone, and with its neighbour in a fixed
shuffled ring of them (every file once first, once second; --all-pairs takes every ordered pair
instead), each merge twice: with --keep-structure alone and with --keep-structure
--keep-annotations. A pair's miss of a check that one of its files misses alone is that file's.
Checks:

  * structure: the element types and texts that `pdfinfo -struct-text` prints for the output
    are the inputs' one after the other. Lines are compared with element IDs left out (an ID that
    an earlier input uses is renamed) and object numbers left out of object references. With
    --keep-structure alone the annotations are not kept, so object references, and elements whose
    only content they were, are left out of both sides. Inputs whose tree pdfinfo cannot read
    (it fails, or prints nothing) are listed and not compared;
  * tagged: pdfinfo reports the output as tagged exactly when it reports every input so;
  * qpdf: `qpdf --check` of the output is no worse than the inputs' (exit status no higher than
    the worse input's; with exit 3, no message that neither input gives);
  * parent tree: tests/support/structure_check.py (qpdf's reading of the tree, the pages and the
    parent tree) finds no more problems in the output than in its inputs together;
  * render: every page of the output renders (pdftoppm, grey, 20 dpi) as the same page of the
    merge without --keep-structure (mean grey-level difference below 0.05; with annotations shown
    when they are kept, hidden otherwise). --render-pages N compares only the first N pages.

Every miss must be listed in expected_structure_differences.tsv with a reason; the test fails on
an unlisted miss and on a listed one that no longer occurs. The last line gives the figures.

usage: corpus_structure.py KQ_PDFMERGE_BINARY CORPUS_DIR [--timeout S] [--jobs N] [--sample N]
                           [--render-pages N] [--all-pairs] [--struct-timeout S]
--sample N  merges only N tagged files (alone and in their ring) chosen by a hash of their path.
--struct-timeout S  an input whose tree pdfinfo does not print within S seconds (default 300)
            is not compared, as if pdfinfo could not read it.
--structure-only  merges with --keep-structure alone, and checks only the structure, the tagged
            flag and qpdf (for a run over --all-pairs).
"""
import argparse
import concurrent.futures
import hashlib
import os
import random
import re
import shutil
import sys
import tempfile
import time
import zlib

from corpus_common import SKIP, Hang, needs_password, read_listed, read_manifest, run

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
import structure_check  # noqa: E402

EXPECTATIONS = os.path.join(HERE, "expected_structure_differences.tsv")
STRUCTURE = ["--keep-structure"]
ANNOTATIONS = ["--keep-annotations"]
RENDER_DPI = 20
THRESHOLD = 0.05
TOOL_TIMEOUT = 60.0
STRUCT_TIMEOUT = 300.0  # pdfinfo -struct-text takes half a minute on some inputs


def is_tagged_file(path):
    """The file's bytes, or one of its Flate streams inflated, hold /StructTreeRoot."""
    with open(path, "rb") as f:
        data = f.read()
    if b"StructTreeRoot" in data:
        return True
    for m in re.finditer(rb"stream\r?\n", data):
        try:
            inflated = zlib.decompressobj().decompress(data[m.end():m.end() + (1 << 24)], 1 << 26)
        except zlib.error:
            continue
        if b"StructTreeRoot" in inflated:
            return True
    return False


# --- what the tools say of one file -----------------------------------------------------------

ID = re.compile(r'^(\s*[^\s"]+) <.*?>(?= "| \(|$)')
OBJECT = re.compile(r"^(\s*)Object \d+ \d+$")


def struct_lines(path, timeout=STRUCT_TIMEOUT):
    """pdfinfo -struct-text's lines, IDs and object numbers left out; None when pdfinfo fails,
    prints no tree or takes longer than `timeout` seconds."""
    try:
        rc, out, _ = run(["pdfinfo", "-struct-text", path], timeout)
    except Hang:
        return None
    lines = [OBJECT.sub(r"\1Object", ID.sub(r"\1", l)) for l in out.splitlines()
             if l.strip() and not l.startswith("Syntax ")]
    return lines if rc == 0 and lines else None


def without_object_refs(lines):
    """The lines with every object reference left out, and every element whose content (the
    quoted text lines below it) was only object references."""
    # Parse by indentation into (line, kids) and rebuild.
    root = ("", [])
    stack = [(-1, root)]
    for line in lines:
        depth = len(line) - len(line.lstrip(" "))
        node = (line, [])
        while stack[-1][0] >= depth:
            stack.pop()
        stack[-1][1][1].append(node)
        stack.append((depth, node))

    def prune(node):
        """(the node kept, or None; it had content; it has content left)."""
        line, kids = node
        text = line.strip()
        if text == "Object":
            return None, True, False
        if text.startswith('"'):
            return node, True, True
        kept, had, has = [], False, False
        for k in kids:
            n, h, left = prune(k)
            had, has = had or h, has or left
            if n is not None:
                kept.append(n)
        if had and not has:
            return None, True, False
        return (line, kept), had, has

    out = []

    def emit(node):
        out.append(node[0])
        for k in node[1]:
            emit(k)

    for k in root[1]:
        n, _, _ = prune(k)
        if n is not None:
            emit(n)
    return out


def tagged(path):
    try:
        rc, out, _ = run(["pdfinfo", path], TOOL_TIMEOUT)
    except Hang:
        return None
    m = re.search(r"^Tagged:\s+(\S+)", out, re.M)
    return m.group(1) == "yes" if rc == 0 and m else None


def qpdf_check(path):
    """(exit status, its messages without file names and numbers)."""
    try:
        rc, out, err = run(["qpdf", "--check", path], TOOL_TIMEOUT)
    except Hang:
        return (-1, ["qpdf --check did not finish"])
    messages = set()
    for line in (err + out).splitlines():
        if ("WARNING" in line or "ERROR" in line or line.startswith("qpdf:")) and \
                "operation succeeded with warnings" not in line:
            text = line.rsplit("): ", 1)[-1] if "): " in line else line.split(": ", 1)[-1]
            messages.add(re.sub(r"\d+", "N", text))
    return (rc, messages)


def tree_problems(path):
    result = structure_check.check_file(path)
    return None if result is None else len(result[0])


class Input:
    def __init__(self, corpus, path, struct_timeout):
        full = os.path.join(corpus, path)
        self.lines = struct_lines(full, struct_timeout)
        self.tagged = tagged(full)
        self.qpdf = qpdf_check(full)
        self.problems = tree_problems(full)


# --- one pair ---------------------------------------------------------------------------------


def merge(binary, out, inputs, options, timeout):
    """None, or the miss as (check, detail)."""
    try:
        rc, text, err = run([binary, "merge"] + options + [out] + inputs, timeout)
    except Hang:
        return ("hang", "no result within %.0f s" % timeout)
    if rc < 0 or "Sanitizer" in err or "runtime error:" in err:
        return ("crash", "exit %d %s" % (rc, err[-300:]))
    if rc != 0:
        return ("merge-error", text.strip()[:200])
    return None


def render(path, prefix, annotations):
    hide = [] if annotations else ["-hide-annotations"]
    try:
        run(["pdftoppm", "-gray", "-r", str(RENDER_DPI)] + hide + [path, prefix], TOOL_TIMEOUT * 5)
    except Hang:
        pass
    folder, stem = os.path.split(prefix)
    images = {}
    for name in os.listdir(folder):
        m = re.fullmatch(re.escape(stem) + r"-0*(\d+)\.pgm", name)
        if m:
            with open(os.path.join(folder, name), "rb") as f:
                images[int(m.group(1))] = f.read()
    return images


def render_compare(out, plain, workdir, tag, annotations, pages):
    """(pages compared, pages that differ, first differences)."""
    got = render(out, os.path.join(workdir, tag + "o"), annotations)
    want = render(plain, os.path.join(workdir, tag + "p"), annotations)
    compared, differ = 0, []
    for page in sorted(want):
        if pages and page > pages:
            break
        compared += 1
        a, b = want[page], got.get(page)
        if b is None or len(a) != len(b):
            differ.append("p%d not rendered alike" % page)
            continue
        score = sum(abs(x - y) for x, y in zip(a, b)) / max(len(a), 1)
        if score >= THRESHOLD:
            differ.append("p%d score %.2f" % (page, score))
    return compared, differ


class PairResult:
    def __init__(self):
        self.misses = []  # (key, check, detail)
        self.compared = {}  # check -> bool (equal), for the figures
        self.pages = 0
        self.pages_equal = 0


def check_pair(args, inputs, pair):
    key = " + ".join(pair)
    result = PairResult()
    workdir = tempfile.mkdtemp(prefix="kqstruct-")
    try:
        paths = [os.path.join(args.corpus, p) for p in pair]
        merges = (("s", STRUCTURE), ("sa", STRUCTURE + ANNOTATIONS))
        for tag, options in merges[:1] if args.structure_only else merges:
            out = os.path.join(workdir, tag + ".pdf")
            plain = os.path.join(workdir, tag + "-plain.pdf")
            miss = merge(args.binary, out, paths, options, args.timeout) or \
                merge(args.binary, plain, paths, options[1:], args.timeout)
            if miss:
                result.misses.append((key, miss[0], "%s: %s" % (tag, miss[1])))
                continue
            check_output(args, inputs, pair, key, tag, out, plain, workdir, result)
    finally:
        shutil.rmtree(workdir, ignore_errors=True)
    return result


def check_output(args, inputs, pair, key, tag, out, plain, workdir, result):
    members = [inputs[p] for p in pair]
    miss = lambda check, detail: result.misses.append((key, "%s %s" % (tag, check), detail))
    if all(m.lines is not None for m in members):
        want = [line for m in members for line in m.lines]
        got = struct_lines(out) or []
        if tag == "s":
            want, got = without_object_refs(want), without_object_refs(got)
        result.compared[tag + " structure"] = want == got
        if want != got:
            at = next((i for i, (x, y) in enumerate(zip(want, got)) if x != y),
                      min(len(want), len(got)))
            miss("structure", "line %d of %d/%d: %r vs %r" % (
                at + 1, len(want), len(got), want[at] if at < len(want) else None,
                got[at] if at < len(got) else None))
    if all(m.tagged is not None for m in members):
        t, want = tagged(out), all(m.tagged for m in members)
        result.compared[tag + " tagged"] = t == want
        if t != want:
            miss("tagged", "pdfinfo says %s, inputs %s" % (t, [m.tagged for m in members]))
    rc, messages = qpdf_check(out)
    worst = max(m.qpdf[0] for m in members)
    new = sorted(messages.difference(*[m.qpdf[1] for m in members]))
    result.compared[tag + " qpdf"] = rc <= worst and not (rc != 0 and new)
    if not result.compared[tag + " qpdf"]:
        miss("qpdf", "exit %d (inputs %s): %s" % (rc, [m.qpdf[0] for m in members],
                                                  " | ".join(new[:3])))
    if args.structure_only:
        return
    problems = tree_problems(out)
    if all(m.problems is not None for m in members):
        allowed = sum(m.problems for m in members)
        result.compared[tag + " parent tree"] = problems is not None and problems <= allowed
        if not result.compared[tag + " parent tree"]:
            miss("parent-tree", "%s problems (inputs %s)" % (problems,
                                                           [m.problems for m in members]))
    compared, differ = render_compare(out, plain, workdir, tag, tag == "sa", args.render_pages)
    result.pages += compared
    result.pages_equal += compared - len(differ)
    if differ:
        miss("render", "%d of %d pages: %s" % (len(differ), compared, "; ".join(differ[:3])))


# --- plan, expectations, figures --------------------------------------------------------------


def ring_pairs(paths, all_pairs):
    if all_pairs:
        return [[a, b] for a in paths for b in paths if a != b]
    ring = sorted(paths)
    random.Random(28).shuffle(ring)
    return [[ring[i], ring[(i + 1) % len(ring)]] for i in range(len(ring) if len(ring) > 1 else 0)]


def attributed(singles, pair_results, pairs):
    """Every miss once: a pair's miss of a check that one of its members misses alone too is
    that member's."""
    alone = {}
    for r in singles:
        for key, check, _ in r.misses:
            alone.setdefault(key, set()).add(check)
    misses = [m for r in singles for m in r.misses]
    for pair, r in zip(pairs, pair_results):
        misses += [m for m in r.misses if not any(m[1] in alone.get(p, ()) for p in pair)]
    return misses


def judge(misses, checked, args):
    listed = {(key, check): reason for key, check, reason in read_listed(EXPECTATIONS)}
    seen, problems = set(), []
    for key, check, detail in misses:
        seen.add((key, check))
        if check in ("crash", "hang") or (key, check) not in listed:
            problems.append("%s: %s: %s" % (key, check, detail))
    for (key, check), reason in listed.items():
        if key in checked and (key, check) not in seen:
            problems.append("%s: %s: listed (%s) but no longer missed" % (key, check, reason))
    return problems


def parse_args():
    ap = argparse.ArgumentParser()
    ap.add_argument("binary")
    ap.add_argument("corpus")
    ap.add_argument("--timeout", type=float, default=120.0)
    ap.add_argument("--jobs", type=int, default=os.cpu_count() or 2)
    ap.add_argument("--sample", type=int, default=0)
    # pdfinfo prints some trees slowly (20 s to a minute for one corpus file): an input whose
    # tree it does not print within this time is counted with the unreadable ones, not compared.
    ap.add_argument("--struct-timeout", type=float, default=STRUCT_TIMEOUT)
    ap.add_argument("--render-pages", type=int, default=0)
    ap.add_argument("--all-pairs", action="store_true")
    ap.add_argument("--structure-only", action="store_true")
    return ap.parse_args()


def main():
    args = parse_args()
    if not os.path.isfile(os.path.join(args.corpus, "MANIFEST.tsv")):
        print("SKIP: no corpus at %s (MANIFEST.tsv missing); tagged merges not checked"
              % args.corpus)
        return SKIP
    missing = [t for t in ("qpdf", "pdfinfo", "pdftoppm") if not shutil.which(t)]
    if missing:
        print("SKIP: %s not installed; tagged merges not checked" % ", ".join(missing))
        return SKIP
    started = time.time()
    rows = [r for r in read_manifest(args.corpus) if not needs_password(r)]
    with concurrent.futures.ThreadPoolExecutor(args.jobs) as pool:
        found = list(pool.map(lambda r: is_tagged_file(os.path.join(args.corpus, r["path"])),
                              rows))
        paths = [r["path"] for r, t in zip(rows, found) if t]
        if args.sample:
            digest = lambda p: hashlib.sha1(p.encode()).hexdigest()
            paths = sorted(sorted(paths, key=digest)[:args.sample])
        inputs = dict(zip(paths, pool.map(lambda p: Input(args.corpus, p, args.struct_timeout),
                                          paths)))
        pairs = ring_pairs(paths, args.all_pairs)
        singles = list(pool.map(lambda p: check_pair(args, inputs, [p]), paths))
        pair_results = list(pool.map(lambda pair: check_pair(args, inputs, pair), pairs))

    results = singles + pair_results
    misses = attributed(singles, pair_results, pairs)
    checked = set(paths) | set(" + ".join(p) for p in pairs)
    problems = judge(misses, checked, args)
    for line in problems:
        print("FAIL " + line)
    unreadable = sorted(p for p, i in inputs.items() if i.lines is None)
    for p in unreadable:
        print("pdfinfo cannot read the structure tree of %s within %.0f s"
              % (p, args.struct_timeout))
    figures = []
    for check in ("s structure", "sa structure", "s tagged", "sa tagged", "s qpdf", "sa qpdf",
                  "s parent tree", "sa parent tree"):
        done = [r.compared[check] for r in results if check in r.compared]
        figures.append("%s %d/%d" % (check, sum(done), len(done)))
    pages = sum(r.pages for r in results)
    equal = sum(r.pages_equal for r in results)
    print("tagged corpus files %d (%d unreadable by pdfinfo), each merged alone and in pairs "
          "(%d), twice (s: --keep-structure, sa: with --keep-annotations); equal or no worse: %s; "
          "pages rendered equal %d of %d; %d misses, %d listed; %.1f s" % (
              len(paths), len(unreadable), len(pairs), ", ".join(figures), equal, pages,
              len(misses), len(misses) - len(problems), time.time() - started))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
