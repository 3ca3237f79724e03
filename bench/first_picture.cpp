#include "first_picture.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <thread>

namespace firstpicture {

using harness::Rgb;

Rgb pixelAt(Display* display, Window window, int x, int y)
{
    Rgb rgb;
    XImage* shot = XGetImage(display, window, x, y, 1, 1, AllPlanes, ZPixmap);
    if (shot == nullptr) {
        return rgb;
    }
    const unsigned long pixel = XGetPixel(shot, 0, 0);
    const auto channel = [pixel](unsigned long mask) {
        int shift = 0;
        while (mask != 0 && (mask & 1UL) == 0) {
            mask >>= 1;
            ++shift;
        }
        return static_cast<std::uint8_t>(((pixel >> shift) & mask) * 255 / (mask == 0 ? 1 : mask));
    };
    rgb = {channel(shot->red_mask), channel(shot->green_mask), channel(shot->blue_mask)};
    XDestroyImage(shot);
    return rgb;
}

Window mappedWindowOf(Display* display, pid_t pid)
{
    const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", False);
    Window root = 0, parent = 0, found = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count) == 0) {
        return 0;
    }
    for (unsigned int i = 0; i < count && found == 0; ++i) {
        Atom type = 0;
        int format = 0;
        unsigned long items = 0, remaining = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display, children[i], pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &items,
                               &remaining, &data) == Success &&
            data != nullptr) {
            XWindowAttributes attributes;
            if (items == 1 && format == 32 && static_cast<pid_t>(*reinterpret_cast<unsigned long*>(data)) == pid &&
                XGetWindowAttributes(display, children[i], &attributes) != 0 &&
                attributes.map_state == IsViewable) {
                found = children[i];
            }
            XFree(data);
        }
    }
    if (children != nullptr) {
        XFree(children);
    }
    return found;
}

std::optional<ProgramInfo> programInfo(const std::string& name)
{
    const Rgb lineGreen{99, 255, 99};
    const Rgb white{255, 255, 255};
    if (name == "dravin") {
        // The left side of the rectangle at 1000 x 500.
        return ProgramInfo{name, "Dravin", [=](Display* d, Window w) { return pixelAt(d, w, 100, 250) == lineGreen; }};
    }
    if (name == "mobrix") {
        // The middle of the block in its starting corner.
        return ProgramInfo{name, "Mobrix", [=](Display* d, Window w) { return pixelAt(d, w, 10, 10) == white; }};
    }
    if (name == "quenzel") {
        // Blue-tinted cloth near the bottom-right corner of 500 x 300: blue
        // brighter than red, red equal to green. Nothing else on the screen
        // has that colour, and one of six pixels is enough in case the noise
        // makes some black.
        return ProgramInfo{name, "Quenzel", [](Display* d, Window w) {
                               for (int x = 480; x < 496; x += 3) {
                                   const Rgb p = pixelAt(d, w, x, 290);
                                   if (p.b > p.r && p.r == p.g) {
                                       return true;
                                   }
                               }
                               return false;
                           }};
    }
    return std::nullopt;
}

std::optional<std::chrono::duration<double>> waitForFirstPicture(harness::Program& program, const ProgramInfo& info,
                                                                 std::chrono::steady_clock::time_point since,
                                                                 std::chrono::duration<double> timeout)
{
    Display* display = harness::XServer::instance().connection();
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (program.running() && std::chrono::steady_clock::now() < deadline) {
        const Window window = mappedWindowOf(display, program.pid());
        if (window != 0 && info.shown(display, window)) {
            return std::chrono::steady_clock::now() - since;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return std::nullopt;
}

}  // namespace firstpicture
