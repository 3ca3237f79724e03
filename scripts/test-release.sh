#!/usr/bin/env bash
# Runs the test suite in a throwaway minimal Debian system of one release, as
# a new user of that release would. Needs root.
#
#   scripts/test-release.sh bookworm|trixie|sid [--arch ARCH] [test.sh options]
#   scripts/test-release.sh --clean
#
# Builds the system with mmdebstrap (variant apt) from its default archive,
# or DEBIAN_MIRROR when set; copies in this checkout's tracked and untracked
# files; mounts what Xvfb and the tests need; runs scripts/test.sh with the
# options given. --arch builds it for another architecture, run under qemu's
# user-mode emulator (installed here first), without the sanitizer build
# unless test.sh options are given.
#
# Each run lives in a locked directory under $TMPDIR/flagblocks-test-release
# (TMPDIR defaults to /tmp), its mounts in a private mount namespace that
# goes with its last process, SIGKILL included. The next run, or --clean,
# removes what a killed run left: never through a mount, never while a run
# holds its lock, so runs of different releases can go side by side.
set -euo pipefail
cd "$(dirname "$0")/.."
script="$PWD/scripts/test-release.sh"
# Absolute and without symbolic links, as the kernel lists mount points.
runs="$(realpath -m "${TMPDIR:-/tmp}/flagblocks-test-release")"

usage() {
  echo "usage: scripts/test-release.sh bookworm|trixie|sid [--arch ARCH] [test.sh options]" >&2
  echo "       scripts/test-release.sh --clean" >&2
  exit 2
}

# remove_run DIR: removes a run's directory unless its run holds the lock or
# anything is mounted at or below it; says why it leaves it, and fails then.
remove_run() {
  local run="$1" lock status=1
  exec {lock}>>"$run/lock"
  if ! flock -n "$lock"; then
    echo "test-release: $run is in use by a run; left in place" >&2
  elif awk -v dir="$run" '$5 == dir || index($5, dir "/") == 1 { found = 1 } END { exit !found }' \
      /proc/self/mountinfo; then
    echo "test-release: $run has mounts; left in place" >&2
  else
    rm -rf --one-file-system "$run"
    status=0
  fi
  exec {lock}>&-
  return "$status"
}

# Removes what earlier runs left, under the lock that also guards creating a
# run's directory, which stays taken on file descriptor $setup_lock.
clean_leftovers() {
  local run
  mkdir -p "$runs"
  exec {setup_lock}>"$runs/.lock"
  flock -w 600 "$setup_lock"
  for run in "$runs"/*-*-*/; do
    [ -d "$run" ] || continue
    if remove_run "${run%/}"; then echo "test-release: removed ${run%/}, left by an earlier run"; fi
  done
}

# Installs and registers qemu's user-mode emulator for $arch, or says in one
# line why this machine cannot run its programs.
prepare_emulation() {
  local missing=() p why
  cannot() { echo "test-release: this machine cannot run $arch programs: $*" >&2; exit 1; }
  # Mounted first, so the packages register qemu with the kernel as they install.
  mountpoint -q /proc/sys/fs/binfmt_misc || mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null ||
    cannot "binfmt_misc cannot be mounted on /proc/sys/fs/binfmt_misc"
  for p in qemu-user-static binfmt-support arch-test; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "== installing ${missing[*]}"
    { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null; } || cannot "installing ${missing[*]} failed"
  fi
  # Formats installed while binfmt_misc was not mounted are not registered yet.
  arch-test "$arch" >/dev/null 2>&1 || update-binfmts --enable >/dev/null 2>&1 || true
  why="$(arch-test "$arch" 2>&1)" || cannot "$why"
}

# in_namespace RUN RELEASE ARCH [test.sh options]: inside the private mount
# namespace, builds the system, mounts and runs the tests.
in_namespace() {
  local run="$1" release="$2" arch="$3" root="$1/root" started=$SECONDS status=0 time_scale=1
  shift 3
  # No fsync after every file dpkg writes: the system is thrown away.
  local options=(--variant=apt --quiet --arch="$arch" --dpkgopt=force-unsafe-io)
  # The archive can serve unstable with a Release file that has expired.
  [ "$release" != sid ] || options+=(--aptopt='Acquire::Check-Valid-Until "false"')
  # Under emulation every frame takes many times as long, and man-db
  # rebuilding its index after every install is slow (man needs no index).
  if [ "$arch" != "$(dpkg --print-architecture)" ]; then
    time_scale=4
    options+=(--include=debconf
      --customize-hook='echo "man-db man-db/auto-update boolean false" | chroot "$1" debconf-set-selections')
  fi
  echo "== $release $arch: building a minimal system"
  mmdebstrap "${options[@]}" "$release" "$root" ${DEBIAN_MIRROR:+"$DEBIAN_MIRROR"}
  cp /etc/resolv.conf "$root/etc/resolv.conf"
  echo "== $release $arch: system built in $((SECONDS - started)) s; copying the checkout in"
  mkdir -p "$root/src"
  git ls-files -z --cached --others --exclude-standard | tar --null -T - -cf - | tar -xf - -C "$root/src"
  mount -t proc proc "$root/proc"
  mount -t sysfs sysfs "$root/sys"
  mount --rbind /dev "$root/dev"
  mount -t tmpfs -o mode=1777 tmpfs "$root/dev/shm"
  mount -t tmpfs -o mode=1777 tmpfs "$root/tmp"

  echo "== $release $arch: scripts/test.sh $*"
  # A clean environment, as a fresh root shell on that release has; the
  # tests' waits and time limits are stretched by FLAGBLOCKS_TEST_TIME_SCALE.
  chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    LANG=C.UTF-8 TERM="${TERM:-dumb}" FLAGBLOCKS_TEST_TIME_SCALE="$time_scale" /bin/bash -c 'cd /src && scripts/test.sh "$@"' test.sh "$@" || status=$?

  # ctest names the tests it skipped, not why; ours say why in a line
  # "SKIPPED: reason", which ctest's log keeps.
  for log in "$root"/src/build*/Testing/Temporary/LastTest.log; do
    [ -f "$log" ] || continue
    awk '/^[0-9]+\/[0-9]+ Test: / { name = $3 }
         /^SKIPPED: / && !said[name]++ { print "== skipped " name ": " substr($0, 10) }' "$log"
  done
  if [ "$status" -eq 0 ]; then
    echo "== $release $arch: passed in $((SECONDS - started)) s"
  else
    echo "== $release $arch: FAILED (status $status) after $((SECONDS - started)) s"
  fi
  return "$status"
}

if [ "${1:-}" = --in-namespace ]; then  # the second half of a run, started below
  shift
  in_namespace "$@"
  exit
fi

[ "$(id -u)" -eq 0 ] || { echo "test-release: must run as root (it builds a Debian system and mounts into it)" >&2; exit 1; }
# Mount points are compared as /proc/self/mountinfo writes them, which escapes white space.
case "$runs" in *[[:space:]\\]*)
  echo "test-release: TMPDIR must not contain white space or backslashes: $runs" >&2
  exit 1 ;;
esac
if [ "${1:-}" = --clean ]; then
  [ $# -eq 1 ] || usage
  clean_leftovers
  exit
fi

release="${1:-}"
case "$release" in
  bookworm|trixie|sid) shift ;;
  *) usage ;;
esac
arch="$(dpkg --print-architecture)"
if [ "${1:-}" = --arch ]; then
  [ $# -ge 2 ] || usage
  arch="$2"
  shift 2
fi
command -v mmdebstrap >/dev/null || { echo "test-release: mmdebstrap not found: apt-get install mmdebstrap" >&2; exit 1; }
if [ "$arch" != "$(dpkg --print-architecture)" ]; then
  prepare_emulation
  # The sanitizer build's programs are far too slow under emulation.
  [ $# -gt 0 ] || set -- --no-sanitizers
fi

clean_leftovers
run="$(mktemp -d "$runs/$release-$arch-XXXXXX")"
# Every process started from here inherits this descriptor, and the lock
# lives as long as any of them holds it.
exec {run_lock}>"$run/lock"
flock -n "$run_lock"
exec {setup_lock}>&-

# Once the run's namespace, and with it every mount, is gone: give up the
# lock and remove the directory, unless something still holds it.
finish() {
  local status=$?
  exec {run_lock}>&-
  remove_run "$run" || true
  exit "$status"
}
trap finish EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

unshare --mount --propagation private -- "$script" --in-namespace "$run" "$release" "$arch" "$@"
