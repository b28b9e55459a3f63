#!/usr/bin/env python3
"""A sample of the corpus merged plainly and with the options that write shared objects once
(`--share-resources`) and pack objects into object streams (`--object-streams`): the outputs
must be as sound as the plain one and show the same pages.

For each sampled file that `kq-pdfmerge` merges (chosen by a hash of their path, the same ones
every run; password-protected files and files of more than --max-pages pages left out), the file
is merged alone plainly, with --share-resources, with --object-streams, and with both and
--compress, each in its own process under a time limit, and:

  * a merge that fails must fail the same way with and without the options;
  * the page count the program prints for the output (read back by the library's own reader)
    must be the same; for the outputs with object streams, mutool must count the same pages;
  * `qpdf --check` of each output must end no worse than that of the plain output (exit 0 stays
    0; a warning (3) only where the plain output has one too; never an error);
  * every page, rendered by pdftoppm in grey at 20 dpi, must be the same as the plain output's;
  * merging again with all three options must give the same bytes (every tenth file);
  * the file listed ten times with --share-resources must come out at most 1.2 times the size of
    the file merged once with it, plus nine times its pages' own bytes (their page objects, the
    references to them in the page tree and their lines of the cross-reference table), every
    tenth file.

Any miss fails the run; there is no list of expected differences, since the options change only
how the objects are stored. The last line gives the figures: files checked, pages compared, the
output sizes summed per option, the largest ratio of the ten-times merges, and the run time.

usage: corpus_compact.py KQ_PDFMERGE_BINARY CORPUS_DIR [--sample N] [--jobs N] [--timeout S]
                         [--max-pages N]
"""
import argparse
import concurrent.futures
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

from corpus_common import SKIP, needs_password, read_manifest

VARIANTS = [("plain", []), ("shared", ["--share-resources"]), ("packed", ["--object-streams"]),
            ("all", ["--share-resources", "--object-streams", "--compress"])]


def sample_rows(rows, n, max_pages):
    def digest(r):
        return hashlib.sha1(("compact:" + r["path"]).encode()).hexdigest()
    small = [r for r in rows if r["qpdf_pages"].isdigit() and int(r["qpdf_pages"]) <= max_pages]
    return sorted(small, key=digest)[:n]


def run(args, timeout):
    try:
        p = subprocess.run(args, capture_output=True, timeout=timeout)
        return p.returncode, p.stdout.decode("utf-8", "replace") + p.stderr.decode("utf-8", "replace")
    except subprocess.TimeoutExpired:
        return None, "timed out after %ss" % timeout


def merge(binary, out, paths, flags, timeout):
    rc, text = run([binary, "merge"] + flags + [out] + paths, timeout)
    m = re.search(r": (\d+) pages?\s*$", text)
    return rc, text.strip().replace(out, "OUT"), int(m.group(1)) if rc == 0 and m else None


def renders(path, timeout):
    """Every page of path rendered in grey at 20 dpi, in page order; None when pdftoppm fails."""
    folder = path + "-pages"
    os.makedirs(folder)
    rc, _ = run(["pdftoppm", "-gray", "-r", "20", path, os.path.join(folder, "p")], timeout)
    if rc != 0:
        return None
    names = sorted(os.listdir(folder), key=lambda n: int(re.search(r"(\d+)\.pgm$", n).group(1)))
    pages = []
    for n in names:
        with open(os.path.join(folder, n), "rb") as f:
            pages.append(f.read())
    shutil.rmtree(folder)
    return pages


def page_bytes(path, pages):
    """What each listing's pages add to a merge with shared objects: the bytes from page object 3
    to the object after the last page (the pages come first and are written in order), a
    reference in the page tree and a line of the cross-reference table for each."""
    with open(path, "rb") as f:
        pdf = f.read()
    first = pdf.find(b"\n3 0 obj\n")
    after = pdf.find(b"\n%d 0 obj\n" % (pages + 3))
    if first < 0 or after < 0:
        return None
    return after - first + pages * (len(b" %d 0 R" % (10 * pages + 3)) + 20)


def mutool_pages(path, timeout):
    rc, text = run(["mutool", "info", path], timeout)
    m = re.search(r"Pages: (\d+)", text)
    return int(m.group(1)) if rc == 0 and m else None


def check_file(binary, corpus, row, work, timeout, every_tenth):
    src = os.path.join(corpus, row["path"])
    tag = hashlib.sha1(row["path"].encode()).hexdigest()[:12]
    misses = []
    result = {"path": row["path"], "misses": misses, "pages": 0, "sizes": {}, "ten": None}
    outs, merged = {}, {}
    for name, flags in VARIANTS:
        outs[name] = os.path.join(work, "%s-%s.pdf" % (tag, name))
        merged[name] = merge(binary, outs[name], [src], flags, timeout)
    rc0, text0, pages = merged["plain"]
    for name, _ in VARIANTS[1:]:
        rc, text, n = merged[name]
        if rc is None or rc not in (0, 1):
            misses.append("%s merge crashed or hung: %s" % (name, text))
        elif (rc, text, n) != (rc0, text0, pages):
            misses.append("%s merge differs: %s %r, plain %s %r" % (name, rc, text, rc0, text0))
    if misses or rc0 != 0:
        return result
    q0, _ = run(["qpdf", "--check", outs["plain"]], timeout)
    want = renders(outs["plain"], timeout)
    for name, _ in VARIANTS[1:]:
        result["sizes"][name] = os.path.getsize(outs[name])
        q, text = run(["qpdf", "--check", outs[name]], timeout)
        if q is None or q == 2 or (q == 3 and q0 != 3) or (q != 0 and q != 3):
            misses.append("%s: qpdf --check exit %s (plain output: %s): %s"
                          % (name, q, q0, text.strip()[-300:]))
        if "--object-streams" in dict(VARIANTS)[name] and mutool_pages(outs[name], timeout) != pages:
            misses.append("%s: mutool does not count %d pages" % (name, pages))
        got = renders(outs[name], timeout) if want is not None else None
        if want is not None and got is not None:
            if len(got) != len(want):
                misses.append("%s: %d pages rendered, plain %d" % (name, len(got), len(want)))
            else:
                diff = [k + 1 for k, (a, b) in enumerate(zip(want, got)) if a != b]
                if diff:
                    misses.append("%s: pages %s render differently" % (name, diff[:10]))
    result["sizes"]["plain"] = os.path.getsize(outs["plain"])
    result["pages"] = pages
    if every_tenth:
        again = os.path.join(work, tag + "-again.pdf")
        merge(binary, again, [src], dict(VARIANTS)["all"], timeout)
        with open(outs["all"], "rb") as a, open(again, "rb") as b:
            if a.read() != b.read():
                misses.append("a second merge with every option gave other bytes")
        os.remove(again)
        ten = os.path.join(work, tag + "-ten.pdf")
        rc, text, n = merge(binary, ten, [src] * 10, ["--share-resources"], timeout)
        added = page_bytes(outs["shared"], pages)
        if rc != 0 or n != 10 * pages or added is None:
            misses.append("ten listings: %s %r" % (rc, text))
        else:
            once = os.path.getsize(outs["shared"])
            ratio = (os.path.getsize(ten) - 9 * added) / once
            result["ten"] = ratio
            if ratio > 1.2:
                misses.append("ten listings: %d bytes, once %d, pages %d each: %.2f times"
                              % (os.path.getsize(ten), once, added, ratio))
        if os.path.exists(ten):
            os.remove(ten)
    for f in outs.values():
        if os.path.exists(f):
            os.remove(f)
    return result


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("binary")
    ap.add_argument("corpus")
    ap.add_argument("--sample", type=int, default=60)
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--timeout", type=int, default=120)
    ap.add_argument("--max-pages", type=int, default=40)
    args = ap.parse_args()
    if not os.path.isfile(os.path.join(args.corpus, "MANIFEST.tsv")):
        print("no corpus at %s: skipped" % args.corpus)
        return SKIP
    for tool in ("qpdf", "pdftoppm", "mutool"):
        if not shutil.which(tool):
            print("%s is not installed: skipped" % tool)
            return SKIP
    started = time.time()
    rows = [r for r in read_manifest(args.corpus) if not needs_password(r)]
    rows = sample_rows(rows, args.sample, args.max_pages)
    with tempfile.TemporaryDirectory(prefix="corpus-compact-") as work:
        with concurrent.futures.ThreadPoolExecutor(args.jobs) as pool:
            futures = [pool.submit(check_file, args.binary, args.corpus, r, work, args.timeout,
                                   i % 10 == 0) for i, r in enumerate(rows)]
            results = [f.result() for f in futures]
    failed = 0
    for r in results:
        for m in r["misses"]:
            print("MISS %s: %s" % (r["path"], m))
            failed += 1
    sizes = {name: sum(r["sizes"].get(name, 0) for r in results) for name, _ in VARIANTS}
    tens = [r["ten"] for r in results if r["ten"] is not None]
    print("files %d, pages compared %d, outputs %s, ten listings at most %.2f times once "
          "(%d files), misses %d, %.0f s"
          % (len(results), sum(r["pages"] for r in results),
             ", ".join("%s %d" % (k, v) for k, v in sizes.items()), max(tens) if tens else 0,
             len(tens), failed, time.time() - started))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
