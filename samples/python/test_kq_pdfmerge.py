"""The ctypes module against the built library: counts, merges, non-ASCII names, the messages
that failures carry, and a function for every export and an Option for every bit of the header.

Run from the source folder (samples/python/run.sh) or, copied elsewhere, against the installed
package (scripts/check_packages.sh): KQ_PDFMERGE_SOURCE names the project's folder then, and
KQ_PDFMERGE_EXPECT_BUNDLED=1 demands the library that the package carries beside its module."""

import ctypes
import os
import pathlib
import re
import shutil
import sys

import pytest

import kq_pdfmerge
from kq_pdfmerge import Option, PdfMergeError

SOURCE = pathlib.Path(os.environ.get("KQ_PDFMERGE_SOURCE") or
                      pathlib.Path(__file__).resolve().parents[2])
EXAMPLES = SOURCE / "examples"
HEADER = (SOURCE / "include" / "kq_out_pdfmerge.h").read_text(encoding="utf-8")
EXPORTS = re.findall(r"^ *(pdfmerge_\w+);$", (SOURCE / "cmake" / "exports.map").read_text(),
                     re.MULTILINE)
EXAMPLE_PAGES = {"letter.pdf": 1, "object-streams.pdf": 2, "rotated.pdf": 3}
UNICODE_NAME = "Ελληνικά 中文 🙂.pdf"


@pytest.mark.parametrize("name,pages", sorted(EXAMPLE_PAGES.items()))
def test_page_count_of_each_example(name, pages):
    assert kq_pdfmerge.page_count(str(EXAMPLES / name)) == pages


@pytest.mark.parametrize("form", [str, os.fsencode, pathlib.Path])
def test_paths_as_str_bytes_or_path_objects(form, tmp_path):
    source = EXAMPLES / "object-streams.pdf"
    out = tmp_path / "out.pdf"
    assert kq_pdfmerge.page_count(form(source)) == 2
    kq_pdfmerge.merge([form(source), form(source)], form(out))
    assert kq_pdfmerge.page_count(out) == 4


def test_options_reach_the_library(tmp_path):
    inputs = [EXAMPLES / name for name in sorted(EXAMPLE_PAGES)]
    plain, compressed, every = (tmp_path / n for n in ("plain.pdf", "compressed.pdf", "all.pdf"))
    kq_pdfmerge.merge(inputs, plain)
    kq_pdfmerge.merge(inputs, compressed, compress=True)
    kq_pdfmerge.merge(inputs, every, keep_annotations=True, keep_outlines=True, compress=True,
                      keep_structure=True)
    for out in (plain, compressed, every):
        assert kq_pdfmerge.page_count(out) == 6
    # Each of the six new content streams gains a filter.
    assert (compressed.read_bytes().count(b"/FlateDecode") ==
            plain.read_bytes().count(b"/FlateDecode") + 6)


def test_shared_objects_and_object_streams(tmp_path):
    # The same example listed three times: its font and everything else but the pages is
    # written once, and the small objects go into compressed object streams of a PDF 1.5 file.
    inputs = [EXAMPLES / "rotated.pdf"] * 3
    plain, shared, compact = (tmp_path / n for n in ("plain.pdf", "shared.pdf", "compact.pdf"))
    kq_pdfmerge.merge(inputs, plain)
    kq_pdfmerge.merge(inputs, shared, share_resources=True)
    kq_pdfmerge.merge(inputs, compact, share_resources=True, object_streams=True, compress=True)
    for out in (plain, shared, compact):
        assert kq_pdfmerge.page_count(out) == 9
    assert plain.read_bytes().count(b"/Type /Font") == 3
    assert shared.read_bytes().count(b"/Type /Font") == 1
    assert compact.read_bytes().startswith(b"%PDF-1.5\n")
    assert compact.stat().st_size < shared.stat().st_size < plain.stat().st_size


def test_pages_titles_and_the_new_options(tmp_path):
    letter, rotated = EXAMPLES / "letter.pdf", EXAMPLES / "rotated.pdf"
    out = tmp_path / "document.pdf"
    kq_pdfmerge.merge([letter, rotated], out, pages=[None, "z,1"], titles=["Brief", "Gedreht ä"],
                      outline_per_input=True, keep_doc_info=True, pad_odd=True,
                      page_labels=True)
    # The letter's one page, a blank page after it, then pages 3 and 1 of the rotated file.
    assert kq_pdfmerge.page_count(out) == 4
    data = out.read_bytes()
    assert b"/Title (Brief)" in data
    assert b"<feff004700650064007200650068007400200" b"0e4>" in data  # UTF-16 with its mark
    assert b"/PageLabels" in data and b"/Producer (kq_out_pdfmerge" in data
    with pytest.raises(PdfMergeError) as caught:
        kq_pdfmerge.merge([letter, rotated], out, pages=["1", "1-x"])
    assert caught.value.message == 'input 2: bad page range "1-x": "x" is not a page number'
    with pytest.raises(ValueError):
        kq_pdfmerge.merge([letter, rotated], out, titles=["only one"])


def test_merge_examples_with_a_non_ascii_name(tmp_path):
    unicode_copy = tmp_path / UNICODE_NAME
    shutil.copyfile(EXAMPLES / "rotated.pdf", unicode_copy)
    inputs = [EXAMPLES / "letter.pdf", EXAMPLES / "object-streams.pdf", unicode_copy]
    out = tmp_path / "merged – σύνολο.pdf"

    kq_pdfmerge.merge(inputs, out)
    assert kq_pdfmerge.page_count(out) == 6
    assert out.read_bytes().startswith(b"%PDF-1.4\n")
    # Merging onto one of the inputs replaces it once the output is complete.
    kq_pdfmerge.merge([out, unicode_copy], out)
    assert kq_pdfmerge.page_count(out) == 9
    assert sorted(p.name for p in tmp_path.iterdir()) == sorted([UNICODE_NAME, out.name])


def failure_cases(tmp):
    """(label, call, expected message) for calls that must fail."""
    missing = tmp / "λείπει 缺.pdf"
    empty = tmp / "empty.pdf"
    empty.write_bytes(b"")
    text = tmp / "text.pdf"
    text.write_bytes(b"no objects here\n")
    good = str(EXAMPLES / "letter.pdf")
    out = tmp / "out.pdf"
    return [
        ("missing", lambda: kq_pdfmerge.page_count(missing), "cannot open %s" % missing),
        ("empty", lambda: kq_pdfmerge.page_count(empty), "empty input file: %s" % empty),
        ("not a PDF", lambda: kq_pdfmerge.page_count(text),
         "no PDF objects found — not a PDF: %s" % text),
        ("second input missing", lambda: kq_pdfmerge.merge([good, missing], out),
         "input 2: cannot open %s" % missing),
        ("no inputs", lambda: kq_pdfmerge.merge([], out), "no input paths"),
        ("output is a folder", lambda: kq_pdfmerge.merge([good], tmp),
         "output is not a regular file: %s" % tmp),
    ]


def test_failures_raise_with_the_message(tmp_path):
    for label, call, expected in failure_cases(tmp_path):
        with pytest.raises(PdfMergeError) as caught:
            call()
        assert caught.value.message == expected, label
        assert str(caught.value) == expected, label
    assert not (tmp_path / "out.pdf").exists()


def test_failed_merge_leaves_the_output_as_it_was(tmp_path):
    out = tmp_path / "out.pdf"
    out.write_bytes(b"keep me")
    with pytest.raises(PdfMergeError):
        kq_pdfmerge.merge([EXAMPLES / "letter.pdf", tmp_path / "missing.pdf"], out)
    assert out.read_bytes() == b"keep me"
    assert sorted(p.name for p in tmp_path.iterdir()) == ["out.pdf"]


@pytest.mark.parametrize("paths,out", [
    (str(EXAMPLES / "letter.pdf"), "out.pdf"),  # one path where a list is wanted
    ([EXAMPLES / "letter.pdf", 7], "out.pdf"),
    ([EXAMPLES / "letter.pdf"], None),
])
def test_wrong_argument_types(paths, out):
    with pytest.raises(TypeError):
        kq_pdfmerge.merge(paths, out)


# The C types of the header's prototypes and the ctypes types that declare them.
C_TYPES = {"void": None, "int": ctypes.c_int, "const char*": ctypes.c_char_p,
           "const char* const*": ctypes.POINTER(ctypes.c_char_p)}


def header_prototypes():
    """{name: (result type, [argument types])} of the functions the header declares."""
    text = re.sub(r"/\*.*?\*/", " ", HEADER, flags=re.DOTALL)
    found = {}
    for result, name, arguments in re.findall(
            r"KQ_PDFMERGE_API\s+(.+?)\s*KQ_PDFMERGE_CALL\s+(\w+)\s*\(([^)]*)\)", text):
        types = [] if arguments.strip() == "void" else [
            re.sub(r"\s+", " ", re.sub(r"\s*\w+$", "", a.strip())).replace(" *", "*")
            for a in arguments.split(",")]
        found[name] = (result.strip(), types)
    return found


def test_every_export_has_a_typed_function():
    prototypes = header_prototypes()
    assert EXPORTS and sorted(prototypes) == sorted(EXPORTS)
    assert sorted(kq_pdfmerge._FUNCTIONS) == sorted(EXPORTS), "an export is not declared"
    for name, (result, arguments) in prototypes.items():
        assert kq_pdfmerge._FUNCTIONS[name] == (C_TYPES[result],
                                                [C_TYPES[a] for a in arguments]), name
        # The Python function of the same name without the prefix.
        function = getattr(kq_pdfmerge, name[len("pdfmerge_"):])
        assert callable(function) and function.__annotations__.get("return", "?") != "?", name
    # The loaded library has them all (ctypes raises AttributeError for a missing symbol).
    lib = kq_pdfmerge._library()
    for name in EXPORTS:
        getattr(lib, name)


def test_every_option_bit_of_the_header():
    bits = {name: int(value) for name, value in
            re.findall(r"^#define PDFMERGE_(\w+) (\d+)$", HEADER, re.MULTILINE)}
    assert bits
    assert {o.name: o.value for o in Option} == bits
    for name, value in bits.items():
        assert getattr(kq_pdfmerge, name) == value


def test_version_is_the_header_s():
    version = re.search(r'#define KQ_PDFMERGE_VERSION_STRING "(.*)"', HEADER).group(1)
    assert kq_pdfmerge.__version__ == version


def test_the_functions_of_each_export(tmp_path):
    letter, rotated = str(EXAMPLES / "letter.pdf"), str(EXAMPLES / "rotated.pdf")
    out = tmp_path / "out.pdf"
    kq_pdfmerge.two(letter, rotated, out)
    assert kq_pdfmerge.page_count(out) == 4
    kq_pdfmerge.append(out, letter, out)
    assert kq_pdfmerge.page_count(out) == 5
    kq_pdfmerge.files([letter, rotated, letter], out)
    assert kq_pdfmerge.page_count(out) == 5
    kq_pdfmerge.files_opt([rotated] * 2, out, Option.SHARE_RESOURCES | Option.OBJECT_STREAMS)
    assert out.read_bytes().startswith(b"%PDF-1.5\n")
    kq_pdfmerge.files_ex([letter, rotated], out, pages=[None, "2-3"], titles=["A", None],
                         options=kq_pdfmerge.OUTLINE_PER_INPUT)
    assert kq_pdfmerge.page_count(out) == 3 and b"/Title (A)" in out.read_bytes()
    # Option bits as keywords and as the positional `options` give the same file.
    by_keyword, by_bits = tmp_path / "keyword.pdf", tmp_path / "bits.pdf"
    kq_pdfmerge.merge([letter, rotated], by_keyword, pad_odd=True, compress_content=True)
    kq_pdfmerge.merge([letter, rotated], by_bits, Option.PAD_ODD | Option.COMPRESS_CONTENT)
    assert by_keyword.read_bytes() == by_bits.read_bytes()
    with pytest.raises(TypeError):
        kq_pdfmerge.merge([letter], out, no_such_option=True)

    # The last-error text: set by a failure, kept until a success, init or cleanup.
    with pytest.raises(PdfMergeError) as caught:
        kq_pdfmerge.two(letter, tmp_path / "missing.pdf", out)
    assert caught.value.message == "input 2: cannot open %s" % (tmp_path / "missing.pdf")
    assert kq_pdfmerge.last_error() == caught.value.message
    kq_pdfmerge.cleanup()
    assert kq_pdfmerge.last_error() == ""
    with pytest.raises(PdfMergeError):
        kq_pdfmerge.files_opt([letter], out, 1 << 30)
    assert kq_pdfmerge.last_error() == "unknown option bits 0x40000000"
    assert kq_pdfmerge.init() == 1
    assert kq_pdfmerge.last_error() == ""


def test_the_library_beside_the_module_comes_first(monkeypatch):
    """The wheel carries the library beside the module; it is the one loaded, whatever
    KQ_PDFMERGE_LIBRARY or the system's search path would give."""
    here = pathlib.Path(kq_pdfmerge.__file__).resolve().parent
    bundled = [here / n for n in kq_pdfmerge._library_names() if (here / n).is_file()]
    if not bundled:
        if os.environ.get("KQ_PDFMERGE_EXPECT_BUNDLED") == "1":
            pytest.fail("no library beside %s" % kq_pdfmerge.__file__)
        pytest.skip("the module runs from the source folder, without a library beside it")
    monkeypatch.setenv("KQ_PDFMERGE_LIBRARY", "/nonexistent/libkq_out_pdfmerge.so.0")
    assert kq_pdfmerge._candidates()[0] == str(bundled[0])
    assert pathlib.Path(kq_pdfmerge.library_path()).resolve() == bundled[0].resolve()
    if sys.platform.startswith("linux"):
        mapped = {line.split(maxsplit=5)[5].strip()
                  for line in pathlib.Path("/proc/self/maps").read_text().splitlines()
                  if "libkq_out_pdfmerge" in line}
        assert mapped == {str(bundled[0].resolve())}
