#!/usr/bin/env bash
# Builds and tests the Debian package for the release architectures CI
# leaves out, one after the other, cross-built with the suite under qemu
# (scripts/test-package.sh), and prints each verdict and time:
#
#   scripts/test-ports.sh
#
# - s390x, big-endian, on Debian 12: Debian 13's s390x point-release
#   packages are missing from the archive this machine reaches, and
#   unstable's SDL 3 crashes under qemu in its software renderer;
# - armhf, 32-bit ARM, and riscv64, on Debian 13, riscv64's first release.
#
# About an hour on two cores. Logs in $TMPDIR/flagblocks-package/RELEASE-ARCH/.
set -uo pipefail
cd "$(dirname "$0")/.." || exit

failed=0
summary=()
for port in bookworm:s390x trixie:armhf trixie:riscv64; do
  release="${port%:*}" arch="${port#*:}" started=$SECONDS
  if scripts/test-package.sh "$release" --host-arch "$arch"; then
    summary+=("$release $arch: passed in $((SECONDS - started)) s")
  else
    summary+=("$release $arch: FAILED in $((SECONDS - started)) s")
    failed=$((failed + 1))
  fi
done
printf '%s\n' "==== ports" "${summary[@]}"
[ "$failed" -eq 0 ]
