#!/usr/bin/env bash
# Installs what the build needs, on Debian or Ubuntu:
#
#   scripts/setup.sh             everything: the programs, their tests, the
#                                benchmark and the tools
#   scripts/setup.sh --run-only  only what building and running the programs needs
#
# Packages already present are left alone; nothing is installed when all are.
set -euo pipefail

# What building and running the three programs needs.
packages=(
  build-essential cmake
  libsdl2-dev libnoise-dev
)
case "${1:-}" in
  --run-only) ;;
  "")
    packages+=(
      libgtest-dev                        # the tests
      xvfb libx11-dev libxtst-dev         # the end-to-end tests' private X server and input
      faketime                            # a fixed or stepped wall clock in tests
      clang                               # the second compiler the build is tested with
      valgrind                            # the memory-check tests
      dpkg-dev file                       # CPack's Debian package: dpkg-shlibdeps works out its dependencies
      lintian man-db                      # the package test: Debian's package checker, and man to read the pages
      devscripts                          # the package test's hardening-check (no smaller package has it)
      desktop-file-utils appstream        # the package test: desktop-file-validate, appstreamcli validate
      libbenchmark-dev                    # the quenzel benchmark
      libpng-dev                          # PNG writing in the screenshot tool
    ) ;;
  *) echo "usage: scripts/setup.sh [--run-only]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if ! command -v apt-get >/dev/null; then
  echo "setup: apt-get not found. Install these packages with your system's package manager: ${missing[*]}" >&2
  exit 1
fi
if [ "$(id -u)" -eq 0 ]; then
  sudo=()
elif command -v sudo >/dev/null; then
  sudo=(sudo)
else
  echo "setup: not root and no sudo. As root, run: apt-get install ${missing[*]}" >&2
  exit 1
fi

echo "setup: installing ${missing[*]}"
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
