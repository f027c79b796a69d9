// tiver-render as a user runs it: the built program on the demo chart and the default skin,
// its listings, and every kind of bad input (one line, exit status 2, nothing written).
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "raster/tess.h"
#include "tests/tools/tool_process.h"

namespace {

using namespace tool_test;

const std::string DEMO = demo_chart();

class Tool : public ToolTest {
protected:
    // Bad input: refused in one line, and no file left in the folder.
    void expect_refused(const std::vector<std::string>& args, const std::string& says) {
        const std::set<std::string> before = files_in(dir);
        std::string joined;
        for (const std::string& a : args) joined += a + " ";
        EXPECT_TRUE(refused_in_one_line(run(args), says)) << joined;
        EXPECT_EQ(files_in(dir), before) << joined;
    }
};

int distinct_colours(TESS_IBitmap* b) {
    std::set<TESS_pixel> colours;
    for (int32_t i = 0; i < b->width() * b->height(); ++i) colours.insert(b->bits()[i] & 0xFFFFFF);
    return static_cast<int>(colours.size());
}

TEST_F(Tool, RendersTheDemoChartWithTheDefaultSkin) {
    const ToolRun r = run({"--at", "20", "--size", "400x300", "-o", "frame.png"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("frame.png"), std::string::npos);
    std::unique_ptr<TESS_IBitmap> frame = load("frame.png");
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->width(), 400);
    EXPECT_EQ(frame->height(), 300);
    EXPECT_GT(distinct_colours(frame.get()), 500);
    // Opaque, a screen picture, with the control strip's arrow over the highway.
    EXPECT_EQ(frame->bits()[13 * 400 + 222], 0xFFFFFFFFu);
    // Gems of the five lanes stand out from the calm backdrop: strongly saturated pixels of
    // several hues inside the highway square.
    int saturated = 0;
    for (int32_t y = 0; y < 300; ++y)
        for (int32_t x = 50; x < 350; ++x) {
            const TESS_pixel p = frame->bits()[y * 400 + x];
            const int r8 = p >> 16 & 0xFF, g8 = p >> 8 & 0xFF, b8 = p & 0xFF;
            const int hi = std::max(r8, std::max(g8, b8)), lo = std::min(r8, std::min(g8, b8));
            saturated += hi > 150 && hi - lo > 100;
        }
    EXPECT_GT(saturated, 300);
    EXPECT_EQ(files_in(dir), std::set<std::string>{"frame.png"});
}

TEST_F(Tool, WithNothingGivenRendersTheDemoChartToHighwayPng) {
    const ToolRun r = run({});
    ASSERT_EQ(r.status, 0) << r.err;
    std::unique_ptr<TESS_IBitmap> frame = load("highway.png");
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->width(), 1280);
    EXPECT_EQ(frame->height(), 720);
    EXPECT_GT(distinct_colours(frame.get()), 1000);
}

TEST_F(Tool, SettingsReachThePlugInThroughItsStateAndIni) {
    // The strip shows what the plug-in holds: drums in Pro Drums at Hard with the offset
    // and threshold given, each value text differing from the defaults' picture.
    ASSERT_EQ(run({DEMO, "--track", "PART DRUMS", "--difficulty", "hard", "--hopo", "300", "--offset",
                   "-25", "--at", "12", "--size", "400x300", "-o", "a.png"})
                  .status,
              0);
    ASSERT_EQ(run({DEMO, "--track", "2", "--at", "12", "--size", "400x300", "-o", "b.png"}).status, 0);
    std::unique_ptr<TESS_IBitmap> a = load("a.png"), b = load("b.png");
    ASSERT_TRUE(a && b);
    // Control strip boxes: SKILL 0..48, MODE 56..146, TIME OFFS 154..217, HOPO 234..313.
    const auto box_differs = [&](int32_t x0, int32_t x1) {
        for (int32_t y = 13; y <= 20; ++y)
            for (int32_t x = x0; x <= x1; ++x)
                if (a->bits()[y * 400 + x] != b->bits()[y * 400 + x]) return true;
        return false;
    };
    EXPECT_TRUE(box_differs(1, 47));     // Hard against Expert
    EXPECT_FALSE(box_differs(57, 145));  // Pro Drums in both, from the track's name
    EXPECT_TRUE(box_differs(155, 217));  // -25 MS against 0 MS
    EXPECT_TRUE(box_differs(235, 313));  // 300 ticks against 170
}

TEST_F(Tool, ARangeWritesNumberedFramesWithProgress) {
    const ToolRun r = run({"--from", "20", "--to", "20.1", "--fps", "30", "--size", "160x120", "-o", "f.png"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(files_in(dir),
              (std::set<std::string>{"f_00000.png", "f_00001.png", "f_00002.png", "f_00003.png"}));
    EXPECT_NE(r.err.find("4 of 4 frames"), std::string::npos) << r.err;
    std::string previous;
    for (const std::string& name : files_in(dir)) {
        std::unique_ptr<TESS_IBitmap> f = load(name);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->width(), 160);
        // The chart moves between frames.
        const std::string pixels(reinterpret_cast<const char*>(f->bits()), 160 * 120 * 4);
        EXPECT_NE(pixels, previous) << name;
        previous = pixels;
    }
    ASSERT_EQ(run({"--from", "1", "--to", "1.05", "--fps", "20", "--size", "64x64", "-o", "s%03d.x"}).status, 0);
    EXPECT_TRUE(exists(dir + "/s000.x"));
    EXPECT_TRUE(exists(dir + "/s001.x"));
}

TEST_F(Tool, AnMp4IsMadeByFfmpegFromRawFramesOrNotAtAll) {
    // A stand-in ffmpeg that stores its input as the output file (the last argument), or
    // fails after reading it, shows what the tool sends and that it keeps no failed file.
    const std::string bin = dir + "/bin";
    ASSERT_EQ(mkdir(bin.c_str(), 0755), 0);
    write_file(bin + "/ffmpeg", "#!/bin/sh\nfor last; do :; done\ncat > \"${last#file:}\"\n");
    chmod((bin + "/ffmpeg").c_str(), 0755);
    const std::string path = bin + ":/usr/bin:/bin";
    ToolRun r = run({"--from", "5", "--to", "5.25", "--fps", "8", "--size", "100x64", "-o", "clip.mp4"}, path.c_str());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_file(dir + "/clip.mp4").size(), 3u * 100 * 64 * 4);

    write_file(bin + "/ffmpeg", "#!/bin/sh\ncat > /dev/null\nexit 1\n");
    r = run({"--from", "5", "--to", "5.25", "--fps", "8", "--size", "100x64", "-o", "bad.mp4"}, path.c_str());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("ffmpeg"), std::string::npos);
    EXPECT_FALSE(exists(dir + "/bad.mp4"));
    EXPECT_EQ(files_in(dir), (std::set<std::string>{"bin", "clip.mp4"}));

    // Without ffmpeg: refused before anything is rendered.
    std::remove((bin + "/ffmpeg").c_str());
    r = run({"--from", "5", "--to", "6", "-o", "none.mp4"}, bin.c_str());
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("ffmpeg is not on PATH"), std::string::npos) << r.err;
    EXPECT_FALSE(exists(dir + "/none.mp4"));
}

TEST_F(Tool, ASkinFolderOfAnyNameReplacesTheDefault) {
    // A skin whose only image is a background, here the default red gem: stretched over the
    // window, its red face shows left of the highway square; everything else is a placeholder.
    const std::string skin = dir + "/my skin";
    ASSERT_EQ(mkdir(skin.c_str(), 0755), 0);
    write_file(skin + "/Tiver_background1.png", read_file(std::string(TIVER_BINARY_DIR) + "/tolvan/gem_red.png"));
    const ToolRun r = run({"--skin", skin, "--at", "1", "--size", "200x100", "-o", "skinned.png"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::unique_ptr<TESS_IBitmap> f = load("skinned.png");
    ASSERT_NE(f, nullptr);
    const TESS_pixel p = f->bits()[40 * 200 + 40];
    EXPECT_GT(static_cast<int>(p >> 16 & 0xFF), 150) << std::hex << p;
    EXPECT_LT(static_cast<int>(p >> 8 & 0xFF), 100) << std::hex << p;
    EXPECT_LT(static_cast<int>(p & 0xFF), 100) << std::hex << p;

    // The default skin's background at the same place is dark blue, not red.
    ASSERT_EQ(run({"--at", "1", "--size", "200x100", "-o", "plain.png"}).status, 0);
    const TESS_pixel q = load("plain.png")->bits()[40 * 200 + 40];
    EXPECT_LT(static_cast<int>(q >> 16 & 0xFF), 80) << std::hex << q;
}

TEST_F(Tool, ListsTracksWithTheirGemsPerDifficulty) {
    const ToolRun r = run({DEMO, "--list-tracks"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("PART GUITAR"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("PART DRUMS"), std::string::npos);
    EXPECT_NE(r.out.find("PART KEYS"), std::string::npos);
    int lines = 0;
    for (char c : r.out) lines += c == '\n';
    EXPECT_NE(r.out.find("EVENTS"), std::string::npos);
    EXPECT_EQ(lines, 6);  // a heading and five tracks
    EXPECT_TRUE(files_in(dir).empty());

    const ToolRun help = run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage: tiver-render"), std::string::npos);
}

TEST_F(Tool, BadChartFilesAreRefusedInOneLine) {
    expect_refused({dir + "/missing.mid"}, "No such file");
    expect_refused({dir}, "no notes.mid or .chart file in this folder");
    write_file(dir + "/notes.txt", "this is not a MIDI file\n");
    expect_refused({dir + "/notes.txt", "-o", "x.png"}, "not a Standard MIDI File");
    const std::string demo = read_file(DEMO);
    ASSERT_GT(demo.size(), 1000u);
    write_file(dir + "/cut.mid", demo.substr(0, demo.size() / 2));
    expect_refused({dir + "/cut.mid", "-o", "x.png"}, "truncated");
    write_file(dir + "/head.mid", demo.substr(0, 10));
    expect_refused({dir + "/head.mid", "-o", "x.png"}, "truncated");
    expect_refused({DEMO, "--track", "PART BANJO"}, "no track 'PART BANJO'");
    expect_refused({DEMO, "--track", "5"}, "no track '5'");
    expect_refused({DEMO, "--track", "-1"}, "no track '-1'");
    // A file whose one track holds no notes has no chart to find by default.
    const char empty[] = "MThd\0\0\0\6\0\1\0\1\1\xE0" "MTrk\0\0\0\4\0\xFF\x2F\0";
    write_file(dir + "/empty.mid", std::string(empty, sizeof empty - 1));
    expect_refused({dir + "/empty.mid"}, "no track holds chart notes");
}

TEST_F(Tool, BadNumbersAndOptionsAreRefusedInOneLine) {
    expect_refused({"--size", "10x10"}, "--size");
    expect_refused({"--size", "800"}, "--size");
    expect_refused({"--size", "8000x600"}, "--size");
    expect_refused({"--hopo", "5000"}, "--hopo");
    expect_refused({"--hopo", "12abc"}, "--hopo");
    expect_refused({"--offset", "999999"}, "--offset");
    expect_refused({"--difficulty", "insane"}, "--difficulty");
    expect_refused({"--mode", "flute"}, "--mode");
    expect_refused({"--at", "-1"}, "--at");
    expect_refused({"--at", "nan"}, "--at");
    expect_refused({"--at", "1e400"}, "--at");
    expect_refused({"--fps", "0"}, "--fps");
    expect_refused({"--from", "5", "--to", "3"}, "later than");
    expect_refused({"--from", "5"}, "both --from and --to");
    expect_refused({"--at", "3", "--from", "1", "--to", "2"}, "cannot be combined");
    expect_refused({"--from", "0", "--to", "80000", "--fps", "240"}, "frames");
    expect_refused({"--frobnicate"}, "unknown option");
    expect_refused({"--at"}, "needs a value");
    expect_refused({DEMO, DEMO}, "more than one chart");
    expect_refused({"--skin", dir + "/nowhere"}, "not a folder");
    expect_refused({"--at", "2", "-o", "clip.mp4"}, "needs a range");
    expect_refused({"--from", "1", "--to", "2", "-o", "f%d%d.png"}, "exactly one %d");
    expect_refused({"-o", dir + "/no/such/folder/x.png"}, "cannot write");
}

TEST_F(Tool, AFailedRunLeavesAnEarlierOutputAlone) {
    write_file(dir + "/keep.png", "old picture");
    expect_refused({dir + "/missing.mid", "-o", "keep.png"}, "No such file");
    EXPECT_EQ(read_file(dir + "/keep.png"), "old picture");
    expect_refused({"--hopo", "1", "-o", "keep.png"}, "--hopo");
    EXPECT_EQ(read_file(dir + "/keep.png"), "old picture");
}

}  // namespace
