"""The ctypes module against the built library: counts, merges, non-ASCII names, and the
messages that failures carry."""

import os
import pathlib
import shutil

import pytest

import kq_pdfmerge
from kq_pdfmerge import PdfMergeError

EXAMPLES = pathlib.Path(__file__).resolve().parents[2] / "examples"
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
