#include "app/fullscreen.h"

#include <GL/glew.h>
#include <GL/freeglut.h>
#include <GL/glx.h>

namespace {

// Without a window manager nothing reparents the window into a frame.
bool isFramed(Display *display, Window window) {
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, window, &root, &parent, &children, &count))
        return true;
    if (children)
        XFree(children);
    return parent != root;
}

} // namespace

void enterFullScreen() {
    glutFullScreen();
    Display *display = glXGetCurrentDisplay();
    const Window window = glXGetCurrentDrawable();
    if (!display || !window || isFramed(display, window))
        return;
    XMoveWindow(display, window, 0, 0);
    XFlush(display);
}
