#!/usr/bin/env bash
# Builds and checks the Debian package of this checkout in clean systems of
# one Debian release, with Debian's own tools:
#
#   scripts/test-package.sh bookworm|trixie|sid [--host-arch ARCH] [--twice] [--no-autopkgtest]
#
# - the orig tarball comes from git archive (docs/building.md), the 3.0
#   (quilt) source package from it and debian/;
# - mmdebstrap makes a minimal build system of the release, and a smaller
#   one without a compiler (tarballs);
# - sbuild builds the source package in a copy of the first, test suite
#   included, whose passing run the log must show; blhc reads the log for
#   compile and link lines without the hardening flags; the release's
#   lintian checks the packages, where any error or warning fails;
# - piuparts installs and purges the package in the smaller system and
#   fails on anything left behind; autopkgtest installs it in another copy
#   and runs debian/tests;
# - --twice builds once more, without the tests, under another path,
#   locale, time zone, umask, clock and number of CPUs, and compares the
#   .deb files byte for byte;
# - --host-arch builds for another architecture: natively where this
#   machine runs its programs without an emulator (i386 on amd64), else
#   cross-built with the tests under qemu's user-mode emulator and without
#   piuparts and autopkgtest, whose systems would be emulated whole;
# - --no-autopkgtest leaves out autopkgtest (CI's i386 run, for time).
#
# As root, needs subordinate ids for root in /etc/subuid and /etc/subgid
# (usermod --add-subuids 100000-165535 --add-subgids 100000-165535 root).
# The results and logs stay in $TMPDIR/flagblocks-package/RELEASE-ARCH/; the
# build system's tarball beside them serves the runs of that release for a
# day (sbuild and autopkgtest bring it up to date), then is made anew.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() { echo "usage: scripts/test-package.sh bookworm|trixie|sid [--host-arch ARCH] [--twice] [--no-autopkgtest]" >&2; exit 2; }
release="${1:-}"
case "$release" in bookworm|trixie|sid) shift ;; *) usage ;; esac
build_arch="$(dpkg --print-architecture)" twice="" autopkgtest=yes
host_arch="$build_arch"
while [ $# -gt 0 ]; do
  case "$1" in
    --host-arch) [ $# -ge 2 ] || usage; host_arch="$2"; shift 2 ;;
    --twice) twice=yes; shift ;;
    --no-autopkgtest) autopkgtest=""; shift ;;
    *) usage ;;
  esac
done
for tool in mmdebstrap sbuild autopkgtest dpkg-source piuparts blhc arch-test; do
  command -v "$tool" >/dev/null ||
    { echo "test-package: $tool not found: apt-get install sbuild mmdebstrap autopkgtest uidmap piuparts blhc arch-test" >&2; exit 1; }
done
# An architecture whose programs this machine runs without an emulator
# (i386 on amd64) is built natively, in a system of that architecture, with
# piuparts and autopkgtest; any other is cross-built.
if [ "$host_arch" != "$build_arch" ] && arch-test -n "$host_arch" >/dev/null 2>&1; then
  build_arch="$host_arch"
fi
if [ "$host_arch" != "$build_arch" ] && ! arch-test "$host_arch" >/dev/null 2>&1; then
  echo "test-package: this machine cannot run $host_arch programs (apt-get install qemu-user-static binfmt-support arch-test)" >&2
  exit 1
fi

runs="${TMPDIR:-/tmp}/flagblocks-package"
work="$runs/$release-$host_arch"
rm -rf "$work"
mkdir -p "$work/source"
tarball="$runs/$release-$build_arch-buildd.tar"
say() { echo "== $release $host_arch: $*"; }
started=$SECONDS

# The source package: the orig tarball made by docs/building.md's command
# from the checkout's tracked files (with their uncommitted changes, which
# git stash create commits aside, dated as HEAD so that the tarball's bytes
# stay those of HEAD's where nothing changed), then debian/ beside it.
version="$(dpkg-parsechangelog -l debian/changelog -S Version)"
upstream="${version%-*}"
tree="$(GIT_AUTHOR_DATE="$(git log -1 --format=%cI)" GIT_COMMITTER_DATE="$(git log -1 --format=%cI)" git stash create)"
git archive --format=tar.gz --prefix="flagblocks-$upstream/" -o "$work/source/flagblocks_$upstream.orig.tar.gz" \
  "${tree:-HEAD}" ':!debian'
tar -xzf "$work/source/flagblocks_$upstream.orig.tar.gz" -C "$work/source"
git ls-files -z --cached --others --exclude-standard debian | tar --null -T - -cf - |
  tar -xf - -C "$work/source/flagblocks-$upstream"
(cd "$work/source" && dpkg-source -b "flagblocks-$upstream" >/dev/null)
dsc="$(echo "$work"/source/flagblocks_*.dsc)"
distribution="$(dpkg-parsechangelog -l debian/changelog -S Distribution)"

# No fsync after every file dpkg writes: the systems are thrown away. The
# archive can serve unstable with a Release file that has expired.
options=(--quiet --dpkgopt=force-unsafe-io --architectures="$build_arch")
[ "$release" != sid ] || options+=(--aptopt='Acquire::Check-Valid-Until "false"')
# system VARIANT FILE [mmdebstrap options]: makes the release's system of
# that variant into FILE, unless one less than a day old is there. An
# archive whose index is out of step with its signature (a mirror being
# synced) fails apt for a while: three tries, a minute apart, and then the
# failure is named as the archive's.
system() {
  local variant="$1" file="$2" t0=$SECONDS try
  shift 2
  [ -z "$(find "$file" -mmin -1440 2>/dev/null)" ] || return 0
  for try in 1 2 3; do
    # Made aside under a name with the same extension, which sets its format.
    if mmdebstrap "${options[@]}" --variant="$variant" "$@" "$release" "${file%/*}/new.${file##*/}" 2>"$file.err"; then
      mv "${file%/*}/new.${file##*/}" "$file"
      rm -f "$file.err"
      say "$variant system made in $((SECONDS - t0)) s"
      return 0
    fi
    tail -n 20 "$file.err"
    [ "$try" -eq 3 ] || { say "mmdebstrap failed, trying again in a minute"; sleep 60; }
  done
  say "FAILED: apt could not fetch $release from the archive three times (above); the archive's fault if it says" \
    "'Hash Sum mismatch', 'File has unexpected size' or 'Mirror sync in progress'"
  exit 1
}
# The build system, as Debian's build daemons have it; and a minimal one
# (apt, no compiler) for the as-installed tests and piuparts, which must
# bring everything they need through the package's dependencies.
# It holds apt's own solver (apt-utils), which sbuild's cross resolver runs:
# without it, sbuild copies in this machine's, which needs this machine's apt.
# A cross build's system has no security suite: a release's may carry fewer
# architectures than the release (bookworm's, in long-term support, has no
# s390x), and a Multi-Arch: same package cannot be newer for the build
# architecture than for the host.
if [ "$host_arch" = "$build_arch" ]; then
  system buildd "$tarball" --include=apt-utils
else
  tarball="${tarball%.tar}-cross.tar"
  system buildd "$tarball" --include=apt-utils --setup-hook='sed -i "/-security /d" "$1/etc/apt/sources.list"'
fi
minimal="$runs/$release-$host_arch-minimal.tar.gz"
[ "$host_arch" != "$build_arch" ] || system apt "$minimal"

# build DIR TESTS [sbuild options]: builds the package into DIR (log:
# DIR/sbuild.log). TESTS=yes when the suite was asked for: then the log must
# show it passing, ctest's "100% tests passed, 0 tests failed out of N".
build() {
  local out="$1" tests="$2" t0=$SECONDS suite
  shift 2
  mkdir -p "$out"
  (cd "$out" && sbuild --chroot-mode=unshare --chroot="$tarball" --dist="$distribution" \
    --build="$build_arch" --host="$host_arch" \
    --no-run-piuparts --no-run-autopkgtest --nolog "$@" "$dsc" >sbuild.log 2>&1) || true
  # ctest's line for each test, and sbuild's verdicts.
  grep -E '^ *[0-9]+/[0-9]+ Test +#' "$out/sbuild.log" | sed 's/^ */   /' || true
  if ! grep -qx 'Status: successful' "$out/sbuild.log"; then
    tail -n 150 "$out/sbuild.log"
    if grep -qE 'Hash Sum mismatch|File has unexpected size|Mirror sync in progress' "$out/sbuild.log"; then
      say "FAILED: apt in the build system read an archive index out of step with its signature (above): the archive's fault, not the package's"
    elif grep -qE '^E: Failed to fetch .* 404 ' "$out/sbuild.log"; then
      say "FAILED: the archive lists packages it does not hold (404 above): the archive's fault, not the package's"
    fi
    say "FAILED: sbuild did not build the package (log: $out/sbuild.log)"
    exit 1
  fi
  if [ "$tests" = yes ]; then
    suite="$(grep -E '^[0-9]+% tests passed, [0-9]+ tests failed out of [0-9]+$' "$out/sbuild.log" || true)"
    if ! grep -qE '^100% tests passed, 0 tests failed out of [1-9][0-9]*$' <<<"$suite"; then
      say "FAILED: the suite was asked for, but the build log shows no passing run of it (${suite:-no ctest summary})"
      exit 1
    fi
    say "suite: $suite"
  fi
  # blhc: every compile and link line carries the hardening flags that
  # dpkg-buildflags gives (debian/rules asks for all of them), but PIE,
  # which Debian's compilers apply without a flag (--debian).
  if ! blhc --all --debian "$out/sbuild.log" >"$out/blhc.txt" 2>&1; then
    sed 's/^/   blhc: /' "$out/blhc.txt" | head -n 40
    say "FAILED: blhc finds build lines without the hardening flags (log: $out/sbuild.log)"
    exit 1
  fi
  say "built in $((SECONDS - t0)) s, blhc: no findings ($out)"
}

# The release's lintian on the binary packages, the .changes and the source.
lintian_options="--pedantic --display-info --fail-on=error,warning"
export DEB_BUILD_OPTIONS="parallel=$(nproc)"
# sbuild leaves the tests out of a cross build unless its profiles are named.
profiles=()
[ "$host_arch" = "$build_arch" ] || profiles=(--profiles=cross)
build "$work/build" yes "${profiles[@]}" --run-lintian --lintian-opts="$lintian_options"
# What lintian said: each tag it showed (info and pedantic ones pass), then its verdict.
sed -n '/^Running lintian/,/^$/p' "$work/build/sbuild.log" | grep -E '^[EWIPX]: ' | sed 's/^/   lintian: /' || true
if ! grep -qE '^Lintian: (pass|info)$' "$work/build/sbuild.log"; then
  say "FAILED: lintian reports errors or warnings (above)"
  exit 1
fi
say "lintian: $(sed -n 's/^Lintian: //p' "$work/build/sbuild.log")"

if [ -n "$twice" ]; then
  # The second build differs from the first in what reprotest varies and
  # this machine can vary, without the tests: the build path (of another
  # length and depth), the locale (et_EE, whose collation puts z after s),
  # the time zone (UTC+14), the umask (0002), the clock (faketime, 398 days
  # on), the number of CPUs (one, by taskset and parallel=1). dpkg-buildpackage
  # resets the umask and the collation before it runs debian/rules, so the
  # variations are set by a wrapper of debian/rules that sbuild writes into
  # the build system (-R), after adding locales and faketime to it.
  config="$work/second.sbuildrc"
  cat >"$config" <<'CONFIG'
# sbuild runs the command with sh -c, in the build system, as root.
$external_commands = { 'starting-build-commands' => [
  q{localedef -i et_EE -f UTF-8 et_EE.UTF-8 && { echo '#!/bin/sh'; echo 'umask 0002';
    echo 'export LC_ALL=et_EE.UTF-8 LANG=et_EE.UTF-8 TZ=Etc/GMT-14';
    echo 'echo "varied build: debian/rules $1, umask $(umask), LC_ALL=$LC_ALL, TZ=$TZ, $(taskset -c 0 nproc) CPU, $(faketime +398days date)"';
    echo 'exec taskset -c 0 faketime +398days debian/rules "$@"'; } >/usr/local/bin/varied-rules &&
    chmod 755 /usr/local/bin/varied-rules} ] };
1;
CONFIG
  SBUILD_CONFIG="$config" DEB_BUILD_OPTIONS="nocheck parallel=1" \
    build "$work/second" no --profiles=nocheck --no-run-lintian --build-path=/build/second-build/of-flagblocks \
    --add-depends=locales,faketime --debbuildopt=-R/usr/local/bin/varied-rules
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
  say "passed in $((SECONDS - started)) s (piuparts and autopkgtest left out: their systems would run emulated)"
  exit 0
fi

# piuparts: the package installs into the minimal system with what it
# depends on, purges, and leaves nothing behind. The system's own apt
# sources are kept; the package is not in the archive, so there is no
# upgrade from it to test. Bookworm's piuparts does not yet know the
# directory that newer debconf leaves behind whatever package apt configures.
t0=$SECONDS
status=0
rm -f "$work/piuparts.log"
piuparts --basetgz="$minimal" --distribution="$release" --keep-sources-list --no-upgrade-test \
  --ignore=/var/cache/debconf/tmp.ci/ --log-file="$work/piuparts.log" "$work"/build/flagblocks_*.deb >/dev/null 2>&1 ||
  status=$?
if [ "$status" -ne 0 ]; then
  grep -E '^[0-9:]+ *(FAIL|ERROR)|^  /' "$work/piuparts.log" | tail -n 60 || tail -n 60 "$work/piuparts.log"
  say "FAILED: piuparts (status $status, log: $work/piuparts.log)"
  exit 1
fi
say "piuparts passed in $((SECONDS - t0)) s: $(grep -E 'PASS:' "$work/piuparts.log" | tail -n 1 | sed 's/^.*PASS: //')"

if [ -z "$autopkgtest" ]; then
  say "passed in $((SECONDS - started)) s (autopkgtest left out, as asked)"
  exit 0
fi
# autopkgtest, in the minimal system: the tests' Depends bring the compiler.
t0=$SECONDS
status=0
autopkgtest --apt-upgrade --output-dir "$work/autopkgtest" "$work"/build/flagblocks_*.deb "$dsc" \
  -- unshare --tarball "$minimal" >"$work/autopkgtest.log" 2>&1 || status=$?
sed 's/^/   autopkgtest: /' "$work/autopkgtest/summary" 2>/dev/null || true
if [ "$status" -ne 0 ]; then
  tail -n 150 "$work/autopkgtest.log"
  say "FAILED: autopkgtest (status $status, log: $work/autopkgtest.log)"
  exit 1
fi
say "autopkgtest passed in $((SECONDS - t0)) s"
say "passed in $((SECONDS - started)) s"
