#include "player/song_render.h"

#include "player/blockfill.h"
#include "player/loop_watch.h"
#include "player/memory_file.h"
#include "player/settings.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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
    render = SongRender();
    render.song = song;
    render.untilLoop = seconds < 0;
    render.limit = std::llround((render.untilLoop ? longestLoopSeconds : seconds) * mixRate);
    return true;
}

bool renderNextBlock(SongRender &render, RenderedBlock &block) {
    if (render.untilLoop && loopFrame() >= 0 && loopFrame() <= render.rendered)
        render.looped = true;
    if (render.looped || render.rendered >= render.limit)
        return false;
    const int32_t filled = nextBlockToFill();
    fillBlock();
    int64_t end = std::min<int64_t>(render.rendered + playbackSizes().blockFrames, render.limit);
    if (render.untilLoop && loopFrame() >= 0)
        end = std::min(end, loopFrame());
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

void endSongRender(SongRender &) {
    endPlayback();
}
