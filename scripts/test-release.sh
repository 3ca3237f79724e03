#!/usr/bin/env bash
# Runs the test suite in a throwaway minimal Debian system of one release, as
# a new user of that release would:
#
#   scripts/test-release.sh bookworm|trixie|sid [test.sh options]
#
# Builds the system with mmdebstrap (variant apt: Debian's essential packages
# and apt, nothing more) from Debian's archive, copies this checkout in
# (tracked and untracked files, not build trees or ignored files), mounts
# what Xvfb and the tests need, and runs scripts/test.sh inside it. Options
# after the release name go to scripts/test.sh. The mounts and the whole
# system are removed at the end, whatever fails. Needs root.
set -euo pipefail
cd "$(dirname "$0")/.."

mirror="${DEBIAN_MIRROR:-http://deb.debian.org/debian}"

release="${1:-}"
case "$release" in
  bookworm|trixie|sid) shift ;;
  *) echo "usage: scripts/test-release.sh bookworm|trixie|sid [test.sh options]" >&2; exit 2 ;;
esac
if [ "$(id -u)" -ne 0 ]; then
  echo "test-release: must run as root (it builds a Debian system and mounts into it)" >&2
  exit 1
fi
if ! command -v mmdebstrap >/dev/null; then
  echo "test-release: mmdebstrap not found: apt-get install mmdebstrap" >&2
  exit 1
fi

root="$(mktemp -d "${TMPDIR:-/tmp}/test-release-$release-XXXXXX")"
mounted=()
cleanup() {
  local status=$?
  # Unmount in reverse order; a lazy unmount as a last resort, so a process
  # still holding a mount cannot keep the tree from being removed.
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    umount -R "${mounted[i]}" 2>/dev/null || umount -R -l "${mounted[i]}" 2>/dev/null || true
  done
  # Never remove anything through a mount that is still there.
  if ! grep -q " $root/" /proc/mounts; then
    rm -rf --one-file-system "$root"
  else
    echo "test-release: $root still has mounts; left in place" >&2
  fi
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

mount_in() {  # mount_in TARGET mount-arguments...
  local target="$root/$1"
  shift
  mkdir -p "$target"
  mount "$@" "$target"
  mounted+=("$target")
}

options=(--variant=apt --quiet)
# The archive can serve unstable with a Release file that has already
# expired; apt then refuses it. Accept that for unstable only.
if [ "$release" = sid ]; then
  options+=(--aptopt='Acquire::Check-Valid-Until "false"')
fi

started=$SECONDS
echo "== $release: building a minimal system"
mmdebstrap "${options[@]}" "$release" "$root" "$mirror"
cp /etc/resolv.conf "$root/etc/resolv.conf"

echo "== $release: copying the checkout in"
mkdir -p "$root/src"
git ls-files -z --cached --others --exclude-standard | tar --null -T - -cf - | tar -xf - -C "$root/src"

mount_in proc -t proc proc
mount_in sys -t sysfs sysfs
# The host's devices; as a slave, so nothing mounted below it inside the
# system reaches back to the host's /dev.
mount_in dev --rbind /dev
mount --make-rslave "$root/dev"
mount_in dev/shm -t tmpfs tmpfs -o mode=1777
mount_in tmp -t tmpfs tmpfs -o mode=1777

echo "== $release: scripts/test.sh $*"
# A clean environment: what a fresh root shell on that release has.
chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
  LANG=C.UTF-8 TERM="${TERM:-dumb}" /bin/bash -c 'cd /src && scripts/test.sh "$@"' test.sh "$@"
echo "== $release: passed in $((SECONDS - started)) s"
