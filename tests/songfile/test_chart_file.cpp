// The .chart reader: what it keeps of [Song], [SyncTrack], [Events] and the difficulty
// sections; every encoding, line ending and spacing read alike; lines sorted, sections
// and notes given twice; what cannot be read skipped and summed up in a warning or two;
// what no render can use refused in one line.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tests/songfile/chart_text.h"

namespace {

using namespace chart_test;

const std::string SONG =
    "[Song]\n{\n"
    "  Name = \"Caf\xC3\xA9 \"Noir\"\"\n"
    "  Artist = \"The Tivers\"\n"
    "  Charter = \"Mo\"\n"
    "  Offset = 0.25\n"
    "  Resolution = 480\n"
    "  MusicStream = \"song.ogg\"\n"
    "  GuitarStream = \"lead guitar.ogg\"\n"
    "  Player2 = bass\n"
    "}\n"
    "[SyncTrack]\n{\n"
    "  0 = TS 4\n"
    "  0 = B 120000\n"
    "  960 = TS 7 3\n"
    "  1920 = A 2000000\n"
    "  1920 = B 150325\n"
    "}\n"
    "[Events]\n{\n"
    "  0 = E \"section Intro\"\n"
    "  480 = H 0 0\n"
    "  960 = E \"lyric Hel-\"\n"
    "}\n"
    "[ExpertSingle]\n{\n"
    "  0 = N 0 0\n"
    "  0 = N 4 240\n"
    "  480 = N 7 0\n"
    "  480 = S 2 960\n"
    "  960 = E solo\n"
    "}\n"
    "[HardDrums]\n{\n"
    "  0 = N 1 0\n"
    "  0 = N 66 0\n"
    "}\n";

TEST(ChartFile, ReadsTheSongTheTempoMapTheEventsAndEachDifficulty) {
    std::vector<std::string> warnings;
    const ChartFile c = parse(SONG, &warnings);
    EXPECT_TRUE(warnings.empty()) << warnings[0];
    EXPECT_EQ(c.resolution, 480);
    // One quote off each end only: a value may hold quotes.
    EXPECT_EQ(c.name, "Caf\xC3\xA9 \"Noir\"");
    EXPECT_EQ(c.artist, "The Tivers");
    EXPECT_EQ(c.charter, "Mo");
    ASSERT_TRUE(c.has_offset);
    EXPECT_EQ(c.offset_ms, 250);
    ASSERT_EQ(c.streams.size(), 2u);
    EXPECT_EQ(c.streams[1].key, "GuitarStream");
    EXPECT_EQ(c.streams[1].file, "lead guitar.ogg");

    // B is thousandths of a beat per minute: 120 BPM is 500000 us a quarter note, 150.325
    // BPM 399135 (rounded). TS without an exponent is over 4; 7 3 is 7/8. A is ignored.
    ASSERT_EQ(c.tempos.size(), 2u);
    EXPECT_EQ(c.tempos[0].tick, 0);
    EXPECT_EQ(c.tempos[0].us_per_quarter, 500000u);
    EXPECT_EQ(c.tempos[1].tick, 1920);
    EXPECT_EQ(c.tempos[1].us_per_quarter, 399135u);
    ASSERT_EQ(c.signatures.size(), 2u);
    EXPECT_EQ(c.signatures[0].numerator, 4);
    EXPECT_EQ(c.signatures[0].denominator, 4);
    EXPECT_EQ(c.signatures[1].tick, 960);
    EXPECT_EQ(c.signatures[1].numerator, 7);
    EXPECT_EQ(c.signatures[1].denominator, 8);

    ASSERT_EQ(c.events.size(), 2u);
    EXPECT_EQ(c.events[0].text, "section Intro");
    EXPECT_EQ(c.events[1].tick, 960);
    EXPECT_EQ(c.events[1].text, "lyric Hel-");

    const ChartDifficulty& g = c.parts[CHART_SINGLE][3];
    EXPECT_TRUE(g.present);
    EXPECT_FALSE(c.parts[CHART_SINGLE][2].present);
    ASSERT_EQ(g.notes.size(), 3u);
    EXPECT_EQ(g.notes[1].type, 4);
    EXPECT_EQ(g.notes[1].length, 240);
    EXPECT_EQ(g.notes[2].type, 7);
    ASSERT_EQ(g.phrases.size(), 1u);
    EXPECT_EQ(g.phrases[0].length, 960);
    ASSERT_EQ(g.texts.size(), 1u);
    EXPECT_EQ(g.texts[0].text, "solo");
    ASSERT_EQ(c.parts[CHART_DRUMS][2].notes.size(), 2u);
    EXPECT_EQ(c.parts[CHART_DRUMS][2].notes[1].type, 66);
}

TEST(ChartFile, EveryEncodingLineEndingAndSpacingReadsTheSame) {
    const std::string plain =
        "[Song]\n{\nName = \"Caf\xC3\xA9\"\nResolution = 192\n}\n[ExpertSingle]\n{\n0 = N 2 10\n96 = N 3 0\n}\n";
    const auto utf16 = [&](bool big) {
        std::string out = big ? "\xFE\xFF" : "\xFF\xFE";
        for (size_t i = 0; i < plain.size();) {
            uint32_t cp = static_cast<unsigned char>(plain[i]);
            if (cp == 0xC3) cp = 0xC0 | (static_cast<unsigned char>(plain[++i]) & 0x3F);
            ++i;
            const char hi = static_cast<char>(cp >> 8), lo = static_cast<char>(cp);
            out += big ? std::string{hi, lo} : std::string{lo, hi};
        }
        return out;
    };
    std::string crlf, latin1, spaced;
    for (char ch : plain) crlf += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
    for (size_t i = 0; i < plain.size(); ++i) {
        latin1 += plain[i] == '\xC3' ? '\xE9' : plain[i];
        if (plain[i] == '\xC3') ++i;
    }
    spaced = "  [Song]  \n\t{\n\tName   =\t\"Caf\xC3\xA9\"\t\n  Resolution=192\n }\n[ExpertSingle]\n{\n\t0\t=\tN  2\t 10  \n"
             "\t96 = N 3 0\n\t}\n";
    for (const std::string& text : {std::string("\xEF\xBB\xBF") + crlf, utf16(false), utf16(true), latin1, spaced}) {
        std::vector<std::string> warnings;
        const ChartFile c = parse(text, &warnings);
        EXPECT_TRUE(warnings.empty()) << warnings[0];
        EXPECT_EQ(c.name, "Caf\xC3\xA9");
        const std::vector<ChartItem>& n = c.parts[CHART_SINGLE][3].notes;
        ASSERT_EQ(n.size(), 2u);
        EXPECT_EQ(n[0].type, 2);
        EXPECT_EQ(n[0].length, 10);
        EXPECT_EQ(n[1].tick, 96);
    }
}

TEST(ChartFile, LinesAreSortedAndWhatIsGivenTwiceIsKeptOnce) {
    const ChartFile c = parse(chart_text({{"SyncTrack", "384 = B 90000\n0 = B 60000\n0 = B 100000\n192 = TS 3\n"},
                                          {"ExpertSingle", "200 = N 1 0\n100 = N 0 10\n100 = N 4 0\n100 = N 0 30\n"
                                                           "100 = N 0 20\n0 = S 2 5\n0 = S 2 9\n"},
                                          {"ExpertSingle", "50 = N 2 0\n"},
                                          {"HardSingle", "0 = N 1 0\n"},
                                          {"HardSingle", "0 = N 3 0\n"}}));
    // Tempo: the last of a tick holds; a time signature of 4/4 at tick 0 when none is there.
    ASSERT_EQ(c.tempos.size(), 2u);
    EXPECT_EQ(c.tempos[0].us_per_quarter, 600000u);
    EXPECT_EQ(c.tempos[1].tick, 384);
    ASSERT_EQ(c.signatures.size(), 2u);
    EXPECT_EQ(c.signatures[0].tick, 0);
    EXPECT_EQ(c.signatures[0].numerator, 4);
    EXPECT_EQ(c.signatures[1].numerator, 3);

    // A section given twice: the last holds.
    ASSERT_EQ(c.parts[CHART_SINGLE][3].notes.size(), 1u);
    EXPECT_EQ(c.parts[CHART_SINGLE][3].notes[0].type, 2);
    ASSERT_EQ(c.parts[CHART_SINGLE][2].notes.size(), 1u);
    EXPECT_EQ(c.parts[CHART_SINGLE][2].notes[0].type, 3);

    // In tick order, file order within a tick, one of each type with the longest length.
    const ChartFile d = parse(chart_text({{"ExpertSingle", "200 = N 1 0\n100 = N 0 10\n100 = N 4 0\n100 = N 0 30\n"
                                                           "100 = N 0 20\n0 = S 2 5\n0 = S 2 9\n"}}));
    const std::vector<ChartItem>& n = d.parts[CHART_SINGLE][3].notes;
    ASSERT_EQ(n.size(), 3u);
    EXPECT_EQ(n[0].tick, 100);
    EXPECT_EQ(n[0].type, 0);
    EXPECT_EQ(n[0].length, 30);
    EXPECT_EQ(n[1].type, 4);
    EXPECT_EQ(n[2].tick, 200);
    ASSERT_EQ(d.parts[CHART_SINGLE][3].phrases.size(), 1u);
    EXPECT_EQ(d.parts[CHART_SINGLE][3].phrases[0].length, 9);
    // Without a tempo map: 120 BPM and 4/4 from tick 0.
    ASSERT_EQ(d.tempos.size(), 1u);
    EXPECT_EQ(d.tempos[0].us_per_quarter, 500000u);
    EXPECT_EQ(d.signatures.size(), 1u);
}

TEST(ChartFile, WhatCannotBeReadIsSkippedAndSummedUpInAWarning) {
    std::vector<std::string> warnings;
    const std::string text = "[Song]\n{\n  Name = \"x\"\n}\n"           // 1-4, no Resolution
                             "[ExpertSingle]\n{\n"                     // 5-6
                             "  0 = N 0 0\n"                           // 7
                             "  just words\n"                          // 8: no '='
                             "  -96 = N 1 0\n"                         // 9: a negative tick
                             "  2147483648 = N 1 0\n"                  // 10: past 2^31
                             "  96 = N 1 99999999999\n"                // 11: a length past 2^31
                             "  96 = N 1\n"                            // 12: no length
                             "  x = N 1 0\n"                           // 13
                             "  96 = Q 1 0\n"                          // 14: an unknown code, quietly
                             "  2147483647 = N 2 0\n"                  // 15: the largest tick
                             "  192 = N 8 0\n"                         // 16: an unknown type is kept
                             "  " + std::string(70000, '9') + " = N 0 0\n"  // 17: a huge line
                             "}\n"
                             "stray text\n"                            // 19
                             "[ExpertGHLGuitar]\n{\n  0 = N 0 0\n}\n"  // an unknown section
                             "[HardSingle]\n{\n  0 = N 3 0\n"          // never closed: the next section ends it
                             "[EasySingle]\n{\n  0 = N 4 0\n";        // nor this one: the file ends
    const ChartFile c = parse(text, &warnings);
    ASSERT_EQ(warnings.size(), 3u);
    EXPECT_EQ(warnings[0], "no Resolution in [Song]; 192 ticks per quarter note assumed");
    EXPECT_NE(warnings[1].find("2 sections do not close"), std::string::npos) << warnings[1];
    EXPECT_EQ(warnings[2], "8 lines could not be read and were skipped (the first: line 8)");
    EXPECT_EQ(c.resolution, 192);
    const std::vector<ChartItem>& n = c.parts[CHART_SINGLE][3].notes;
    ASSERT_EQ(n.size(), 3u);
    EXPECT_EQ(n[1].type, 8);
    EXPECT_EQ(n[2].tick, 2147483647);
    EXPECT_EQ(c.parts[CHART_SINGLE][2].notes.size(), 1u);
    EXPECT_EQ(c.parts[CHART_SINGLE][0].notes.size(), 1u);

    // A tempo below what MIDI holds is read as the slowest it holds; an Offset beyond a
    // minute, or a huge time signature exponent, cannot shift or break the song.
    warnings.clear();
    const ChartFile slow = parse("[Song]\n{\nResolution = 192\nOffset = 75\n}\n[SyncTrack]\n{\n0 = B 1000\n0 = TS 4 40\n}\n",
                                 &warnings);
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_NE(warnings[0].find("Offset '75' is beyond 60 s; ignored"), std::string::npos) << warnings[0];
    EXPECT_NE(warnings[1].find("line 8: a tempo below 3.577 beats per minute"), std::string::npos) << warnings[1];
    EXPECT_FALSE(slow.has_offset);
    EXPECT_EQ(slow.tempos[0].us_per_quarter, 16773833u);
    EXPECT_EQ(slow.signatures[0].denominator, 64);
}

TEST(ChartFile, WhatNoRenderCanUseIsRefusedInOneLine) {
    const auto refused = [](const std::string& text) {
        ChartFile c;
        std::vector<std::string> warnings;
        std::string error;
        EXPECT_FALSE(chart_parse(reinterpret_cast<const uint8_t*>(text.data()), text.size(), &c, &warnings, &error));
        EXPECT_EQ(error.find('\n'), std::string::npos);
        EXPECT_TRUE(c.tempos.empty());
        return error;
    };
    EXPECT_EQ(refused(chart_text({{"SyncTrack", "0 = B 120000\n768 = B 0\n"}})),
              "line 8: a tempo of 0 beats per minute (B 0)");
    EXPECT_EQ(refused(chart_text({{"SyncTrack", "0 = TS 0\n"}})), "line 7: a time signature of 0 beats (TS 0)");
    EXPECT_EQ(refused("[Song]\n{\nResolution = 0\n}\n"), "line 3: Resolution 0 (no ticks per quarter note)");
    const std::string nothing = "not a .chart file: no [Song], [SyncTrack] or instrument section in it";
    EXPECT_EQ(refused(""), nothing);
    EXPECT_EQ(refused("MThd\0\0\0\6\0\1\0\2\1\xE0"), nothing);
    // Bytes at random (seeded), and a section name with no body: nothing of a chart.
    std::mt19937 random(21);
    std::string noise(4096, '\0');
    for (char& ch : noise) {
        const char b = static_cast<char>(random() % 256);
        ch = b == '[' ? 'x' : b;
    }
    EXPECT_EQ(refused(noise), nothing);
    EXPECT_EQ(refused("[Song]\n"), nothing);
}

}  // namespace
