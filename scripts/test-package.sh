#!/usr/bin/env bash
# Builds and checks the Debian package of this checkout in clean systems of
# one Debian release, with Debian's own tools:
#
#   scripts/test-package.sh bookworm|trixie|sid [--host-arch ARCH] [--twice]
#
# - mmdebstrap makes a minimal build system of the release (a tarball);
# - sbuild builds the source package in a copy of it, test suite included,
#   and runs the release's lintian, where any error or warning fails;
# - autopkgtest installs the package in another copy and runs debian/tests;
# - --twice builds once more from another path, without the tests, and
#   compares the .deb files byte for byte;
# - --host-arch cross-builds for another architecture (its tests run under
#   qemu's user-mode emulator) and leaves out autopkgtest, whose testbed
#   would be emulated whole.
#
# As root, needs subordinate ids for root in /etc/subuid and /etc/subgid
# (usermod --add-subuids 100000-165535 --add-subgids 100000-165535 root).
# The results and logs stay in $TMPDIR/flagblocks-package/RELEASE-ARCH/; the
# build system's tarball beside them serves the runs of that release for a
# day (sbuild and autopkgtest bring it up to date), then is made anew.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() { echo "usage: scripts/test-package.sh bookworm|trixie|sid [--host-arch ARCH] [--twice]" >&2; exit 2; }
release="${1:-}"
case "$release" in bookworm|trixie|sid) shift ;; *) usage ;; esac
build_arch="$(dpkg --print-architecture)" twice=""
host_arch="$build_arch"
while [ $# -gt 0 ]; do
  case "$1" in
    --host-arch) [ $# -ge 2 ] || usage; host_arch="$2"; shift 2 ;;
    --twice) twice=yes; shift ;;
    *) usage ;;
  esac
done
for tool in mmdebstrap sbuild autopkgtest dpkg-source; do
  command -v "$tool" >/dev/null ||
    { echo "test-package: $tool not found: apt-get install sbuild mmdebstrap autopkgtest uidmap" >&2; exit 1; }
done
if [ "$host_arch" != "$build_arch" ] && ! arch-test "$host_arch" >/dev/null 2>&1; then
  echo "test-package: this machine cannot run $host_arch programs (apt-get install qemu-user-static binfmt-support arch-test)" >&2
  exit 1
fi

runs="${TMPDIR:-/tmp}/flagblocks-package"
work="$runs/$release-$host_arch"
rm -rf "$work"
mkdir -p "$work/source/flagblocks"
tarball="$runs/$release-$build_arch.tar"
say() { echo "== $release $host_arch: $*"; }
started=$SECONDS

# The source package, from the checkout's tracked and untracked files.
git ls-files -z --cached --others --exclude-standard | tar --null -T - -cf - | tar -xf - -C "$work/source/flagblocks"
(cd "$work/source" && dpkg-source -b flagblocks >/dev/null)
dsc="$(echo "$work"/source/flagblocks_*.dsc)"
distribution="$(dpkg-parsechangelog -l debian/changelog -S Distribution)"

# No fsync after every file dpkg writes: the systems are thrown away. The
# archive can serve unstable with a Release file that has expired.
options=(--variant=buildd --quiet --dpkgopt=force-unsafe-io)
[ "$release" != sid ] || options+=(--aptopt='Acquire::Check-Valid-Until "false"')
if [ -z "$(find "$tarball" -mmin -1440 2>/dev/null)" ]; then
  mmdebstrap "${options[@]}" --format=tar "$release" "$tarball.new"
  mv "$tarball.new" "$tarball"
  say "build system made in $((SECONDS - started)) s"
fi

# build DIR [sbuild options]: builds the package into DIR; the log is DIR/sbuild.log.
build() {
  local out="$1" t0=$SECONDS
  shift
  mkdir -p "$out"
  (cd "$out" && sbuild --chroot-mode=unshare --chroot="$tarball" --dist="$distribution" --host="$host_arch" \
    --no-run-piuparts --no-run-autopkgtest --nolog "$@" "$dsc" >sbuild.log 2>&1) || true
  # ctest's line for each test, and sbuild's verdicts.
  grep -E '^ *[0-9]+/[0-9]+ Test +#' "$out/sbuild.log" | sed 's/^ */   /' || true
  if ! grep -qx 'Status: successful' "$out/sbuild.log"; then
    tail -n 150 "$out/sbuild.log"
    say "FAILED: sbuild did not build the package (log: $out/sbuild.log)"
    exit 1
  fi
  say "built in $((SECONDS - t0)) s ($out)"
}

# The release's lintian on the binary packages, the .changes and the source.
lintian_options="--pedantic --display-info --fail-on=error,warning"
export DEB_BUILD_OPTIONS="parallel=$(nproc)"
# sbuild leaves the tests out of a cross build unless its profiles are named.
profiles=()
[ "$host_arch" = "$build_arch" ] || profiles=(--profiles=cross)
build "$work/build" "${profiles[@]}" --run-lintian --lintian-opts="$lintian_options"
# What lintian said: each tag it showed (info and pedantic ones pass), then its verdict.
sed -n '/^Running lintian/,/^$/p' "$work/build/sbuild.log" | grep -E '^[EWIPX]: ' | sed 's/^/   lintian: /' || true
if ! grep -qE '^Lintian: (pass|info)$' "$work/build/sbuild.log"; then
  say "FAILED: lintian reports errors or warnings (above)"
  exit 1
fi
say "lintian: $(sed -n 's/^Lintian: //p' "$work/build/sbuild.log")"

if [ -n "$twice" ]; then
  # Another path, of another length and depth, and no tests.
  DEB_BUILD_OPTIONS="nocheck $DEB_BUILD_OPTIONS" \
    build "$work/second" --profiles=nocheck --no-run-lintian --build-path=/build/second-build/of-flagblocks
  for deb in "$work"/build/*.deb; do
    if cmp -s "$deb" "$work/second/${deb##*/}"; then
      say "reproducible: ${deb##*/} the same from both builds ($(stat -c %s "$deb") bytes)"
    else
      say "FAILED: ${deb##*/} differs between the two builds (diffoscope $deb $work/second/${deb##*/} shows how)"
      exit 1
    fi
  done
fi

if [ "$host_arch" != "$build_arch" ]; then
  say "passed in $((SECONDS - started)) s (autopkgtest left out: its testbed would run emulated)"
  exit 0
fi
t0=$SECONDS
status=0
autopkgtest --apt-upgrade --output-dir "$work/autopkgtest" "$work"/build/flagblocks_*.deb "$dsc" \
  -- unshare --tarball "$tarball" >"$work/autopkgtest.log" 2>&1 || status=$?
sed 's/^/   autopkgtest: /' "$work/autopkgtest/summary" 2>/dev/null || true
if [ "$status" -ne 0 ]; then
  tail -n 150 "$work/autopkgtest.log"
  say "FAILED: autopkgtest (status $status, log: $work/autopkgtest.log)"
  exit 1
fi
say "autopkgtest passed in $((SECONDS - t0)) s"
say "passed in $((SECONDS - started)) s"
