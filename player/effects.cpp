#include "player/effects.h"

bool holdsTonePortamento(const PatternCell &cell) {
    return cell.effect == 3 || cell.effect == 5 || cell.volumeColumn >= 0xf0;
}

void applyVolumeColumn(MusicChannel &, uint8_t) {}
void volumeColumnTick(MusicChannel &, uint8_t) {}
void effectFirstTick(ChannelRow &, RowPassState &, const ChannelSnapshot &) {}
void effectLaterTick(ChannelRow &) {}
