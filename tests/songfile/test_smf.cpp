// The Standard MIDI File reader: what it keeps of a file, and clear errors (never a
// crash or an endless loop) for malformed and truncated input.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "songfile/smf.h"
#include "songfile/smf_writer.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes message(const SmfTrack& t, const SmfEvent& e) {
    return Bytes(t.message(e), t.message(e) + e.size);
}

// A file of one track chunk holding `body` (no end-of-track added).
Bytes one_track(const Bytes& body, int format = 1, int tracks = 1, int division = 480) {
    Bytes b{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, static_cast<uint8_t>(format), 0,
            static_cast<uint8_t>(tracks), static_cast<uint8_t>(division >> 8),
            static_cast<uint8_t>(division), 'M', 'T', 'r', 'k',
            static_cast<uint8_t>(body.size() >> 24), static_cast<uint8_t>(body.size() >> 16),
            static_cast<uint8_t>(body.size() >> 8), static_cast<uint8_t>(body.size())};
    b.insert(b.end(), body.begin(), body.end());
    return b;
}

Bytes demo_chart() {
    FILE* f = std::fopen(TIVER_BINARY_DIR "/demo/demo_chart.mid", "rb");
    if (!f) return {};
    Bytes b;
    int c;
    while ((c = std::fgetc(f)) != EOF) b.push_back(static_cast<uint8_t>(c));
    std::fclose(f);
    return b;
}

TEST(Smf, KeepsChannelMetaAndSysexEventsInFileOrder) {
    SmfWriter w;
    w.division = 96;
    SmfWriterTrack& t0 = w.add_track();
    t0.name("tempo");
    t0.tempo_bpm(0, 150.0);
    t0.time_signature(384, 3, 4);
    SmfWriterTrack& t1 = w.add_track();
    t1.name("PART GUITAR");
    t1.note_on(0, 96);
    t1.note_on(0, 97);                       // written with running status
    t1.text(10, "[mix 3 drums0d]");
    t1.note_off(20, 96);
    t1.raw(30, {0xF0, 0x03, 0x43, 0x12, 0xF7});
    t1.raw(40, {0xC0, 0x05});                // program change: one data byte
    t1.controller(50, 123, 0);
    t1.meta(60, 0x7F, "seq");
    t1.meta(60, 0x03, "second name");
    const Bytes bytes = w.bytes();

    SmfFile f;
    std::string error;
    ASSERT_TRUE(smf_parse(bytes.data(), bytes.size(), &f, &error)) << error;
    EXPECT_EQ(f.format, 1);
    EXPECT_EQ(f.division, 96);
    ASSERT_EQ(f.tracks.size(), 2u);
    EXPECT_EQ(f.tracks[0].name, "tempo");
    EXPECT_EQ(f.tracks[1].name, "PART GUITAR");
    ASSERT_EQ(f.tempos.size(), 1u);
    EXPECT_EQ(f.tempos[0].us_per_quarter, 400000u);
    ASSERT_EQ(f.signatures.size(), 1u);
    EXPECT_EQ(f.signatures[0].tick, 384);
    EXPECT_EQ(f.signatures[0].numerator, 3);
    EXPECT_EQ(f.signatures[0].denominator, 4);

    const SmfTrack& t = f.tracks[1];
    const std::string mix = "[mix 3 drums0d]";
    Bytes text{0xFF, 0x01, static_cast<uint8_t>(mix.size())};
    text.insert(text.end(), mix.begin(), mix.end());
    const std::vector<std::pair<int64_t, Bytes>> expected = {
        {0, {0xFF, 0x03, 11, 'P', 'A', 'R', 'T', ' ', 'G', 'U', 'I', 'T', 'A', 'R'}},
        {0, {0x90, 96, 100}},
        {0, {0x90, 97, 100}},
        {10, text},
        {20, {0x80, 96, 64}},
        {30, {0xF0, 0x43, 0x12, 0xF7}},  // as a host hands it over: no length byte
        {40, {0xC0, 0x05}},
        {50, {0xB0, 123, 0}},
        {60, {0xFF, 0x7F, 3, 's', 'e', 'q'}},
        {60, {0xFF, 0x03, 11, 's', 'e', 'c', 'o', 'n', 'd', ' ', 'n', 'a', 'm', 'e'}},
    };
    ASSERT_EQ(t.events.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(t.events[i].tick, expected[i].first);
        EXPECT_EQ(message(t, t.events[i]), expected[i].second);
    }
}

TEST(Smf, ReadsFormat0WithRunningStatusUnknownChunksAndLongTexts) {
    const std::string long_text(200, 'x');
    Bytes body{0x00, 0x90, 60, 100,  // note-on
               0x10, 62, 100,        // running status
               0x00, 0xFF, 0x01, 0x81, 0x48};  // text of 200 bytes: two-byte length
    body.insert(body.end(), long_text.begin(), long_text.end());
    body.insert(body.end(), {0x08, 60, 0,  // running status survives the meta event
                             0x00, 0xFF, 0x2F, 0x00,
                             0x00, 0x90, 1, 1});  // after the end of track: ignored
    Bytes file = one_track(body, 0);
    // An unknown chunk between header and track is skipped.
    file.insert(file.begin() + 14, {'X', 'Y', 'Z', 'W', 0, 0, 0, 2, 0xAA, 0xBB});

    SmfFile f;
    std::string error;
    ASSERT_TRUE(smf_parse(file.data(), file.size(), &f, &error)) << error;
    EXPECT_EQ(f.format, 0);
    ASSERT_EQ(f.tracks.size(), 1u);
    const SmfTrack& t = f.tracks[0];
    ASSERT_EQ(t.events.size(), 4u);
    EXPECT_EQ(message(t, t.events[1]), (Bytes{0x90, 62, 100}));
    EXPECT_EQ(t.events[1].tick, 16);
    Bytes text{0xFF, 0x01, 0x81, 0x48};
    text.insert(text.end(), long_text.begin(), long_text.end());
    EXPECT_EQ(message(t, t.events[2]), text);
    EXPECT_EQ(message(t, t.events[3]), (Bytes{0x90, 60, 0}));
    EXPECT_EQ(t.events[3].tick, 24);
}

// What public charts write against the standard: SysEx data bytes above 0x7F, running status
// carried on after a SysEx or a meta event, a note-off velocity of 0xFF.
TEST(Smf, ReadsTheLibertiesRealChartsTake) {
    const Bytes body{0x00, 0x90, 96, 100,
                     0x00, 0xF0, 0x08, 0x50, 0x53, 0x00, 0x00, 0xFF, 0x04, 0x01, 0xF7,  // tap start
                     0x10, 97, 100,                 // running status after the SysEx
                     0x00, 0xFF, 0x01, 0x01, 'x',  // a text
                     0x10, 96, 0,                   // running status after the meta event
                     0x00, 0x80, 97, 0xFF,          // note-off with velocity 0xFF
                     0x00, 0xF7, 0x02, 0x01, 0xF7,  // a continuation packet: not kept
                     0x00, 0x90, 0xC8, 0x40};       // a first data byte 0xC8, length known
    Bytes file = one_track(body, 0);
    SmfFile f;
    std::string error;
    ASSERT_TRUE(smf_parse(file.data(), file.size(), &f, &error)) << error;
    const SmfTrack& t = f.tracks[0];
    const std::vector<std::pair<int64_t, Bytes>> expected = {
        {0, {0x90, 96, 100}},
        {0, {0xF0, 0x50, 0x53, 0x00, 0x00, 0xFF, 0x04, 0x01, 0xF7}},
        {16, {0x90, 97, 100}},
        {16, {0xFF, 0x01, 0x01, 'x'}},
        {32, {0x90, 96, 0}},
        {32, {0x80, 97, 0x7F}},
        {32, {0x90, 0x7F, 0x40}},
    };
    ASSERT_EQ(t.events.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(t.events[i].tick, expected[i].first);
        EXPECT_EQ(message(t, t.events[i]), expected[i].second);
    }
}

TEST(Smf, ASysexBeyondTheBoundIsSkippedAndTheRestRead) {
    Bytes body{0x00, 0xF0};
    const uint32_t length = SMF_MAX_SYSEX_BYTES;  // one byte more than kept with its F0
    smf_put_vlq(body, length);
    body.insert(body.end(), length - 1, 0x11);
    body.push_back(0xF7);
    body.insert(body.end(), {0x00, 0x90, 96, 100});
    Bytes file = one_track(body, 0);
    SmfFile f;
    std::string error;
    ASSERT_TRUE(smf_parse(file.data(), file.size(), &f, &error)) << error;
    ASSERT_EQ(f.tracks[0].events.size(), 1u);
    EXPECT_EQ(message(f.tracks[0], f.tracks[0].events[0]), (Bytes{0x90, 96, 100}));
}

TEST(Smf, MalformedFilesGiveAClearError) {
    struct Case {
        const char* what;
        Bytes file;
        const char* says;
    };
    const Bytes end{0x00, 0xFF, 0x2F, 0x00};
    Bytes short_tracks = one_track(end, 1, 3);
    Bytes long_chunk = one_track(end);
    long_chunk[21] = 0x40;  // claims 64 bytes of 4
    const Case cases[] = {
        {"empty", {}, "not a Standard MIDI File"},
        {"other format", {'R', 'I', 'F', 'F', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, "not a Standard MIDI File"},
        {"short header", {'M', 'T', 'h', 'd', 0, 0, 0, 6}, "truncated header"},
        {"format 2", one_track(end, 2), "format 2"},
        {"SMPTE", one_track(end, 1, 1, 0xE728), "SMPTE"},
        {"division 0", one_track(end, 1, 1, 0), "time division of 0"},
        {"format 0, two tracks", one_track(end, 0, 2), "format 0 file with 2 tracks"},
        {"missing tracks", short_tracks, "1 of 3 tracks"},
        {"chunk past the end", long_chunk, "truncated chunk"},
        {"no running status", one_track({0x00, 60, 100}), "data byte without a status"},
        {"endless delta", one_track({0xFF, 0xFF, 0xFF, 0xFF, 0x7F}), "longer than four bytes"},
        {"cut delta", one_track({0x81}), "truncated delta time"},
        {"cut note", one_track({0x00, 0x90, 60}), "truncated channel message"},
        {"cut meta", one_track({0x00, 0xFF, 0x01, 0x10, 'a'}), "truncated meta event"},
        {"cut meta length", one_track({0x00, 0xFF, 0x01, 0x80}), "truncated meta event"},
        {"short tempo", one_track({0x00, 0xFF, 0x51, 0x02, 1, 2}), "tempo event of 2 bytes"},
        {"zero tempo", one_track({0x00, 0xFF, 0x51, 0x03, 0, 0, 0}), "tempo of 0"},
        {"zero numerator", one_track({0x00, 0xFF, 0x58, 0x04, 0, 2, 24, 8}), "bad time signature"},
        {"huge denominator", one_track({0x00, 0xFF, 0x58, 0x04, 4, 9, 24, 8}), "bad time signature"},
        {"system common", one_track({0x00, 0xF1, 0x00}), "unexpected status byte 0xF1"},
        {"cut sysex", one_track({0x00, 0xF0, 0x05, 1, 2}), "truncated system-exclusive"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SmfFile f;
        f.tracks.resize(3);
        std::string error;
        EXPECT_FALSE(smf_parse(c.file.data(), c.file.size(), &f, &error));
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
        EXPECT_TRUE(f.tracks.empty());
    }
}

TEST(Smf, EveryTruncationOfARealFileFailsCleanly) {
    const Bytes full = demo_chart();
    ASSERT_GT(full.size(), 10000u) << "the demo chart is built with the tests";
    SmfFile f;
    std::string error;
    ASSERT_TRUE(smf_parse(full.data(), full.size(), &f, &error)) << error;
    for (size_t n = 0; n < full.size(); n += (n < 256 ? 1 : 97)) {
        error.clear();
        EXPECT_FALSE(smf_parse(full.data(), n, &f, &error)) << n;
        EXPECT_FALSE(error.empty()) << n;
    }
}

TEST(Smf, CorruptedFilesParseOrFailButNeverReadOutOfBounds) {
    const Bytes full = demo_chart();
    ASSERT_FALSE(full.empty());
    std::mt19937 rng(1234);
    int parsed = 0;
    for (int round = 0; round < 400; ++round) {
        Bytes b = full;
        const int flips = 1 + static_cast<int>(rng() % 8);
        for (int i = 0; i < flips; ++i) b[rng() % b.size()] = static_cast<uint8_t>(rng());
        SmfFile f;
        std::string error;
        if (!smf_parse(b.data(), b.size(), &f, &error)) {
            EXPECT_FALSE(error.empty());
            continue;
        }
        ++parsed;
        for (const SmfTrack& t : f.tracks)
            for (const SmfEvent& e : t.events) {
                ASSERT_LE(size_t(e.offset) + e.size, t.bytes.size());
                ASSERT_GE(t.message(e)[0], 0x80);
            }
    }
    EXPECT_GT(parsed, 0);  // most single flips land in note data and still parse
}

TEST(Smf, FindsTracksByNameAndTheFirstChartTrack) {
    SmfWriter w;
    w.add_track().name("tempo");
    SmfWriterTrack& low = w.add_track();
    low.name("bass line");
    low.note(0, 10, 40);  // below the chart's notes
    SmfWriterTrack& chart = w.add_track();
    chart.name("PART DRUMS");
    chart.note(0, 10, 96);
    const Bytes bytes = w.bytes();
    SmfFile f;
    ASSERT_TRUE(smf_parse(bytes.data(), bytes.size(), &f, nullptr));
    EXPECT_EQ(smf_first_chart_track(f), 2);
    EXPECT_EQ(smf_find_track(f, "bass line"), 1);
    EXPECT_EQ(smf_find_track(f, "PART KEYS"), -1);

    std::string error;
    EXPECT_FALSE(smf_load("/nonexistent/chart.mid", &f, &error));
    EXPECT_NE(error.find("cannot open"), std::string::npos);
}

}  // namespace
