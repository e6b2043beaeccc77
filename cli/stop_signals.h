#pragma once

#include <atomic>

// Ending on a signal with nothing left behind. SIGTERM, SIGHUP and SIGINT
// run cleanup (which must be safe in a signal handler) and then end the
// program by the same signal, as its default action would, so that the
// shell sees it. With a finishing text, the first SIGINT instead only asks
// the program to finish what it has (finishRequested() turns true) and writes
// the text to standard error at once; a second SIGINT ends it as above. A
// SIGHUP ignored from the start, as under nohup, stays ignored.
void handleStopSignals(void (*cleanup)(), const char *finishingText = nullptr);

// True once the first SIGINT has asked the program to finish.
const std::atomic<bool> &finishRequested();
