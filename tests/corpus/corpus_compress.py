#!/usr/bin/env python3
"""A sample of the corpus merged with and without `--compress`: the compressed output must be as
sound as the plain one and hold the same pages.

For each sampled file that `kq-pdfmerge` merges (files chosen by a hash of their path, the same
ones every run, password-protected ones left out), the file is merged alone twice, once plainly
and once with --compress, each in its own process under a time limit, and:

  * a merge that fails must fail the same way with and without the option;
  * `qpdf --check` of the compressed output must end no worse than that of the plain output
    (exit 0 stays 0; a warning (3) only where the plain output has one too; never an error);
  * every page's content stream, decoded by qpdf (generalized filters), must equal the plain
    output's byte for byte (page k's content is object T + 2 + k in both);
  * merging the same file with --compress again must give the same bytes (every tenth file).

Any miss fails the run; there is no list of expected differences, since the option changes only
how the content is stored. The last line gives the figures: files checked, pages compared, the
plain and compressed output sizes summed, and the run time.

usage: corpus_compress.py KQ_PDFMERGE_BINARY CORPUS_DIR [--sample N] [--jobs N] [--timeout S]
"""
import argparse
import base64
import concurrent.futures
import hashlib
import json
import os
import re
import subprocess
import sys
import tempfile
import time

from corpus_common import SKIP, needs_password, read_manifest


def sample_rows(rows, n):
    def digest(r):
        return hashlib.sha1(r["path"].encode()).hexdigest()
    return sorted(rows, key=digest)[:n]


def run(args, timeout):
    try:
        p = subprocess.run(args, capture_output=True, timeout=timeout)
        return p.returncode, p.stdout.decode("utf-8", "replace") + p.stderr.decode("utf-8", "replace")
    except subprocess.TimeoutExpired:
        return None, "timed out after %ss" % timeout


def merge(binary, out, path, compress, timeout):
    flags = ["--compress"] if compress else []
    rc, text = run([binary, "merge"] + flags + [out, path], timeout)
    pages = None
    m = re.search(r": (\d+) pages?\s*$", text)
    if rc == 0 and m:
        pages = int(m.group(1))
    return rc, text.strip(), pages


def page_contents(path, pages, timeout):
    """The decoded data of objects T+3 .. 2T+2 as qpdf gives them, or None when qpdf fails."""
    args = ["qpdf", "--json=2", "--json-key=qpdf", "--json-stream-data=inline",
            "--decode-level=generalized"]
    args += ["--json-object=%d" % (pages + 2 + k) for k in range(1, pages + 1)]
    args.append(path)
    try:
        p = subprocess.run(args, capture_output=True, timeout=timeout)
    except subprocess.TimeoutExpired:
        return None
    if p.returncode not in (0, 3):
        return None
    objects = json.loads(p.stdout)["qpdf"][1]
    out = []
    for k in range(1, pages + 1):
        stream = objects.get("obj:%d 0 R" % (pages + 2 + k), {}).get("stream", {})
        out.append((base64.b64decode(stream.get("data", "")), json.dumps(stream.get("dict"))))
    return out


def check_file(binary, corpus, row, work, timeout, repeat):
    src = os.path.join(corpus, row["path"])
    tag = hashlib.sha1(row["path"].encode()).hexdigest()[:12]
    plain = os.path.join(work, tag + "-plain.pdf")
    packed = os.path.join(work, tag + "-packed.pdf")
    misses = []
    rc0, text0, pages = merge(binary, plain, src, False, timeout)
    rc4, text4, pages4 = merge(binary, packed, src, True, timeout)
    result = {"path": row["path"], "misses": misses, "pages": 0, "plain": 0, "packed": 0}
    if rc4 is None or (rc4 != 0 and rc4 != 1):
        misses.append("compressed merge crashed or hung: %s" % text4)
        return result
    if rc0 != 0 or rc4 != 0:
        if (rc0, text0.replace(plain, "OUT")) != (rc4, text4.replace(packed, "OUT")):
            misses.append("merges differ: plain %s %r, compressed %s %r" % (rc0, text0, rc4, text4))
        return result
    if pages != pages4:
        misses.append("page counts differ: %s and %s" % (pages, pages4))
        return result
    result["plain"] = os.path.getsize(plain)
    result["packed"] = os.path.getsize(packed)
    q0, out0 = run(["qpdf", "--check", plain], timeout)
    q4, out4 = run(["qpdf", "--check", packed], timeout)
    if q4 is None or q4 == 2 or (q4 == 3 and q0 != 3) or (q4 != 0 and q4 != 3):
        misses.append("qpdf --check exit %s (plain output: %s): %s" % (q4, q0, out4.strip()[-300:]))
    want = page_contents(plain, pages, timeout)
    got = page_contents(packed, pages, timeout)
    if want is None or got is None:
        misses.append("qpdf could not show the content streams")
    else:
        for k, (w, g) in enumerate(zip(want, got)):
            if w != g:
                misses.append("page %d content differs (%d bytes, compressed output %d)"
                              % (k + 1, len(w[0]), len(g[0])))
                break
        result["pages"] = pages
    if repeat:
        again = os.path.join(work, tag + "-again.pdf")
        merge(binary, again, src, True, timeout)
        with open(packed, "rb") as a, open(again, "rb") as b:
            if a.read() != b.read():
                misses.append("a second compressed merge gave other bytes")
        os.remove(again)
    for f in (plain, packed):
        os.remove(f)
    return result


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("binary")
    ap.add_argument("corpus")
    ap.add_argument("--sample", type=int, default=100)
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--timeout", type=int, default=120)
    args = ap.parse_args()
    if not os.path.isfile(os.path.join(args.corpus, "MANIFEST.tsv")):
        print("no corpus at %s: skipped" % args.corpus)
        return SKIP
    for tool in ("qpdf",):
        if subprocess.run(["sh", "-c", "command -v " + tool], capture_output=True).returncode:
            print("%s is not installed: skipped" % tool)
            return SKIP
    started = time.time()
    rows = [r for r in read_manifest(args.corpus) if not needs_password(r)]
    rows = sample_rows(rows, args.sample)
    results = []
    with tempfile.TemporaryDirectory(prefix="corpus-compress-") as work:
        with concurrent.futures.ThreadPoolExecutor(args.jobs) as pool:
            futures = [pool.submit(check_file, args.binary, args.corpus, r, work, args.timeout,
                                   i % 10 == 0) for i, r in enumerate(rows)]
            results = [f.result() for f in futures]
    failed = 0
    for r in results:
        for m in r["misses"]:
            print("MISS %s: %s" % (r["path"], m))
            failed += 1
    plain = sum(r["plain"] for r in results)
    packed = sum(r["packed"] for r in results)
    print("files %d, pages compared %d, outputs %d bytes plain, %d compressed (%.2f), misses %d, "
          "%.0f s" % (len(results), sum(r["pages"] for r in results), plain, packed,
                      packed / plain if plain else 0, failed, time.time() - started))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
