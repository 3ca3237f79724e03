#!/usr/bin/env bash
# lint_test.sh SOURCE_DIR BUILD_DIR APP_ID_PREFIX VERSION RELEASE_DATE
#
# The files a desktop reads, as this build makes them, pass the checks of
# the tools that read them: each menu entry desktop-file-validate without a
# word, each metainfo appstreamcli validate --pedantic, each manual page
# man --warnings without a warning. And each page's .TH line names the
# release CMakeLists.txt declares, as the metainfo does: the pages are
# written by hand and must follow a new release.
set -uo pipefail
source="$1" build="$2" prefix_id="$3" version="$4" date="$5"
status=0
fail() { echo "FAIL: $*" >&2; status=1; }

for program in dravin mobrix quenzel; do
  id="$prefix_id.$program"
  said="$(desktop-file-validate "$build/desktop/$id.desktop" 2>&1)"
  [ $? -eq 0 ] && [ -z "$said" ] || fail "desktop-file-validate $id.desktop: $said"
  said="$(appstreamcli validate --no-net --pedantic "$build/desktop/$id.metainfo.xml" 2>&1)" ||
    fail "appstreamcli validate --pedantic $id.metainfo.xml: $said"
  page="$source/man/$program.1"
  said="$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)"
  [ -z "$said" ] || fail "man --warnings $program.1: $said"
  th="$(grep -m1 '^\.TH ' "$page")"
  [[ "$th" == ".TH ${program^^} 1 $date \"flagblocks $version\" "* ]] ||
    fail "$program.1 says '$th', not the release $version of $date"
done
[ "$status" -ne 0 ] || echo "lint: 3 menu entries, 3 metainfo files and 3 pages pass, all of release $version ($date)"
exit "$status"
