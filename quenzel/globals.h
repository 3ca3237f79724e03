#pragma once

// Program-wide state of quenzel, defined in quenzel.cpp and read by the scene.

extern int width;   // current window width in pixels; updated on resize
extern int height;  // current window height in pixels; updated on resize
