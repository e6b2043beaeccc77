#include "cli/progress_bar.h"

#include <cstdio>
#include <unistd.h>

namespace {

const int barWidth = 30;

} // namespace

ProgressBar::ProgressBar(int64_t total, const char *unit)
    : total(total > 0 ? total : 1), unit(unit), shown(isatty(STDERR_FILENO) != 0),
      start(std::chrono::steady_clock::now()), lastShown(start) {}

void ProgressBar::update(int64_t done) {
    const auto now = std::chrono::steady_clock::now();
    if (!shown || (now - lastShown < std::chrono::milliseconds(250) && done < total))
        return;
    lastShown = now;
    const double seconds = std::chrono::duration<double>(now - start).count();
    const double rate = seconds > 0 ? done / seconds : 0;
    const int secondsLeft = rate > 0 ? static_cast<int>((total - done) / rate + 0.5) : 0;
    const int filled = static_cast<int>(barWidth * done / total);
    std::fprintf(stderr, "\r[%-*.*s] %lld/%lld %s  %.1f %s/s  %d:%02d left \033[K", barWidth,
                 filled, "##############################", static_cast<long long>(done),
                 static_cast<long long>(total), unit, rate, unit, secondsLeft / 60,
                 secondsLeft % 60);
    std::fflush(stderr);
}

void ProgressBar::finish() {
    if (shown)
        std::fputs("\r\033[K", stderr);
}
