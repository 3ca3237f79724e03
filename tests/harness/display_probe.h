#pragma once

// The colour the display probe fills its window with: three different
// bytes, none of them 0 or 255, so that any exchange of bytes shows.
constexpr int probeRed = 38;
constexpr int probeGreen = 99;
constexpr int probeBlue = 201;
