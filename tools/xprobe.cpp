// veltrane-xprobe: a small X client that looks at and talks to the intro's
// window, for the headless run and for scripts. Without a window manager
// nothing else sends the window its close request, so this does.

#include "cli/arguments.h"
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
    "  --help                 this text\n"
    "\n"
    "IDs are decimal, as find prints them; SECONDS as 10 or 2.5.\n"
    "Exit status: 0 on success, 1 on a failure while working, 2 on a usage error.\n";

// A command and its arguments, checked before the display is opened.
struct Request {
    std::string command;
    std::string text; // the title, key name or file
    double seconds = 10;
    Window window = 0;
};

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

int usageError(const std::string &problem) {
    std::fprintf(stderr, "veltrane-xprobe: %s\n%s", problem.c_str(), usage);
    return 2;
}

// 0 with the request filled in, else the usage error's status.
int parseRequest(int argc, char **argv, Request &request) {
    const std::string command = argv[1];
    const int count = argc - 2;
    request.command = command;
    if (count > 0)
        request.text = argv[2];
    if ((command == "ping" && count == 0) || (command == "screenshot" && count == 1))
        return 0;
    if (command == "find" && (count == 1 || count == 2)) {
        if (count == 2 && !parseSeconds(argv[3], request.seconds))
            return usageError(std::string("bad SECONDS '") + argv[3] + "'");
        return 0;
    }
    if ((command == "key" && count == 2) || (command == "close" && count == 1)) {
        int window = 0;
        if (!parseInt(argv[2], 1, window))
            return usageError(std::string("bad window ID '") + argv[2] + "'");
        request.window = static_cast<Window>(window);
        request.text = count == 2 ? argv[3] : "";
        if (count == 2 && XStringToKeysym(argv[3]) == NoSymbol)
            return usageError(std::string("unknown key ") + argv[3]);
        return 0;
    }
    return usageError("unknown command or wrong arguments: " + command);
}

int run(Display *display, const Request &request) {
    if (request.command == "find")
        return find(display, request.text, request.seconds);
    if (request.command == "screenshot")
        return screenshot(display, request.text);
    if (request.command == "key")
        sendKey(display, request.window, request.text.c_str());
    else if (request.command == "close")
        requestClose(display, request.window);
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        std::fputs(usage, argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    Request request;
    if (const int status = parseRequest(argc, argv, request))
        return status;
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        const char *name = std::getenv("DISPLAY");
        return fail(std::string("cannot open display ") + (name ? name : "(DISPLAY is unset)"));
    }
    const int status = run(display, request);
    XCloseDisplay(display);
    return status;
}
