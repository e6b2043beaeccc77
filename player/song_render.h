#pragma once

// A song rendered through the block fill that feeds the audio device, block
// by block: what xm2wav writes, what the capture tool puts under its
// pictures, and what the web page renders into a WAV file. Without a length,
// the render ends where the song loops, that is where play first returns to
// an order already played.

#include "player/player.h"

#include <cstdint>
#include <string>

// The longest render that waits for the song to loop.
const double longestLoopSeconds = 30 * 60;

// Loads the song through the memory-file functions; on failure the result is
// null and error names the file and the problem.
Song *loadSongFile(const std::string &path, std::string &error);

struct SongRender {
    Song *song = nullptr;
    bool untilLoop = true;
    bool looped = false; // the render ended where the song loops
    int64_t limit = 0;   // frames at most
    int64_t rendered = 0;
};

struct RenderedBlock {
    const int16_t *pcm;  // 16-bit stereo frames
    int32_t frames;      // how many of the block's frames belong to the render
    PositionStamp stamp; // the song's position at the end of the block
};

// Starts the song from its beginning; seconds < 0 renders until it loops.
// False when the playback buffers can't be allocated.
bool beginSongRender(Song *song, double seconds, SongRender &render);

// Fills the next block; false, with nothing filled, once the render is complete.
bool renderNextBlock(SongRender &render, RenderedBlock &block);

// Ends playback.
void endSongRender(SongRender &render);
