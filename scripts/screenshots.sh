#!/usr/bin/env bash
# Takes the README's pictures of the three programs again, into docs/images/:
#
#   scripts/screenshots.sh
#
# dravin at its opening size and after a resize, mobrix after held keys
# moved the block (D, S) and grew it (1, 3), and quenzel under a frozen
# wall clock (a fixed seed and the angle 0, so the same picture every time).
# Needs what scripts/setup.sh installs, and xauth, xdotool and imagemagick.
# shellcheck source=bench/lib.sh
source "$(dirname "$0")/../bench/lib.sh"
needs import
in_private_x

# shoot FILE: the window as the X server has it, as a PNG without time
# stamps, once two more frames have been drawn: the program has then handed
# the X server at least one whole frame of what it shows now.
shoot() {
  await_frames $(($(frames) + 2))
  import -window "$window" -define png:exclude-chunks=date,time "docs/images/$1"
  echo "wrote docs/images/$1 ($(size | tr ' ' x))"
}

launch dravin
shoot dravin-1000x500.png
resize 500 300
shoot dravin-500x300.png
finish

# At 100 pixels a second: moved to about (150, 120), grown to about 100 x 80.
launch mobrix
xdotool windowfocus --sync "$window" \
  keydown d s sleep 1.2 keyup s sleep 0.3 keyup d \
  keydown 1 3 sleep 0.6 keyup 3 sleep 0.2 keyup 1
shoot mobrix.png
finish

launch quenzel env TZ=UTC FAKETIME_DONT_FAKE_MONOTONIC=1 faketime -f "2024-03-05 12:34:56"
shoot quenzel.png
finish
