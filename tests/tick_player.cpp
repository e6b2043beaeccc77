#include "tick_player.h"

#include "player/blockfill.h"
#include "song_bytes.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

TickPlayer::TickPlayer(const XmSong &xm) {
    songRecord = loadSongBytes(buildXm(xm));
    if (songRecord && !beginPlayback(songRecord)) {
        freeSong(songRecord);
        songRecord = nullptr;
    }
}

TickPlayer::~TickPlayer() {
    if (songRecord)
        freeSong(songRecord); // also ends playback
}

void TickPlayer::tick(int count) {
    for (int i = 0; i < count; ++i)
        sequencerTick(songRecord);
}

namespace {

using Read = int64_t (*)(TickPlayer &, int);

// clang-format off
#define CHANNEL(name, field) {name, [](TickPlayer &p, int c) -> int64_t { return p.channel(c).field; }}
#define VOICE(name, field) {name, [](TickPlayer &p, int c) -> int64_t { return p.voice(c).field; }}
#define SONG(name, field) {name, [](TickPlayer &p, int) -> int64_t { return p.song().field; }}
const std::map<std::string, Read> readers = {
    CHANNEL("period", period), CHANNEL("pd", periodDelta), CHANNEL("vol", channelVolume),
    CHANNEL("vd", volumeDelta), CHANNEL("pan", channelPan), CHANNEL("np", notePeriod),
    CHANNEL("pn", pitchNote), CHANNEL("ni", noteIndex), CHANNEL("ins", instrumentIndex),
    CHANNEL("target", portaTarget), CHANNEL("vflag", updateFlags >> 1 & 1), CHANNEL("pflag", updateFlags >> 2 & 1),
    CHANNEL("start", updateFlags >> 3 & 1), CHANNEL("keyoff", keyOff), CHANNEL("env", volEnvValue),
    CHANNEL("envtick", volEnvTick), CHANNEL("envpoint", volEnvPoint), CHANNEL("envdone", volEnvDone),
    CHANNEL("penv", panEnvValue), CHANNEL("penvtick", panEnvTick),
    CHANNEL("penvdone", panEnvDone), CHANNEL("fade", fadeoutVolume),
    CHANNEL("vibspeed", vibSpeed), CHANNEL("vibdepth", vibDepth), CHANNEL("tremspeed", tremSpeed),
    CHANNEL("tremdepth", tremDepth), CHANNEL("wave", waveControl), CHANNEL("last", lastEffect),
    VOICE("freq", frequency), VOICE("vvol", volume), VOICE("vpan", pan), VOICE("pos", position),
    VOICE("vidx", index), VOICE("left", volumeLeft), VOICE("right", volumeRight),
    VOICE("playing", sample != nullptr), VOICE("step", speedInteger), VOICE("frac", speedFraction),
    VOICE("ramp", rampRemaining), SONG("order", order), SONG("row", row), SONG("tick", tick),
    SONG("speed", speed), SONG("bpm", bpm), SONG("spt", samplesPerTick), SONG("gvol", globalVolume),
    SONG("nrow", nextRow), SONG("norder", nextOrder), SONG("delay", patternDelayTicks),
    SONG("ft", instruments[0].samples[0]->finetune),
    {"smp", [](TickPlayer &p, int c) -> int64_t { // the instrument whose sample plays
        for (int i = 0; i < p.song().instrumentCount; ++i)
            if (p.voice(c).sample == p.sample(i))
                return i + 1;
        return 0;
    }},
};
// clang-format on

// "3 2*0 -1 4..6 2..1" as 3, 0, 0, -1, 4, 5, 6, 2, 1.
std::vector<int64_t> valuesOf(const std::string &text) {
    std::vector<int64_t> values;
    std::istringstream words(text);
    for (std::string word; words >> word;) {
        const size_t star = word.find('*'), dots = word.find("..");
        if (dots != std::string::npos)
            for (int64_t v = std::stoll(word), last = std::stoll(word.substr(dots + 2));;
                 v += v < last ? 1 : -1) {
                values.push_back(v);
                if (v == last)
                    break;
            }
        else
            values.insert(values.end(), star == std::string::npos ? 1 : std::stoi(word),
                          std::stoll(word.substr(star + 1)));
    }
    return values;
}

} // namespace

void expectTraces(const std::vector<Trace> &traces) {
    for (const Trace &trace : traces) {
        SCOPED_TRACE(testing::Message() << "\"" << trace.song << "\" reading " << trace.reads);
        XmSong xm = xmSong(trace.song);
        if (trace.change)
            trace.change(xm);
        TickPlayer player(xm);
        ASSERT_TRUE(player.loaded());
        player.tick(trace.skip);
        if (trace.poke)
            trace.poke(player);
        std::vector<std::pair<Read, int>> reads;
        std::istringstream names(trace.reads);
        for (std::string name; names >> name;) {
            const size_t digit = name.find_first_of("0123456789");
            const auto reader = readers.find(name.substr(0, digit));
            ASSERT_NE(reader, readers.end()) << name;
            reads.push_back(
                {reader->second, digit == std::string::npos ? 0 : std::stoi(name.substr(digit))});
        }
        // A reading's list may be shorter than the first: it covers the first ticks.
        std::vector<std::vector<int64_t>> expected, actual(reads.size());
        for (const std::string &list : splitText(trace.values, '/'))
            expected.push_back(valuesOf(list));
        ASSERT_EQ(expected.size(), reads.size());
        for (size_t t = 0; t < expected[0].size(); ++t) {
            player.tick();
            for (size_t r = 0; r < reads.size(); ++r)
                if (t < expected[r].size())
                    actual[r].push_back(reads[r].first(player, reads[r].second));
        }
        EXPECT_EQ(actual, expected);
    }
}
