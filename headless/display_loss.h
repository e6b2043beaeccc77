#pragma once

// A tool that draws offscreen hardly talks to its X server: the drawing runs
// on the CPU, so a display that goes away would only be noticed at exit,
// after the work was reported done. These end the program when it happens.

// From now on, a broken connection to the current GL context's X display
// writes "PROGRAM: lost the X display NAME ..." to standard error, runs
// cleanup (which must be safe in a signal handler) and ends the program
// with status 1, without running exit handlers that would talk to X.
void endOnLostDisplay(const char *program, void (*cleanup)());

// A round trip to the X server, so that a lost display is noticed here.
void checkDisplay();
