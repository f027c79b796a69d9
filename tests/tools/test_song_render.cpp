// tiver-render on song folders: song.ini's keys reach the plug-in exactly as the matching
// options do and the options override them; the whole song is the default range; every
// bad input is refused in one line with nothing written; an interrupted render leaves
// nothing behind.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "raster/tess.h"
#include "tests/tools/song_files.h"
#include "tests/tools/tool_process.h"

namespace {

using namespace tool_test;

// Gems from 1 s to 6 s at irregular spacing; the chart ends at 6 s.
const std::vector<double> GEMS = {1.0, 1.25, 1.5, 1.625, 2.0, 2.25, 2.5, 3.0, 3.125, 3.25, 3.5,
                                  4.0, 4.375, 4.5, 5.0, 5.5};
constexpr double CHART_END = 6.0;
// Below this row the picture is the highway; above it, the control strip's text.
constexpr int32_t STRIP_ROWS = 24;

class SongRender : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(temp.path().empty());
        dir = temp.path();
        song = dir + "/song";
        ASSERT_EQ(mkdir(song.c_str(), 0755), 0);
        write_file(song + "/notes.mid", chart_bytes(480, GEMS, CHART_END));
        out = dir + "/out";
        ASSERT_EQ(mkdir(out.c_str(), 0755), 0);
    }

    void ini(const std::string& text) { write_file(song + "/song.ini", text); }

    // A small still of `input` at moment `at` with `extra` options; the picture's pixels.
    std::vector<uint32_t> still(const std::string& input, double at, std::vector<std::string> extra = {}) {
        const std::string name = "still" + std::to_string(stills++) + ".png";
        std::vector<std::string> args = {input, "--at", std::to_string(at), "--size", "240x160", "-o", name};
        args.insert(args.end(), extra.begin(), extra.end());
        const ToolRun r = run_tool(out, args);
        EXPECT_EQ(r.status, 0) << r.err;
        std::unique_ptr<TESS_IBitmap> b(TESS_LoadPNG((out + "/" + name).c_str(), nullptr));
        std::remove((out + "/" + name).c_str());
        if (!b) return {};
        return std::vector<uint32_t>(b->bits(), b->bits() + b->width() * b->height());
    }

    static bool same_highway(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
        return a.size() == b.size() && a.size() > 240u * STRIP_ROWS &&
               std::equal(a.begin() + 240 * STRIP_ROWS, a.end(), b.begin() + 240 * STRIP_ROWS);
    }

    // Bad input: refused in one line, no file added to the output folder or the song folder.
    void expect_refused(const std::vector<std::string>& args, const std::string& says, const std::string& path = "") {
        const std::set<std::string> before = files_in(out), song_before = files_in(song);
        std::string joined;
        for (const std::string& a : args) joined += a + " ";
        EXPECT_TRUE(refused_in_one_line(run_tool(out, args, path), says)) << joined;
        EXPECT_EQ(files_in(out), before) << joined;
        EXPECT_EQ(files_in(song), song_before) << joined;
    }

    TempFolder temp;
    std::string dir, song, out;
    int stills = 0;
};

TEST_F(SongRender, DelayActsAsTheTimeOffsetAndTheOptionOverridesIt) {
    ini("[song]\ndelay = 300\n");
    const std::string midi = song + "/notes.mid";
    // The folder with delay 300 draws what the chart alone draws with --offset 300 (the
    // strip says 300 MS as well), and --offset overrides the delay.
    EXPECT_EQ(still(song, 2.5), still(midi, 2.5, {"--offset", "300"}));
    EXPECT_EQ(still(song, 2.5, {"--offset", "0"}), still(midi, 2.5));
    EXPECT_NE(still(song, 2.5), still(midi, 2.5));
    // "The chart sounds 300 ms later against the audio": what the plain chart shows at
    // 2.2 s, the folder shows at 2.5 s, when the audio is 300 ms further.
    EXPECT_TRUE(same_highway(still(song, 2.5), still(midi, 2.2)));
    EXPECT_FALSE(same_highway(still(song, 2.5), still(midi, 2.5)));
    // A negative delay moves the chart the other way.
    ini("[SONG]\nDELAY = -200\n");
    EXPECT_TRUE(same_highway(still(song, 2.5), still(midi, 2.7)));
}

TEST_F(SongRender, HopoFrequencyIsTakenAtTheChartsResolution) {
    // hopo_frequency in the file's own ticks; the plug-in gets 480-tick quarter notes.
    struct Case {
        int32_t division;
        const char* frequency;
        const char* expected;
    } cases[] = {{192, "96", "240"}, {480, "300", "300"}, {960, "250", "125"}, {192, "10", "32"}};
    for (const Case& c : cases) {
        write_file(song + "/notes.mid", chart_bytes(c.division, GEMS, CHART_END));
        ini(std::string("[song]\nhopo_frequency = ") + c.frequency + "\n");
        EXPECT_EQ(still(song, 2.0), still(song + "/notes.mid", 2.0, {"--hopo", c.expected}))
            << c.division << " " << c.frequency;
    }
    // --hopo overrides it; eighthnote_hopo asks for half a quarter note.
    EXPECT_EQ(still(song, 2.0, {"--hopo", "170"}), still(song + "/notes.mid", 2.0));
    ini("[song]\neighthnote_hopo = true\n");
    EXPECT_EQ(still(song, 2.0), still(song + "/notes.mid", 2.0, {"--hopo", "240"}));
    EXPECT_NE(still(song, 2.0), still(song + "/notes.mid", 2.0));
}

TEST_F(SongRender, ProDrumsFalseMeansOldDrumsUnlessTheModeIsGiven) {
    const std::string midi = song + "/notes.mid";
    ini("[song]\npro_drums = 0\n");
    EXPECT_EQ(still(song, 2.0, {"--track", "PART DRUMS"}),
              still(midi, 2.0, {"--track", "PART DRUMS", "--mode", "old-drums"}));
    EXPECT_NE(still(song, 2.0, {"--track", "PART DRUMS"}), still(midi, 2.0, {"--track", "PART DRUMS"}));
    EXPECT_EQ(still(song, 2.0, {"--track", "PART DRUMS", "--mode", "pro-drums"}),
              still(midi, 2.0, {"--track", "PART DRUMS"}));
    ini("[song]\npro_drums = True\n");
    EXPECT_EQ(still(song, 2.0, {"--track", "PART DRUMS"}), still(midi, 2.0, {"--track", "PART DRUMS"}));
    // Guitar is not drums.
    ini("[song]\npro_drums = false\n");
    EXPECT_EQ(still(song, 2.0), still(midi, 2.0));
}

TEST_F(SongRender, NamesAreListedAndBadLinesWarnedAbout) {
    ini("\xEF\xBB\xBF[Song]\r\nName = Night Drive\r\nARTIST = The Tivers\r\ncharter = Mo\r\n"
        "delay = later\r\nwhat is this\r\n");
    const ToolRun r = run_tool(out, {song, "--list-tracks"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("name:    Night Drive\nartist:  The Tivers\ncharter: Mo\n", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("PART GUITAR"), std::string::npos);
    // One warning per bad line, naming the file and the line; the render goes on.
    const std::vector<std::string> lines = r.err_lines();
    ASSERT_EQ(lines.size(), 2u) << r.err;
    EXPECT_NE(lines[0].find("warning: " + song + "/song.ini: line 5: delay 'later'"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("line 6:"), std::string::npos) << lines[1];
    const ToolRun picture = run_tool(out, {song, "--at", "2", "--size", "64x64", "-o", "p.png"});
    EXPECT_EQ(picture.status, 0) << picture.err;
    EXPECT_TRUE(exists(out + "/p.png"));
}

TEST_F(SongRender, TheWholeSongIsTheDefaultRange) {
    const auto frames = [&](std::vector<std::string> args) {
        args.insert(args.end(), {"--fps", "2", "--size", "64x64", "-o", "w%03d.png"});
        const ToolRun r = run_tool(out, args);
        EXPECT_EQ(r.status, 0) << r.err;
        const size_t n = files_in(out).size();
        std::system(("rm -f '" + out + "'/w*.png").c_str());
        return n;
    };
    // Without audio: to 2 s past the chart's last event (6 s), at 0, 0.5, ... 8 s.
    EXPECT_EQ(frames({song + "/notes.mid"}), 17u);
    EXPECT_EQ(frames({song}), 17u);
    // The delay moves the chart's end by as much: 1 s more, two frames more.
    ini("[song]\ndelay = 1000\n");
    EXPECT_EQ(frames({song}), 19u);
    // With stems: to the end of the longest, whatever the chart.
    write_file(song + "/guitar.wav", click_wav(3.2, {}));
    write_file(song + "/drums_1.wav", click_wav(4.15, {}));
    EXPECT_EQ(frames({song}), 9u);
    EXPECT_EQ(frames({song, "--no-audio"}), 19u);
    EXPECT_EQ(frames({song + "/notes.mid", "--audio", song + "/guitar.wav"}), 7u);
    // --at, --from/--to still choose.
    EXPECT_EQ(frames({song, "--from", "1", "--to", "2"}), 3u);

    // An MP4 of the whole song is as long as its longest stem, to the next frame: 4.15 s
    // at 10 fps is frames 0 to 41.
    const ToolRun r = run_tool(out, {song, "--fps", "10", "--size", "64x64", "-o", "whole.mp4"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string probe = command_output("ffprobe -v error -show_entries format=duration -of csv=p=0 '" + out +
                                             "/whole.mp4'");
    EXPECT_NEAR(std::atof(probe.c_str()), 4.2, 0.03) << probe;
}

TEST_F(SongRender, EachFrameOfARangeIsTheStillOfItsMoment) {
    // Frame k of a range is painted after k frames of playing; the still of its moment
    // after a preroll. They agree to the pixel, also at a low rate, where a gem's smash
    // (30 paints) outlasts a preroll of a few seconds. (No phrase holds the preroll open.)
    write_file(song + "/notes.mid", chart_bytes(480, GEMS, CHART_END, false));
    for (const char* fps : {"30", "4"}) {
        const ToolRun r = run_tool(out, {song, "--from", "2", "--to", "5.5", "--fps", fps, "--size", "240x160",
                                         "-o", "f%03d.png"});
        ASSERT_EQ(r.status, 0) << r.err;
        const int last = std::atoi(fps) * 7 / 2;
        std::unique_ptr<TESS_IBitmap> b(TESS_LoadPNG((out + "/f" + (last < 100 ? std::string(last < 10 ? "00" : "0") : "") +
                                                      std::to_string(last) + ".png").c_str(), nullptr));
        ASSERT_NE(b, nullptr) << fps;
        const std::vector<uint32_t> frame(b->bits(), b->bits() + b->width() * b->height());
        EXPECT_TRUE(frame == still(song, 5.5, {"--fps", fps})) << fps << " fps";
        std::system(("rm -f '" + out + "'/f*.png").c_str());
    }
    // The demo's drums swap lanes from a mix event at 22.53 s on: a still at 30 s shows
    // them swapped as the range from 24 s does, which read that event in its preroll.
    const std::string demo = std::string(TIVER_BINARY_DIR) + "/demo/demo_chart.mid";
    const ToolRun r = run_tool(out, {demo, "--track", "PART DRUMS", "--from", "24", "--to", "30", "--fps", "10",
                                     "--size", "240x160", "-o", "d%03d.png"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::unique_ptr<TESS_IBitmap> b(TESS_LoadPNG((out + "/d060.png").c_str(), nullptr));
    ASSERT_NE(b, nullptr);
    const std::vector<uint32_t> frame(b->bits(), b->bits() + b->width() * b->height());
    EXPECT_TRUE(frame == still(demo, 30, {"--track", "PART DRUMS", "--fps", "10"}));
}

TEST_F(SongRender, ProgressOffATerminalIsALinePerTenth) {
    const ToolRun r = run_tool(out, {song, "--from", "1", "--to", "3", "--fps", "10", "--size", "64x64", "-o", "p%02d.png"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> lines = r.err_lines();
    ASSERT_EQ(lines.size(), 10u) << r.err;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& l = lines[i];
        EXPECT_EQ(l.find('\r'), std::string::npos);
        EXPECT_NE(l.find(" of 21 frames"), std::string::npos) << l;
        EXPECT_NE(l.find(" fps "), std::string::npos) << l;
        EXPECT_NE(l.find(" elapsed "), std::string::npos) << l;
        EXPECT_NE(l.find(" left"), std::string::npos) << l;
        // Each line is the first at or past its tenth.
        const int percent = std::atoi(l.c_str() + 14);
        EXPECT_GE(percent, static_cast<int>(10 * (i + 1))) << l;
        EXPECT_LT(percent, static_cast<int>(10 * (i + 1) + 5)) << l;
    }
}

TEST_F(SongRender, EveryBadInputIsRefusedInOneLine) {
    // A folder without a chart, and one whose .chart holds no notes.
    const std::string empty = dir + "/empty";
    ASSERT_EQ(mkdir(empty.c_str(), 0755), 0);
    expect_refused({empty}, "no notes.mid or .chart file in this folder");
    write_file(empty + "/notes.chart", "[Song]\n{\nResolution = 480\n}\n");
    expect_refused({empty, "-o", "x.mp4"}, "no track holds chart notes");
    std::remove((empty + "/notes.chart").c_str());
    // A notes.mid that is not a MIDI file, or is cut short.
    write_file(empty + "/NOTES.MID", "RIFF....not a MIDI file");
    expect_refused({empty}, "not a Standard MIDI File");
    write_file(empty + "/NOTES.MID", chart_bytes(480, GEMS, CHART_END).substr(0, 60));
    expect_refused({empty, "-o", "x.mp4"}, "truncated");

    // A stem ffmpeg cannot decode: named, before anything is rendered.
    write_file(song + "/guitar.wav", click_wav(3.0, {1.0}));
    write_file(song + "/Rhythm.ogg", std::string(3000, 'x'));
    expect_refused({song, "-o", "x.mp4"}, song + "/Rhythm.ogg: ffmpeg cannot decode it");
    expect_refused({song, "-o", "x%02d.png"}, "Rhythm.ogg: ffmpeg cannot decode it");
    write_file(dir + "/text.wav", "RIFF, but not a wave");
    expect_refused({song + "/notes.mid", "--audio", dir + "/text.wav", "-o", "x.mp4"}, "text.wav: ffmpeg");
    std::remove((song + "/Rhythm.ogg").c_str());

    // ffmpeg missing for an MP4: how to get it.
    const std::string bare = dir + "/bin";
    ASSERT_EQ(mkdir(bare.c_str(), 0755), 0);
    expect_refused({song, "-o", "x.mp4"}, "ffmpeg is not on PATH", bare);
    expect_refused({song, "-o", "x.mp4"}, "apt install ffmpeg", bare);
    expect_refused({song, "-o", "x.mp4", "--ffmpeg", dir + "/nowhere/ffmpeg"}, "no such program");

    // --audio of a missing file; --no-audio with --audio.
    expect_refused({song, "--audio", dir + "/missing.ogg", "-o", "x.mp4"}, "--audio " + dir + "/missing.ogg: no such file");
    expect_refused({song + "/notes.mid", "--audio", dir, "-o", "x.mp4"}, "is a folder");
    expect_refused({song, "--no-audio", "--audio", song + "/guitar.wav", "-o", "x.mp4"},
                   "--no-audio cannot be combined with --audio");
    // An MP4 is a range.
    expect_refused({song, "--at", "2", "-o", "x.mp4"}, "needs a range");
}

// Waits until `ready` holds (checked every 20 ms, for at most a minute).
template <typename F>
bool eventually(F ready) {
    for (int i = 0; i < 3000; ++i) {
        if (ready()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

TEST_F(SongRender, AnInterruptedRenderLeavesNothingBehind) {
    write_file(song + "/guitar.wav", click_wav(120.0, {1.0}));
    const auto partial = [&] {
        for (const std::string& f : files_in(out))
            if (f.find(".part") != std::string::npos || f.find(".png") != std::string::npos) return true;
        return false;
    };
    // SIGINT and SIGTERM to the tool alone, and SIGINT to it and ffmpeg at once (Ctrl-C on
    // a terminal), while ffmpeg is writing the MP4 (its temporary file exists), and while
    // numbered PNGs are being written.
    struct Case {
        int sig;
        bool group;
    } cases[] = {{SIGINT, false}, {SIGTERM, false}, {SIGINT, true}};
    for (const Case& c : cases) {
        for (const char* name : {"long.mp4", "long%04d.png"}) {
            ToolProcess p(out, {song, "--fps", "30", "--size", "160x96", "-o", name}, "", c.group);
            ASSERT_TRUE(eventually(partial)) << name;
            p.signal(c.sig, c.group);
            const ToolRun r = p.wait();
            EXPECT_EQ(r.status, 130) << name << " " << r.err;
            ASSERT_FALSE(r.err_lines().empty());
            EXPECT_NE(r.err_lines().back().find("interrupted; nothing written"), std::string::npos) << r.err;
            EXPECT_TRUE(files_in(out).empty()) << name << ": " << *files_in(out).begin();
        }
    }
}

}  // namespace
