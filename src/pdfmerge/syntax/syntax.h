// The PDF syntax: byte classes, white space and comments, strings and their values, nested
// values, a dictionary's own keys, integers and references (lexer.h); values read into small
// trees (pdf_value.h); the bytes that string tokens stand for (string_values.h); text strings
// read as Unicode and written back (text_strings.h); and the process-wide last-error text
// (last_error.h). Builds on nothing else of the library.
#pragma once

#include "pdfmerge/syntax/last_error.h"
#include "pdfmerge/syntax/lexer.h"
#include "pdfmerge/syntax/pdf_value.h"
#include "pdfmerge/syntax/string_values.h"
#include "pdfmerge/syntax/text_strings.h"
