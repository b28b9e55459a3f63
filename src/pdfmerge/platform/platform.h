// What the library asks of the operating system: memory for whole files and large tables
// (native_memory.h), and paths and files as the platform takes them (native_path.h). Builds on
// nothing else of the library.
#pragma once

#include "pdfmerge/platform/native_memory.h"
#include "pdfmerge/platform/native_path.h"
