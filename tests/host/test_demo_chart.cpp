// The demo chart written at build time holds everything the chart model reads, densely
// enough to be a realistic load.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "songfile/smf.h"
#include "host/tempo_map.h"

namespace {

// Lanes in use per difficulty, Easy to Expert.
constexpr int kLanes[4] = {3, 4, 5, 5};

struct Note {
    int64_t tick, length;
    int pitch;
};

// Note-ons paired with their note-offs, per track.
std::vector<Note> notes_of(const SmfTrack& t) {
    std::vector<Note> out;
    std::map<int, size_t> open;
    for (const SmfEvent& e : t.events) {
        const uint8_t* m = t.message(e);
        if (e.size != 3) continue;
        const int s = m[0] & 0xF0;
        if (s == 0x90 && m[2] > 0) {
            open[m[1]] = out.size();
            out.push_back({e.tick, -1, m[1]});
        } else if ((s == 0x80 || s == 0x90) && open.count(m[1])) {
            out[open[m[1]]].length = e.tick - out[open[m[1]]].tick;
            open.erase(m[1]);
        }
    }
    return out;
}

std::vector<std::string> texts_of(const SmfTrack& t) {
    std::vector<std::string> out;
    for (const SmfEvent& e : t.events) {
        const uint8_t* m = t.message(e);
        if (e.size > 3 && m[0] == 0xFF && m[1] == 0x01)
            out.emplace_back(reinterpret_cast<const char*>(m) + 3, e.size - 3);
    }
    return out;
}

class DemoChart : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(smf_load(TIVER_BINARY_DIR "/demo/demo_chart.mid", &file, &error)) << error;
    }
    SmfFile file;
};

TEST_F(DemoChart, HasATempoMapWithChangesAndAnOddMeter) {
    ASSERT_EQ(file.tracks.size(), 5u);
    EXPECT_EQ(file.tracks[1].name, "PART GUITAR");
    EXPECT_EQ(file.tracks[2].name, "PART DRUMS");
    EXPECT_EQ(file.tracks[3].name, "PART KEYS");
    EXPECT_EQ(file.tracks[4].name, "EVENTS");
    EXPECT_GT(texts_of(file.tracks[4]).size(), 5u) << "sections";
    std::set<uint32_t> tempos;
    for (const SmfTempo& t : file.tempos) tempos.insert(t.us_per_quarter);
    EXPECT_GE(tempos.size(), 4u);
    bool odd = false;
    for (const SmfTimeSignature& s : file.signatures) odd |= s.numerator == 7 && s.denominator == 8;
    EXPECT_TRUE(odd);
    const TempoMap map = tempo_map_from(file);
    const double seconds = tempo_ticks_to_seconds(map, double(file.tracks[1].events.back().tick));
    EXPECT_GT(seconds, 60.0);
    EXPECT_LT(seconds, 150.0);
}

TEST_F(DemoChart, GuitarHasEveryDifficultyChordsSustainsHoposAndPhrases) {
    const SmfTrack& t = file.tracks[1];
    const std::vector<Note> notes = notes_of(t);
    std::map<int, int> per_pitch;
    for (const Note& n : notes) {
        ASSERT_GT(n.length, 0) << "every note ends";
        ++per_pitch[n.pitch];
    }
    for (int d = 0; d < 4; ++d) {
        SCOPED_TRACE(d);
        const int base = 60 + 12 * d;
        for (int lane = 0; lane < 5; ++lane)  // Easy keeps to three lanes, Medium to four
            EXPECT_EQ(per_pitch[base + lane] > 0, lane < kLanes[d]) << lane;
        EXPECT_GT(per_pitch[base + 5], 0) << "forced HOPO phrases";
        EXPECT_GT(per_pitch[base + 6], 0) << "forced strum phrases";
    }
    EXPECT_GT(per_pitch[116], 0);

    int expert = 0, chords = 0, short_tails = 0, kept_tails = 0, long_tails = 0, hopos = 0;
    int64_t last_tick = -1000;
    int last_pitch = -1;
    for (const Note& n : notes) {
        if (n.pitch < 96 || n.pitch > 100) continue;
        ++expert;
        if (n.tick == last_tick) ++chords;
        if (n.tick != last_tick && n.tick - last_tick < 170 && n.pitch != last_pitch) ++hopos;
        short_tails += n.length * 10 < 3 * 480;
        kept_tails += n.length * 10 >= 3 * 480 && n.length < 480;
        long_tails += n.length >= 480;
        last_tick = n.tick;
        last_pitch = n.pitch;
    }
    EXPECT_GT(chords, 20);
    EXPECT_GT(short_tails, 100);
    EXPECT_GT(kept_tails, 10);
    EXPECT_GT(long_tails, 10);
    EXPECT_GT(hopos, 100);
    const double quarters = double(t.events.back().tick) / file.division;
    EXPECT_GT(expert / quarters, 2.0) << "several gems per beat at Expert";

    int cc123 = 0;
    for (const SmfEvent& e : t.events)
        cc123 += e.size == 3 && (t.message(e)[0] & 0xF0) == 0xB0 && t.message(e)[1] == 123;
    EXPECT_EQ(cc123, 1);
}

// The features of today's charts, so that the demo shows each of them.
TEST_F(DemoChart, HoldsOpensTapsSolosLanesFillsAndExpertPlusKicks) {
    const SmfTrack& guitar = file.tracks[1];
    std::map<int, int> per_pitch;
    for (const Note& n : notes_of(guitar)) ++per_pitch[n.pitch];
    const std::vector<std::string> texts = texts_of(guitar);
    EXPECT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0], "[ENHANCED_OPENS]");
    EXPECT_EQ(guitar.events[1].tick, 0);
    for (int open : {59, 71, 83, 95}) EXPECT_GT(per_pitch[open], 4) << open;
    for (int p : {103, 104, 126}) EXPECT_GT(per_pitch[p], 0) << p;
    int tap_sysex = 0;
    for (const SmfEvent& e : guitar.events) {
        const uint8_t* m = guitar.message(e);
        if (e.size == 9 && m[0] == 0xF0 && m[1] == 0x50 && m[2] == 0x53 && m[5] == 0xFF && m[6] == 0x04)
            ++tap_sysex;
    }
    EXPECT_EQ(tap_sysex, 2) << "one phrase's start and end";

    std::map<int, int> drums;
    for (const Note& n : notes_of(file.tracks[2])) ++drums[n.pitch];
    EXPECT_GT(drums[95], 10);
    for (int p = 120; p <= 124; ++p) EXPECT_EQ(drums[p], 3) << p;
    EXPECT_GT(drums[103], 0);
    EXPECT_GT(drums[126], 0);
    for (int p : {59, 71, 83}) EXPECT_EQ(drums[p], 0) << p;
}

TEST_F(DemoChart, DrumsHaveTomPhrasesAndBracketedMixAndDrumsTexts) {
    const SmfTrack& t = file.tracks[2];
    std::map<int, int> per_pitch;
    for (const Note& n : notes_of(t)) ++per_pitch[n.pitch];
    for (int p : {110, 111, 112}) EXPECT_GT(per_pitch[p], 0);
    for (int d = 0; d < 4; ++d)  // Easy: kick, snare and hi-hat
        for (int lane = 0; lane < 5; ++lane)
            EXPECT_EQ(per_pitch[60 + 12 * d + lane] > 0, d > 0 || lane < 3) << d << lane;

    const std::vector<std::string> texts = texts_of(t);
    const std::set<std::string> all(texts.begin(), texts.end());
    for (char d : {'0', '1', '2', '3'}) {
        SCOPED_TRACE(d);
        EXPECT_TRUE(all.count(std::string("[mix ") + d + " drums0]"));
        EXPECT_TRUE(all.count(std::string("[mix ") + d + " drums0d]"));
        bool drums_text = false;
        for (const std::string& s : texts) drums_text |= s.rfind(std::string("[drums") + d, 0) == 0;
        EXPECT_TRUE(drums_text);
    }
}

TEST_F(DemoChart, KeysHaveEveryDifficulty) {
    std::map<int, int> per_pitch;
    for (const Note& n : notes_of(file.tracks[3])) ++per_pitch[n.pitch];
    for (int d = 0; d < 4; ++d)
        for (int lane = 0; lane < 5; ++lane)
            EXPECT_EQ(per_pitch[60 + 12 * d + lane] > 0, lane < kLanes[d]) << d << lane;
    EXPECT_GT(per_pitch[116], 0);
}

}  // namespace
