#include "headless/display_loss.h"

#include <GL/glx.h>
#include <X11/Xlib.h>
#include <cstdio>
#include <unistd.h>

namespace {

char lostMessage[512];
int lostLength = 0;
void (*cleanupOnLoss)() = nullptr;

int onLostDisplay(Display *) {
    if (write(STDERR_FILENO, lostMessage, static_cast<size_t>(lostLength)) < 0) {
        // Nothing to do: standard error is gone.
    }
    if (cleanupOnLoss)
        cleanupOnLoss();
    _exit(1);
}

} // namespace

void endOnLostDisplay(const char *program, void (*cleanup)()) {
    Display *display = glXGetCurrentDisplay();
    lostLength = std::snprintf(lostMessage, sizeof lostMessage,
                               "%s: lost the X display %s: its server closed the connection\n",
                               program, display ? DisplayString(display) : "");
    if (lostLength < 0 || lostLength >= static_cast<int>(sizeof lostMessage))
        lostLength = static_cast<int>(sizeof lostMessage) - 1;
    cleanupOnLoss = cleanup;
    XSetIOErrorHandler(onLostDisplay);
}

void checkDisplay() {
    if (Display *display = glXGetCurrentDisplay())
        XSync(display, False);
}
