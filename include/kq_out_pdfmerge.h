/* kq_out_pdfmerge: count the pages of PDF files and merge PDF files into a new one.
 *
 * Every function runs to completion on the caller's thread. A failing call returns -1
 * and leaves one English line readable through pdfmerge_last_error(); a successful page
 * count or merge empties that text. The text is one buffer for the whole process, so
 * calls must not overlap: a host with several threads makes one call at a time. */
#ifndef KQ_OUT_PDFMERGE_H
#define KQ_OUT_PDFMERGE_H

/* The version of this header and of the library built with it. The shared library's name
 * carries the major version (libkq_out_pdfmerge.so.0); the DLL carries all of it in its version
 * resource. KQ_PDFMERGE_VERSION orders versions: major * 10000 + minor * 100 + patch. */
#define KQ_PDFMERGE_VERSION_MAJOR 0
#define KQ_PDFMERGE_VERSION_MINOR 2
#define KQ_PDFMERGE_VERSION_PATCH 0
#define KQ_PDFMERGE_VERSION_STRING "0.2.0"
#define KQ_PDFMERGE_VERSION                                                                        \
  (KQ_PDFMERGE_VERSION_MAJOR * 10000 + KQ_PDFMERGE_VERSION_MINOR * 100 + KQ_PDFMERGE_VERSION_PATCH)

#if defined(_WIN32)
#if defined(KQ_PDFMERGE_BUILDING)
#define KQ_PDFMERGE_API __declspec(dllexport)
#else
#define KQ_PDFMERGE_API __declspec(dllimport)
#endif
/* x86-64 Windows has one calling convention; __cdecl is harmless there. */
#define KQ_PDFMERGE_CALL __cdecl
#else
#define KQ_PDFMERGE_API __attribute__((visibility("default")))
#define KQ_PDFMERGE_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Empties the last-error text; always returns 1. Optional. */
KQ_PDFMERGE_API int KQ_PDFMERGE_CALL pdfmerge_init(void);

/* Empties the last-error text. Optional. */
KQ_PDFMERGE_API void KQ_PDFMERGE_CALL pdfmerge_cleanup(void);

/* The last-error text (UTF-8, at most 1023 bytes, possibly empty). The pointer is always
 * the same and never null; the text changes with the next call that fails or succeeds. */
KQ_PDFMERGE_API const char* KQ_PDFMERGE_CALL pdfmerge_last_error(void);

/* Number of pages of the PDF file at path (1 or more), or -1. */
KQ_PDFMERGE_API int KQ_PDFMERGE_CALL pdfmerge_page_count(const char* path);

/* Merges the count files named by paths, in that order, into a new PDF file at out_path,
 * which is replaced only when the whole output could be written. 0 on success, or -1. */
KQ_PDFMERGE_API int KQ_PDFMERGE_CALL pdfmerge_files(const char* const* paths, int count,
                                                    const char* out_path);

/* Options of pdfmerge_files_opt and pdfmerge_files_ex, or-ed together. */
/* Keeps each page's annotations (comments, highlights, stamps, links, form widgets) with what
 * they reach, and the inputs' form fields in one interactive form. */
#define PDFMERGE_KEEP_ANNOTATIONS 1
/* Keeps the inputs' bookmarks, one after the other in input order, in one outline. */
#define PDFMERGE_KEEP_OUTLINES 2
/* Writes each page's content stream Flate-compressed (the page's own compressed stream as it
 * is, when it has one that inflates cleanly to the same content): a smaller file. */
#define PDFMERGE_COMPRESS_CONTENT 4
/* Writes objects that would be written with identical content once (the fonts, images and
 * other resources that the inputs share, the same input listed twice), every reference to any
 * of them pointing at that one. Page objects stay one per output page. */
#define PDFMERGE_SHARE_RESOURCES 8
/* Writes a PDF 1.5 file: the objects that are not streams go, compressed, into object streams
 * in page order, and a cross-reference stream takes the place of the table. */
#define PDFMERGE_OBJECT_STREAMS 16

/* One top-level bookmark per input, at its first page, titled by the title given to
 * pdfmerge_files_ex, else by the document's own title, else by its file name without folder
 * and extension. With PDFMERGE_KEEP_OUTLINES each input's bookmarks nest under its entry. */
#define PDFMERGE_OUTLINE_PER_INPUT 32
/* The document information (title, author, subject, keywords, creator, creation date) of the
 * first input that has any, with this library as producer; the first input's XMP metadata
 * without its PDF/A or PDF/UA identification, and its language. */
#define PDFMERGE_KEEP_DOC_INFO 64
/* A blank page, shaped like the last page before it, after every input but the last that
 * gives an odd number of pages: in duplex printing every input starts on a new sheet. */
#define PDFMERGE_PAD_ODD 128
/* Every page keeps the label its input gave it (roman front matter and the like); pages of
 * inputs without labels, and blank pages, are labelled with their page number in the output. */
#define PDFMERGE_PAGE_LABELS 256
/* Keeps the structure tree of tagged inputs (headings, paragraphs, tables, figures with their
 * alternate text, in reading order) for screen readers and reflow: one tree whose top-level
 * elements are each input's, in input order. Content on pages not in the output is left out of
 * it. The output is marked as tagged only when every input is. */
#define PDFMERGE_KEEP_STRUCTURE 512

/* pdfmerge_files, keeping what `options` asks for beyond the pages' content and writing the
 * content as it asks. With options 0 the output is exactly that of pdfmerge_files; an unknown
 * bit fails. 0 on success, or -1. */
KQ_PDFMERGE_API int KQ_PDFMERGE_CALL pdfmerge_files_opt(const char* const* paths, int count,
                                                        const char* out_path, int options);

/* pdfmerge_files_opt with a choice per input. `ranges` is null (every page of every input) or
 * holds `count` entries, each null (every page) or a page range: items separated by commas,
 * each N, N-M (backwards when M is below N), z (the last page) or rN (the N-th page counted
 * back from the last, r1 being z), or a range of two such pages; white space is ignored around
 * them and a page may be named more than once. A range that does not read, names a page the
 * input lacks or selects nothing fails the merge with
 * 'input N: bad page range "RANGE": WHY' before anything is written. `titles` is null or holds
 * `count` entries, each null or the UTF-8 title of that input's bookmark
 * (PDFMERGE_OUTLINE_PER_INPUT). With null `ranges` and `titles` the output is exactly that of
 * pdfmerge_files_opt with the same options. 0 on success, or -1. */
KQ_PDFMERGE_API int KQ_PDFMERGE_CALL pdfmerge_files_ex(const char* const* paths,
                                                       const char* const* ranges,
                                                       const char* const* titles, int count,
                                                       const char* out_path, int options);

/* Merges the pages of first followed by those of second into out_path. 0 or -1. */
KQ_PDFMERGE_API int KQ_PDFMERGE_CALL pdfmerge_two(const char* first, const char* second,
                                                  const char* out_path);

/* The same as pdfmerge_two: the pages of addition appended to those of base. 0 or -1. */
KQ_PDFMERGE_API int KQ_PDFMERGE_CALL pdfmerge_append(const char* base, const char* addition,
                                                     const char* out_path);

#ifdef __cplusplus
}
#endif

#endif
