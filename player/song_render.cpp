#include "player/song_render.h"

#include "player/blockfill.h"
#include "player/memory_file.h"
#include "player/sequencer.h"
#include "player/settings.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Watches the ticks for the first return to an order already played and
// notes the frame at which that tick falls.
struct LoopWatch {
    bool played[256] = {};
    int64_t tickFrame = 0; // the frame the next tick falls on
    int64_t loopFrame = -1;
};
LoopWatch loopWatch;

void watchedTick(Song *song) {
    if (song->tick == 0) {
        if (song->nextOrder >= 0 && loopWatch.played[song->nextOrder] && loopWatch.loopFrame < 0)
            loopWatch.loopFrame = loopWatch.tickFrame;
        loopWatch.played[song->nextOrder >= 0 ? song->nextOrder : song->order] = true;
    }
    sequencerTick(song);
    loopWatch.tickFrame += song->samplesPerTick;
}

} // namespace

Song *loadSongFile(const std::string &path, std::string &error) {
    if (std::FILE *file = std::fopen(path.c_str(), "rb")) {
        std::fclose(file);
    } else {
        error = path + ": " + std::strerror(errno);
        return nullptr;
    }
    setFileCallbacks(memOpen, memClose, memRead, memSeek, memTell);
    Song *song = loadSong(path.c_str(), nullptr);
    if (!song)
        error = path + ": not a song this player can load (not an XM file, an older XM format, "
                       "or damaged)";
    return song;
}

bool beginSongRender(Song *song, double seconds, SongRender &render) {
    if (!beginPlayback(song))
        return false;
    loopWatch = LoopWatch();
    song->tickFunction = watchedTick;
    render = SongRender();
    render.song = song;
    render.untilLoop = seconds < 0;
    render.limit = std::llround((render.untilLoop ? longestLoopSeconds : seconds) * mixRate);
    return true;
}

bool renderNextBlock(SongRender &render, RenderedBlock &block) {
    if (render.untilLoop && loopWatch.loopFrame >= 0 && loopWatch.loopFrame <= render.rendered)
        render.looped = true;
    if (render.looped || render.rendered >= render.limit)
        return false;
    const int32_t filled = nextBlockToFill();
    fillBlock();
    int64_t end = std::min<int64_t>(render.rendered + playbackSizes().blockFrames, render.limit);
    if (render.untilLoop && loopWatch.loopFrame >= 0)
        end = std::min(end, loopWatch.loopFrame);
    if (end <= render.rendered) { // the song looped on this block's first frame
        render.looped = true;
        return false;
    }
    block.pcm = ringBlock(filled);
    block.frames = static_cast<int32_t>(end - render.rendered);
    block.stamp = blockStamp(filled);
    render.rendered = end;
    return true;
}

void endSongRender(SongRender &render) {
    endPlayback();
    if (render.song)
        render.song->tickFunction = sequencerTick;
}
