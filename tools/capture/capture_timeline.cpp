#include "tools/capture/capture_timeline.h"

#include "player/blockfill.h"
#include "player/settings.h"
#include "player/song_render.h"

#include <algorithm>
#include <new>

bool renderSoundtrack(Song *song, double seconds, Soundtrack &soundtrack) {
    SongRender render;
    if (!beginSongRender(song, seconds, render))
        return false;
    soundtrack = Soundtrack();
    try {
        // A given length is known; one until the song loops is not, and its
        // 30-minute limit would ask for 317 MB whatever the song's length.
        if (!render.untilLoop)
            soundtrack.pcm.reserve(static_cast<size_t>(2 * render.limit));
        RenderedBlock block;
        while (renderNextBlock(render, block)) {
            soundtrack.pcm.insert(soundtrack.pcm.end(), block.pcm, block.pcm + 2 * block.frames);
            soundtrack.rows.push_back(block.stamp.row);
        }
    } catch (const std::bad_alloc &) {
        endSongRender(render);
        soundtrack = Soundtrack();
        return false;
    }
    soundtrack.looped = render.looped;
    endSongRender(render);
    return true;
}

int64_t soundFrames(const Soundtrack &soundtrack) {
    return static_cast<int64_t>(soundtrack.pcm.size() / 2);
}

int64_t framesToCover(int64_t soundFrameCount, int framesPerSecond) {
    return (soundFrameCount * framesPerSecond + mixRate - 1) / mixRate;
}

int32_t elapsedMsAt(int64_t frame, int framesPerSecond) {
    return static_cast<int32_t>(frame * 1000 / framesPerSecond);
}

int32_t audibleRowAt(const Soundtrack &soundtrack, int32_t elapsedMs) {
    if (soundtrack.rows.empty())
        return 0;
    const int64_t heardFrame = int64_t{elapsedMs} * mixRate / 1000;
    const size_t block =
        static_cast<size_t>(heardFrame / derivedSizes(mixRate, bufferLengthMs).blockFrames);
    return soundtrack.rows[std::min(block, soundtrack.rows.size() - 1)];
}

int64_t soundStartOf(int64_t frame, int framesPerSecond, int64_t soundFrameCount) {
    return std::min(frame * mixRate / framesPerSecond, soundFrameCount);
}
