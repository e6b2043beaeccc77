#pragma once

// Plays a song made by the XM builder tick by tick, for tests that compare
// the sequencer's state after each tick with the values the rules give.

#include "player/mixer.h"
#include "player/sequencer.h"
#include "tools/xm_builder.h"

class TickPlayer {
  public:
    explicit TickPlayer(const XmSong &xm);
    ~TickPlayer();
    TickPlayer(const TickPlayer &) = delete;
    TickPlayer &operator=(const TickPlayer &) = delete;

    bool loaded() const { return songRecord != nullptr; }
    // Runs the sequencer for this many ticks.
    void tick(int count = 1);
    Song &song() { return *songRecord; }
    MusicChannel &channel(int c) { return channels[c]; }
    // The voice channel c drives now.
    MixerVoice &voice(int c) { return *channels[c].voice; }
    Sample *sample(int instrument, int slot = 0) {
        return songRecord->instruments[instrument].samples[slot];
    }

  private:
    Song *songRecord = nullptr;
};

// A song of the given channels and one pattern of the given rows, with one
// instrument: a looped 16-bit sample of 64 frames at default volume 64 and
// centre panning. Tests fill in the cells.
XmSong tickTestSong(int channels = 1, int rows = 16);
