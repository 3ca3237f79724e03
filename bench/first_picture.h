#pragma once

// Knowing when a program's first frame is on screen.
//
// Under an OpenGL renderer SDL replaces the window it first mapped with a new
// one, so a window found early may vanish a moment later. These helpers look
// the window up afresh on every poll and watch a few pixels that only the
// program's own drawing colours that way. Once that picture is up the window
// is final, and harness::Program::waitForWindow() finds the right one.

#include <X11/Xlib.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "x11_harness.h"

namespace firstpicture {

// One pixel of a window, read straight from the server (a whole-window
// capture would take longer than many of the frames being timed).
harness::Rgb pixelAt(Display* display, Window window, int x, int y);

// The viewable top-level window that process `pid` has mapped, or 0.
Window mappedWindowOf(Display* display, pid_t pid);

struct ProgramInfo {
    std::string name;     // dravin, mobrix or quenzel
    std::string caption;  // its window's title
    // True once the window at its opening size shows the program's first frame.
    std::function<bool(Display*, Window)> shown;
};

// The program of that name, or nullopt.
std::optional<ProgramInfo> programInfo(const std::string& name);

// Polls every millisecond until the program's first frame is on screen and
// returns the time since `since`; nullopt if the program ended or `timeout` passed.
std::optional<std::chrono::duration<double>> waitForFirstPicture(harness::Program& program, const ProgramInfo& info,
                                                                 std::chrono::steady_clock::time_point since,
                                                                 std::chrono::duration<double> timeout);

}  // namespace firstpicture
