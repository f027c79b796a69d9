// tiver-render on .chart song folders: a small .chart draws what the MIDI file written by
// hand for it (its notes and the markers the .chart rules call for) draws, at every
// difficulty and side by side; the offset rule; names and tracks listed; the folder's choice
// of chart; bad .chart input refused in one line or warned about with a usable render.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <memory>
#include <string>
#include <vector>

#include "raster/tess.h"
#include "songfile/smf_writer.h"
#include "tests/tools/song_files.h"
#include "tests/tools/tool_process.h"

namespace {

using namespace tool_test;

// Resolution 192 at 120 BPM: tick 192 is 0.5 s.
const char* const CHART =
    "\xEF\xBB\xBF[Song]\r\n{\r\n  Name = \"Hand Made\"\r\n  Artist = \"The Tivers\"\r\n  Charter = \"Mo\"\r\n"
    "  Resolution = 192\r\n}\r\n"
    "[SyncTrack]\r\n{\r\n  0 = TS 4\r\n  0 = B 120000\r\n}\r\n"
    "[Events]\r\n{\r\n  0 = E \"section Intro\"\r\n}\r\n"
    "[ExpertSingle]\r\n{\r\n"
    "  192 = N 0 0\r\n  192 = E solo\r\n"  // strum
    "  288 = N 1 0\r\n"                    // strum: 96 ticks on
    "  336 = N 2 192\r\n  336 = E soloend\r\n"  // HOPO, sustained
    "  576 = N 3 0\r\n  576 = N 5 0\r\n  576 = S 2 240\r\n"  // a forced HOPO, star power
    "  624 = N 0 0\r\n  624 = N 4 0\r\n"   // chord: strum
    "  672 = N 4 0\r\n"                    // HOPO: a lane of the chord
    "  720 = N 7 0\r\n"                    // an open, HOPO
    "  768 = N 1 0\r\n  768 = N 6 0\r\n  792 = N 2 0\r\n  792 = N 6 0\r\n"  // taps
    "  816 = N 3 0\r\n"                    // HOPO
    "}\r\n"
    "[HardSingle]\r\n{\r\n  192 = N 0 0\r\n  336 = N 2 0\r\n  576 = N 3 0\r\n}\r\n"
    "[ExpertDrums]\r\n{\r\n"
    "  192 = N 0 0\r\n  192 = N 2 0\r\n  192 = N 66 0\r\n"  // kick, yellow cymbal
    "  288 = N 1 0\r\n  336 = N 2 0\r\n"                   // red, yellow tom
    "  384 = N 3 0\r\n  384 = N 67 0\r\n  432 = N 4 0\r\n"  // blue cymbal, green tom
    "  480 = N 32 0\r\n  500 = E mix_3_drums0d\r\n  528 = N 4 0\r\n  528 = N 68 0\r\n"
    "  576 = N 1 0\r\n  600 = N 2 0\r\n  600 = S 64 48\r\n"
    "}\r\n";

// The MIDI a DAW track holds for CHART: its notes, and the markers the .chart rules call
// for, with the track-wide phrases of Expert or (`hard`) of Hard.
std::string hand_midi(bool hard) {
    SmfWriter w;
    w.division = 192;
    w.tracks.resize(4);
    w.tracks[0].time_signature(0, 4, 4);
    w.tracks[0].tempo_bpm(0, 120.0);
    SmfWriterTrack& g = w.tracks[1];
    g.name("PART GUITAR");
    g.text(0, "[ENHANCED_OPENS]");
    struct Gem {
        int64_t tick;
        int note;
        int64_t length;
        bool hopo;
    };
    const Gem expert[] = {{192, 96, 1, false}, {288, 97, 1, false}, {336, 98, 192, true}, {576, 99, 1, true},
                          {624, 96, 1, false}, {624, 100, 1, false}, {672, 100, 1, true}, {720, 95, 1, true},
                          {768, 97, 1, true},  {792, 98, 1, true},   {816, 99, 1, true}};
    int64_t marked = -1;
    for (const Gem& gem : expert) {
        g.note(gem.tick, gem.length, gem.note);
        if (gem.tick != marked) g.note(gem.tick, 1, gem.hopo ? 101 : 102);
        marked = gem.tick;
    }
    for (int64_t t : {192, 336, 576}) {
        g.note(t, 1, t == 192 ? 84 : t == 336 ? 86 : 87);
        g.note(t, 1, 90);  // every Hard group a strum: more than 65 ticks apart
    }
    if (!hard) {
        g.note(192, 145, 103);  // the solo, its end tick inside
        g.note(576, 240, 116);
        g.note(768, 25, 104);
    }
    SmfWriterTrack& d = w.tracks[2];
    d.name("PART DRUMS");
    const int64_t pads[][2] = {{192, 96}, {192, 98}, {288, 97}, {336, 98}, {384, 99}, {432, 100},
                               {480, 95}, {528, 100}, {576, 97}, {600, 98}};
    for (const auto& p : pads) d.note(p[0], 1, static_cast<int>(p[1]));
    d.text(500, "[mix 3 drums0d]");
    for (int64_t t : {336, 600}) d.note(t, 1, 110);
    d.note(432, 1, 112);
    for (int n = 120; n <= 124; ++n) d.note(600, 49, n);
    SmfWriterTrack& e = w.tracks[3];
    e.name("EVENTS");
    e.text(0, "[section Intro]");
    const std::vector<uint8_t> bytes = w.bytes();
    return std::string(bytes.begin(), bytes.end());
}

class ChartRender : public ToolTest {
protected:
    void SetUp() override {
        ToolTest::SetUp();
        ASSERT_EQ(mkdir((dir + "/chart").c_str(), 0755), 0);
        ASSERT_EQ(mkdir((dir + "/midi").c_str(), 0755), 0);
        ASSERT_EQ(mkdir((dir + "/midi hard").c_str(), 0755), 0);
        write_file(dir + "/chart/notes.chart", CHART);
        write_file(dir + "/midi/notes.mid", hand_midi(false));
        write_file(dir + "/midi hard/notes.mid", hand_midi(true));
    }

    // The pixels of a still of `input` with `args`; empty when the tool failed.
    std::vector<uint32_t> still(const std::string& input, std::vector<std::string> args) {
        const std::string name = "still" + std::to_string(stills++) + ".png";
        args.insert(args.begin(), input);
        args.insert(args.end(), {"-o", name});
        const ToolRun r = run(args);
        EXPECT_EQ(r.status, 0) << r.err;
        std::unique_ptr<TESS_IBitmap> b = load(name);
        std::remove((dir + "/" + name).c_str());
        if (!b) return {};
        return std::vector<uint32_t>(b->bits(), b->bits() + b->width() * b->height());
    }

    int stills = 0;
};

TEST_F(ChartRender, AChartDrawsWhatItsMidiWrittenByHandDraws) {
    for (const char* at : {"0.3", "0.7", "1.1", "1.6", "2.1"}) {
        for (const char* track : {"PART GUITAR", "PART DRUMS"}) {
            const std::vector<std::string> args = {"--track", track, "--at", at, "--size", "240x160"};
            const std::vector<uint32_t> chart = still("chart", args);
            ASSERT_FALSE(chart.empty());
            EXPECT_TRUE(chart == still("midi", args)) << track << " at " << at;
        }
        // Hard shows Hard's phrases (none), not Expert's.
        const std::vector<std::string> hard = {"--difficulty", "hard", "--at", at, "--size", "240x160"};
        EXPECT_TRUE(still("chart", hard) == still("midi hard", hard)) << "hard at " << at;
    }
    // The markers matter: without them the plug-in's own rule draws the guitar otherwise,
    // and without the tom markers the drums are all cymbals.
    SmfWriter bare;
    bare.division = 192;
    bare.tracks.resize(2);
    bare.tracks[0].tempo_bpm(0, 120.0);
    bare.tracks[1].name("PART GUITAR");
    for (int64_t t : {192, 288, 336, 576, 624, 672, 720, 768, 792, 816}) bare.tracks[1].note(t, 1, 96 + t % 5);
    const std::vector<uint8_t> b = bare.bytes();
    write_file(dir + "/bare.mid", std::string(b.begin(), b.end()));
    EXPECT_FALSE(still("chart", {"--at", "1.1", "--size", "240x160"}) ==
                 still("bare.mid", {"--at", "1.1", "--size", "240x160"}));
}

TEST_F(ChartRender, TwoViewsOfOneInstrumentEachTakeTheirOwnDifficultysPhrases) {
    const ToolRun r = run({"chart", "--view", "PART GUITAR:hard", "--view", "PART GUITAR", "--view", "PART GUITAR:hard",
                           "--at", "1.1", "--size", "480x160", "-o", "band.png"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::unique_ptr<TESS_IBitmap> band = load("band.png");
    ASSERT_NE(band, nullptr);
    ASSERT_EQ(run({"midi hard", "--difficulty", "hard", "--at", "1.1", "--size", "160x160", "-o", "hard.png"}).status, 0);
    ASSERT_EQ(run({"midi", "--at", "1.1", "--size", "160x160", "-o", "expert.png"}).status, 0);
    std::unique_ptr<TESS_IBitmap> hard = load("hard.png"), expert = load("expert.png");
    ASSERT_TRUE(hard && expert);
    EXPECT_EQ(column_differences(band.get(), 0, hard.get()), 0);
    EXPECT_EQ(column_differences(band.get(), 160, expert.get()), 0);
    EXPECT_EQ(column_differences(band.get(), 320, hard.get()), 0);
}

TEST_F(ChartRender, TheOffsetIsSongIniDelayUnlessThatIsMissingOrZero) {
    write_file(dir + "/chart/notes.chart", std::string(CHART).replace(std::string(CHART).find("  Resolution"), 0,
                                                                      "  Offset = 0.3\r\n"));
    const std::vector<std::string> args = {"--at", "1.1", "--size", "240x160"};
    const auto midi_with = [&](const char* offset) {
        std::vector<std::string> a = args;
        a.insert(a.end(), {"--offset", offset});
        return still("midi", a);
    };
    const std::vector<uint32_t> offset = still("chart", args);
    EXPECT_TRUE(offset == midi_with("300"));
    write_file(dir + "/chart/song.ini", "[song]\ndelay = 0\n");
    EXPECT_TRUE(still("chart", args) == offset);
    write_file(dir + "/chart/song.ini", "[song]\ndelay = -120\n");
    EXPECT_TRUE(still("chart", args) == midi_with("-120"));
    // The .chart named alone takes its own Offset; --offset wins over both.
    EXPECT_TRUE(still("chart/notes.chart", args) == offset);
    std::vector<std::string> given = args;
    given.insert(given.end(), {"--offset", "0"});
    EXPECT_TRUE(still("chart", given) == still("midi", args));
}

TEST_F(ChartRender, ListsItsNamesAndTracksAndSaysWhichChartItReads) {
    write_file(dir + "/chart/song.ini", "[song]\nartist = Someone Else\n");
    ToolRun r = run({"chart", "--list-tracks"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              "name:    Hand Made\n"
              "artist:  Someone Else\n"
              "charter: Mo\n"
              "track  name                         gems easy/medium/hard/expert\n"
              "    0  (unnamed)                    -\n"
              "    1  PART GUITAR                  0/0/3/11\n"
              "    2  PART DRUMS                   0/0/0/10\n"
              "    3  EVENTS                       -\n");
    // Beside a notes.mid the .chart is not read, and a line says so; --chart reads it.
    write_file(dir + "/chart/notes.mid", chart_bytes(480, {1.0, 2.0}, 3.0));
    r = run({"chart", "--list-tracks"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "tiver-render: warning: chart: holds notes.mid and 1 .chart file; notes.mid is read "
                     "(--chart notes.chart reads another)\n");
    EXPECT_NE(r.out.find("    2  PART DRUMS                   0/0/0/2\n"), std::string::npos) << r.out;
    r = run({"chart", "--chart", "notes.chart", "--list-tracks"});
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("    2  PART DRUMS                   0/0/0/10\n"), std::string::npos) << r.out;
    EXPECT_TRUE(refused_in_one_line(run({"chart", "--chart", "other.chart"}), "no file other.chart in this folder"));
    EXPECT_TRUE(refused_in_one_line(run({"chart/notes.chart", "--chart", "notes.chart"}),
                                    "picks the chart of a song folder"));
}

TEST_F(ChartRender, BadChartsAreRefusedInOneLineOrWarnedAboutAndStillDrawn) {
    const std::string chart(CHART);
    struct Case {
        std::string name, text, says;
        bool refused;
    } cases[] = {
        {"garbage", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), "not a .chart file", true},
        {"no tempo", chart.substr(0, chart.find("B 120000")) + "B 0\r\n}\r\n", "a tempo of 0 beats per minute", true},
        {"no notes", "[Song]\n{\nResolution = 192\n}\n", "no track holds chart notes", true},
        {"truncated", chart.substr(0, chart.find("  816")), "does not close", false},
        {"huge line", chart.substr(0, chart.find("[HardSingle]")) + std::string(1 << 20, 'x') + "\n" +
                          chart.substr(chart.find("[HardSingle]")), "1 line could not be read", false},
        {"numbers", chart.substr(0, chart.find("  816")) + "  -5 = N 0 0\r\n  4294967296 = N 1 0\r\n  900 = N 2 " +
                        "99999999999\r\n" + chart.substr(chart.find("  816")), "3 lines could not be read", false},
        {"no resolution", "[Song]\n{\n}\n[ExpertSingle]\n{\n0 = N 0 0\n}\n", "192 ticks per quarter note assumed", false},
    };
    for (const Case& c : cases) {
        write_file(dir + "/bad.chart", c.text);
        const ToolRun r = run({"bad.chart", "--at", "0.6", "--size", "64x64", "-o", "bad.png"});
        if (c.refused) {
            EXPECT_TRUE(refused_in_one_line(r, c.says)) << c.name;
            EXPECT_FALSE(exists(dir + "/bad.png")) << c.name;
        } else {
            EXPECT_EQ(r.status, 0) << c.name << ": " << r.err;
            ASSERT_EQ(r.err_lines().size(), 1u) << c.name << ": " << r.err;
            EXPECT_NE(r.err.find("warning: bad.chart: "), std::string::npos) << c.name << ": " << r.err;
            EXPECT_NE(r.err.find(c.says), std::string::npos) << c.name << ": " << r.err;
            EXPECT_TRUE(exists(dir + "/bad.png")) << c.name;
        }
        std::remove((dir + "/bad.png").c_str());
    }
}

}  // namespace
