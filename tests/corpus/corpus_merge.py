#!/usr/bin/env python3
"""Every real-world corpus file merged, checked with independent tools and rendered against itself.

For every corpus file that `kq-pdfmerge count` loads (encrypted files that open with the empty
user password included; those that need a password are refused by design, and the suite checks
that a merge of each of them is refused too), the suite

  * merges the file alone, in two pairs (with its neighbours in a fixed shuffled ring of all such
    files) and in one group of eight, each merge in its own process under a time limit, so that a
    crash or a hang is caught and named; pairs and groups use only files whose single merge
    succeeded, so that one refused input does not hide the others;
  * checks each output with `qpdf --check` (exit 0; exit 3 only with a listed reason), with
    `pdfinfo` for the summed page count, and compares every output page's MediaBox, CropBox and
    rotation with the input page's effective values as `pdfinfo -box` reports them (inherited
    values included; pdfinfo shows the CropBox equal to the MediaBox when there is none). Values
    must agree at two decimals; a difference of one unit in the second decimal is accepted,
    since a box written with four decimals may round the other way at two;
  * renders the first three pages of the input and of the single-file merge with
    `pdftoppm -gray -r 20 -hide-annotations` and compares them page by page.

Where there is nothing to compare with, nothing is compared: inputs that pdfinfo cannot read
(pdfinfo_pages NA in the manifest; poppler fails on them or takes minutes) get no box or
rendering comparison, and input pages pdftoppm cannot render are skipped. A file whose page count
differs from pdfinfo's is one miss ('page-list') instead of page-by-page comparisons. A qpdf
warning on a pair or a group that the members' single merges gave too is counted once, for the
member. The count agreement figure is the page-count suite's (corpus_count.py judges it); it is
repeated here so that one line holds all the figures.

Page score and threshold. The score of a page is the mean absolute difference of the two grey
images in grey levels (0 to 255), over all pixels; images of different sizes score 255. A page
matches when its score is below 0.05 (about seven pixels turned from white to black on a Letter
page of 170 x 220 pixels). Calibrated with --qpdf-merger (qpdf's own page-only merge,
`qpdf --empty --pages IN -- OUT`, which keeps every page dictionary whole) across the corpus:
1403 of 1410 rendered pages score exactly 0, because rendering the same drawing is
deterministic, so there is no noise to allow for; the other seven are real differences: 0.19
twice (a single 24-point word that poppler and qpdf read differently from a damaged input),
5.5 to 36.8 (optional-content layers shown once /OCProperties is gone) and 255 twice (pages
qpdf's merge loses). Our own merger gives the same picture: every page that draws the same
scores exactly 0, and the smallest real difference seen is 0.18 (a single missing word). The
threshold lies well below that and above zero.

Every miss (a failed merge, a qpdf warning, a wrong page count, a box or rotation that differs, a
page that renders differently) must be listed in expected_merge_differences.tsv with a one-line
reason; the test fails on an unlisted miss and on a listed miss that no longer occurs, so the list
stays true. Crashes, hangs, qpdf errors (exit 2) and unreadable outputs cannot be listed: they
always fail, unless the input fails `qpdf --check` with exit 2 by itself (a qpdf error that the
output only carries over can be listed with its reason). The last line gives the figures and the run time.

usage: corpus_merge.py KQ_PDFMERGE_BINARY CORPUS_DIR [--timeout SECONDS] [--jobs N]
                       [--sample N] [--qpdf-merger] [--scores FILE] [--keep]

--sample N     checks only N files, chosen by a hash of their path (the same N files every run);
               listed misses of other files are not judged.
--qpdf-merger  merges with qpdf instead of our program (calibration); the expectations are not
               judged, only the figures are printed.
--scores FILE  writes every rendered page's score to FILE (path, page, score), for calibration.
--keep         merges with --keep-annotations --keep-outlines and renders with annotations
               shown, inputs and outputs alike; a qpdf --check message that the input gives by
               itself is the input's, not a miss (the output must be no worse than the input);
               in pairs, every bookmark and every link whose destination names a page must
               name one of the output ('outline-target', 'link-target'). The misses are listed in expected_keep_differences.tsv.
"""
import argparse
import concurrent.futures
import hashlib
import json
import os
import random
import re
import shutil
import sys
import tempfile
import time

from corpus_common import SKIP, Hang, needs_password, read_listed, read_manifest, run

HERE = os.path.dirname(os.path.abspath(__file__))
EXPECTATIONS = os.path.join(HERE, "expected_merge_differences.tsv")
KEEP_EXPECTATIONS = os.path.join(HERE, "expected_keep_differences.tsv")
KEEP_OPTIONS = ["--keep-annotations", "--keep-outlines"]

RENDER_PAGES = 3
RENDER_DPI = 20
THRESHOLD = 0.05  # mean absolute grey-level difference below which a page matches
GROUP_SIZE = 8
BOX_TOLERANCE = 0.0101  # one unit in the second decimal
TOOL_TIMEOUT = 30.0  # qpdf, pdfinfo, pdftoppm on one file; poppler takes minutes on a few inputs
UNLISTABLE = ("crash", "hang", "qpdf-check-2", "unreadable-output")


def sanitizer_report(stderr):
    return any(s in stderr for s in ("ERROR: AddressSanitizer", "ERROR: LeakSanitizer",
                                     "runtime error:"))


# --- our program -------------------------------------------------------------------------------


def count_one(binary, path, timeout):
    """('ok', n), ('error', message), ('crash', detail) or ('hang', '')."""
    try:
        rc, out, err = run([binary, "count", path], timeout)
    except Hang:
        return ("hang", "no result within %.0f s" % timeout)
    out = out.strip()
    if rc not in (0, 1) or not out.startswith(path + ": ") or sanitizer_report(err):
        return ("crash", "exit %d %s" % (rc, err[-300:]))
    rest = out[len(path) + 2:]
    if rest.startswith("error: "):
        return ("error", rest[len("error: "):])
    return ("ok", int(rest.split()[0]))


def merge_ours(binary, out, inputs, timeout, options=()):
    """('ok', pages), ('error', message), ('crash', detail) or ('hang', '')."""
    try:
        rc, text, err = run([binary, "merge"] + list(options) + [out] + inputs, timeout)
    except Hang:
        return ("hang", "no result within %.0f s" % timeout)
    text = text.strip()
    if sanitizer_report(err) or rc < 0:
        return ("crash", "exit %d %s" % (rc, err[-300:]))
    m = re.fullmatch(re.escape(out) + r": (\d+) pages?", text)
    if rc == 0 and m:
        return ("ok", int(m.group(1)))
    if rc != 0 and text.startswith("error: "):
        return ("error", text[len("error: "):])
    return ("crash", "exit %d, output %r %s" % (rc, text[:200], err[-300:]))


def merge_qpdf(out, inputs, timeout):
    try:
        rc, text, err = run(["qpdf", "--empty", "--pages"] + inputs + ["--", out], timeout)
    except Hang:
        return ("hang", "no result within %.0f s" % timeout)
    if rc in (0, 3) and os.path.isfile(out):
        return ("ok", None)
    return ("error", (err.strip().splitlines() or ["exit %d" % rc])[-1])


# --- oracles ----------------------------------------------------------------------------------

BOX_LINE = re.compile(r"^Page\s+(\d+) (MediaBox|CropBox):\s+(\S+)\s+(\S+)\s+(\S+)\s+(\S+)\s*$")
ROT_LINE = re.compile(r"^Page\s+(\d+) rot:\s+(-?\d+)\s*$")
PAGES_LINE = re.compile(r"^Pages:\s+(\d+)\s*$")


def page_boxes(path, last_page):
    """pdfinfo's page count and {page: {'MediaBox': (4 floats), 'CropBox': ..., 'rot': n}}, or
    None when pdfinfo cannot read the file."""
    try:
        rc, out, _ = run(["pdfinfo", "-box", "-f", "1", "-l", str(max(last_page, 1)), path],
                         TOOL_TIMEOUT)
    except Hang:
        return None
    if rc != 0:
        return None
    count, pages = None, {}
    for line in out.splitlines():
        m = BOX_LINE.match(line)
        if m:
            pages.setdefault(int(m.group(1)), {})[m.group(2)] = tuple(
                float(v) for v in m.group(3, 4, 5, 6))
            continue
        m = ROT_LINE.match(line)
        if m:
            pages.setdefault(int(m.group(1)), {})["rot"] = int(m.group(2)) % 360
            continue
        m = PAGES_LINE.match(line)
        if m:
            count = int(m.group(1))
    return (count, pages) if count is not None else None


def box_differences(want, got):
    """Names of the attributes of one page that differ, with both values."""
    diffs = []
    for key in ("MediaBox", "CropBox"):
        a, b = want.get(key), got.get(key)
        if a is None or b is None or any(abs(x - y) > BOX_TOLERANCE for x, y in zip(a, b)):
            diffs.append("%s %s vs %s" % (key, fmt_box(a), fmt_box(b)))
    if want.get("rot") != got.get("rot"):
        diffs.append("rotation %s vs %s" % (want.get("rot"), got.get("rot")))
    return diffs


def fmt_box(box):
    return "[%s]" % " ".join("%.2f" % v for v in box) if box else "none"


def qpdf_check(path):
    """(exit status, its warnings and errors without file names, object numbers and offsets)."""
    try:
        rc, out, err = run(["qpdf", "--check", path], TOOL_TIMEOUT)
    except Hang:
        return (-1, ["qpdf --check did not finish"])
    messages = []
    for line in (err + out).splitlines():
        if ("WARNING" in line or "ERROR" in line or line.startswith("qpdf:")) and \
                "operation succeeded with warnings" not in line:
            text = line.rsplit("): ", 1)[-1] if "): " in line else line.split(": ", 1)[-1]
            text = re.sub(r"\d+", "N", text)  # object numbers differ between merges
            if text not in messages:
                messages.append(text)
    return (rc, messages)


def render(path, pages, prefix, annotations=False):
    """{page: (width, height, bytes)} of the first pages as grey images, annotations hidden
    unless asked for; pages pdftoppm could not render are absent."""
    hide = [] if annotations else ["-hide-annotations"]
    try:
        run(["pdftoppm", "-gray", "-r", str(RENDER_DPI)] + hide + ["-f", "1", "-l",
             str(pages), path, prefix], TOOL_TIMEOUT)
    except Hang:
        pass
    images = {}
    folder, stem = os.path.split(prefix)
    for name in os.listdir(folder):
        m = re.fullmatch(re.escape(stem) + r"-0*(\d+)\.pgm", name)
        if m:
            image = read_pgm(os.path.join(folder, name))
            if image:
                images[int(m.group(1))] = image
    return images


def read_pgm(path):
    """(width, height, grey bytes) of a binary PGM (P5, maxval below 256), or None."""
    with open(path, "rb") as f:
        data = f.read()
    fields, pos = [], 0
    while len(fields) < 4:
        while pos < len(data) and data[pos:pos + 1].isspace():
            pos += 1
        if pos < len(data) and data[pos:pos + 1] == b"#":
            while pos < len(data) and data[pos:pos + 1] not in (b"\n", b"\r"):
                pos += 1
            continue
        start = pos
        while pos < len(data) and not data[pos:pos + 1].isspace():
            pos += 1
        if start == pos:
            return None
        fields.append(data[start:pos])
    if fields[0] != b"P5" or int(fields[3]) > 255:
        return None
    width, height = int(fields[1]), int(fields[2])
    pixels = data[pos + 1:pos + 1 + width * height]
    return (width, height, pixels) if len(pixels) == width * height else None


def image_score(a, b):
    """Mean absolute grey-level difference; 255 when the sizes differ."""
    if a[0] != b[0] or a[1] != b[1]:
        return 255.0
    total = sum(abs(x - y) for x, y in zip(a[2], b[2]))
    return total / max(len(a[2]), 1)


# --- one merge and its checks -----------------------------------------------------------------


class Context:
    def __init__(self, args, counts, references):
        self.args = args
        self.counts = counts  # path -> our page count
        self.references = references  # path -> page_boxes() of the input, or None


def do_merge(ctx, out, members):
    paths = [os.path.join(ctx.args.corpus, m) for m in members]
    if ctx.args.qpdf_merger:
        return merge_qpdf(out, paths, ctx.args.timeout)
    return merge_ours(ctx.args.binary, out, paths, ctx.args.timeout,
                      KEEP_OPTIONS if ctx.args.keep else ())


class Outcome:
    """One merge: how it ended, whether every check passed, its misses as (key, check, detail)
    with key a corpus path ('A + B' for a whole pair or group), the page scores as (path, page,
    score, detail), and qpdf's messages on the output."""

    def __init__(self, kind):
        self.kind, self.clean, self.misses, self.scores, self.messages = kind, False, [], [], []


def check_merge(ctx, members, workdir, render_it, member_messages):
    """Merges members into one file and checks it. A qpdf warning on a pair or a group that its
    members' single merges also gave is the members' miss, not the pair's."""
    out = os.path.join(workdir, "merged.pdf")
    whole = " + ".join(members)
    kind, value = do_merge(ctx, out, members)
    result = Outcome(kind)
    if kind != "ok":
        check = "merge-error" if kind == "error" else kind
        result.misses.append((members[0] if len(members) == 1 else whole, check, value))
        return result
    if ctx.args.keep and len(members) == 1:
        # No worse than the input: what qpdf says about the input itself is not the merge's.
        member_messages = set(member_messages) | set(
            qpdf_check(os.path.join(ctx.args.corpus, members[0]))[1])
    total = sum(ctx.counts[m] for m in members)
    if value is not None and value != total:
        result.misses.append((whole, "page-count", "reported %d pages, inputs hold %d"
                              % (value, total)))
    rc, result.messages = qpdf_check(out)
    new = [m for m in result.messages if m not in member_messages]
    if rc != 0 and (new or not result.messages):
        check = "qpdf-check-3" if rc == 3 else "qpdf-check-2"
        result.misses.append((whole, check, "exit %d: %s" % (rc, " | ".join(new[:3]))))
    got = page_boxes(out, total)
    if got is None:
        result.misses.append((whole, "unreadable-output", "pdfinfo cannot read the merged file"))
        return result
    if got[0] != total:
        result.misses.append((whole, "page-count", "pdfinfo finds %d pages, inputs hold %d"
                              % (got[0], total)))
    offset = 0
    for m in members:
        result.misses.extend(compare_boxes(ctx, m, offset, got[1]))
        offset += ctx.counts[m]
    if ctx.args.keep and len(members) > 1:
        result.misses.extend(outline_targets(out, total, whole))
        result.misses.extend(link_targets(out, whole))
    result.clean = rc == 0 and not result.misses
    if render_it:
        result.scores = render_compare(ctx, members[0], out, workdir)
    return result


def compare_boxes(ctx, member, offset, got_pages):
    ref = ctx.references.get(member)
    if ref is None:
        return []  # pdfinfo cannot read the input: no reference to compare with
    n = ctx.counts[member]
    if ref[0] != n:
        return [(member, "page-list", "we find %d pages, pdfinfo %d" % (n, ref[0]))]
    wrong = []
    for page in range(1, n + 1):
        diffs = box_differences(ref[1].get(page, {}), got_pages.get(offset + page, {}))
        if diffs:
            wrong.append("p%d %s" % (page, "; ".join(diffs)))
    if not wrong:
        return []
    detail = "%d of %d pages: %s" % (len(wrong), n, "; ".join(wrong[:3]))
    return [(member, "boxes", detail)]


def render_compare(ctx, member, out, workdir):
    n = ctx.counts[member]
    ref = ctx.references.get(member)
    if ref is None or ref[0] != n:
        return []  # no page-for-page reference (listed as page-list or unreadable input)
    pages = min(RENDER_PAGES, n)
    src = os.path.join(ctx.args.corpus, member)
    want = render(src, pages, os.path.join(workdir, "in"), ctx.args.keep)
    got = render(out, pages, os.path.join(workdir, "out"), ctx.args.keep)
    scores = []
    for page in range(1, pages + 1):
        if page not in want:
            continue  # pdftoppm cannot render the input page: nothing to compare with
        if page not in got:
            scores.append((member, page, 255.0, "merged page not rendered"))
            continue
        a, b = want[page], got[page]
        detail = "" if a[:2] == b[:2] else "size %dx%d vs %dx%d" % (a[0], a[1], b[0], b[1])
        scores.append((member, page, image_score(a, b), detail))
    return scores


def outline_targets(out, total, whole):
    """A miss when a bookmark of the merged file names a page that is not one of its pages."""
    try:
        rc, text, _ = run(["qpdf", "--json", "--json-key=outlines", out], TOOL_TIMEOUT)
    except Hang:
        return []
    if rc not in (0, 3):
        return []
    try:
        items = json.loads(text).get("outlines", [])
    except ValueError:
        return [(whole, "outline-target", "qpdf --json gives no outline")]
    wrong = []
    while items:
        item = items.pop()
        items.extend(item.get("kids", []))
        dest = item.get("dest")
        page = item.get("destpageposfrom1")
        names_page = isinstance(dest, list) and dest and isinstance(dest[0], str) and \
            dest[0].endswith(" R")
        if names_page and (page is None or not 1 <= page <= total):
            wrong.append(item.get("title", "")[:40])
    if not wrong:
        return []
    return [(whole, "outline-target", "%d bookmarks point outside: %s" % (len(wrong),
                                                                          "; ".join(wrong[:3])))]


def link_targets(out, whole):
    """A miss when a link annotation of the merged file (its /Dest, or its GoTo's /D) names an
    object that is not one of its pages."""
    try:
        rc, text, _ = run(["qpdf", "--json", "--json-key=qpdf", "--json-key=pages", out],
                          TOOL_TIMEOUT)
    except Hang:
        return []
    if rc not in (0, 3):
        return []
    try:
        data = json.loads(text)
        objects = data["qpdf"][1]
        pages = set(p["object"] for p in data["pages"])
    except (ValueError, KeyError, IndexError):
        return [(whole, "link-target", "qpdf --json gives no objects")]

    def value(v):
        if isinstance(v, str) and v.endswith(" R"):
            return objects.get("obj:" + v, {}).get("value")
        return v

    wrong = 0
    for page in pages:
        annots = value((value(page) or {}).get("/Annots")) or []
        for a in annots if isinstance(annots, list) else []:
            annot = value(a)
            if not isinstance(annot, dict) or annot.get("/Subtype") != "/Link":
                continue
            dest = value(annot.get("/Dest"))
            action = value(annot.get("/A"))
            if dest is None and isinstance(action, dict) and action.get("/S") == "/GoTo":
                dest = value(action.get("/D"))
            target = dest[0] if isinstance(dest, list) and dest else None
            if isinstance(target, str) and target.endswith(" R") and target not in pages:
                wrong += 1
    return [(whole, "link-target", "%d links point outside" % wrong)] if wrong else []


def merge_task(ctx, members, render_it, member_messages=()):
    workdir = tempfile.mkdtemp(prefix="kqmerge-")
    try:
        return check_merge(ctx, members, workdir, render_it, set(member_messages))
    finally:
        shutil.rmtree(workdir, ignore_errors=True)


def refused_task(ctx, member):
    """A file that needs a password must be refused by the merge as by the count (the count
    suite checks the message)."""
    workdir = tempfile.mkdtemp(prefix="kqmerge-")
    try:
        kind, value = do_merge(ctx, os.path.join(workdir, "merged.pdf"), [member])
    finally:
        shutil.rmtree(workdir, ignore_errors=True)
    if kind in ("crash", "hang"):
        return [(member, kind, value)]
    if kind != "error":
        return [(member, "not-refused", "a file that needs a password was merged")]
    return []


# --- plan, expectations, figures --------------------------------------------------------------


def read_expectations(keep):
    path = KEEP_EXPECTATIONS if keep else EXPECTATIONS
    return {(key, check): reason for key, check, reason in read_listed(path)}


def sample_rows(rows, n):
    def digest(r):
        return hashlib.sha1(r["path"].encode()).hexdigest()
    chosen = set(r["path"] for r in sorted(rows, key=digest)[:n])
    return [r for r in rows if r["path"] in chosen]


def pairs_and_groups(paths):
    """Every file in two pairs (with its neighbours in a fixed shuffled ring) and in one group."""
    ring = sorted(paths)
    random.Random(5).shuffle(ring)
    pairs = [[ring[i], ring[(i + 1) % len(ring)]] for i in range(len(ring) if len(ring) > 1 else 0)]
    order = sorted(paths)
    random.Random(8).shuffle(order)
    groups = [order[i:i + GROUP_SIZE] for i in range(0, len(order), GROUP_SIZE)]
    return pairs, [g for g in groups if len(g) > 1]


def pct(a, b):
    return 100.0 * a / b if b else 0.0


def parse_args():
    ap = argparse.ArgumentParser()
    ap.add_argument("binary")
    ap.add_argument("corpus")
    ap.add_argument("--timeout", type=float, default=60.0)
    ap.add_argument("--jobs", type=int, default=os.cpu_count() or 2)
    ap.add_argument("--sample", type=int, default=0)
    ap.add_argument("--qpdf-merger", action="store_true")
    ap.add_argument("--scores")
    ap.add_argument("--keep", action="store_true")
    return ap.parse_args()


def count_all(pool, args, rows):
    """path -> count outcome; qpdf's counts from the manifest in the calibration mode."""
    if args.qpdf_merger:
        return {r["path"]: ("ok", int(r["qpdf_pages"])) if r["qpdf_pages"] != "NA"
                else ("error", "qpdf cannot read it") for r in rows}
    futures = {r["path"]: pool.submit(count_one, args.binary,
                                      os.path.join(args.corpus, r["path"]), args.timeout)
               for r in rows}
    return {p: f.result() for p, f in futures.items()}


def count_figures(rows, counts):
    """(files whose count equals the manifest's, comparable files, crash and hang misses)."""
    agree = comparable = 0
    misses = []
    for r in rows:
        kind, value = counts[r["path"]]
        if kind in ("crash", "hang"):
            misses.append((r["path"], kind, "count: %s" % value))
        if r["qpdf_pages"] != "NA":
            comparable += 1
            agree += kind == "ok" and value == int(r["qpdf_pages"])
    return agree, comparable, misses


def run_merges(pool, ctx, loaded, locked):
    """Singles (rendered), then pairs and groups of the files whose single merge succeeded.
    Returns the outcomes, the misses of the files that need a password, and the number of pairs
    and groups."""
    singles = {p: pool.submit(merge_task, ctx, [p], True) for p in loaded}
    refusals = [pool.submit(refused_task, ctx, p) for p in locked]
    single_results = {p: f.result() for p, f in singles.items()}
    pairs, groups = pairs_and_groups([p for p in loaded if single_results[p].kind == "ok"])
    multi = [pool.submit(merge_task, ctx, g, False,
                         [m for p in g for m in single_results[p].messages])
             for g in pairs + groups]
    outcomes = list(single_results.values()) + [f.result() for f in multi]
    refused = [m for f in refusals for m in f.result()]
    return outcomes, refused, len(pairs), len(groups)


def write_scores(path, scores):
    with open(path, "w") as f:
        for member, page, score, detail in scores:
            f.write("%s\t%d\t%.4f\t%s\n" % (member, page, score, detail))


def main():
    args = parse_args()
    if not os.path.isfile(os.path.join(args.corpus, "MANIFEST.tsv")):
        print("SKIP: no corpus at %s (MANIFEST.tsv missing); real-file merges not checked"
              % args.corpus)
        return SKIP
    missing = [t for t in ("qpdf", "pdfinfo", "pdftoppm") if not shutil.which(t)]
    if missing:
        print("SKIP: %s not installed; real-file merges not checked" % ", ".join(missing))
        return SKIP

    started = time.time()
    rows = read_manifest(args.corpus)
    if args.sample:
        rows = sample_rows(rows, args.sample)
    with concurrent.futures.ThreadPoolExecutor(args.jobs) as pool:
        counts = count_all(pool, args, rows)
        agree, comparable, misses = count_figures(rows, counts)
        loaded = [r["path"] for r in rows if not needs_password(r)
                  and counts[r["path"]][0] == "ok" and counts[r["path"]][1] >= 1]
        locked = [] if args.qpdf_merger else [r["path"] for r in rows if needs_password(r)]
        # Reference boxes of every input, once; none where pdfinfo cannot read the input (poppler
        # fails on it, or takes minutes on a few damaged form trees), which also leaves it
        # unrendered.
        readable = set(r["path"] for r in rows if r["pdfinfo_pages"] != "NA")
        futures = {p: pool.submit(page_boxes, os.path.join(args.corpus, p), counts[p][1])
                   for p in loaded if p in readable}
        ctx = Context(args, {p: counts[p][1] for p in loaded},
                      {p: f.result() for p, f in futures.items()})
        outcomes, refused, pairs, groups = run_merges(pool, ctx, loaded, locked)

    misses += refused
    scores = [s for o in outcomes for s in o.scores]
    for o in outcomes:
        misses.extend(o.misses)
    misses.extend((path, "render p%d" % page, "score %.2f %s" % (score, detail))
                  for path, page, score, detail in scores if score >= THRESHOLD)
    if args.scores:
        write_scores(args.scores, scores)
    problems = judge(misses, rows, args)
    for line in problems:
        print("FAIL " + line)

    clean = sum(o.clean for o in outcomes)
    equal = sum(1 for s in scores if s[2] < THRESHOLD)
    count_figure = ("count agreement %d of %d (%.2f%%)" % (agree, comparable,
                                                           pct(agree, comparable))
                    if not args.qpdf_merger else "count agreement not measured (qpdf counts)")
    merger = "qpdf --empty --pages" if args.qpdf_merger else "kq-pdfmerge merge" + (
        " " + " ".join(KEEP_OPTIONS) if args.keep else "")
    print("corpus merges with %s: %s; merges checked clean %d of %d (%.2f%%; %d single, %d pairs,"
          " %d groups); pages rendered equal %d of %d (%.2f%%); %d crashes, %d hangs; %d files in"
          " %.1f s" % (merger, count_figure, clean, len(outcomes), pct(clean, len(outcomes)),
                       len(loaded), pairs, groups, equal, len(scores), pct(equal, len(scores)),
                       sum(1 for m in misses if m[1] == "crash"),
                       sum(1 for m in misses if m[1] == "hang"), len(rows),
                       time.time() - started))
    return 1 if problems else 0


def judge(misses, rows, args):
    """Every miss must be listed (and listable); every listed miss of a checked file must occur."""
    if args.qpdf_merger:  # calibration: show what qpdf's merge misses, fail only on a hang
        for m in misses:
            print("qpdf-merger miss %s: %s: %s" % m)
        return ["%s: %s: %s" % m for m in misses if m[1] in ("crash", "hang")]
    listed = read_expectations(args.keep)
    checked = set(r["path"] for r in rows)
    inputs_fail = {r["path"]: r["qpdf_check_exit"] == "2" for r in rows}
    seen, problems = set(), []
    for key, check, detail in misses:
        if (key, check) in seen:
            continue  # the same miss found again in a pair or a group
        seen.add((key, check))
        if check == "qpdf-check-2" and any(inputs_fail.get(m) for m in key.split(" + ")):
            pass  # the input fails the same check by itself: listable like a warning
        elif check in UNLISTABLE or any(check.startswith(u) for u in UNLISTABLE):
            problems.append("%s: %s: %s" % (key, check, detail))
        elif (key, check) not in listed:
            problems.append("%s: %s: %s (not listed)" % (key, check, detail))
    for key, check in listed:
        if all(part in checked for part in key.split(" + ")) and (key, check) not in seen:
            problems.append("%s: %s: listed but no longer occurs; remove it" % (key, check))
    return problems


if __name__ == "__main__":
    sys.exit(main())
