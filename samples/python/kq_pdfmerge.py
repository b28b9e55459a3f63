"""Page counts and merges of PDF files through the kq_out_pdfmerge library, with ctypes only.

    import kq_pdfmerge
    kq_pdfmerge.page_count("in.pdf")                    # -> 3
    kq_pdfmerge.merge(["a.pdf", "b.pdf"], "out.pdf")    # pages of a.pdf, then those of b.pdf
    kq_pdfmerge.merge(["a.pdf", "b.pdf"], "out.pdf", compress=True, keep_annotations=True)
    kq_pdfmerge.merge(invoices, "batch.pdf", compress=True, share_resources=True,
                      object_streams=True)                # the smallest file of a batch
    kq_pdfmerge.merge(["a.pdf", "b.pdf"], "out.pdf", pages=["1-3", None],
                      titles=[None, "Invoice 4711"], outline_per_input=True)
    kq_pdfmerge.merge(paths, "out.pdf", kq_pdfmerge.Option.KEEP_OUTLINES | kq_pdfmerge.PAD_ODD)

Every exported function has a typed function of the same name without its prefix (init,
cleanup, last_error, page_count, files, files_opt, files_ex, two, append); merge() picks the
one that its arguments need. A failed call raises PdfMergeError carrying the library's one-line
message. Paths may be str, bytes or path objects; str paths are passed as the file system
encodes them (UTF-8 on Windows, which the library reads there, so any file name works).

The library is taken from beside this module first (where the wheel puts it), else from
KQ_PDFMERGE_LIBRARY (a path to the .so or .dll), else by its name through the system's loader
(libkq_out_pdfmerge.so.0, kq_out_pdfmerge.dll).
"""

import ctypes
import enum
import os
import sys
import threading
from typing import Iterable, List, Optional, Sequence, Union

__version__ = "0.2.0"

Path = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]


class PdfMergeError(Exception):
    """A call that failed; `message` is the library's text, e.g. 'cannot open in.pdf'."""

    def __init__(self, message: str) -> None:
        super().__init__(message)
        self.message = message


class Option(enum.IntFlag):
    """The option bits of files_opt, files_ex and merge, as the C header names them without
    their prefix; merge() also takes each as a keyword, its name in lower case."""

    KEEP_ANNOTATIONS = 1  # the pages' annotations and the form fields
    KEEP_OUTLINES = 2  # the bookmarks
    COMPRESS_CONTENT = 4  # the pages' content written Flate-compressed
    SHARE_RESOURCES = 8  # objects of identical content (shared fonts, images) written once
    OBJECT_STREAMS = 16  # a PDF 1.5 file with its small objects in compressed object streams
    OUTLINE_PER_INPUT = 32  # one bookmark per input
    KEEP_DOC_INFO = 64  # the first inputs' title, author and metadata
    PAD_ODD = 128  # a blank page after an input of an odd page count
    PAGE_LABELS = 256  # the pages' labels
    KEEP_STRUCTURE = 512  # the structure tree of tagged inputs (accessibility)


# The bits as module constants too: kq_pdfmerge.KEEP_ANNOTATIONS is Option.KEEP_ANNOTATIONS.
globals().update(Option.__members__)

# The keywords of merge(): each option's name in lower case, and the short name `compress`.
_KEYWORDS = dict({name.lower(): bit for name, bit in Option.__members__.items()},
                 compress=Option.COMPRESS_CONTENT)

_text = ctypes.c_char_p
_texts = ctypes.POINTER(ctypes.c_char_p)
_int = ctypes.c_int

# Every exported function with its result and argument types, as the C header declares them.
_FUNCTIONS = {
    "pdfmerge_init": (_int, []),
    "pdfmerge_cleanup": (None, []),
    "pdfmerge_last_error": (_text, []),  # copied into bytes when returned
    "pdfmerge_page_count": (_int, [_text]),
    "pdfmerge_files": (_int, [_texts, _int, _text]),
    "pdfmerge_files_opt": (_int, [_texts, _int, _text, _int]),
    "pdfmerge_files_ex": (_int, [_texts, _texts, _texts, _int, _text, _int]),
    "pdfmerge_two": (_int, [_text, _text, _text]),
    "pdfmerge_append": (_int, [_text, _text, _text]),
}

__all__ = ["PdfMergeError", "Option", "init", "cleanup", "last_error", "page_count", "files",
           "files_opt", "files_ex", "two", "append", "merge", "library_path",
           "__version__"] + list(Option.__members__)

_lib = None
_lib_path = None
# The library's error text is one buffer for the whole process: one call at a time, and its
# message read before the next call.
_lock = threading.RLock()


def _library_names() -> List[str]:
    if sys.platform == "win32":
        return ["kq_out_pdfmerge.dll"]
    if sys.platform == "darwin":
        return ["libkq_out_pdfmerge.0.dylib", "libkq_out_pdfmerge.dylib"]
    return ["libkq_out_pdfmerge.so.0", "libkq_out_pdfmerge.so"]


def _candidates() -> List[str]:
    """Where the library is looked for, in order."""
    here = os.path.dirname(os.path.abspath(__file__))
    beside = [os.path.join(here, name) for name in _library_names()]
    found = [path for path in beside if os.path.isfile(path)]
    chosen = os.environ.get("KQ_PDFMERGE_LIBRARY")
    return found + ([chosen] if chosen else []) + _library_names()[:1]


def _library():
    global _lib, _lib_path
    with _lock:
        if _lib is None:
            errors = []
            for candidate in _candidates():
                try:
                    # The functions are plain C functions (cdecl): CDLL on every platform.
                    lib = ctypes.CDLL(candidate)
                except OSError as e:
                    errors.append(str(e))
                    continue
                for name, (result, arguments) in _FUNCTIONS.items():
                    function = getattr(lib, name)
                    function.restype = result
                    function.argtypes = arguments
                _lib, _lib_path = lib, candidate
                break
            else:
                raise OSError("kq_out_pdfmerge library not found: " + "; ".join(errors))
        return _lib


def library_path() -> str:
    """The path or name the library was loaded from (it is loaded on first use)."""
    _library()
    assert _lib_path is not None
    return _lib_path


def _path_bytes(path: Path) -> bytes:
    if not isinstance(path, (str, bytes, os.PathLike)):
        raise TypeError("a path must be str, bytes or os.PathLike, not %s" % type(path).__name__)
    return os.fsencode(path)


def _paths_array(paths: Iterable[Path]):
    if isinstance(paths, (str, bytes, os.PathLike)):
        raise TypeError("paths must be a list of paths, not a single path")
    raw = [_path_bytes(p) for p in paths]
    return (ctypes.c_char_p * max(len(raw), 1))(*raw), len(raw)


def _per_input(values: Optional[Sequence[Optional[str]]], count: int, what: str):
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


def _error(lib) -> PdfMergeError:
    return PdfMergeError(lib.pdfmerge_last_error().decode("utf-8", "backslashreplace"))


def _checked(name: str, *arguments) -> int:
    """Calls the exported function `name`; raises PdfMergeError with its message on -1."""
    lib = _library()
    with _lock:
        result = getattr(lib, name)(*arguments)
        if result < 0:
            raise _error(lib)
    return result


def init() -> int:
    """pdfmerge_init: empties the last-error text; returns 1. Never needed."""
    return _checked("pdfmerge_init")


def cleanup() -> None:
    """pdfmerge_cleanup: empties the last-error text. Never needed."""
    lib = _library()
    with _lock:
        lib.pdfmerge_cleanup()


def last_error() -> str:
    """pdfmerge_last_error: the message of the last failed call, or "" after a success."""
    lib = _library()
    with _lock:
        return lib.pdfmerge_last_error().decode("utf-8", "backslashreplace")


def page_count(path: Path) -> int:
    """The number of pages of the PDF file at `path` (1 or more)."""
    return _checked("pdfmerge_page_count", _path_bytes(path))


def files(paths: Sequence[Path], out: Path) -> None:
    """pdfmerge_files: merges `paths`, in order, into a new PDF file at `out`."""
    array, count = _paths_array(paths)
    _checked("pdfmerge_files", array, count, _path_bytes(out))


def files_opt(paths: Sequence[Path], out: Path, options: Union[Option, int] = 0) -> None:
    """pdfmerge_files_opt: files() keeping and writing what the Option bits ask for."""
    array, count = _paths_array(paths)
    _checked("pdfmerge_files_opt", array, count, _path_bytes(out), int(options))


def files_ex(paths: Sequence[Path], out: Path, pages: Optional[Sequence[Optional[str]]] = None,
             titles: Optional[Sequence[Optional[str]]] = None,
             options: Union[Option, int] = 0) -> None:
    """pdfmerge_files_ex: files_opt() with a page range (such as "1-3,z", or None for every
    page) and a bookmark title (or None) per input; either list may be None."""
    array, count = _paths_array(paths)
    ranges = _per_input(pages, count, "pages")
    names = _per_input(titles, count, "titles")
    _checked("pdfmerge_files_ex", array, ranges, names, count, _path_bytes(out), int(options))


def two(first: Path, second: Path, out: Path) -> None:
    """pdfmerge_two: the pages of `first`, then those of `second`, into `out`."""
    _checked("pdfmerge_two", _path_bytes(first), _path_bytes(second), _path_bytes(out))


def append(base: Path, addition: Path, out: Path) -> None:
    """pdfmerge_append: the pages of `addition` appended to those of `base`, into `out`."""
    _checked("pdfmerge_append", _path_bytes(base), _path_bytes(addition), _path_bytes(out))


def merge(paths: Sequence[Path], out: Path, options: Union[Option, int] = 0, *,
          pages: Optional[Sequence[Optional[str]]] = None,
          titles: Optional[Sequence[Optional[str]]] = None, **flags: bool) -> None:
    """Merges the files `paths`, in order, into a new PDF file at `out`.

    `out` is replaced only when the whole output could be written; it may be one of the inputs.
    The options are Option bits, or keywords set to True: keep_annotations keeps the pages'
    annotations and form fields, keep_outlines the bookmarks, compress (compress_content) writes
    the pages' content Flate-compressed, share_resources writes objects of identical content once
    (the fonts and images that documents made from one template share), and object_streams
    writes a PDF 1.5 file with its small objects compressed. outline_per_input adds one bookmark
    per input, keep_doc_info keeps the first inputs' title, author and metadata, pad_odd adds a
    blank page after an input of an odd page count, page_labels keeps the pages' labels, and
    keep_structure the inputs' logical structure (tagged PDF).
    `pages` and `titles` are None or hold one entry per path: a page range such as "1-3,z" (or
    None for every page) and the title of that input's bookmark (or None).
    """
    bits = int(options)
    for keyword, wanted in flags.items():
        if keyword not in _KEYWORDS:
            raise TypeError("merge() got an unexpected keyword argument '%s'" % keyword)
        if wanted:
            bits |= _KEYWORDS[keyword]
    if pages is not None or titles is not None:
        files_ex(paths, out, pages, titles, bits)
    elif bits:
        files_opt(paths, out, bits)
    else:
        files(paths, out)
