"""Page counts and merges of PDF files through the kq_out_pdfmerge library, with ctypes only.

    import kq_pdfmerge
    kq_pdfmerge.page_count("in.pdf")                    # -> 3
    kq_pdfmerge.merge(["a.pdf", "b.pdf"], "out.pdf")    # pages of a.pdf, then those of b.pdf
    kq_pdfmerge.merge(["a.pdf", "b.pdf"], "out.pdf", compress=True, keep_annotations=True)
    kq_pdfmerge.merge(["a.pdf", "b.pdf"], "out.pdf", keep_structure=True)   # stays accessible
    kq_pdfmerge.merge(invoices, "batch.pdf", compress=True, share_resources=True,
                      object_streams=True)                # the smallest file of a batch
    kq_pdfmerge.merge(["a.pdf", "b.pdf"], "out.pdf", pages=["1-3", None],
                      titles=[None, "Invoice 4711"], outline_per_input=True)

A failed call raises PdfMergeError carrying the library's one-line message. Paths may be str,
bytes or path objects; str paths are passed as the file system encodes them (UTF-8 on Windows,
which the library reads there, so any file name works).

The library is found through KQ_PDFMERGE_LIBRARY (a path to the .so or .dll) or else by its
name through the system's loader (libkq_out_pdfmerge.so.0, kq_out_pdfmerge.dll).
"""

import ctypes
import os
import sys
import threading

__all__ = ["PdfMergeError", "page_count", "merge"]


class PdfMergeError(Exception):
    """A call that failed; `message` is the library's text, e.g. 'cannot open in.pdf'."""

    def __init__(self, message):
        super().__init__(message)
        self.message = message


_lib = None
# The library's error text is one buffer for the whole process: one call at a time, and its
# message read before the next call.
_lock = threading.Lock()


def _library():
    global _lib
    if _lib is None:
        name = os.environ.get("KQ_PDFMERGE_LIBRARY") or (
            "kq_out_pdfmerge.dll" if sys.platform == "win32" else "libkq_out_pdfmerge.so.0")
        # The functions are plain C functions (cdecl): CDLL on every platform.
        lib = ctypes.CDLL(name)
        lib.pdfmerge_last_error.restype = ctypes.c_char_p  # copied into bytes when returned
        lib.pdfmerge_last_error.argtypes = []
        lib.pdfmerge_page_count.restype = ctypes.c_int
        lib.pdfmerge_page_count.argtypes = [ctypes.c_char_p]
        lib.pdfmerge_files.restype = ctypes.c_int
        lib.pdfmerge_files.argtypes = [ctypes.POINTER(ctypes.c_char_p), ctypes.c_int,
                                       ctypes.c_char_p]
        lib.pdfmerge_files_opt.restype = ctypes.c_int
        lib.pdfmerge_files_opt.argtypes = [ctypes.POINTER(ctypes.c_char_p), ctypes.c_int,
                                           ctypes.c_char_p, ctypes.c_int]
        lib.pdfmerge_files_ex.restype = ctypes.c_int
        lib.pdfmerge_files_ex.argtypes = [ctypes.POINTER(ctypes.c_char_p),
                                          ctypes.POINTER(ctypes.c_char_p),
                                          ctypes.POINTER(ctypes.c_char_p), ctypes.c_int,
                                          ctypes.c_char_p, ctypes.c_int]
        _lib = lib
    return _lib


def _path_bytes(path):
    if not isinstance(path, (str, bytes, os.PathLike)):
        raise TypeError("a path must be str, bytes or os.PathLike, not %s" % type(path).__name__)
    return os.fsencode(path)


def _error(lib):
    return PdfMergeError(lib.pdfmerge_last_error().decode("utf-8", "backslashreplace"))


def page_count(path):
    """The number of pages of the PDF file at `path` (1 or more)."""
    raw = _path_bytes(path)
    lib = _library()
    with _lock:
        pages = lib.pdfmerge_page_count(raw)
        if pages < 0:
            raise _error(lib)
    return pages


# The option bits of pdfmerge_files_opt and pdfmerge_files_ex.
KEEP_ANNOTATIONS = 1
KEEP_OUTLINES = 2
COMPRESS_CONTENT = 4
SHARE_RESOURCES = 8
OBJECT_STREAMS = 16
OUTLINE_PER_INPUT = 32
KEEP_DOC_INFO = 64
PAD_ODD = 128
PAGE_LABELS = 256
KEEP_STRUCTURE = 512


def _per_input(values, count, what):
    """A ctypes array of one UTF-8 text (or None) per input, or None for no list."""
    if values is None:
        return None
    values = list(values)
    if len(values) != count:
        raise ValueError("%s must hold one entry per path (%d), not %d" % (what, count, len(values)))
    for v in values:
        if v is not None and not isinstance(v, str):
            raise TypeError("%s entries must be str or None, not %s" % (what, type(v).__name__))
    return (ctypes.c_char_p * max(count, 1))(*[None if v is None else v.encode("utf-8")
                                               for v in values])


def merge(paths, out, *, keep_annotations=False, keep_outlines=False, compress=False,
          share_resources=False, object_streams=False, outline_per_input=False,
          keep_doc_info=False, pad_odd=False, page_labels=False, keep_structure=False, pages=None,
          titles=None):
    """Merges the files `paths`, in order, into a new PDF file at `out`.

    `out` is replaced only when the whole output could be written; it may be one of the inputs.
    keep_annotations keeps the pages' annotations and form fields, keep_outlines the bookmarks,
    compress writes the pages' content Flate-compressed, share_resources writes objects of
    identical content once (the fonts and images that documents made from one template share),
    and object_streams writes a PDF 1.5 file with its small objects compressed. outline_per_input
    adds one bookmark per input, keep_doc_info keeps the first inputs' title, author and
    metadata, pad_odd adds a blank page after an input of an odd page count, page_labels keeps
    the pages' labels, and keep_structure keeps the structure tree of tagged inputs (for screen
    readers and reflow). `pages` and `titles` are None or hold one entry per path: a page
    range such as "1-3,z" (or None for every page) and the title of that input's bookmark (or
    None).
    """
    if isinstance(paths, (str, bytes, os.PathLike)):
        raise TypeError("paths must be a list of paths, not a single path")
    raw = [_path_bytes(p) for p in paths]
    raw_out = _path_bytes(out)
    array = (ctypes.c_char_p * max(len(raw), 1))(*raw)
    ranges = _per_input(pages, len(raw), "pages")
    names = _per_input(titles, len(raw), "titles")
    lib = _library()
    options = ((KEEP_ANNOTATIONS if keep_annotations else 0) |
               (KEEP_OUTLINES if keep_outlines else 0) | (COMPRESS_CONTENT if compress else 0) |
               (SHARE_RESOURCES if share_resources else 0) | (OBJECT_STREAMS if object_streams else 0) |
               (OUTLINE_PER_INPUT if outline_per_input else 0) |
               (KEEP_DOC_INFO if keep_doc_info else 0) | (PAD_ODD if pad_odd else 0) |
               (PAGE_LABELS if page_labels else 0) | (KEEP_STRUCTURE if keep_structure else 0))
    with _lock:
        if ranges is not None or names is not None:
            failed = lib.pdfmerge_files_ex(array, ranges, names, len(raw), raw_out, options) != 0
        elif options:
            failed = lib.pdfmerge_files_opt(array, len(raw), raw_out, options) != 0
        else:
            failed = lib.pdfmerge_files(array, len(raw), raw_out) != 0
        if failed:
            raise _error(lib)
