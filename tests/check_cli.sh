#!/bin/sh
# The command-line program's lines: the version, "1 page" and "N pages", the merge options (the
# structure tree among them), the per-input page ranges and titles, and the exit statuses.
#   check_cli.sh PROGRAM VERSION EXAMPLES_FOLDER WORK_FOLDER
set -u
cli=$1 version=$2 examples=$3 work=$4
mkdir -p "$work"
failed=0

# expect NAME STATUS EXPECTED_OUTPUT COMMAND...
expect() {
  name=$1 status=$2 want=$3
  shift 3
  got=$("$@" 2>&1)
  rc=$?
  if [ "$rc" != "$status" ] || [ "$got" != "$want" ]; then
    printf 'FAILED %s: exit %s (wanted %s)\n--- got\n%s\n--- wanted\n%s\n' \
      "$name" "$rc" "$status" "$got" "$want"
    failed=1
  else
    echo "ok $name"
  fi
}

nl='
'
expect version 0 "kq-pdfmerge $version" "$cli" --version
expect count 0 "$examples/letter.pdf: 1 page$nl$examples/object-streams.pdf: 2 pages" \
  "$cli" count "$examples/letter.pdf" "$examples/object-streams.pdf"
expect count-failed 1 "$work/none.pdf: error: cannot open $work/none.pdf$nl$examples/rotated.pdf: 3 pages" \
  "$cli" count "$work/none.pdf" "$examples/rotated.pdf"
expect merge-one 0 "$work/one.pdf: 1 page" "$cli" merge "$work/one.pdf" "$examples/letter.pdf"
expect merge-two 0 "$work/two.pdf: 4 pages" \
  "$cli" merge "$work/two.pdf" "$examples/letter.pdf" "$examples/rotated.pdf"
expect merge-keep 0 "$work/keep.pdf: 4 pages" "$cli" merge --keep-annotations --keep-outlines \
  "$work/keep.pdf" "$examples/letter.pdf" "$examples/rotated.pdf"
# A one-page tagged file (the reader finds objects without a cross-reference table): merged
# with --keep-structure it stays tagged, merged without it the structure is left behind.
printf '%s\n' '%PDF-1.4' \
  '1 0 obj << /Type /Catalog /Pages 2 0 R /StructTreeRoot 5 0 R /MarkInfo << /Marked true >> >> endobj' \
  '2 0 obj << /Type /Pages /Kids [3 0 R] /Count 1 >> endobj' \
  '3 0 obj << /Type /Page /Parent 2 0 R /MediaBox [0 0 50 50] /Contents 4 0 R /StructParents 0 >> endobj' \
  '4 0 obj << /Length 30 >> stream' '/P <</MCID 0>> BDC 0 0 m EMC' 'endstream endobj' \
  '5 0 obj << /Type /StructTreeRoot /K [6 0 R] /ParentTree << /Nums [0 [6 0 R]] >> >> endobj' \
  '6 0 obj << /S /P /P 5 0 R /Pg 3 0 R /K 0 >> endobj' \
  'trailer << /Root 1 0 R >>' '%%EOF' >"$work/tagged-in.pdf"
expect merge-structure 0 "$work/tagged.pdf: 4 pages" "$cli" merge --keep-structure \
  "$work/tagged.pdf" "$work/tagged-in.pdf" "$examples/rotated.pdf"
expect merge-untagged 0 "$work/untagged.pdf: 4 pages" \
  "$cli" merge "$work/untagged.pdf" "$work/tagged-in.pdf" "$examples/rotated.pdf"
if ! grep -q "/StructTreeRoot" "$work/tagged.pdf" || grep -q "/StructTreeRoot" "$work/untagged.pdf"; then
  echo "FAILED: merge --keep-structure did not keep the structure tree, or a plain merge did"
  failed=1
fi
expect merge-compress 0 "$work/small.pdf: 4 pages" "$cli" merge --compress \
  "$work/small.pdf" "$examples/letter.pdf" "$examples/rotated.pdf"
if ! grep -q "/Filter /FlateDecode" "$work/small.pdf"; then
  echo "FAILED: merge --compress wrote no compressed content"
  failed=1
fi
# The same file twice, with shared objects and object streams: a PDF 1.5 file, smaller than
# the merge without them, whose pages the program counts again.
expect merge-compact 0 "$work/compact.pdf: 6 pages" "$cli" merge --share-resources \
  --object-streams "$work/compact.pdf" "$examples/rotated.pdf" "$examples/rotated.pdf"
expect merge-twice 0 "$work/twice.pdf: 6 pages" \
  "$cli" merge "$work/twice.pdf" "$examples/rotated.pdf" "$examples/rotated.pdf"
if [ "$(head -c 8 "$work/compact.pdf")" != "%PDF-1.5" ] || ! grep -q "/Type /ObjStm" "$work/compact.pdf" ||
  [ "$(wc -c <"$work/compact.pdf")" -ge "$(wc -c <"$work/twice.pdf")" ]; then
  echo "FAILED: merge --share-resources --object-streams wrote no smaller PDF 1.5 file"
  failed=1
fi
expect merge-pages 0 "$work/pages.pdf: 4 pages" "$cli" merge --pad-odd --page-labels \
  --keep-doc-info "$work/pages.pdf" "$examples/letter.pdf" --title "Letter" \
  "$examples/rotated.pdf" --pages "z, 1"
if ! grep -q "/Title (Letter)" "$work/pages.pdf" || ! grep -q "/PageLabels" "$work/pages.pdf"; then
  echo "FAILED: merge --title --page-labels wrote no bookmark title or no labels"
  failed=1
fi
expect merge-bad-range 1 "error: input 1: bad page range \"1-x\": \"x\" is not a page number" \
  "$cli" merge "$work/bad.pdf" "$examples/rotated.pdf" --pages 1-x
if [ -e "$work/bad.pdf" ]; then
  echo "FAILED: a bad page range left $work/bad.pdf"
  failed=1
fi
expect merge-pages-first 2 "$("$cli" --help)" \
  "$cli" merge "$work/first.pdf" --pages 1 "$examples/letter.pdf"
expect merge-pages-twice 2 "$("$cli" --help)" \
  "$cli" merge "$work/twice.pdf" "$examples/letter.pdf" --pages 1 --pages 1
expect merge-title-without-value 2 "$("$cli" --help)" \
  "$cli" merge "$work/novalue.pdf" "$examples/letter.pdf" --title
expect merge-unknown-option 2 "$("$cli" --help)" \
  "$cli" merge --keep-everything "$work/unknown.pdf" "$examples/letter.pdf"
expect merge-options-only 2 "$("$cli" --help)" "$cli" merge --keep-outlines "$work/only.pdf"
expect version-extra 2 "$("$cli" --help)" "$cli" --version extra
expect no-arguments 2 "$("$cli" --help)" "$cli"
exit $failed
