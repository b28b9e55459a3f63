#!/bin/sh
# The manual page formats without a single groff warning, carries the version, and describes
# every option and command that the program's usage names.
#   check_man_page.sh MAN_PAGE PROGRAM VERSION
set -u
page=$1 cli=$2 version=$3
command -v groff >/dev/null || { echo "groff is not installed: check skipped"; exit 77; }
warnings=$(groff -man -ww -z "$page" 2>&1)
if [ -n "$warnings" ]; then
  printf 'FAILED: groff warns about %s:\n%s\n' "$page" "$warnings"
  exit 1
fi
text=$(groff -man -Tutf8 -P-cbou "$page" 2>&1)
failed=0
for word in "kq-pdfmerge $version" count merge --version --help "1 page"; do
  case $text in
  *"$word"*) ;;
  *) echo "FAILED: the manual page does not mention '$word'"; failed=1 ;;
  esac
done
# Every option of the usage text is in the page.
for option in $("$cli" --help | grep -o -- '--*[a-z][a-z-]*' | sort -u); do
  case $text in
  *"$option"*) ;;
  *) echo "FAILED: the usage names $option, the manual page does not"; failed=1 ;;
  esac
done
[ $failed -eq 0 ] && echo "ok: $page"
exit $failed
