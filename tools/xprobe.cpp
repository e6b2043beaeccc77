// veltrane-xprobe: a small X client that looks at and talks to the intro's
// window, for the headless run and for scripts. Without a window manager
// nothing else sends the window its close request, so this does.

#include "headless/xwindow.h"

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
    "  ping                   succeed if the display can be opened\n"
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

int find(Display *display, const std::string &title, double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    Window window = 0;
    while (!(window = findMappedWindow(display, title))) {
        if (std::chrono::steady_clock::now() > deadline)
            return fail("no window titled \"" + title + "\" appeared");
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    const WindowGeometry geometry = windowGeometry(display, window);
    const WindowGeometry screen = screenGeometry(display);
    std::printf("%lu %d %d %d %d %d %d\n", window, geometry.x, geometry.y, geometry.width,
                geometry.height, screen.width, screen.height);
    return 0;
}

int screenshot(Display *display, const std::string &path) {
    RgbImage image;
    if (!grabScreen(display, image))
        return fail("the screen could not be read");
    std::string error;
    if (!writePng(path, image, error))
        return fail(error);
    return 0;
}

bool parseWindow(const char *text, Window &window) {
    char *end = nullptr;
    window = std::strtoul(text, &end, 0);
    return end != text && *end == '\0' && window != 0;
}

int run(Display *display, int argc, char **argv) {
    const std::string command = argv[1];
    if (command == "ping" && argc == 2)
        return 0;
    if (command == "find" && (argc == 3 || argc == 4))
        return find(display, argv[2], argc == 4 ? std::atof(argv[3]) : 10.0);
    if (command == "screenshot" && argc == 3)
        return screenshot(display, argv[2]);
    Window window = 0;
    if (command == "key" && argc == 4 && parseWindow(argv[2], window))
        return sendKey(display, window, argv[3]) ? 0 : fail(std::string("unknown key ") + argv[3]);
    if (command == "close" && argc == 3 && parseWindow(argv[2], window)) {
        requestClose(display, window);
        return 0;
    }
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
