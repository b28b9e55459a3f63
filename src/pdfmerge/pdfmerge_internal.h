// Everything the library shares inside itself, in layers, each header building only on those
// above it:
//   lexer.h       the PDF syntax: byte classes, strings, nested values, keys, integers, references
//   last_error.h  the process-wide last-error text
//   document.h    the document model and its loading, an object's text, stream extents
//   filters.h     the stream filters and the decoding of a stream's filter chain
//   pages.h       the page-tree walk, inherited attributes (boxes, rotation, resources), contents
//   merge.h       renumbering, the numbering plan, the writer and the output file
// The loader's phases have their own header, load_phases.h, private to the loader.
#pragma once

#include "pdfmerge/document.h"
#include "pdfmerge/filters.h"
#include "pdfmerge/last_error.h"
#include "pdfmerge/lexer.h"
#include "pdfmerge/merge.h"
#include "pdfmerge/pages.h"
