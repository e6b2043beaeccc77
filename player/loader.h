#pragma once

// Reading an XM song file into the song tree. The loader trusts nothing in
// the file: it rejects what the player cannot represent, repairs what
// trackers commonly leave behind, and never reads or allocates beyond what
// the file can supply.

#include "player/player.h"
#include "player/songfile.h"

// Fills song from file; false when the file is rejected. On false the song
// may be partly built and the caller releases it.
bool loadXm(Song *song, SongFile *file);

// Releases a song tree without touching playback (the song is not playing).
void releaseSong(Song *song);

// Limits of what the player represents.
const int maxChannels = 32;
const int maxSongLength = 256;
const int maxRows = 256;
const int maxPatterns = 256;
const int maxInstruments = 128;
const int maxSamplesPerInstrument = 16;
const int maxEnvelopePoints = 12;
const int maxEnvelopeValue = 64;
// Older files store instruments before patterns, which this loader does not read.
const uint16_t oldestFormatVersion = 0x0104;
