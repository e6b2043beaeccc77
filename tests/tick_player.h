#pragma once

// Plays songs made by the XM builder tick by tick, for tests that compare the
// sequencer's state after each tick with the values the rules give, written
// as tables of traces.

#include "player/mixer.h"
#include "player/sequencer.h"
#include "xm_builder/xm_builder.h"

#include <string>

class TickPlayer {
  public:
    explicit TickPlayer(const XmSong &xm);
    ~TickPlayer();
    TickPlayer(const TickPlayer &) = delete;
    TickPlayer &operator=(const TickPlayer &) = delete;

    bool loaded() const { return songRecord != nullptr; }
    void tick(int count = 1);
    Song &song() { return *songRecord; }
    MusicChannel &channel(int c) { return channels[c]; }
    MixerVoice &voice(int c) { return *channels[c].voice; } // the voice channel c drives now
    Sample *sample(int instrument, int slot = 0) {
        return songRecord->instruments[instrument].samples[slot];
    }

  private:
    Song *songRecord = nullptr;
};

// A song of these channels and one pattern of these rows, its cells empty; its one
// instrument is xmSong's.
inline XmSong tickTestSong(int channels = 1, int rows = 16) {
    XmSong xm = xmSong(".");
    xm.channels = static_cast<uint16_t>(channels);
    xm.patterns[0] = blankPattern(rows, channels);
    return xm;
}

// One table row: play the song, skip ticks, then read values after each tick: channel
// fields (period, pd, vol, vd, pan ...), the fields of the voice the channel drives (freq,
// vvol, vpan, pos, ramp ...) and the song's (order, row ...); a digit after a name picks another
// channel ("vol1"). values holds each reading's list, separated by "/", a shorter list
// covering the first ticks only; "6*0" stands for six zeros, "1..4" for 1, 2, 3, 4.
struct Trace {
    const char *song;
    const char *reads;
    int skip;
    const char *values;
    void (*change)(XmSong &) = nullptr;   // the song beyond what xmSong writes
    void (*poke)(TickPlayer &) = nullptr; // the state after skip, before the readings
};

void expectTraces(const std::vector<Trace> &traces);
