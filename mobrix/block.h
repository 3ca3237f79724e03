#pragma once

#include <SDL.h>

#include "globals.h"

// The block the user moves: an axis-aligned rectangle with position and size
// in double pixels.
//
// Every change is a whole step, accepted or refused. A step is refused when
// the block would leave the window (judged against the window size at the
// time of the call) or get a negative size. A refused step is dropped, not
// shortened to the edge, so a block driven against an edge rests up to one
// step short of it. All tests are >= so touching an edge is allowed, and a
// NaN step fails them and is refused.
class Block {
public:
    // Takes the values as given, without checking them against the window.
    Block(double startX, double startY, double startHeight, double startWidth)
        : x(startX), y(startY), height(startHeight), width(startWidth), rect{0, 0, 0, 0}
    {
    }

    // Fills the block in opaque white. The caller's draw colour is kept, and
    // clearing and presenting are left to the caller.
    void render()
    {
        Uint8 r, g, b, a;
        SDL_GetRenderDrawColor(sdlRenderer, &r, &g, &b, &a);
        SDL_SetRenderDrawColor(sdlRenderer, 255, 255, 255, 255);

        // SDL wants ints: truncate toward zero.
        rect.x = static_cast<int>(x);
        rect.y = static_cast<int>(y);
        rect.w = static_cast<int>(width);
        rect.h = static_cast<int>(height);
        // An empty rect must show nothing, but SDL's software renderer
        // widens it to one pixel, so it is not handed over at all.
        if (rect.w > 0 && rect.h > 0) {
            SDL_RenderFillRect(sdlRenderer, &rect);
        }

        SDL_SetRenderDrawColor(sdlRenderer, r, g, b, a);
    }

    void translateX(double dx)
    {
        const double nx = x + dx;
        if (nx >= 0 && static_cast<double>(windowWidth) >= width + nx) {
            x = nx;
        }
    }

    void translateY(double dy)
    {
        const double ny = y + dy;
        if (ny >= 0 && static_cast<double>(windowHeight) >= height + ny) {
            y = ny;
        }
    }

    void scaleWidth(double dw)
    {
        const double nw = width + dw;
        if (nw >= 0 && static_cast<double>(windowWidth) >= x + nw) {
            width = nw;
        }
    }

    void scaleHeight(double dh)
    {
        const double nh = height + dh;
        if (nh >= 0 && static_cast<double>(windowHeight) >= y + nh) {
            height = nh;
        }
    }

    double getX() const { return x; }
    double getY() const { return y; }
    double getWidth() const { return width; }
    double getHeight() const { return height; }

private:
    double x;       // left edge, from the window's left side
    double y;       // top edge, from the window's top (y grows downwards)
    double height;
    double width;
    SDL_Rect rect;  // what was last handed to the renderer
};
