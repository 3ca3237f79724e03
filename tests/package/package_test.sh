#!/usr/bin/env bash
# The Debian package, in two steps that share this script:
#
# package_test.sh build SOURCE_DIR BUILD_DIR CPACK CMAKE DEB_DIR
#   Checks what cmake --install puts in a throwaway prefix; builds the
#   package and checks its files, copyright, Depends (the package of every
#   library the programs link), lintian, hardening-check, man --warnings,
#   desktop-file-validate and appstreamcli; runs each unpacked program.
#   Leaves the package in DEB_DIR for the second step.
#
# package_test.sh install DEB_DIR
#   As root, where flagblocks is not installed, installs the package with
#   apt-get, runs each program as its menu entry starts it, reads each page
#   with man, removes the package and checks that nothing of it is left.
#   Elsewhere it says why and exits with 77, which ctest reports as a skip.
#
# A program "runs" when it keeps printing well-formed status lines (judged by
# STATUS_CHECK, the harness's status_check) for 2 s under SDL's dummy video
# driver, then ends with status 0 on SIGTERM, with nothing on stderr.
# APP_ID_PREFIX is the prefix of the desktop component IDs: dravin's is
# $APP_ID_PREFIX.dravin.
set -euo pipefail

programs=(dravin mobrix quenzel)
skip_status=77

scratch="$(mktemp -d /tmp/package-test-XXXXXX)"
running=""
installed_here=""
cleanup() {
  if [ -n "$running" ]; then
    kill -KILL "$running" 2>/dev/null || true
    wait "$running" 2>/dev/null || true
  fi
  if [ -n "$installed_here" ] && dpkg-query -W -f='${Status}' flagblocks 2>/dev/null | grep -q ' installed$'; then
    echo "-- removing the package this test installed" >&2
    DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq flagblocks >/dev/null 2>&1 || true
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT

# Each step's heading says how long the test had run when it began.
section() {
  echo "-- $* (at ${SECONDS} s)"
}

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
finish() {
  if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
  fi
  echo "$1: all checks passed"
  exit 0
}

# check_runs PROGRAM BINARY: runs BINARY under the dummy video driver.
check_runs() {
  local program="$1" binary="$2"
  local out="$scratch/$program.out" err="$scratch/$program.err" rc
  # Sealed off like every program a test starts: a small environment of its
  # own, and no file descriptors of the test's beyond 0-2.
  mkdir -p "$scratch/home" && mkdir -p -m 700 "$scratch/runtime"
  (
    for fd in /proc/$BASHPID/fd/*; do
      fd="${fd##*/}"
      if [ "$fd" -gt 2 ] && [ "$fd" -ne 255 ]; then eval "exec $fd>&-"; fi
    done
    exec env -i PATH="$PATH" HOME="$scratch/home" XDG_RUNTIME_DIR="$scratch/runtime" SDL_VIDEODRIVER=dummy \
      "$binary"
  ) </dev/null >"$out" 2>"$err" &
  running=$!
  sleep 2
  if ! kill -0 "$running" 2>/dev/null; then
    wait "$running" && rc=0 || rc=$?
    running=""
    fail "$binary ended by itself within 2 s (status $rc): $(cat "$err")"
    return
  fi
  kill -TERM "$running"
  for _ in $(seq 100); do
    kill -0 "$running" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$running" 2>/dev/null; then
    fail "$binary still running 10 s after SIGTERM"
    return  # the cleanup kills it
  fi
  wait "$running" && rc=0 || rc=$?
  running=""
  [ "$rc" -eq 0 ] || fail "$binary ended with status $rc on SIGTERM"
  [ ! -s "$err" ] || fail "$binary wrote to stderr: $(cat "$err")"
  # The status formats are defined once, in the test harness: status_check
  # prints the number of well-formed records or names the first fault.
  local count
  if count="$("$STATUS_CHECK" "$program" <"$out" 2>"$scratch/check.err")"; then
    [ "$count" -ge 2 ] || fail "$binary printed $count status lines in 2 s"
  else
    fail "$binary's status stream: $(cat "$scratch/check.err")"
    count=0
  fi
  echo "   $binary: $count status lines, exit status $rc"
}

# The package's files (not its directories), one path a line, from the .deb itself.
package_files() {
  dpkg-deb -c "$1" | awk '$1 !~ /^d/ {print substr($6, 2)}' | sort
}

build_step() {
  local source="$1" build="$2" cpack="$3" cmake="$4" deb_dir="$5"

  # What cmake --install and the package put under the prefix, one path a
  # line, sorted.
  local expected id
  expected="$(
    {
      echo share/doc/flagblocks/changelog.gz share/doc/flagblocks/copyright share/doc/flagblocks/performance.md \
        share/doc/flagblocks/data/performance.tsv share/doc/flagblocks/images/quenzel-frame-time.png
      for program in "${programs[@]}"; do
        id="$APP_ID_PREFIX.$program"
        echo "bin/$program" "share/man/man1/$program.1.gz" "share/applications/$id.desktop" \
             "share/metainfo/$id.metainfo.xml" "share/icons/hicolor/scalable/apps/$id.svg" \
             "share/icons/hicolor/48x48/apps/$id.png"
      done
    } | tr ' ' '\n' | LC_ALL=C sort)"

  section "cmake --install into a throwaway prefix"
  "$cmake" --install "$build" --prefix "$scratch/prefix" >/dev/null
  local installed
  installed="$(cd "$scratch/prefix" && find . -not -type d | sed 's|^\./||' | LC_ALL=C sort)"
  [ "$installed" = "$expected" ] ||
    fail "cmake --install installed: $(echo $installed), expected $(echo $expected)"

  section "cpack -G DEB"
  (cd "$scratch" && "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/package" >"$scratch/cpack.log" 2>&1) || {
    cat "$scratch/cpack.log" >&2
    echo "FAIL: cpack failed (it needs dpkg-dev for dpkg-shlibdeps and file; scripts/setup.sh installs both)" >&2
    exit 1
  }
  local debs=("$scratch"/package/*.deb)
  [ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "FAIL: expected one .deb, got: ${debs[*]}" >&2; exit 1; }
  local deb="${debs[0]}"
  echo "   $(basename "$deb")"

  section "contents"
  # The same files under /usr, the programs executable and the rest not.
  local files expected_files
  files="$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $1, $6}' | LC_ALL=C sort)"
  expected_files="$(echo "$expected" | sed -e 's|^bin/.*|-rwxr-xr-x ./usr/&|' -e 's|^share/.*|-rw-r--r-- ./usr/&|' | LC_ALL=C sort)"
  [ "$files" = "$expected_files" ] || fail "package files: $(echo $files), expected $(echo $expected_files)"
  [ "$(dpkg-deb -f "$deb" Architecture)" = "$(dpkg --print-architecture)" ] ||
    fail "Architecture is $(dpkg-deb -f "$deb" Architecture)"
  dpkg-deb -x "$deb" "$scratch/root"
  # The licence text in the copyright file is the repository's LICENSE, less
  # its copyright line, as a Debian extended field: indented, "." for empty lines.
  local licence
  licence="$(sed -n '/^ This software/,/^$/p' "$scratch/root/usr/share/doc/flagblocks/copyright" | sed -e '/^$/d' -e 's/^ //' -e 's/^\.$//')"
  [ "$licence" = "$(tail -n +3 "$source/LICENSE")" ] ||
    fail "the copyright file's licence text differs from LICENSE"

  section "links in the installed notes"
  # Each link of the notes leads to a file beside them, in the package and under cmake --install's prefix.
  local doc link
  for doc in "$scratch/root/usr/share/doc/flagblocks" "$scratch/prefix/share/doc/flagblocks"; do
    for link in $(grep -ho '](\([^)]*\))' "$doc"/*.md | sed 's/^](\(.*\))$/\1/'); do
      [ -f "$doc/$link" ] || fail "${doc#"$scratch"/}/*.md links to $link, which is not there"
    done
  done

  section "dependencies"
  local depends depends_names
  depends="$(dpkg-deb -f "$deb" Depends)"
  echo "   Depends: $depends"
  # Package names alone, without versions or alternatives' separators.
  depends_names=" $(echo "$depends" | tr ',|' '\n\n' | sed -e 's/(.*)//' -e 's/:.*//' -e 's/ //g' | { grep -v '^$' || true; } | tr '\n' ' ')"
  for name in libsdl2-2.0-0 libnoise0; do
    case "$depends_names" in *" $name "*) ;; *) fail "Depends lacks $name" ;; esac
  done
  for program in "${programs[@]}"; do
    local binary="$scratch/root/usr/bin/$program"
    # Each library the program names directly must come from a package it depends on.
    # ldd lists the dynamic loader by its path alone; arm64's hardened
    # programs name it directly (the stack protector's guard lives there).
    for soname in $(readelf -d "$binary" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
      local path owner
      path="$(ldd "$binary" | awk -v so="$soname" '
        $1 == so && $2 == "=>" { print $3 }
        $2 != "=>" && substr($1, length($1) - length(so)) == "/" so { print $1 }')"
      if [ -z "$path" ] || [ ! -e "$path" ]; then
        fail "$program: $soname not found on this system"
        continue
      fi
      owner="$(dpkg -S "$(readlink -f "$path")" 2>/dev/null | head -n1 | cut -d: -f1)" ||
        owner="$(dpkg -S "$path" 2>/dev/null | head -n1 | cut -d: -f1)" || true
      if [ -z "$owner" ]; then
        fail "$program: no package owns $path ($soname)"
        continue
      fi
      case "$depends_names" in *" $owner "*) ;; *) fail "$program links $soname from $owner, which Depends does not name" ;; esac
    done
  done

  section "lintian"
  if ! command -v lintian >/dev/null; then
    fail "lintian not found (Debian package lintian; scripts/setup.sh installs it)"
  else
    echo "   $(lintian --version)"
    # Info and pedantic tags are shown but pass; errors and warnings fail.
    local rc=0
    # lintian leaves some of its temporary index files behind; in the
    # scratch directory they go with it.
    TMPDIR="$scratch" lintian --display-info --pedantic "$deb" >"$scratch/lintian.out" 2>"$scratch/lintian.err" || rc=$?
    sed 's/^/   /' "$scratch/lintian.out"
    if grep -qE '^[EW]: ' "$scratch/lintian.out"; then
      fail "lintian reports errors or warnings (above)"
    elif [ "$rc" -ne 0 ]; then
      fail "lintian ended with status $rc: $(cat "$scratch/lintian.err")"
    fi
    # Of the info tags, these say the binaries lack hardening or carry
    # sections Debian strips: they fail too.
    if grep -qE ': flagblocks: (hardening-|binary-has-unneeded-section)' "$scratch/lintian.out"; then
      fail "lintian finds the programs unhardened or not stripped as Debian strips (above)"
    fi
  fi

  # Control-flow protection is left out: the C library's start files lack
  # its marker (Debian 12 to unstable), so no program linked with them can
  # show it. Newer hardening-check also asks every architecture for arm64's
  # branch protection; elsewhere than on arm64 that is left out too.
  local hardening_options=(--nocfprotection)
  hardening-check --help >"$scratch/hardening-help.txt" 2>&1 || true
  if [ "$(dpkg --print-architecture)" != arm64 ] && grep -q -- --nobranchprotection "$scratch/hardening-help.txt"; then
    hardening_options+=(--nobranchprotection)
  fi
  section "hardening-check ${hardening_options[*]}"
  for program in "${programs[@]}"; do
    if hardening-check "${hardening_options[@]}" "$scratch/root/usr/bin/$program" >"$scratch/hardening.out" 2>&1; then
      # What may read other than "yes", for the record.
      sed -n "s/^ \(Stack clash\|Control flow\|Branch\)/   $program: \1/p" "$scratch/hardening.out"
    else
      sed 's/^/   /' "$scratch/hardening.out"
      fail "hardening-check: $program is not hardened (above; a Debug build is not)"
    fi
  done

  section "menu entries and metainfo"
  local version date
  version="$(dpkg-parsechangelog -l "$source/packaging/changelog" -S Version)"
  date="$(date -u -d "$(dpkg-parsechangelog -l "$source/packaging/changelog" -S Date)" +%F)"
  for program in "${programs[@]}"; do
    local id="$APP_ID_PREFIX.$program"
    local entry="$scratch/root/usr/share/applications/$id.desktop"
    local metainfo="$scratch/root/usr/share/metainfo/$id.metainfo.xml"
    # Silent when the entry is valid.
    if ! desktop-file-validate "$entry" >"$scratch/validate.out" 2>&1 || [ -s "$scratch/validate.out" ]; then
      fail "desktop-file-validate $id.desktop: $(cat "$scratch/validate.out")"
    fi
    # The entry starts the program on a terminal (its status line goes there,
    # not to the journal), names an icon the package has, and gives SDL's
    # window class (the program's name) so docks group the window with it.
    local key
    for key in "Exec=$program" "Icon=$id" "Terminal=true" "StartupWMClass=$program"; do
      grep -qxF "$key" "$entry" || fail "$id.desktop lacks $key"
    done
    [ -f "$scratch/root/usr/share/icons/hicolor/scalable/apps/$id.svg" ] || fail "no scalable icon $id.svg"
    file -b "$scratch/root/usr/share/icons/hicolor/48x48/apps/$id.png" | grep -q '^PNG image data, 48 x 48,' ||
      fail "$id.png is not a 48 x 48 PNG"
    # Infos pass (on the .invalid domain of the IDs, for one); warnings and errors fail.
    if ! appstreamcli validate --no-net --pedantic "$metainfo" >"$scratch/validate.out" 2>&1 ||
        grep -qE '^ *[EW]: ' "$scratch/validate.out"; then
      fail "appstreamcli validate $id.metainfo.xml: $(cat "$scratch/validate.out")"
    else
      grep -E '^ *I: ' "$scratch/validate.out" | sed 's/^ */   /' || true
    fi
    grep -qF "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
      fail "$id.metainfo.xml does not launch $id.desktop"
    grep -qF "<release version=\"$version\" date=\"$date\"/>" "$metainfo" ||
      fail "$id.metainfo.xml lacks the changelog's release $version of $date"
  done

  section "manual pages"
  for program in "${programs[@]}"; do
    local page="$scratch/root/usr/share/man/man1/$program.1.gz"
    # As lintian reads them; any message from groff fails.
    LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" >/dev/null 2>"$scratch/man.err" ||
      fail "man could not format $program.1"
    [ ! -s "$scratch/man.err" ] || fail "man --warnings on $program.1: $(cat "$scratch/man.err")"
  done

  section "run from the scratch root under SDL_VIDEODRIVER=dummy"
  for program in "${programs[@]}"; do
    check_runs "$program" "$scratch/root/usr/bin/$program"
  done

  mkdir -p "$deb_dir"
  rm -f "$deb_dir"/*.deb
  cp "$deb" "$deb_dir/"
  finish "package"
}

skip() {
  echo "SKIPPED: $*"
  exit "$skip_status"
}

install_step() {
  local deb_dir="$1"
  local debs=("$deb_dir"/*.deb)
  [ -f "${debs[0]}" ] || { echo "FAIL: no package in $deb_dir: the package test makes it" >&2; exit 1; }
  local deb
  deb="$(readlink -f "${debs[0]}")"

  [ "$(id -u)" -eq 0 ] || skip "not root: installing the package with apt-get needs root"
  command -v apt-get >/dev/null || skip "no apt-get on this system"
  local status
  status="$(dpkg-query -W -f='${db:Status-Abbrev}' flagblocks 2>/dev/null || true)"
  case "$status" in
    "" | "un"*) ;;
    *) skip "flagblocks is already on this system (dpkg status '$status'): this test does not replace or remove it" ;;
  esac

  section "apt-get install $(basename "$deb")"
  installed_here=yes
  if ! DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
      -o DPkg::Lock::Timeout=120 "$deb" >"$scratch/apt.log" 2>&1; then
    cat "$scratch/apt.log" >&2
    echo "FAIL: apt-get could not install the package" >&2
    exit 1
  fi
  status="$(dpkg-query -W -f='${db:Status-Abbrev}' flagblocks 2>/dev/null || true)"
  [ "$status" = "ii " ] || fail "after apt-get install, dpkg status is '$status'"

  section "run the installed programs as their menu entries start them, under SDL_VIDEODRIVER=dummy"
  for program in "${programs[@]}"; do
    # The command of the entry in the menus' directory, looked up in PATH.
    local entry="/usr/share/applications/$APP_ID_PREFIX.$program.desktop" command binary
    command="$(sed -n 's/^Exec=//p' "$entry" 2>/dev/null || true)"
    binary="$(command -v "$command" || true)"
    [ "$binary" = "/usr/bin/$program" ] || { fail "$entry starts '$command', found at '$binary', not /usr/bin/$program"; continue; }
    check_runs "$program" "$binary"
  done

  section "man"
  for program in "${programs[@]}"; do
    local where
    where="$(man -w "$program" 2>&1 || true)"
    [ "$where" = "/usr/share/man/man1/$program.1.gz" ] || fail "man -w $program: $where"
    # Not on a terminal, man writes the formatted page without a pager.
    if ! MANWIDTH=80 man "$program" >"$scratch/man.txt" 2>"$scratch/man.err"; then
      fail "man $program failed: $(cat "$scratch/man.err")"
    elif ! grep -qE "^ +$program - " "$scratch/man.txt"; then
      fail "man $program shows no NAME line for $program: $(head -n5 "$scratch/man.txt")"
    else
      echo "   man $program: $(wc -l <"$scratch/man.txt") lines from $where"
    fi
  done

  section "apt-get remove flagblocks"
  if ! DEBIAN_FRONTEND=noninteractive apt-get remove -y -o DPkg::Lock::Timeout=120 flagblocks \
      >"$scratch/apt.log" 2>&1; then
    cat "$scratch/apt.log" >&2
    fail "apt-get remove failed"
  fi
  status="$(dpkg-query -W -f='${db:Status-Abbrev}' flagblocks 2>/dev/null || true)"
  case "$status" in "" | "un"*) ;; *) fail "after apt-get remove, dpkg status is '$status'" ;; esac
  local left=()
  while read -r path; do
    [ ! -e "$path" ] && [ ! -L "$path" ] || left+=("$path")
  done < <(package_files "$deb"; echo /usr/share/doc/flagblocks)
  if [ ${#left[@]} -eq 0 ]; then
    echo "   no file of the package left"
  else
    fail "left behind after apt-get remove: ${left[*]}"
  fi
  finish "package_install"
}

case "${1:-}" in
  build) shift; build_step "$@" ;;
  install) shift; install_step "$@" ;;
  *) echo "usage: package_test.sh build SOURCE_DIR BUILD_DIR CPACK CMAKE DEB_DIR | install DEB_DIR" >&2; exit 2 ;;
esac
