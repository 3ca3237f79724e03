#!/usr/bin/env bash
# Installs what the build needs, on Debian or Ubuntu:
#
#   scripts/setup.sh             everything: the programs, their tests and
#                                the benchmark
#   scripts/setup.sh --clang     all that, and Clang to build them with
#   scripts/setup.sh --run-only  only what building and running the programs needs
#
# Packages already present are left alone; nothing is installed when all are.
# On a system without dpkg-query or apt-get it installs nothing: it names
# what the build needs and exits 0, and configuring with CMake then stops,
# naming it, at anything that is really missing.
set -euo pipefail

# What building and running the three programs needs.
packages=(
  build-essential cmake
  libsdl2-dev libnoise-dev
)
case "${1:-}" in
  --run-only) ;;
  ""|--clang)
    [ "${1:-}" = --clang ] && packages+=(clang)  # the second compiler the build is tested with
    packages+=(
      libgtest-dev                        # the tests
      xvfb libx11-dev libxtst-dev         # the end-to-end tests' private X server and input
      faketime                            # a fixed or stepped wall clock in tests
      valgrind                            # the memory-check tests
      dpkg-dev file                       # CPack's Debian package: dpkg-shlibdeps works out its dependencies
      lintian man-db                      # the package test: Debian's package checker, and man to read the pages
      devscripts                          # the package test's hardening-check (no smaller package has it)
      desktop-file-utils appstream        # the package test: desktop-file-validate, appstreamcli validate
      libbenchmark-dev                    # the quenzel benchmark
    ) ;;
  *) echo "usage: scripts/setup.sh [--clang | --run-only]" >&2; exit 2 ;;
esac

# What the programs' own packages bring, for systems where they go by other names.
declare -A provides=(
  [build-essential]="a C++17 compiler and make"
  [cmake]="CMake 3.21 or newer"
  [libsdl2-dev]="SDL2 and its development files"
  [libnoise-dev]="libnoise and its development files"
)

# leave_to_cmake REASON HEADING PACKAGE...: says why nothing is installed and
# names the packages, what each brings where this script knows it, then
# exits 0 so that the caller goes on to configure.
leave_to_cmake() {
  local reason="$1" heading="$2" p
  shift 2
  local others=()
  {
    echo "setup: $reason, so nothing is installed. $heading"
    for p in "$@"; do
      if [ -n "${provides[$p]:-}" ]; then
        printf '  %-16s %s\n' "$p" "${provides[$p]}"
      else
        others+=("$p")
      fi
    done
    [ ${#others[@]} -eq 0 ] || echo "  as well as: ${others[*]}"
    echo "setup: install them with your system's package manager; configuring with CMake names anything still missing."
  } >&2
  exit 0
}

if ! command -v dpkg-query >/dev/null; then
  leave_to_cmake "dpkg-query not found" "The build needs (Debian package names):" "${packages[@]}"
fi
missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if ! command -v apt-get >/dev/null; then
  leave_to_cmake "apt-get not found" "The build needs these packages, which are not installed:" "${missing[@]}"
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
