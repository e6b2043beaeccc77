#pragma once

// A progress line on a terminal: a bar, the count done of the whole, the
// rate and the time left. Nothing is shown when standard error is not a
// terminal.

#include <chrono>
#include <cstdint>

class ProgressBar {
  public:
    ProgressBar(int64_t total, const char *unit);
    void update(int64_t done);
    // Clears the line.
    void finish();

  private:
    int64_t total;
    const char *unit;
    bool shown;
    std::chrono::steady_clock::time_point start;
    std::chrono::steady_clock::time_point lastShown;
};
