#include "player/volume_column.h"

#include "player/effects.h"

#include <algorithm>

namespace {

// The volume column's panning slides have no limit of their own.
void slidePan(MusicChannel &channel, int32_t amount) {
    channel.channelPan = std::clamp(channel.channelPan + amount, -panLimit, panLimit);
    channel.updateFlags |= updatePanning;
}

} // namespace

void applyVolumeColumn(MusicChannel &channel, uint8_t volumeColumn) {
    const uint8_t y = volumeColumn & 0x0f;
    if (volumeColumn >= 0x10 && volumeColumn <= 0x50) {
        channel.channelVolume = volumeColumn - 16;
        channel.updateFlags |= updateVolume;
        return;
    }
    switch (volumeColumn >> 4) {
    case 0x6:
    case 0x8:
        volumeDown(channel, y);
        break;
    case 0x7:
    case 0x9:
        volumeUp(channel, y);
        break;
    case 0xa:
        channel.vibSpeed = y;
        break;
    case 0xb:
        channel.vibDepth = y; // the vibrato itself starts on the next tick
        break;
    case 0xc:
        channel.channelPan = 16 * y;
        channel.updateFlags |= updatePanning;
        break;
    case 0xd:
        slidePan(channel, -y);
        break;
    case 0xe:
        slidePan(channel, y);
        break;
    case 0xf:
        if (y != 0)
            channel.portaSpeed = static_cast<uint8_t>(16 * y);
        channel.portaTarget = channel.notePeriod;
        channel.updateFlags &= static_cast<uint8_t>(~updateStart);
        break;
    }
}

void volumeColumnTick(MusicChannel &channel, uint8_t volumeColumn) {
    const uint8_t y = volumeColumn & 0x0f;
    switch (volumeColumn >> 4) {
    case 0x6:
        volumeDown(channel, y);
        break;
    case 0x7:
        volumeUp(channel, y);
        break;
    case 0xb:
        channel.vibDepth = y;
        vibratoStep(channel);
        advanceVibratoPhase(channel);
        break;
    case 0xd:
        slidePan(channel, -y);
        break;
    case 0xe:
        slidePan(channel, y);
        break;
    case 0xf:
        tonePortaStep(channel);
        break;
    }
}
