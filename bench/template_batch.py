#!/usr/bin/env python3
"""A batch made from one template, as a billing system writes it, merged with and without the
options that write shared objects once and pack objects into object streams; sizes and times
beside qpdf, mutool, pdfunite, the deduplicated file `mutool clean -gggg` makes of the plain
merge (and that file with qpdf's object streams), and ghostscript's rewrite when it is there.

usage: template_batch.py LIB [--docs N] [--fonts full|subset|both] [--rounds N] [--driver KQDRV]
                         [--work DIR] [--keep]

LIB is the built library (build/default/libkq_out_pdfmerge.so). The batch: N invoices (default
100), each its own file, every tenth of two pages; each embeds the same TrueType programs of the
system's DejaVu fonts (DejaVuSans for the text and DejaVuSans-Bold for the headings) and the same
logo image (a 74 KB Flate-compressed RGB image), and prints text of its own (customer, items,
amounts) in Flate-compressed content. With `--fonts full` the whole font files are embedded;
with `subset` each file embeds the subset of the template's character set, which a generator
that subsets fonts makes the same for every file (a subset of the characters each file happens
to use would differ from file to file and could not be shared). `both` (the default) runs the
two batches one after the other.

Each tool runs once per round, in rotated order, after one warm-up run; printed are the median
wall and CPU seconds (user + system of the process), the output size, and its ratio to the plain
merge. The library runs through the C driver `kqdrv` (built from ../shared/bench/kqdrv.c when
--driver is not given) with options 0 (plain), 4 (compressed content), 8 (shared objects),
8|4, 16 (object streams) and 8|16|4.

Needs (Debian): python3-fonttools, fonts-dejavu-core, qpdf, mupdf-tools, poppler-utils, gcc;
ghostscript optional. Runs under /usr/bin/python3 when the interpreter at hand lacks fontTools.
"""
import argparse
import logging
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
import zlib

try:
    from fontTools import subset as ft_subset
    from fontTools.ttLib import TTFont
except ImportError:
    if os.path.exists("/usr/bin/python3") and os.path.realpath(sys.executable) != os.path.realpath("/usr/bin/python3"):
        os.execv("/usr/bin/python3", ["/usr/bin/python3"] + sys.argv)
    sys.exit("template_batch.py needs fontTools (Debian: python3-fonttools)")

logging.getLogger("fontTools").setLevel(logging.ERROR)  # tables it drops from subsets
HERE = os.path.dirname(os.path.abspath(__file__))
FONT_DIR = "/usr/share/fonts/truetype/dejavu"
ENV = dict(os.environ, LC_ALL="C")

# The template's character set: what any invoice of the batch may print.
CHARSET = "".join(chr(c) for c in range(32, 127)) + "€£äöüÄÖÜßéèàçñ–—•©"


# ---------------------------------------------------------------- the template's resources

def winansi_codes():
    """(code, unicode character) of the WinAnsiEncoding codes 32..255 that have a character."""
    out = []
    for code in range(32, 256):
        try:
            out.append((code, bytes([code]).decode("cp1252")))
        except UnicodeDecodeError:
            pass
    return out


class EmbeddedFont:
    """One TrueType program, whole or subset, with what its PDF objects need."""

    def __init__(self, path, subset):
        font = TTFont(path, recalcTimestamp=False)  # the same bytes on every run
        if subset:
            opts = ft_subset.Options()
            opts.name_IDs = ["*"]
            opts.notdef_outline = True
            opts.recalc_timestamp = False
            sub = ft_subset.Subsetter(opts)
            sub.populate(text=CHARSET)
            sub.subset(font)
        if subset:
            with tempfile.TemporaryFile() as f:
                font.save(f)
                f.seek(0)
                self.program = f.read()
        else:  # the font file as it is
            with open(path, "rb") as f:
                self.program = f.read()
        base = font["name"].getDebugName(6) or os.path.basename(path)[:-4]
        # A subset's tag is made from its contents, as generators do: the same subset, the same tag.
        tag = "".join(chr(65 + b % 26) for b in zlib.crc32(self.program).to_bytes(4, "big") * 2)[:6]
        self.name = (tag + "+" + base) if subset else base
        upem = font["head"].unitsPerEm
        cmap = font.getBestCmap()
        hmtx = font["hmtx"]
        self.widths = []
        for code in range(32, 256):
            try:
                ch = bytes([code]).decode("cp1252")
            except UnicodeDecodeError:
                ch = None
            glyph = cmap.get(ord(ch)) if ch else None
            self.widths.append(round(hmtx[glyph][0] * 1000 / upem) if glyph in hmtx.metrics else 0)
        head = font["head"]
        s = 1000 / upem
        self.bbox = [round(head.xMin * s), round(head.yMin * s), round(head.xMax * s), round(head.yMax * s)]
        hhea = font["hhea"]
        self.ascent = round(hhea.ascent * s)
        self.descent = round(hhea.descent * s)
        self.packed = zlib.compress(self.program, 6)


def logo_image():
    """A 74 KB logo: 240 x 110 RGB, a gradient with a striped band and some grain."""
    rnd = random.Random(7)
    w, h = 240, 110
    rows = bytearray()
    for y in range(h):
        rows.append(0)
        for x in range(w):
            band = h // 3 < y < 2 * h // 3 and (x // 12) % 3 != 0
            r = (x * 255 // w) ^ rnd.randrange(64)
            g = (y * 255 // h) ^ rnd.randrange(64)
            b = 200 if band else (x + y) % 256
            rows += bytes((r, g, b))
    return w, h, zlib.compress(bytes(rows), 9)


# ---------------------------------------------------------------- one invoice

def pdf_string(text):
    data = text.encode("cp1252")
    return "(" + data.replace(b"\\", b"\\\\").replace(b"(", b"\\(").replace(b")", b"\\)").decode("latin-1") + ")"


def invoice_pages(n, rnd):
    """The content of invoice n's pages, as text drawing operators."""
    customers = ["Müller GmbH", "Dupont & Fils", "Ørsted Consulting", "García Hermanos", "Smith Ltd",
                 "Nakamura KK", "Kowalski Sp. z o.o.", "Rossi S.r.l."]
    items = ["Consulting hours", "Licence renewal", "Support – premium", "Hardware rental",
             "Travel expenses", "Training day", "Maintenance", "Hosting (monthly)"]
    pages = 2 if n % 10 == 9 else 1
    out = []
    total = 0
    for p in range(pages):
        ops = ["q 150 0 0 60 40 760 cm /Logo Do Q",
               "BT /FB 18 Tf 220 790 Td %s Tj ET" % pdf_string("INVOICE"),
               "BT /FB 10 Tf 220 775 Td %s Tj ET" % pdf_string("Example Billing Company • Registered office"),
               "BT /FR 10 Tf 40 720 Td %s Tj ET" % pdf_string("Invoice no. %06d   page %d of %d" % (100000 + n, p + 1, pages)),
               "BT /FR 10 Tf 40 705 Td %s Tj ET" % pdf_string("Customer: %s, account %d" % (customers[n % len(customers)], 5000 + n * 7)),
               "BT /FB 10 Tf 40 680 Td %s Tj 300 0 Td %s Tj 100 0 Td %s Tj ET" % (pdf_string("Item"), pdf_string("Qty"), pdf_string("Amount €"))]
        y = 660
        for k in range(rnd.randrange(8, 22)):
            qty = rnd.randrange(1, 40)
            amount = qty * rnd.randrange(500, 20000) / 100
            total += amount
            ops.append("BT /FR 10 Tf 40 %d Td %s Tj 300 0 Td %s Tj 100 0 Td %s Tj ET"
                       % (y, pdf_string(items[(n + k) % len(items)]), pdf_string(str(qty)), pdf_string("%.2f" % amount)))
            y -= 16
        if p == pages - 1:
            ops.append("BT /FB 12 Tf 340 %d Td %s Tj ET" % (y - 20, pdf_string("Total: %.2f €" % total)))
        ops.append("0.6 G 40 60 m 555 60 l S")
        ops.append("BT /FR 8 Tf 40 45 Td %s Tj ET" % pdf_string("Payable within 30 days. Thank you for your business."))
        out.append("\n".join(ops).encode("latin-1"))
    return out


def write_invoice(path, n, fonts, logo, rnd):
    """One invoice file: catalog, pages, content, the fonts (dictionary, descriptor, program),
    the logo, an information dictionary and a cross-reference table."""
    contents = invoice_pages(n, rnd)
    objs = {}
    npages = len(contents)
    page_nums = list(range(3, 3 + npages))
    content_nums = list(range(3 + npages, 3 + 2 * npages))
    nxt = 3 + 2 * npages
    res, font_nums, logo_num, info = nxt, {}, nxt + 1, nxt + 2
    nxt += 3
    for key in ("FR", "FB"):
        font_nums[key] = (nxt, nxt + 1, nxt + 2)
        nxt += 3
    objs[1] = b"<< /Type /Catalog /Pages 2 0 R >>"
    objs[2] = ("<< /Type /Pages /Kids [%s] /Count %d >>" % (" ".join("%d 0 R" % p for p in page_nums), npages)).encode()
    for p in range(npages):
        objs[page_nums[p]] = ("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources %d 0 R /Contents %d 0 R >>"
                              % (res, content_nums[p])).encode()
        data = zlib.compress(contents[p], 6)
        objs[content_nums[p]] = b"<< /Length %d /Filter /FlateDecode >>\nstream\n" % len(data) + data + b"\nendstream"
    objs[res] = ("<< /ProcSet [/PDF /Text /ImageC] /Font << /FR %d 0 R /FB %d 0 R >> /XObject << /Logo %d 0 R >> >>"
                 % (font_nums["FR"][0], font_nums["FB"][0], logo_num)).encode()
    w, h, pixels = logo
    objs[logo_num] = (b"<< /Type /XObject /Subtype /Image /Width %d /Height %d /ColorSpace /DeviceRGB "
                      b"/BitsPerComponent 8 /Filter /FlateDecode /DecodeParms << /Predictor 15 /Colors 3 "
                      b"/Columns %d /BitsPerComponent 8 >> /Length %d >>\nstream\n" % (w, h, w, len(pixels))
                      + pixels + b"\nendstream")
    for key, font in fonts.items():
        fd, desc, prog = font_nums[key]
        objs[fd] = ("<< /Type /Font /Subtype /TrueType /BaseFont /%s /FirstChar 32 /LastChar 255 /Widths [%s] "
                    "/Encoding /WinAnsiEncoding /FontDescriptor %d 0 R >>"
                    % (font.name, " ".join(map(str, font.widths)), desc)).encode()
        objs[desc] = ("<< /Type /FontDescriptor /FontName /%s /Flags 32 /FontBBox [%s] /ItalicAngle 0 /Ascent %d "
                      "/Descent %d /CapHeight %d /StemV 80 /FontFile2 %d 0 R >>"
                      % (font.name, " ".join(map(str, font.bbox)), font.ascent, font.descent, font.ascent, prog)).encode()
        objs[prog] = (b"<< /Length %d /Length1 %d /Filter /FlateDecode >>\nstream\n" % (len(font.packed), len(font.program))
                      + font.packed + b"\nendstream")
    objs[info] = ("<< /Producer (Example Billing 4.2) /CreationDate (D:2024%02d%02d120000Z) /Title (Invoice %06d) >>"
                  % (1 + n % 12, 1 + n % 28, 100000 + n)).encode()
    out = bytearray(b"%PDF-1.4\n%\xe2\xe3\xcf\xd3\n")
    offsets = {}
    for num in sorted(objs):
        offsets[num] = len(out)
        out += b"%d 0 obj\n" % num + objs[num] + b"\nendobj\n"
    xref = len(out)
    size = max(objs) + 1
    out += b"xref\n0 %d\n0000000000 65535 f \n" % size
    for num in range(1, size):
        out += b"%010d 00000 n \n" % offsets[num]
    out += (b"trailer\n<< /Size %d /Root 1 0 R /Info %d 0 R /ID [<%032x> <%032x>] >>\nstartxref\n%d\n%%%%EOF\n"
            % (size, info, n * 7919 + 1, n * 104729 + 3, xref))
    with open(path, "wb") as f:
        f.write(out)
    return npages


def make_batch(folder, docs, subset):
    os.makedirs(folder, exist_ok=True)
    fonts = {"FR": EmbeddedFont(os.path.join(FONT_DIR, "DejaVuSans.ttf"), subset),
             "FB": EmbeddedFont(os.path.join(FONT_DIR, "DejaVuSans-Bold.ttf"), subset)}
    logo = logo_image()
    rnd = random.Random(2024)
    paths, pages = [], 0
    for n in range(docs):
        path = os.path.join(folder, "invoice-%04d.pdf" % n)
        pages += write_invoice(path, n, fonts, logo, rnd)
        paths.append(path)
    return paths, pages, fonts, len(logo[2])


# ---------------------------------------------------------------- timing

def timed(argv, out):
    """Runs argv; (wall seconds, CPU seconds, exit code, output size)."""
    if out and os.path.exists(out):
        os.unlink(out)
    t0 = time.perf_counter()
    pid = os.posix_spawn(argv[0], argv, ENV, file_actions=[
        (os.POSIX_SPAWN_OPEN, 0, "/dev/null", os.O_RDONLY, 0),
        (os.POSIX_SPAWN_OPEN, 1, "/dev/null", os.O_WRONLY, 0),
        (os.POSIX_SPAWN_OPEN, 2, "/dev/null", os.O_WRONLY, 0)])
    _, status, ru = os.wait4(pid, 0)
    wall = time.perf_counter() - t0
    size = os.path.getsize(out) if out and os.path.exists(out) else 0
    return wall, ru.ru_utime + ru.ru_stime, os.waitstatus_to_exitcode(status), size


def find_driver(arg, work):
    if arg:
        return arg
    src = os.path.normpath(os.path.join(HERE, "..", "..", "shared", "bench", "kqdrv.c"))
    drv = os.path.join(work, "kqdrv")
    if not os.access(drv, os.X_OK):
        if not os.path.exists(src):
            sys.exit("no kqdrv: give --driver (the shared benchmark's C driver)")
        subprocess.run(["gcc", "-O2", "-o", drv, src, "-ldl"], check=True)
    return drv


def run_batch(label, paths, pages, lib, driver, rounds, outd):
    o = lambda name: os.path.join(outd, "%s-%s.pdf" % (label, name))
    names = {0: "ours", 4: "ours 4", 8: "ours 8", 12: "ours 8|4", 16: "ours 16", 28: "ours 8|16|4"}
    tools = [(name, [driver, lib, "mergeopt", str(bits), o("ours-%d" % bits)] + paths, o("ours-%d" % bits), (0,))
             for bits, name in names.items()]
    for exe, argv, name in (("qpdf", ["qpdf", "--empty", "--pages"] + paths + ["--", o("qpdf")], "qpdf"),
                            ("pdfunite", ["pdfunite"] + paths + [o("pdfunite")], "pdfunite"),
                            ("mutool", ["mutool", "merge", "-o", o("mutool")] + paths, "mutool")):
        if shutil.which(exe):
            argv[0] = shutil.which(exe)
            tools.append((name, argv, o(name), (0, 3)))
    if shutil.which("gs"):
        tools.append(("gs pdfwrite", [shutil.which("gs"), "-q", "-dBATCH", "-dNOPAUSE", "-dSAFER", "-sDEVICE=pdfwrite",
                                      "-sOutputFile=" + o("gs")] + paths, o("gs"), (0,)))
    times = {t[0]: [] for t in tools}
    sizes = {}
    for r in range(rounds + 1):
        k = r % len(tools)
        for name, argv, out, ok in tools[k:] + tools[:k]:
            wall, cpu, rc, size = timed(argv, out)
            if rc not in ok:
                sys.exit("%s failed (exit %d): %s" % (name, rc, " ".join(argv[:6])))
            if r:
                times[name].append((wall, cpu))
            sizes[name] = size
    # What the peers make of the plain merge: mutool's deduplicated rewrite, then with qpdf's
    # object streams.
    post = []
    if shutil.which("mutool"):
        w, c, rc, size = timed([shutil.which("mutool"), "clean", "-gggg", o("ours-0"), o("clean")], o("clean"))
        post.append(("mutool clean -gggg of ours", w, c, size))
        if shutil.which("qpdf") and rc == 0:
            w2, c2, rc2, size2 = timed([shutil.which("qpdf"), "--object-streams=generate", o("clean"), o("clean-os")],
                                       o("clean-os"))
            if rc2 in (0, 3):
                post.append(("  then qpdf --object-streams=generate", w + w2, c + c2, size2))
    base = sizes["ours"]
    print("\n%s: %d files, %d pages, %.1f MB of input" % (label, len(paths), pages,
                                                          sum(os.path.getsize(p) for p in paths) / 1e6))
    print("%-40s %9s %9s %12s %8s" % ("tool", "wall s", "CPU s", "bytes", "÷ plain"))
    for name, _, _, _ in tools:
        wall = statistics.median(t[0] for t in times[name])
        cpu = statistics.median(t[1] for t in times[name])
        print("%-40s %9.3f %9.3f %12d %8.3f" % (name, wall, cpu, sizes[name], sizes[name] / base))
    for name, wall, cpu, size in post:
        print("%-40s %9.3f %9.3f %12d %8.3f" % (name, wall, cpu, size, size / base))
    best = sizes["ours 8|16|4"]
    figures = []
    if len(post) == 2:
        figures.append("8|16|4 ÷ (mutool clean -gggg, qpdf object streams): %.3f" % (best / post[1][3]))
    if "gs pdfwrite" in sizes:
        figures.append("8|16|4 ÷ gs pdfwrite: %.3f" % (best / sizes["gs pdfwrite"]))
    if "qpdf" in times:
        ours = statistics.median(t[0] for t in times["ours 8|16|4"])
        figures.append("8|16|4 wall ÷ qpdf's merge: %.3f" % (ours / statistics.median(t[0] for t in times["qpdf"])))
    plain = statistics.median(t[0] for t in times["ours"])
    figures.append("8 wall ÷ plain: %.3f" % (statistics.median(t[0] for t in times["ours 8"]) / plain))
    print("\n".join(figures))


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("lib")
    ap.add_argument("--docs", type=int, default=100)
    ap.add_argument("--fonts", choices=("full", "subset", "both"), default="both")
    ap.add_argument("--rounds", type=int, default=3)
    ap.add_argument("--driver")
    ap.add_argument("--work", default=os.path.join(os.getcwd(), "build", "template-batch"))
    ap.add_argument("--keep", action="store_true", help="keep the batch and the outputs")
    a = ap.parse_args()
    lib = os.path.abspath(a.lib)
    os.makedirs(a.work, exist_ok=True)
    driver = find_driver(a.driver, a.work)
    for kind in (("full", "subset") if a.fonts == "both" else (a.fonts,)):
        folder = os.path.join(a.work, kind)
        shutil.rmtree(folder, ignore_errors=True)
        paths, pages, fonts, logo = make_batch(os.path.join(folder, "in"), a.docs, kind == "subset")
        outd = os.path.join(folder, "out")
        os.makedirs(outd, exist_ok=True)
        label = "%s fonts (programs %s; logo %d bytes)" % (
            kind, ", ".join("%s %d bytes" % (f.name, len(f.packed)) for f in fonts.values()), logo)
        run_batch(kind, paths, pages, lib, driver, a.rounds, outd)
        print("  (%s)" % label)
        if not a.keep:
            shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main()
