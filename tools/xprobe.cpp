// veltrane-xprobe: a small X client that looks at and talks to the intro's
// window, for tests and for the headless run. Without a window manager
// nothing else sends the window its close request, so this does.

#include "tools/png_file.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

const char *usage =
    "usage: veltrane-xprobe COMMAND ...\n"
    "\n"
    "Commands (the display is taken from DISPLAY):\n"
    "  find TITLE [SECONDS]   wait up to SECONDS (default 10) for a mapped window titled\n"
    "                         TITLE; print \"ID X Y WIDTH HEIGHT SCREENWIDTH SCREENHEIGHT\"\n"
    "  key ID KEYSYM          send a key press and release (e.g. Escape) to window ID\n"
    "  close ID               ask window ID to close, as a window manager would\n"
    "  screenshot OUT.png     write the whole screen to OUT.png\n"
    "  --help                 this text\n";

int fail(const std::string &message) {
    std::fprintf(stderr, "veltrane-xprobe: %s\n", message.c_str());
    return 1;
}

bool hasTitle(Display *display, Window window, const std::string &title) {
    char *name = nullptr;
    if (!XFetchName(display, window, &name) || !name)
        return false;
    const bool same = title == name;
    XFree(name);
    return same;
}

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

int findWindow(Display *display, const std::string &title, double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        const Window window = findMappedWindow(display, title);
        if (window) {
            XWindowAttributes attributes;
            XGetWindowAttributes(display, window, &attributes);
            const Screen *screen = DefaultScreenOfDisplay(display);
            std::printf("%lu %d %d %d %d %d %d\n", window, attributes.x, attributes.y,
                        attributes.width, attributes.height, screen->width, screen->height);
            return 0;
        }
        if (std::chrono::steady_clock::now() > deadline)
            return fail("no window titled \"" + title + "\" appeared");
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

bool parseWindow(const char *text, Window &window) {
    char *end = nullptr;
    window = std::strtoul(text, &end, 0);
    return end != text && *end == '\0' && window != 0;
}

int sendKey(Display *display, Window window, const char *keysymName) {
    const KeySym keysym = XStringToKeysym(keysymName);
    if (keysym == NoSymbol)
        return fail(std::string("unknown key name ") + keysymName);
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
    return 0;
}

int requestClose(Display *display, Window window) {
    XClientMessageEvent event = {};
    event.type = ClientMessage;
    event.window = window;
    event.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.format = 32;
    event.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, reinterpret_cast<XEvent *>(&event));
    XSync(display, False);
    return 0;
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

int screenshot(Display *display, const std::string &path) {
    const Window root = DefaultRootWindow(display);
    XWindowAttributes attributes;
    XGetWindowAttributes(display, root, &attributes);
    XImage *shot =
        XGetImage(display, root, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
    if (!shot)
        return fail("the screen could not be read");
    RgbImage image;
    image.width = attributes.width;
    image.height = attributes.height;
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
    std::string error;
    if (!writePng(path, image, error))
        return fail(error);
    return 0;
}

int run(Display *display, int argc, char **argv) {
    const std::string command = argv[1];
    if (command == "find" && (argc == 3 || argc == 4))
        return findWindow(display, argv[2], argc == 4 ? std::atof(argv[3]) : 10.0);
    if (command == "screenshot" && argc == 3)
        return screenshot(display, argv[2]);
    Window window = 0;
    if (command == "key" && argc == 4 && parseWindow(argv[2], window))
        return sendKey(display, window, argv[3]);
    if (command == "close" && argc == 3 && parseWindow(argv[2], window))
        return requestClose(display, window);
    std::fputs(usage, stderr);
    return 2;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        std::fputs(usage, argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        const char *name = std::getenv("DISPLAY");
        return fail(std::string("cannot open display ") + (name ? name : "(DISPLAY is unset)"));
    }
    const int status = run(display, argc, argv);
    XCloseDisplay(display);
    return status;
}
