#!/usr/bin/env bash
# Installs the build into a scratch DESTDIR under an unusual prefix and checks
# what a packager and a user get: the file list and modes, both programs
# running from there in a terminal, the same icon in both program files, and
# manual pages and desktop entries that their tools accept.
#
# usage: check_install.sh BUILD_DIR
set -euo pipefail
build=$1
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

prefix=/opt/bubble-test
root=$scratch/root
DESTDIR=$root cmake --install "$build" --prefix "$prefix" >/dev/null
top=$root$prefix

# --- What lands where ---------------------------------------------------------
expected='bin/bubblesort
bin/bubbletrace
share/applications/bubblesort.desktop
share/applications/bubbletrace.desktop
share/doc/bubbletrace/changelog.gz
share/doc/bubbletrace/copyright
share/icons/hicolor/32x32/apps/bubbletrace.png
share/man/man1/bubblesort.1.gz
share/man/man1/bubbletrace.1.gz'
outside=$(find "$root" -mindepth 1 \( -type f -o -type l \) ! -path "$top/*")
[ -z "$outside" ] || fail "installed outside the prefix: $outside"
actual=$(cd "$top" && find . \( -type f -o -type l \) | sed 's|^\./||' | LC_ALL=C sort)
[ "$actual" = "$expected" ] || fail "installed files differ:
$(diff <(echo "$expected") <(echo "$actual") || true)"
for f in $actual; do
  mode=$(stat -c %a "$top/$f")
  case $f in
    bin/*) want=755 ;;
    *) want=644 ;;
  esac
  [ "$mode" = "$want" ] || fail "$f has mode $mode, not $want"
done

# --- The installed programs run in a terminal --------------------------------
for program in bubbletrace bubblesort; do
  status=0
  python3 "$here/run_in_pty.py" "$top/bin/$program" $'3\r' $'1\r' $'\r' || status=$?
  [ "$status" = 0 ] || fail "$program ended with status $status"
done

# --- One icon in both program files, in a read-only section -------------------
for program in bubbletrace bubblesort; do
  objcopy -O binary --only-section=.resource "$top/bin/$program" "$scratch/$program.res"
  flags=$(readelf -SW "$top/bin/$program" |
    awk '{for (i = 1; i <= NF; ++i) if ($i == ".resource") print $(i + 6)}')
  case $flags in
    *A*) case $flags in *W*) fail "$program: .resource is writable ($flags)" ;; esac ;;
    *) fail "$program: .resource missing or not loaded (flags '$flags')" ;;
  esac
  # The segment that holds the section, with its flags, e.g. "LOAD R".
  segment=$(readelf -lW "$top/bin/$program" | awk '
    /^Program Headers:/ {headers = 1; next}
    headers && $2 ~ /^0x/ {line = $1; for (i = 7; i < NF; ++i) line = line " " $i; seg[n++] = line; next}
    /Section to Segment mapping/ {headers = 0; mapping = 1; next}
    mapping && $1 ~ /^[0-9]+$/ {for (i = 2; i <= NF; ++i) if ($i == ".resource") found = $1 + 0}
    END {if (found != "") print seg[found]}')
  case $segment in
    "LOAD R"|"LOAD R E") ;;
    *) fail "$program: .resource is in segment '$segment', not a read-only load segment" ;;
  esac
done
cmp "$scratch/bubbletrace.res" "$scratch/bubblesort.res" || fail "the two programs carry different icons"
python3 "$here/check_icon.py" "$scratch/bubbletrace.res" "$top/share/icons/hicolor/32x32/apps/bubbletrace.png" ||
  fail "icon resource or PNG"

# --- Manual pages ---------------------------------------------------------------
for page in "$top"/share/man/man1/*.1.gz; do
  name=$(basename "$page" .1.gz)
  warnings=$(zcat "$page" | groff -ww -z -man 2>&1) || fail "$name.1: groff failed"
  [ -z "$warnings" ] || fail "$name.1: groff warns: $warnings"
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null) ||
    fail "$name.1: man failed"
  [ -z "$warnings" ] || fail "$name.1: man warns: $warnings"
  whatis=$(lexgrog "$page" 2>&1) || fail "$name.1: no whatis entry: $whatis"
  case $whatis in *": \"$name - "*) ;; *) fail "$name.1: whatis entry '$whatis'" ;; esac
done

# --- Desktop entries -------------------------------------------------------------
for entry in "$top"/share/applications/*.desktop; do
  out=$(desktop-file-validate "$entry" 2>&1) || fail "$(basename "$entry"): $out"
  [ -z "$out" ] || fail "$(basename "$entry"): $out"
  exec_name=$(sed -n 's/^Exec=//p' "$entry")
  icon=$(sed -n 's/^Icon=//p' "$entry")
  [ -x "$top/bin/$exec_name" ] || fail "$(basename "$entry"): Exec=$exec_name is not an installed program"
  [ -f "$top/share/icons/hicolor/32x32/apps/$icon.png" ] || fail "$(basename "$entry"): no icon named $icon"
done

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "install layout, programs, icon, manual pages and desktop entries: all good"
