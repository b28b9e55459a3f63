#!/usr/bin/env bash
# The shared library's dynamic symbol table holds exactly the functions of the export list
# (cmake/exports.map), and the public header declares exactly those functions.
#   check_exports.sh LIBRARY EXPORTS_MAP HEADER
set -euo pipefail
lib=$1 map=$2 header=$3
expected=$(sed -n 's/^ *\(pdfmerge_[a-z_]*\);$/\1/p' "$map" | sort | tr '\n' ' ' | sed 's/ $//')
actual=$(nm -D --defined-only "$lib" | awk '{print $3}' | grep -v -E '^(_init|_fini)$' | sort | tr '\n' ' ' | sed 's/ $//')
declared=$(sed -n 's/.*KQ_PDFMERGE_CALL \(pdfmerge_[a-z_]*\)(.*/\1/p' "$header" | sort | tr '\n' ' ' | sed 's/ $//')
status=0
[ -n "$expected" ] || { echo "no export in $map"; status=1; }
[ "$actual" = "$expected" ] || { echo "the library exports: $actual; the list: $expected"; status=1; }
[ "$declared" = "$expected" ] || { echo "the header declares: $declared; the list: $expected"; status=1; }
[ $status -eq 0 ] && echo "exports: $actual"
exit $status
