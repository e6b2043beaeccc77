#include "tick_player.h"

#include "player/blockfill.h"
#include "song_bytes.h"

TickPlayer::TickPlayer(const XmSong &xm) {
    songRecord = loadSongBytes(buildXm(xm));
    if (songRecord && !beginPlayback(songRecord)) {
        freeSong(songRecord);
        songRecord = nullptr;
    }
}

TickPlayer::~TickPlayer() {
    if (songRecord)
        freeSong(songRecord); // also ends playback
}

void TickPlayer::tick(int count) {
    for (int i = 0; i < count; ++i)
        sequencerTick(songRecord);
}

XmSong tickTestSong(int channels, int rows) {
    XmSong xm;
    xm.channels = static_cast<uint16_t>(channels);
    xm.patterns.push_back(blankPattern(rows, channels));
    XmSample sample;
    sample.sixteenBit = true;
    for (int k = 0; k < 64; ++k)
        sample.values.push_back(k % 2 ? 8000 : -8000);
    sample.loop = xmForwardLoop;
    sample.loopLength = 64;
    xm.instruments.push_back(instrumentWith(sample));
    return xm;
}
