// The host's time map: ticks and seconds through tempo changes, beats and measures through
// time signatures.
#include <gtest/gtest.h>

#include <cmath>

#include "songfile/smf.h"
#include "songfile/smf_writer.h"
#include "host/tempo_map.h"

namespace {

TempoMap map_of(const SmfWriter& w) {
    const std::vector<uint8_t> bytes = w.bytes();
    SmfFile f;
    std::string error;
    EXPECT_TRUE(smf_parse(bytes.data(), bytes.size(), &f, &error)) << error;
    return tempo_map_from(f);
}

TEST(TempoMap, SecondsFollowEveryTempoChange) {
    SmfWriter w;
    SmfWriterTrack& t = w.add_track();
    t.tempo_bpm(0, 120.0);
    t.tempo_bpm(960, 60.0);
    t.tempo_bpm(960, 30.0);  // the later of two at one tick holds
    t.tempo_bpm(1920, 240.0);
    const TempoMap m = map_of(w);

    const double ticks[] = {0, 480, 960, 1440, 1920, 2400, -480};
    const double seconds[] = {0.0, 0.5, 1.0, 3.0, 5.0, 5.25, -0.5};
    for (int i = 0; i < 7; ++i) {
        SCOPED_TRACE(ticks[i]);
        EXPECT_DOUBLE_EQ(tempo_ticks_to_seconds(m, ticks[i]), seconds[i]);
        EXPECT_DOUBLE_EQ(tempo_seconds_to_ticks(m, seconds[i]), ticks[i]);
        EXPECT_DOUBLE_EQ(tempo_seconds_to_quarters(m, seconds[i]), ticks[i] / 480);
    }
    for (double q = -2.0; q < 12.0; q += 0.37)
        EXPECT_NEAR(tempo_seconds_to_quarters(m, tempo_quarters_to_seconds(m, q)), q, 1e-9);
}

TEST(TempoMap, BeatsAndMeasuresFollowTheTimeSignatures) {
    SmfWriter w;
    SmfWriterTrack& t = w.add_track();
    t.tempo_bpm(0, 120.0);
    t.time_signature(0, 4, 4);
    t.time_signature(8 * 480, 7, 8);   // two measures of 4/4, then eighths
    t.time_signature(15 * 480, 4, 4);  // after two measures of 7/8
    t.time_signature(17 * 480, 3, 4);  // in the middle of a 4/4 measure: it is cut short
    const TempoMap m = map_of(w);

    struct Case {
        double quarters;
        int measure, per_measure, denominator;
        double beat, full;
    };
    const Case cases[] = {
        {0.0, 0, 4, 4, 0.0, 0.0},    {5.5, 1, 4, 4, 1.5, 5.5},
        {8.0, 2, 7, 8, 0.0, 8.0},    {9.5, 2, 7, 8, 3.0, 11.0},
        {11.5, 3, 7, 8, 0.0, 15.0},  {14.75, 3, 7, 8, 6.5, 21.5},
        {15.0, 4, 4, 4, 0.0, 22.0},  {16.5, 4, 4, 4, 1.5, 23.5},
        {17.0, 5, 3, 4, 0.0, 24.0},  {21.5, 6, 3, 4, 1.5, 28.5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.quarters);
        const double seconds = c.quarters * 0.5;
        int measure = -1, per_measure = -1, denominator = -1;
        double full = -1;
        const double beat =
            tempo_time_to_beats(m, seconds, &measure, &per_measure, &full, &denominator);
        EXPECT_DOUBLE_EQ(beat, c.beat);
        EXPECT_EQ(measure, c.measure);
        EXPECT_EQ(per_measure, c.per_measure);
        EXPECT_EQ(denominator, c.denominator);
        EXPECT_DOUBLE_EQ(full, c.full);
        EXPECT_DOUBLE_EQ(tempo_beats_to_time(m, c.full, nullptr), seconds);
        const int at = c.measure;
        EXPECT_DOUBLE_EQ(tempo_beats_to_time(m, c.beat, &at), seconds);
    }
}

// The plug-in turns beats into samples and back and compares the result with whole and
// half beats; a round trip through samples must land exactly on them.
TEST(TempoMap, HalfBeatsSurviveARoundTripThroughSamples) {
    SmfWriter w;
    SmfWriterTrack& t = w.add_track();
    t.tempo_bpm(0, 180.0);
    t.tempo_bpm(4800, 173.0);
    t.time_signature(0, 4, 4);
    t.time_signature(9600, 7, 8);
    const TempoMap m = map_of(w);
    for (int k = 0; k < 800; ++k) {
        const double f = 0.5 * k;
        const double x = tempo_beats_to_time(m, f, nullptr) * 44100.0;
        double full = -1;
        int per = 0;
        const double beat = tempo_time_to_beats(m, x / 44100.0, nullptr, &per, &full, nullptr);
        ASSERT_EQ(full, f) << k;
        ASSERT_EQ(beat * 2, std::floor(beat * 2)) << k;
    }
}

TEST(TempoMap, WithoutTempoOrSignatureIts120Bpm44) {
    SmfWriter w;
    w.add_track().note(0, 10, 60);
    for (const TempoMap& m : {map_of(w), tempo_map_default()}) {
        EXPECT_DOUBLE_EQ(tempo_seconds_to_quarters(m, 1.5), 3.0);
        int measure = 0, per = 0;
        double full = 0;
        EXPECT_DOUBLE_EQ(tempo_time_to_beats(m, 2.75, &measure, &per, &full, nullptr), 1.5);
        EXPECT_EQ(measure, 1);
        EXPECT_EQ(per, 4);
        EXPECT_DOUBLE_EQ(full, 5.5);
    }
}

}  // namespace
