#!/usr/bin/env bash
# The shared library's dynamic symbol table holds the nine C functions and nothing else.
set -euo pipefail
expected="pdfmerge_append pdfmerge_cleanup pdfmerge_files pdfmerge_files_ex pdfmerge_files_opt pdfmerge_init pdfmerge_last_error pdfmerge_page_count pdfmerge_two"
actual=$(nm -D --defined-only "$1" | awk '{print $3}' | grep -v -E '^(_init|_fini)$' | sort | tr '\n' ' ' | sed 's/ $//')
if [ "$actual" != "$expected" ]; then
  echo "exports differ: $actual"
  exit 1
fi
echo "exports: $actual"
