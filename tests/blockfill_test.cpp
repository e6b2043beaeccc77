// The block fill: the derived sizes, the tick length, ticks at frame-exact
// positions that carry across blocks, the time count, the position stamps,
// the ring's 16-bit frames, and the reset that starts playback.
// Expected values are worked out from the rules in the comments beside them.

#include "player/blockfill.h"
#include "player/mixer.h"
#include "player/sequencer.h"
#include "song_bytes.h"
#include "tick_player.h"
#include "tools/xm_builder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

XmSong songAt(int bpm, int speed = 6, int channels = 1) {
    XmSong xm;
    xm.channels = static_cast<uint16_t>(channels);
    xm.bpm = static_cast<uint16_t>(bpm);
    xm.speed = static_cast<uint16_t>(speed);
    xm.patterns.push_back(blankPattern(64, channels));
    return xm;
}

// A 16-bit forward loop of one value throughout, at volume 64.
XmInstrument steadyInstrument(int value, uint8_t panning) {
    XmSample sample;
    sample.sixteenBit = true;
    sample.values.assign(64, value);
    sample.loop = xmForwardLoop;
    sample.loopLength = 64;
    sample.panning = panning;
    return instrumentWith(sample);
}

// The song's time at every tick, recorded by the tick functions below.
std::vector<int32_t> tickTimes;

void countingTick(Song *song) {
    tickTimes.push_back(song->timeMs);
    sequencerTick(song);
}

// The second tick sets 32 BPM, as a tempo effect would.
void slowingTick(Song *song) {
    countingTick(song);
    if (tickTimes.size() == 2)
        setBpm(song, 32);
}

// Leaves the position at order 257, row 300, beyond what a stamp can hold.
void farTick(Song *song) {
    song->order = 257;
    song->row = 300;
}

// --- Sizes and tempo ---

TEST(BlockSizes, DerivedFromTheRateAndTheBufferLength) {
    // blockFrames = (rate * 20 / 1000 + 3) & ~3; ringFrames = (ms / 20) * block * 2.
    const PlaybackSizes standard = derivedSizes(44100, 1000);
    EXPECT_EQ(standard.blockFrames, 884); // 882 + 3 = 885 -> 884
    EXPECT_EQ(standard.ringFrames, 88400);
    EXPECT_EQ(standard.blockCount, 100);
    EXPECT_EQ(standard.secondsPerFrame, 1.0f / 44100.0f);
    EXPECT_LT(standard.secondsPerFrame, 1.0 / 44100.0); // single precision rounds down

    const PlaybackSizes at48k = derivedSizes(48000, 1000);
    EXPECT_EQ(at48k.blockFrames, 960); // 963 -> 960
    EXPECT_EQ(at48k.ringFrames, 96000);
    const PlaybackSizes at22k = derivedSizes(22050, 1000);
    EXPECT_EQ(at22k.blockFrames, 444); // 441 + 3 = 444
    EXPECT_EQ(at22k.ringFrames, 44400);
    const PlaybackSizes halfBuffer = derivedSizes(44100, 500);
    EXPECT_EQ(halfBuffer.ringFrames, 44200); // 25 * 884 * 2
    EXPECT_EQ(halfBuffer.blockCount, 50);

    TickPlayer play(songAt(125));
    ASSERT_TRUE(play.loaded());
    EXPECT_EQ(playbackSizes().blockFrames, 884);
    EXPECT_EQ(playbackSizes().ringFrames, 88400);
    EXPECT_EQ(playbackSizes().blockCount, 100);
}

TEST(BlockTempo, ATickLastsTwoAndAHalfSecondsOverTheBpm) {
    Song song{};
    setBpm(&song, 125);
    EXPECT_EQ(song.bpm, 125);
    EXPECT_EQ(song.samplesPerTick, 882); // 220500 / 250
    setBpm(&song, 32);
    EXPECT_EQ(song.samplesPerTick, 3445); // 220500 / 64 = 3445.3
    setBpm(&song, 255);
    EXPECT_EQ(song.samplesPerTick, 432); // 220500 / 510 = 432.4
    for (int bpm = 1; bpm <= 255; ++bpm) {
        setBpm(&song, bpm);
        EXPECT_EQ(song.samplesPerTick, 44100 * 5 / (2 * bpm)) << "bpm " << bpm;
    }
}

// --- Ticks within blocks ---

TEST(BlockFill, TheFirstBlockAt125BpmRunsTwoTicks) {
    TickPlayer play(songAt(125));
    ASSERT_TRUE(play.loaded());
    play.song().tickFunction = countingTick;
    tickTimes.clear();
    // A tick before the first frame, 882 frames (19 ms), a tick, 2 frames (0 ms).
    fillBlock();
    EXPECT_EQ(tickTimes, (std::vector<int32_t>{0, 19}));
    EXPECT_EQ(play.song().samplesUntilTick, 880);
    EXPECT_EQ(play.song().timeMs, 19);
    EXPECT_EQ(blockStamp(0).timeMs, 19);
    EXPECT_EQ(nextBlockToFill(), 1);
    // The next block carries on: 880 frames (19 ms), a tick, 4 frames.
    fillBlock();
    EXPECT_EQ(tickTimes, (std::vector<int32_t>{0, 19, 38}));
    EXPECT_EQ(play.song().samplesUntilTick, 878);
    EXPECT_EQ(blockStamp(1).timeMs, 38);
}

TEST(BlockFill, At32BpmMostBlocksHaveNoTick) {
    TickPlayer play(songAt(32));
    ASSERT_TRUE(play.loaded());
    play.song().tickFunction = countingTick;
    tickTimes.clear();
    // Ticks every 3445 frames, at 0, 3445, 6890 and 10335: in blocks 0, 3, 7
    // and 11 of 884 frames each.
    const std::vector<size_t> ticksAfter = {1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4};
    for (size_t block = 0; block < ticksAfter.size(); ++block) {
        fillBlock();
        EXPECT_EQ(tickTimes.size(), ticksAfter[block]) << "block " << block;
    }
    // Blocks 0..2 are single runs of 884 frames (20 ms each); block 3 splits
    // at its tick into 793 frames (17.98 -> 17) and 91 (2.06 -> 2).
    EXPECT_EQ(blockStamp(0).timeMs, 20);
    EXPECT_EQ(blockStamp(1).timeMs, 40);
    EXPECT_EQ(blockStamp(2).timeMs, 60);
    EXPECT_EQ(blockStamp(3).timeMs, 79);
}

TEST(BlockFill, ATempoChangeCountsFromTheRunAfterItsTick) {
    TickPlayer play(songAt(125));
    ASSERT_TRUE(play.loaded());
    play.song().tickFunction = slowingTick;
    tickTimes.clear();
    fillBlock(); // 882 frames, then the tick that sets 3445 frames, 2 of them mixed
    EXPECT_EQ(play.song().samplesUntilTick, 3443);
    EXPECT_EQ(play.song().bpm, 32);
}

// --- Stamps and time ---

TEST(BlockStamps, TimeAddsTheTruncatedMillisecondsOfEachRun) {
    // A run of n frames adds trunc(n * secondsPerFrame * 1000), which is
    // ceil(10n / 441) - 1 since secondsPerFrame is a hair below 1/44100:
    // 882 -> 19, 884 -> 20, 2 -> 0. At 125 BPM block k >= 1 (k < 441) has its
    // tick at offset 882 - 2k, splitting into runs 882 - 2k and 2k + 2:
    // 19 - floor(20k / 441) + floor(20(k + 1) / 441) ms. That is 19 up to
    // block 21 and 20 first in block 22 (20 * 23 = 460 >= 441).
    TickPlayer play(songAt(125));
    ASSERT_TRUE(play.loaded());
    for (int block = 0; block <= 22; ++block) {
        fillBlock();
        EXPECT_EQ(blockStamp(block).timeMs, block < 22 ? 19 * (block + 1) : 438)
            << "block " << block;
    }
}

TEST(BlockStamps, TheTwoThousandthBlockAt125BpmReads38086) {
    // Tick and block boundaries meet again every lcm(882, 884) = 389844
    // frames, 441 blocks. With the per-block rule above a cycle counts
    // 19 (block 0: 882 + 2 frames) + 19 * 440 + floor(20 * 441 / 441) - 1 = 8398,
    // the -1 for block 440, whose runs are 2 and 882 frames: 0 + 19, not 20.
    // 2000 blocks = 4 cycles + 236 blocks; those 236 count
    // 19 + 19 * 235 + floor(20 * 236 / 441) = 19 + 4465 + 10 = 4494.
    // 4 * 8398 + 4494 = 38086, of 1768000 frames (40.09 s).
    TickPlayer play(songAt(125));
    ASSERT_TRUE(play.loaded());
    play.song().tickFunction = countingTick;
    tickTimes.clear();
    int32_t previous = 0;
    for (int block = 0; block < 2000; ++block) {
        fillBlock();
        const int32_t stamp = blockStamp(block % 100).timeMs;
        ASSERT_TRUE(stamp - previous == 19 || stamp - previous == 20) << "block " << block;
        previous = stamp;
    }
    EXPECT_EQ(blockStamp(99).timeMs, 38086);
    EXPECT_EQ(play.song().timeMs, 38086);
    // Ticks at 0, 882, ... below 1768000: 2004 * 882 = 1767528, so 2005 of them,
    // and the next one 1768410 - 1768000 = 410 frames on.
    EXPECT_EQ(tickTimes.size(), 2005u);
    EXPECT_EQ(play.song().samplesUntilTick, 410);
    EXPECT_EQ(nextBlockToFill(), 0);
}

TEST(BlockStamps, StampsHoldThePositionReachedByTheEndOfTheBlock) {
    // Speed 1, three orders of two rows: tick m plays order (m / 2) mod 3,
    // row m mod 2; the last tick of block k is m = (884 (k + 1) - 1) / 882.
    XmSong xm = songAt(125, 1);
    xm.patterns = {blankPattern(2, 1), blankPattern(2, 1), blankPattern(2, 1)};
    xm.orders = {0, 1, 2};
    TickPlayer play(xm);
    ASSERT_TRUE(play.loaded());
    const int expected[4][2] = {{0, 1}, {1, 0}, {1, 1}, {2, 0}}; // m = 1, 2, 3, 4
    for (int block = 0; block < 4; ++block) {
        fillBlock();
        EXPECT_EQ(blockStamp(block).order, expected[block][0]) << "block " << block;
        EXPECT_EQ(blockStamp(block).row, expected[block][1]) << "block " << block;
    }
}

TEST(BlockStamps, OrderAndRowAreStampedModulo256) {
    TickPlayer play(songAt(125));
    ASSERT_TRUE(play.loaded());
    play.song().tickFunction = farTick;
    fillBlock();
    EXPECT_EQ(blockStamp(0).order, 1); // 257 - 256
    EXPECT_EQ(blockStamp(0).row, 44);  // 300 - 256
    EXPECT_EQ(blockStamp(0).timeMs, 19);
}

// --- The ring ---

TEST(BlockRing, HoldsTheRoundedMixOfTheBlock) {
    // One centred voice of a steady 32767 at volume 127: gains 63 and 63
    // (127 * 128 / 255, 127 * 127 / 255), 32767 * 63 / 255 = 8095.4 -> 8095,
    // reached after the 128-frame ramp. The key off on row 1 (frame 882)
    // ramps it down to silence over frames 882..1009.
    XmSong xm = songAt(125, 1);
    xm.instruments.push_back(steadyInstrument(32767, 128));
    xm.patterns[0].at(0, 0) = {49, 1};
    xm.patterns[0].at(1, 0) = {97};
    TickPlayer play(xm);
    ASSERT_TRUE(play.loaded());
    for (int block = 0; block < 3; ++block)
        fillBlock();
    const int16_t *ring = ringBlock(0); // blocks follow each other in the ring
    EXPECT_EQ(ring[0], 0);
    EXPECT_EQ(ring[1], 0);
    for (int frame = 128; frame < 882; ++frame) {
        ASSERT_EQ(ring[2 * frame], 8095) << "frame " << frame;
        ASSERT_EQ(ring[2 * frame + 1], 8095) << "frame " << frame;
    }
    for (int frame = 1010; frame < 3 * 884; ++frame) {
        ASSERT_EQ(ring[2 * frame], 0) << "frame " << frame;
        ASSERT_EQ(ring[2 * frame + 1], 0) << "frame " << frame;
    }
}

TEST(BlockRing, ClipsTheSumOfVoicesToSixteenBits) {
    // Three voices of 32767 panned hard left and three of -32768 hard right,
    // each at gain 127: 3 * 32767 * 127 / 255 = 48958 and -48960, clipped.
    XmSong xm = songAt(125, 6, 6);
    xm.instruments.push_back(steadyInstrument(32767, 255));
    xm.instruments.push_back(steadyInstrument(-32768, 0));
    for (int c = 0; c < 6; ++c)
        xm.patterns[0].at(0, c) = {49, static_cast<uint8_t>(c < 3 ? 1 : 2)};
    TickPlayer play(xm);
    ASSERT_TRUE(play.loaded());
    fillBlock();
    fillBlock();
    for (int frame = 0; frame < 884; ++frame) {
        ASSERT_EQ(ringBlock(1)[2 * frame], 32767) << "frame " << frame;
        ASSERT_EQ(ringBlock(1)[2 * frame + 1], -32768) << "frame " << frame;
    }
}

// --- Starting ---

TEST(BlockPlayback, BeginPlaybackResetsTheSongVoicesAndChannelsEveryTime) {
    XmSong xm = songAt(125, 3, 2);
    xm.instruments.push_back(steadyInstrument(1000, 128));
    xm.patterns[0].at(0, 0) = {49, 1};
    xm.patterns[0].at(5, 1) = {61, 1};
    TickPlayer play(xm);
    ASSERT_TRUE(play.loaded());
    Song &song = play.song();
    for (int block = 0; block < 30; ++block)
        fillBlock();
    // As effects would have left it.
    song.globalVolume = 10;
    song.speed = 9;
    song.patternDelayTicks = 2;
    setBpm(&song, 60);
    ASSERT_GT(song.row, 0);
    ASSERT_NE(voices[1].sample, nullptr);

    ASSERT_TRUE(beginPlayback(&song));
    EXPECT_EQ(song.order, 0);
    EXPECT_EQ(song.row, 0);
    EXPECT_EQ(song.tick, 0);
    EXPECT_EQ(song.timeMs, 0);
    EXPECT_EQ(song.samplesUntilTick, 0);
    EXPECT_EQ(song.nextRow, -1);
    EXPECT_EQ(song.nextOrder, -1);
    EXPECT_EQ(song.patternDelayTicks, 0);
    EXPECT_EQ(song.speed, 3);
    EXPECT_EQ(song.bpm, 125);
    EXPECT_EQ(song.samplesPerTick, 882);
    EXPECT_EQ(song.globalVolume, 64);
    EXPECT_EQ(nextBlockToFill(), 0);
    for (int v = 0; v < voiceCount; ++v) {
        EXPECT_EQ(voices[v].index, v);
        EXPECT_EQ(voices[v].sample, nullptr);
        EXPECT_EQ(voices[v].speedInteger, 1u);
    }
    for (int c = 0; c < 2; ++c) {
        EXPECT_EQ(channels[c].voice, &voices[c]);
        EXPECT_EQ(channels[c].period, 0);
        EXPECT_EQ(channels[c].fadeoutVolume, 0);
    }
    // And the song starts over: block 0 stamps order 0, row 0, 19 ms again.
    fillBlock();
    EXPECT_EQ(blockStamp(0).order, 0);
    EXPECT_EQ(blockStamp(0).row, 0);
    EXPECT_EQ(blockStamp(0).timeMs, 19);
}

} // namespace
