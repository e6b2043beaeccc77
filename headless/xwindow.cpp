#include "headless/xwindow.h"

#include <X11/Xutil.h>

namespace {

bool hasTitle(Display *display, Window window, const std::string &title) {
    char *name = nullptr;
    if (!XFetchName(display, window, &name) || !name)
        return false;
    const bool same = title == name;
    XFree(name);
    return same;
}

// Scales a pixel's channel, whatever its mask, to 8 bits.
uint8_t channel(unsigned long pixel, unsigned long mask) {
    if (!mask)
        return 0;
    int shift = 0;
    while (!((mask >> shift) & 1))
        ++shift;
    const unsigned long maximum = mask >> shift;
    return static_cast<uint8_t>(((pixel & mask) >> shift) * 255 / maximum);
}

} // namespace

Window findMappedWindow(Display *display, const std::string &title) {
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    Window found = 0;
    if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count))
        return 0;
    for (unsigned int i = 0; i < count && !found; ++i) {
        XWindowAttributes attributes;
        if (XGetWindowAttributes(display, children[i], &attributes) &&
            attributes.map_state == IsViewable && hasTitle(display, children[i], title))
            found = children[i];
    }
    if (children)
        XFree(children);
    return found;
}

WindowGeometry windowGeometry(Display *display, Window window) {
    XWindowAttributes attributes = {};
    XGetWindowAttributes(display, window, &attributes);
    return WindowGeometry{attributes.x, attributes.y, attributes.width, attributes.height};
}

WindowGeometry screenGeometry(Display *display) {
    const Screen *screen = DefaultScreenOfDisplay(display);
    return WindowGeometry{0, 0, screen->width, screen->height};
}

bool sendKey(Display *display, Window window, const char *keysymName) {
    const KeySym keysym = XStringToKeysym(keysymName);
    if (keysym == NoSymbol)
        return false;
    XKeyEvent event = {};
    event.display = display;
    event.window = window;
    event.root = DefaultRootWindow(display);
    event.same_screen = True;
    event.keycode = XKeysymToKeycode(display, keysym);
    event.time = CurrentTime;
    event.type = KeyPress;
    XSendEvent(display, window, True, KeyPressMask, reinterpret_cast<XEvent *>(&event));
    event.type = KeyRelease;
    XSendEvent(display, window, True, KeyReleaseMask, reinterpret_cast<XEvent *>(&event));
    XSync(display, False);
    return true;
}

void requestClose(Display *display, Window window) {
    XClientMessageEvent event = {};
    event.type = ClientMessage;
    event.window = window;
    event.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.format = 32;
    event.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, reinterpret_cast<XEvent *>(&event));
    XSync(display, False);
}

bool grabScreen(Display *display, RgbImage &image) {
    const WindowGeometry screen = screenGeometry(display);
    XImage *shot = XGetImage(display, DefaultRootWindow(display), 0, 0, screen.width, screen.height,
                             AllPlanes, ZPixmap);
    if (!shot)
        return false;
    image.width = screen.width;
    image.height = screen.height;
    image.rgb.resize(static_cast<size_t>(image.width) * image.height * 3);
    uint8_t *out = image.rgb.data();
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const unsigned long pixel = XGetPixel(shot, x, y);
            *out++ = channel(pixel, shot->red_mask);
            *out++ = channel(pixel, shot->green_mask);
            *out++ = channel(pixel, shot->blue_mask);
        }
    XDestroyImage(shot);
    return true;
}
