#!/usr/bin/env bash
# install_test.sh CMAKE BUILD_DIR APP_ID_PREFIX
#
# What `cmake --install` puts under a prefix, which an install into a home
# directory and the Debian package both take: exactly the programs, their
# manual pages, menu entries, icons, metainfo and the performance notes,
# with their modes; and every link in the notes leads to a file installed
# beside them.
set -euo pipefail
cmake="$1" build="$2" prefix_id="$3"
scratch="$(mktemp -d "${TMPDIR:-/tmp}/install-test-XXXXXX")"
trap 'rm -rf "$scratch"' EXIT

"$cmake" --install "$build" --prefix "$scratch" >/dev/null
expected="$(
  for program in dravin mobrix quenzel; do
    id="$prefix_id.$program"
    echo "755 bin/$program"
    printf '644 %s\n' "share/man/man1/$program.1" "share/applications/$id.desktop" \
      "share/metainfo/$id.metainfo.xml" "share/icons/hicolor/scalable/apps/$id.svg" \
      "share/icons/hicolor/48x48/apps/$id.png"
  done
  printf '644 share/doc/flagblocks/%s\n' performance.md data/performance.tsv images/quenzel-frame-time.png
)"
installed="$(cd "$scratch" && find . -not -type d -printf '%m %P\n')"
status=0
if ! difference="$(diff <(LC_ALL=C sort <<<"$expected") <(LC_ALL=C sort <<<"$installed"))"; then
  echo "FAIL: cmake --install did not install what was expected (<) but (>):" >&2
  grep '^[<>]' <<<"$difference" >&2
  status=1
fi
doc="$scratch/share/doc/flagblocks"
for link in $(grep -ho '](\([^)]*\))' "$doc"/*.md | sed 's/^](\(.*\))$/\1/'); do
  [ -f "$doc/$link" ] || { echo "FAIL: the notes link to $link, which is not installed beside them" >&2; status=1; }
done
[ "$status" -ne 0 ] || echo "install: $(wc -l <<<"$installed") files as expected; the notes' links resolve"
exit "$status"
