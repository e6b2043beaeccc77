#include "tools/play/terminal.h"

#include <atomic>
#include <csignal>
#include <initializer_list>
#include <poll.h>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace {

// The settings to give back; read by signal handlers, so plain globals set
// before any handler can see them.
termios savedSettings;
volatile sig_atomic_t keysTaken = 0;
volatile sig_atomic_t caughtSignal = 0;

void takeKeys() {
    termios raw = savedSettings;
    // Keys one at a time, unechoed; Ctrl-C and Ctrl-Z still raise their signals.
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &raw);
    keysTaken = 1;
}

void giveKeysBack() {
    if (keysTaken)
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &savedSettings);
}

void onCrash(int signal) {
    giveKeysBack();
    std::signal(signal, SIG_DFL);
    raise(signal);
}

// Ctrl-Z: the shell gets the terminal as it was; fg takes the keys again.
void onStop(int) {
    giveKeysBack();
    std::signal(SIGTSTP, SIG_DFL);
    raise(SIGTSTP);
}

void onContinue(int) {
    struct sigaction stop = {};
    stop.sa_handler = onStop;
    sigaction(SIGTSTP, &stop, nullptr);
    if (keysTaken)
        takeKeys();
}

void onEndingSignal(int signal) {
    caughtSignal = signal;
}

void handle(int signal, void (*handler)(int)) {
    struct sigaction action = {};
    action.sa_handler = handler;
    sigaction(signal, &action, nullptr);
}

} // namespace

bool onTerminal() {
    return isatty(STDIN_FILENO) && isatty(STDOUT_FILENO);
}

KeyboardMode::KeyboardMode() {
    if (tcgetattr(STDIN_FILENO, &savedSettings) != 0)
        return;
    for (int signal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT})
        handle(signal, onCrash);
    handle(SIGTSTP, onStop);
    handle(SIGCONT, onContinue);
    takeKeys();
}

KeyboardMode::~KeyboardMode() {
    giveKeysBack();
    keysTaken = 0;
}

Key readKey(int timeoutMs) {
    // Keys typed faster than they are read wait here, one after the other.
    static std::string pending;
    if (pending.empty()) {
        pollfd input = {STDIN_FILENO, POLLIN, 0};
        char bytes[64];
        const ssize_t count = poll(&input, 1, timeoutMs) > 0 ? read(STDIN_FILENO, bytes, 64) : 0;
        if (count <= 0)
            return Key::none;
        pending.assign(bytes, static_cast<size_t>(count));
    }
    // The arrow keys send ESC [ C and ESC [ D, or ESC O C and ESC O D.
    if (pending.size() >= 3 && pending[0] == '\x1b' && (pending[1] == '[' || pending[1] == 'O')) {
        const char arrow = pending[2];
        pending.erase(0, 3);
        return arrow == 'C' ? Key::nextOrder : arrow == 'D' ? Key::previousOrder : Key::other;
    }
    const char key = pending[0];
    pending.erase(0, 1);
    switch (key) {
    case ' ':
        return Key::pause;
    case 'n':
    case 'N':
        return Key::nextSong;
    case 'p':
    case 'P':
        return Key::previousSong;
    case 'q':
    case 'Q':
        return Key::quit;
    default:
        return Key::other;
    }
}

int endingSignal() {
    return caughtSignal;
}

void catchEndingSignals() {
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        handle(signal, onEndingSignal);
}
