// Reading a document: the whole file into memory, its trailers, its objects found by scanning
// the bytes, its object streams expanded, one definition kept per object number, and its page
// tree walked. The phases, in the order doc_load runs them, are in phases.h, private to this
// folder.
#pragma once

#include "pdfmerge/document/document.h"
#include "pdfmerge/platform/platform.h"

#include <cstdint>

namespace pdfmerge {

// Loads the file at `path`: 0 on success, -1 with the last-error text set. The file's bytes go
// into the pool's memory when one is given (it must outlive the document).
int32_t doc_load(const char* path, doc& d, file_memory_pool* pool = nullptr);

} // namespace pdfmerge
