#pragma once

// The module player's public face: the song tree that the loader builds and
// the operations the application calls. One output, one output thread and
// one playing song exist at a time, so the player's own state is process-wide.

#include <cstdint>

struct Song;

// Song-file access: the player never touches the file system itself.
using FileOpenFunction = void *(*)(const char *name);
using FileCloseFunction = void (*)(void *handle);
using FileReadFunction = int (*)(void *buffer, int count, void *handle);
using FileSeekFunction = void (*)(void *handle, int offset, int origin);
using FileTellFunction = int (*)(void *handle);

struct SongFileCallbacks {
    FileOpenFunction fileOpen;
    FileCloseFunction fileClose;
    FileReadFunction fileRead;
    FileSeekFunction fileSeek;
    FileTellFunction fileTell;
};

// Writes byteCount bytes of absolute sample values of the given width into
// buffer, in place of the sample data stored in the file.
using SampleLoader = void (*)(uint8_t *buffer, int byteCount, int bitsPerSample,
                              int instrumentIndex, int sampleIndex);

using TickFunction = void (*)(Song *song);

struct PatternCell {
    uint8_t note;       // 0 none, 1..96 semitones, 255 key off
    uint8_t instrument; // 0 none, 1..128
    uint8_t volumeColumn;
    uint8_t effect;
    uint8_t effectParam;
};
static_assert(sizeof(PatternCell) == 5, "pattern cells are stored back to back as 5 bytes");

struct Pattern {
    int32_t rowCount;
    PatternCell *cells; // rowCount x channelCount, row after row
};

struct EnvelopePoint {
    uint16_t tick;
    uint16_t value;
};

enum EnvelopeTypeBits : uint8_t {
    envelopeOn = 1,
    envelopeSustain = 2,
    envelopeLoop = 4,
};

struct Sample {
    int16_t *data; // length + 8 values; null when length is 0
    uint32_t length;
    uint32_t loopStart;
    uint32_t loopLength;
    uint8_t volume;
    int8_t finetune;
    int32_t panning;
    uint8_t bitsPerSample;
    uint8_t loopType; // 1 no loop, 2 forward, 4 ping-pong
    int8_t relativeNote;
};

enum LoopType : uint8_t {
    loopNone = 1,
    loopForward = 2,
    loopPingPong = 4,
};

struct Instrument {
    int32_t sampleCount;
    Sample *samples[16]; // slots from sampleCount on point at emptySample
    uint8_t sampleMap[96];
    EnvelopePoint volumePoints[20];
    EnvelopePoint panningPoints[20];
    uint8_t volumePointCount;
    uint8_t panningPointCount;
    uint8_t volumeSustain;
    uint8_t volumeLoopStart;
    uint8_t volumeLoopEnd;
    uint8_t panningSustain;
    uint8_t panningLoopStart;
    uint8_t panningLoopEnd;
    uint8_t volumeType;
    uint8_t panningType;
    uint8_t vibratoType;
    uint8_t vibratoSweep;
    uint8_t vibratoDepth;
    uint8_t vibratoRate;
    uint16_t fadeout; // per tick after key off: twice the file's value
};

struct Song {
    Pattern *patterns;
    Instrument *instruments;
    int32_t samplesUntilTick;
    int32_t samplesPerTick;
    int16_t songLength;
    int16_t restartPosition;
    int16_t channelCount;
    int32_t usedPatternCount;
    int32_t patternSlotCount;
    int16_t instrumentCount;
    uint16_t flags; // bit 0: linear frequency table
    int16_t defaultSpeed;
    int16_t defaultBpm;
    uint8_t orderTable[256];
    uint8_t initialGlobalVolume;

    // Playback state, reset by playSong and advanced by the output thread.
    int32_t globalVolume;
    uint8_t globalVolumeSlideMemory;
    int32_t tick;
    int32_t speed;
    int32_t bpm;
    int32_t row;
    int32_t order;
    int32_t patternDelayTicks;
    int32_t nextRow;   // -1: not chosen yet
    int32_t nextOrder; // -1: not chosen yet
    int32_t timeMs;

    TickFunction tickFunction;
    SampleLoader sampleLoader;
};

enum SongFlagBits : uint16_t {
    linearFrequencyTable = 1,
};

struct PositionStamp {
    uint8_t order;
    uint8_t row;
    int32_t timeMs;
};

// Shared records for instrument numbers and sample slots that hold nothing.
extern Instrument emptyInstrument;
extern Sample emptySample;

// Installs the five functions if all are given; clears all five otherwise.
void setFileCallbacks(FileOpenFunction fileOpen, FileCloseFunction fileClose,
                      FileReadFunction fileRead, FileSeekFunction fileSeek,
                      FileTellFunction fileTell);

// Loads an XM song through the installed song-file functions; null when
// the file can't be opened or is rejected, with nothing left allocated.
// sampleLoader, when given, supplies the sample data in place of the file.
Song *loadSong(const char *name, SampleLoader sampleLoader);

// Starts the song from its beginning on the audio device: false for null,
// when the song-file functions are not installed, or when the device can't
// be opened (then nothing plays).
bool playSong(Song *song);

// False for null. Otherwise stops whatever plays, releases the song's tree and
// the song, and returns true.
bool freeSong(Song *song);

// False for null. Otherwise stops whatever plays, whichever song is passed.
bool stopSong(Song *song);

// Holds the music where it is, position and all, or lets it play on; false
// when the song is not the one playing.
bool pauseSong(Song *song, bool paused);

// Plays on from the first row of the order at once, as if the song started
// there (the channels afresh) with the tempo, speed and global volume it has
// reached, and its time going on from the time heard. The two seconds queued
// are mixed again on the caller's thread. False when the song is not the one
// playing or the order is not one of its orders.
bool jumpToOrder(Song *song, int order);

// Mixes every block the device has finished playing since the last call, or
// nothing while nothing plays. The output thread calls it every 5 ms; where
// there are no threads (a web page), the caller's main loop and a timer do.
void mixPendingBlocks();

// The audible position: the stamp of the block the device is playing, or 0
// for a null song and while nothing plays.
int getOrder(Song *song);
int getRow(Song *song);
int getTime(Song *song);

// Frames the device has played of the song since playSong, across jumps and
// without the time held; 0 when the song is not the one playing.
int64_t getFramesHeard(Song *song);

// The music heard has come back to an order it already played since the
// song started or last jumped: where the song loops.
bool hasLooped(Song *song);
