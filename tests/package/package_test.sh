#!/usr/bin/env bash
# package_test.sh BUILD_DIR CPACK CMAKE
#
# Installs the build into a throwaway prefix and checks that bin/ holds the
# three programs and nothing else is installed. Builds the Debian package,
# checks its contents and that its Depends names the package of every
# library the programs link directly (SDL2 and libnoise among them), unpacks
# it into a scratch root and runs each unpacked program under SDL's dummy
# video driver: it must keep printing status lines and end with status 0 on
# SIGTERM, with nothing on standard error.
set -euo pipefail

build="$1"
cpack="$2"
cmake="$3"
programs=(dravin mobrix quenzel)

scratch="$(mktemp -d /tmp/package-test-XXXXXX)"
running=""
cleanup() {
  if [ -n "$running" ]; then
    kill -KILL "$running" 2>/dev/null || true
    wait "$running" 2>/dev/null || true
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

echo "-- cmake --install into a throwaway prefix"
"$cmake" --install "$build" --prefix "$scratch/prefix" >/dev/null
installed="$(cd "$scratch/prefix" && find . -not -type d | sort | tr '\n' ' ')"
[ "$installed" = "./bin/dravin ./bin/mobrix ./bin/quenzel " ] ||
  fail "cmake --install installed: $installed"

echo "-- cpack -G DEB"
(cd "$scratch" && "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/package" >"$scratch/cpack.log" 2>&1) || {
  cat "$scratch/cpack.log" >&2
  echo "FAIL: cpack failed (dpkg-shlibdeps comes with the dpkg-dev package)" >&2
  exit 1
}
debs=("$scratch"/package/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "FAIL: expected one .deb, got: ${debs[*]}" >&2; exit 1; }
deb="${debs[0]}"
echo "   $(basename "$deb")"

echo "-- contents"
files="$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $1, $6}' | sort | tr '\n' ' ')"
[ "$files" = "-rwxr-xr-x ./usr/bin/dravin -rwxr-xr-x ./usr/bin/mobrix -rwxr-xr-x ./usr/bin/quenzel " ] ||
  fail "package files: $files"
[ "$(dpkg-deb -f "$deb" Architecture)" = "$(dpkg --print-architecture)" ] ||
  fail "Architecture is $(dpkg-deb -f "$deb" Architecture)"

echo "-- dependencies"
depends="$(dpkg-deb -f "$deb" Depends)"
echo "   Depends: $depends"
# Package names alone, without versions or alternatives' separators.
depends_names=" $(echo "$depends" | tr ',|' '\n\n' | sed -e 's/(.*)//' -e 's/:.*//' -e 's/ //g' | { grep -v '^$' || true; } | tr '\n' ' ')"
for name in libsdl2-2.0-0 libnoise0; do
  case "$depends_names" in *" $name "*) ;; *) fail "Depends lacks $name" ;; esac
done

dpkg-deb -x "$deb" "$scratch/root"
for program in "${programs[@]}"; do
  binary="$scratch/root/usr/bin/$program"
  # Each library the program names directly must come from a package it depends on.
  for soname in $(readelf -d "$binary" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
    path="$(ldd "$binary" | awk -v so="$soname" '$1 == so && $2 == "=>" {print $3}')"
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

echo "-- run from the scratch root under SDL_VIDEODRIVER=dummy"
for program in "${programs[@]}"; do
  out="$scratch/$program.out"
  err="$scratch/$program.err"
  env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_RENDER_DRIVER SDL_VIDEODRIVER=dummy \
    "$scratch/root/usr/bin/$program" </dev/null >"$out" 2>"$err" &
  running=$!
  sleep 2
  if ! kill -0 "$running" 2>/dev/null; then
    wait "$running" && rc=0 || rc=$?
    running=""
    fail "$program ended by itself within 2 s (status $rc): $(cat "$err")"
    continue
  fi
  kill -TERM "$running"
  for _ in $(seq 100); do
    kill -0 "$running" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$running" 2>/dev/null; then
    fail "$program still running 10 s after SIGTERM"
    continue  # the cleanup kills it
  fi
  wait "$running" && rc=0 || rc=$?
  running=""
  [ "$rc" -eq 0 ] || fail "$program ended with status $rc on SIGTERM"
  [ ! -s "$err" ] || fail "$program wrote to stderr: $(cat "$err")"
  # The status formats are defined once, in the test harness: status_check
  # prints the number of well-formed records or names the first fault.
  if count="$("$build/bin/status_check" "$program" <"$out" 2>"$scratch/check.err")"; then
    [ "$count" -ge 2 ] || fail "$program printed $count status lines in 2 s"
  else
    fail "$program's status stream: $(cat "$scratch/check.err")"
    count=0
  fi
  echo "   $program: $count status lines, exit status $rc"
done

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "package: all checks passed"
