# shellcheck shell=bash
# Shared by bench/frame_times.sh and scripts/screenshots.sh, which source it:
# builds the programs, runs the calling script again inside a private X
# server, and starts, resizes and ends one program at a time in it.

set -eEuo pipefail
trap 'echo "$0: failed: $BASH_COMMAND (line $LINENO of ${BASH_SOURCE[0]##*/})" >&2' ERR
script="$(realpath "$0")"
cd "$(dirname "$script")/.."
build="build-perf"

# needs TOOL...: stops, naming the first tool that is missing.
needs() {
  for tool in "$@"; do
    command -v "$tool" >/dev/null ||
      { echo "$0: $tool is missing; docs/performance.md names the packages" >&2; exit 1; }
  done
}

# in_private_x [TARGET...]: on the first call, builds the programs and the
# targets named in $build/ and runs the calling script again under
# xvfb-run, on a screen large enough for 1920 x 1080. Inside, makes the
# directory $tmp, removed at exit, and returns. There is no window manager:
# a resize is the plain XResizeWindow one would make.
in_private_x() {
  if [ -z "${BENCH_IN_PRIVATE_X:-}" ]; then
    needs cmake xvfb-run xdotool
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFLAGBLOCKS_BUILD_TESTING=OFF \
      -DFLAGBLOCKS_BUILD_BENCHMARKS=ON >/dev/null
    cmake --build "$build" -j"$(nproc)" --target dravin mobrix quenzel "$@" >/dev/null
    BENCH_IN_PRIVATE_X=1 exec xvfb-run -a -s "-screen 0 1920x1200x24 -nolisten tcp" "$script"
  fi
  tmp="$(mktemp -d)"
  trap 'rm -rf "$tmp"' EXIT
}

# launch PROGRAM [COMMAND...]: starts PROGRAM from $build/bin, after the
# words given (e.g. env SDL_RENDER_DRIVER=software), with its status lines
# unbuffered into the file $status. Returns once a first frame is shown,
# with $window its window and $pid its process.
launch() {
  local program="$1"
  shift
  status="$tmp/status"
  "$@" stdbuf -o0 "$build/bin/$program" >"$status" &
  launcher=$!
  await_frames 1
  # Each program's window is named as the program, with a capital.
  window="$(timeout 30 xdotool search --sync --onlyvisible --name "^${program^}\$" | head -n1)"
  pid="$(xdotool getwindowpid "$window")"
}

# frames: how many status lines (one a frame) the program has printed.
frames() {
  tr '\r' '\n' <"$status" | grep -c delta || true
}

# await_frames N: waits, at most a minute, until the program has printed N status lines.
await_frames() {
  local deadline=$((SECONDS + 60))
  until [ "$(frames)" -ge "$1" ]; do
    if [ $SECONDS -ge $deadline ] || ! kill -0 "$launcher" 2>/dev/null; then
      echo "$0: no frame $1 within a minute" >&2
      exit 1
    fi
    sleep 0.05
  done
}

# size: the window's width and height, as the X server has it.
size() {
  xdotool getwindowgeometry "$window" | sed -n 's/ *Geometry: \([0-9]*\)x\([0-9]*\)/\1 \2/p'
}

# resize WIDTH HEIGHT: resizes the window, checks the server took the size,
# and returns once the program has drawn a frame that began after it.
resize() {
  xdotool windowsize --sync "$window" "$1" "$2"
  [ "$(size)" = "$1 $2" ] || { echo "$0: the window did not take the size $1 x $2" >&2; exit 1; }
  await_frames $(($(frames) + 2))
}

# finish: ends the program as a window manager's close would (SDL turns
# SIGTERM into the same quit event) and checks it ended with status 0.
finish() {
  kill "$pid"
  wait "$launcher" || { echo "$0: the program ended with status $?" >&2; exit 1; }
}
