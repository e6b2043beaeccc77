#pragma once

// The terminal a player takes its keys from: while it plays, keys arrive one
// at a time without echo; on every way out (a normal end, Ctrl-C, SIGTERM,
// SIGHUP, a crash) the terminal gets its settings back, and Ctrl-Z hands a
// usable terminal to the shell until the player is continued.

enum class Key { none, pause, previousOrder, nextOrder, nextSong, previousSong, quit, other };

// Standard input and output are both terminals: keys and a live line.
bool onTerminal();

// Takes the terminal's keys for as long as it lives.
class KeyboardMode {
  public:
    KeyboardMode();
    ~KeyboardMode();
    KeyboardMode(const KeyboardMode &) = delete;
    KeyboardMode &operator=(const KeyboardMode &) = delete;
};

// The next key within timeoutMs, or Key::none.
Key readKey(int timeoutMs);

// Ends the player at its next look: SIGINT, SIGTERM and SIGHUP set it, and
// the signal's number is what it holds (0: none).
int endingSignal();
void catchEndingSignals();
