"""Page counts and merges of PDF files through the kq_out_pdfmerge library, with ctypes only.

    import kq_pdfmerge
    kq_pdfmerge.page_count("in.pdf")                    # -> 3
    kq_pdfmerge.merge(["a.pdf", "b.pdf"], "out.pdf")    # pages of a.pdf, then those of b.pdf
    kq_pdfmerge.merge(["a.pdf", "b.pdf"], "out.pdf", compress=True, keep_annotations=True)
    kq_pdfmerge.merge(["a.pdf", "b.pdf"], "out.pdf", keep_structure=True)   # stays accessible

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


# The option bits of pdfmerge_files_opt.
KEEP_ANNOTATIONS = 1
KEEP_OUTLINES = 2
COMPRESS_CONTENT = 4
KEEP_STRUCTURE = 512


def merge(paths, out, *, keep_annotations=False, keep_outlines=False, compress=False,
          keep_structure=False):
    """Merges the files `paths`, in order, into a new PDF file at `out`.

    `out` is replaced only when the whole output could be written; it may be one of the inputs.
    keep_annotations keeps the pages' annotations and form fields, keep_outlines the bookmarks,
    compress writes the pages' content Flate-compressed, and keep_structure keeps the structure
    tree of tagged inputs (for screen readers and reflow).
    """
    if isinstance(paths, (str, bytes, os.PathLike)):
        raise TypeError("paths must be a list of paths, not a single path")
    raw = [_path_bytes(p) for p in paths]
    raw_out = _path_bytes(out)
    array = (ctypes.c_char_p * max(len(raw), 1))(*raw)
    lib = _library()
    options = ((KEEP_ANNOTATIONS if keep_annotations else 0) |
               (KEEP_OUTLINES if keep_outlines else 0) | (COMPRESS_CONTENT if compress else 0) |
               (KEEP_STRUCTURE if keep_structure else 0))
    with _lock:
        if options:
            failed = lib.pdfmerge_files_opt(array, len(raw), raw_out, options) != 0
        else:
            failed = lib.pdfmerge_files(array, len(raw), raw_out) != 0
        if failed:
            raise _error(lib)
