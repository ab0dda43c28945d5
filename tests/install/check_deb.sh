#!/usr/bin/env bash
# Builds the Debian package from the build tree with CPack into a scratch
# directory, checks its control fields and contents, runs both programs from
# the unpacked package in a terminal, and lets lintian judge it.
#
# usage: check_deb.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log" >&2; exit 1; }
debs=("$scratch"/out/*.deb)
[ ${#debs[@]} = 1 ] || { echo "expected one package, got: ${debs[*]}" >&2; exit 1; }
deb=${debs[0]}
echo "package: $(basename "$deb")"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = bubbletrace ] || fail "Package: $(field Package)"
[ "$(field Section)" = education ] || fail "Section: $(field Section)"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture: $(field Architecture)"
case $(field Depends) in *libc6*) ;; *) fail "Depends lacks libc6: $(field Depends)" ;; esac

contents=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./||' | LC_ALL=C sort)
expected='usr/bin/bubblesort
usr/bin/bubbletrace
usr/share/applications/bubblesort.desktop
usr/share/applications/bubbletrace.desktop
usr/share/doc/bubbletrace/changelog.gz
usr/share/doc/bubbletrace/copyright
usr/share/icons/hicolor/32x32/apps/bubbletrace.png
usr/share/man/man1/bubblesort.1.gz
usr/share/man/man1/bubbletrace.1.gz'
[ "$contents" = "$expected" ] || fail "package contents differ:
$(diff <(echo "$expected") <(echo "$contents") || true)"

dpkg-deb -x "$deb" "$scratch/root"
for program in bubbletrace bubblesort; do
  binary=$scratch/root/usr/bin/$program
  if readelf -SW "$binary" | grep -q ' \.symtab '; then fail "$program is not stripped"; fi
  # Stripping must leave the icon as it was built.
  objcopy -O binary --only-section=.resource "$binary" "$scratch/icon.res"
  tail -c +17 "$scratch/icon.res" | cmp -s - "$build/packaging/bubbletrace.ico" ||
    fail "packaged $program lacks the icon"
  status=0
  python3 "$here/run_in_pty.py" "$binary" $'2\r' $'2\r' $'\r' || status=$?
  [ "$status" = 0 ] || fail "packaged $program ended with status $status"
done

# Informational tags depend on the flags of this build (a packager's build
# adds Debian's hardening flags); warnings and errors are real findings.
status=0
lintian --fail-on error,warning --display-info "$deb" >"$scratch/lintian.log" 2>&1 || status=$?
grep -v 'running with root privileges' "$scratch/lintian.log" || true
[ "$status" = 0 ] || fail "lintian found warnings or errors"

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "Debian package: fields, contents, programs and lintian all good"
