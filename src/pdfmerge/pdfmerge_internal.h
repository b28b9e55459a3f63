// Every layer's header, for the tests and benchmarks that reach the library's internals. No
// library source includes it: each includes the headers of the layers below its own folder.
#pragma once

#include "pdfmerge/decrypt/decrypt.h"
#include "pdfmerge/document/document.h"
#include "pdfmerge/driver.h"
#include "pdfmerge/filters/filters.h"
#include "pdfmerge/keep/keep.h"
#include "pdfmerge/merge/merge.h"
#include "pdfmerge/pages/pages.h"
#include "pdfmerge/platform/platform.h"
#include "pdfmerge/reader/reader.h"
#include "pdfmerge/syntax/syntax.h"
