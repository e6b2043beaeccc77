#include "cli/stop_signals.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <unistd.h>

namespace {

const int stopSignals[] = {SIGINT, SIGTERM, SIGHUP};

void (*cleanupOnStop)() = nullptr;
char finishingMessage[4096];
size_t finishingLength = 0;
std::atomic<bool> finishAsked{false};

// Only async-signal-safe calls: write, the cleanup's unlink, sigaction and raise.
void onStopSignal(int number) {
    const int savedErrno = errno;
    if (number == SIGINT && finishingLength > 0 && !finishAsked.exchange(true)) {
        if (write(STDERR_FILENO, finishingMessage, finishingLength) < 0) {
            // Nothing to do: standard error is gone.
        }
        errno = savedErrno;
        return;
    }
    if (cleanupOnStop)
        cleanupOnStop();
    // Blocked while this handler runs, the signal raised again is delivered
    // when it returns, with the default action: the program ends by it.
    struct sigaction fallback = {};
    fallback.sa_handler = SIG_DFL;
    sigaction(number, &fallback, nullptr);
    raise(number);
    errno = savedErrno;
}

} // namespace

void handleStopSignals(void (*cleanup)(), const char *finishingText) {
    cleanupOnStop = cleanup;
    finishingLength = 0;
    if (finishingText) {
        finishingLength = std::min(std::strlen(finishingText), sizeof finishingMessage);
        std::memcpy(finishingMessage, finishingText, finishingLength);
    }
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int number : stopSignals)
        sigaddset(&action.sa_mask, number);
    for (int number : stopSignals) {
        // A hang-up ignored from the start (as under nohup) stays ignored.
        struct sigaction before = {};
        if (number == SIGHUP && sigaction(number, nullptr, &before) == 0 &&
            before.sa_handler == SIG_IGN)
            continue;
        sigaction(number, &action, nullptr);
    }
}

const std::atomic<bool> &finishRequested() {
    return finishAsked;
}
