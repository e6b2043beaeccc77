#pragma once

// Playback without a device: the derived sizes, the reset that starts a
// song, the output ring with its float mix buffer, and the block fill that
// interleaves the sequencer's ticks with the mixer at frame-exact positions
// and stamps each block with the song's position.

#include "player/player.h"

#include <cstdint>

struct PlaybackSizes {
    int32_t blockFrames; // 20 ms rounded up to whole groups of 4 frames
    int32_t ringFrames;
    int32_t blockCount;
    float secondsPerFrame;
};

PlaybackSizes derivedSizes(int32_t rate, int32_t bufferMs);

// Sets the song's tempo and with it the frames per tick: 2.5 / bpm seconds,
// rounded down to whole frames.
void setBpm(Song *song, int32_t bpm);

// Resets the song, the voices and the channels, makes the song current and
// allocates the stamps, the ring and the mix buffer. False, with nothing
// kept, when an allocation fails.
bool beginPlayback(Song *song);

// Releases what beginPlayback allocated; the player is stopped afterwards.
void endPlayback();

// Play moves to the first row of order, to go on from the music heard at
// frame with its time: the voices fall silent, the channels start afresh,
// tempo, speed and global volume stay, and block 0 of the ring is the next to
// fill. The loop watch starts again there.
void restartPlaybackAt(int32_t order, int32_t timeMs, int64_t frame);

// Mixes block writeBlock of the current song into the ring, stamps it and
// moves writeBlock on.
void fillBlock();

const PlaybackSizes &playbackSizes();
Song *playingSong();
int32_t nextBlockToFill();
// The ring's 16-bit stereo frames of a block.
const int16_t *ringBlock(int32_t block);
const PositionStamp &blockStamp(int32_t block);

// The stamp the position queries report: the block being heard.
const PositionStamp *audibleStamp();
void advanceAudibleStamp();
