#pragma once

// Looking at and talking to top-level windows of an X server that may run
// without a window manager: finding a window by title, sending it keys and
// the close request a window manager would send, and reading the screen.

#include "media/png_file.h"

#include <X11/Xlib.h>
#include <string>

struct WindowGeometry {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// A mapped top-level window with this title, or 0.
Window findMappedWindow(Display *display, const std::string &title);

WindowGeometry windowGeometry(Display *display, Window window);
WindowGeometry screenGeometry(Display *display);

// False for a key name X does not know (names as in XStringToKeysym).
bool sendKey(Display *display, Window window, const char *keysymName);

// WM_DELETE_WINDOW, as a window manager sends it when the user closes a window.
void requestClose(Display *display, Window window);

// The whole screen as it shows now.
bool grabScreen(Display *display, RgbImage &image);
