// The plan step: how a start is told apart (a terminal, a drop onto the program from
// Explorer, a double-click), the drop's file name (fit for Windows, never over an existing
// file), the kinds of output and their default names, and the moments of the preview and the
// whole song.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "tests/tools/song_files.h"
#include "tests/tools/tool_process.h"
#include "tools/tiver-render/plan.h"

namespace {

using tool_test::TempFolder;
using tool_test::write_file;

// Options parsed from a command line (the program's name is put first).
RenderOptions options(std::vector<std::string> args) {
    args.insert(args.begin(), "tiver-render");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(&a[0]);
    RenderOptions o;
    std::string error;
    EXPECT_TRUE(parse_options(static_cast<int>(argv.size()), argv.data(), &o, &error)) << error;
    return o;
}

std::string refusal(std::vector<std::string> args) {
    args.insert(args.begin(), "tiver-render");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(&a[0]);
    RenderOptions o;
    std::string error;
    EXPECT_FALSE(parse_options(static_cast<int>(argv.size()), argv.data(), &o, &error));
    return error;
}

TEST(Plan, AStartFromExplorerIsToldApartFromATerminal) {
    const std::vector<std::string> bare = {"tiver-render.exe"}, one = {"tiver-render.exe", "C:\\Songs\\My Song"};
    const std::vector<std::string> option = {"tiver-render.exe", "--help"},
                                    two = {"tiver-render.exe", "C:\\a", "C:\\b"},
                                    with = {"tiver-render.exe", "C:\\a", "--at", "3"};
    // From a terminal nothing changes, whatever the arguments.
    for (const auto& args : {bare, one, option, two, with}) EXPECT_EQ(launch_kind(false, args), Launch::Terminal);
    EXPECT_EQ(launch_kind(true, bare), Launch::Bare);
    EXPECT_EQ(launch_kind(true, one), Launch::Dropped);
    // Its own console with anything else (a shortcut with options, two files dropped): the
    // options as given, and the window waits.
    EXPECT_EQ(launch_kind(true, option), Launch::Console);
    EXPECT_EQ(launch_kind(true, two), Launch::Console);
    EXPECT_EQ(launch_kind(true, with), Launch::Console);
    EXPECT_EQ(launch_kind(true, {"tiver-render.exe", "-"}), Launch::Console);

    RenderOptions o = options({"C:\\Songs\\My Song"});
    apply_drop_defaults(&o);
    EXPECT_TRUE(o.caption && o.no_controls);
    EXPECT_FALSE(o.range() || o.preview || o.at >= 0.0);  // the whole song
}

TEST(Plan, TheDropsFileNameIsFitForEverySystem) {
    EXPECT_EQ(song_file_stem("The Tivers", "Night Drive"), "The Tivers - Night Drive");
    EXPECT_EQ(song_file_stem("", "Night Drive"), "Night Drive");
    EXPECT_EQ(song_file_stem("AC/DC", "T.N.T."), "AC_DC - T.N.T");
    EXPECT_EQ(song_file_stem("a\x01" "b", "what?<>|*\":\\"), "a_b - what________");
    EXPECT_EQ(song_file_stem("Bj\xC3\xB6rk", "J\xC3\xB3ga"), "Bj\xC3\xB6rk - J\xC3\xB3ga");
    EXPECT_EQ(song_file_stem("", "CON"), "_CON");
    EXPECT_EQ(song_file_stem("", "nul.txt"), "_nul.txt");
    EXPECT_EQ(song_file_stem("", "Com1"), "_Com1");
    EXPECT_EQ(song_file_stem("", "COM10"), "COM10");
    EXPECT_EQ(song_file_stem("", "Console"), "Console");
    EXPECT_EQ(song_file_stem("", " .. . "), "song");
    // A long name is cut between characters, never inside one.
    std::string long_title;
    for (int i = 0; i < 100; ++i) long_title += "\xC3\xA9";  // é, two bytes each
    const std::string stem = song_file_stem("xy", long_title);
    EXPECT_EQ(stem.size(), 119u);  // "xy - " and 57 whole characters
    EXPECT_EQ(stem.substr(stem.size() - 2), "\xC3\xA9");

    EXPECT_EQ(folder_of("a/b/notes.mid"), "a/b");
    EXPECT_EQ(folder_of("C:\\Songs\\My Song\\notes.mid"), "C:\\Songs\\My Song");
    EXPECT_EQ(folder_of("/notes.mid"), "/");
    EXPECT_EQ(folder_of("notes.mid"), "");
}

TEST(Plan, TheDropsVideoGoesBesideTheChartAndNeverOverAFile) {
    TempFolder temp;
    const std::string song = temp.path() + "/My Song";
    ASSERT_EQ(mkdir(song.c_str(), 0755), 0);
    SongSource s;
    s.folder = song + "/";
    s.chart = song + "/notes.mid";
    s.ini.name = "Night Drive";
    s.ini.artist = "The Tivers";
    EXPECT_EQ(drop_output(s), song + "/The Tivers - Night Drive.mp4");
    write_file(song + "/The Tivers - Night Drive.mp4", "an earlier video");
    EXPECT_EQ(drop_output(s), song + "/The Tivers - Night Drive (2).mp4");
    ASSERT_EQ(mkdir((song + "/The Tivers - Night Drive (2).mp4").c_str(), 0755), 0);  // a folder of that name too
    EXPECT_EQ(drop_output(s), song + "/The Tivers - Night Drive (3).mp4");
    EXPECT_EQ(tool_test::read_file(song + "/The Tivers - Night Drive.mp4"), "an earlier video");
    // Without a name in song.ini: the folder's name; for a chart file, its name.
    s.ini = SongIni();
    EXPECT_EQ(song_title(s), "My Song");
    EXPECT_EQ(drop_output(s), song + "/My Song.mp4");
    s.folder.clear();
    s.chart = song + "/Night Drive.v2.mid";
    EXPECT_EQ(drop_output(s), song + "/Night Drive.v2.mp4");
    // Joined as the folder's path is written; no doubled separator.
    EXPECT_EQ(unused_path("C:\\Songs\\Nowhere ever", "x", ".mp4"), "C:\\Songs\\Nowhere ever\\x.mp4");
    EXPECT_EQ(unused_path(song + "/", "x", ".mp4"), song + "/x.mp4");
}

TEST(Plan, OutputKindsAndTheirDefaultNames) {
    TempFolder temp;
    const std::string d = temp.path() + "/";
    struct Case {
        std::vector<std::string> args;
        OutputKind kind;
        std::string output;
        bool whole_song;
    } cases[] = {
        {{"song"}, OutputKind::Picture, "highway.png", false},
        {{"song", "-o", d + "a.mp4"}, OutputKind::Video, d + "a.mp4", true},
        {{"song", "-o", d + "a.MP4", "--from", "1", "--to", "2"}, OutputKind::Video, d + "a.MP4", false},
        {{"song", "-o", d + "f%03d.png"}, OutputKind::Frames, d + "f%03d.png", true},
        {{"song", "--preview", "-o", d + "clip.png"}, OutputKind::Frames, d + "clip_%05d.png", false},
        {{"song", "--preview", "-o", d + "clip.mp4"}, OutputKind::Video, d + "clip.mp4", false},
        {{"song", "--at", "3", "-o", d + "still.png"}, OutputKind::Picture, d + "still.png", false},
    };
    for (const Case& c : cases) {
        RenderPlan p;
        std::string error;
        ASSERT_TRUE(plan_output(options(c.args), "/usr/bin/ffmpeg", &p, &error)) << c.args.back() << ": " << error;
        EXPECT_EQ(p.kind, c.kind) << c.args.back();
        EXPECT_EQ(p.output, c.output);
        EXPECT_EQ(p.whole_song, c.whole_song) << c.args.back();
        EXPECT_EQ(p.range, c.kind != OutputKind::Picture) << c.args.back();
    }
    RenderPlan p;
    std::string error;
    EXPECT_FALSE(plan_output(options({"song", "-o", d + "a.mp4"}), "", &p, &error));
    EXPECT_NE(error.find("ffmpeg is not on PATH"), std::string::npos) << error;
    EXPECT_FALSE(plan_output(options({"song", "--at", "2", "-o", d + "a.mp4"}), "/usr/bin/ffmpeg", &p, &error));
    EXPECT_NE(error.find("an MP4 needs a range"), std::string::npos) << error;
    EXPECT_FALSE(plan_output(options({"song", "-o", d + "no such folder/a.png"}), "", &p, &error));
    EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
    // The audio is probed for what ends with it and, where it can be, for the caption.
    ASSERT_TRUE(plan_output(options({"song", "--at", "3", "--caption", "-o", d + "s.png"}), "", &p, &error));
    EXPECT_EQ(plan_audio_need(options({"song", "--caption"}), p), AudioNeed::Wanted);
    EXPECT_EQ(plan_audio_need(options({"song"}), p), AudioNeed::None);
    ASSERT_TRUE(plan_output(options({"song", "--preview", "-o", d + "s.png"}), "", &p, &error));
    EXPECT_EQ(plan_audio_need(options({"song", "--preview"}), p), AudioNeed::Required);

    EXPECT_NE(refusal({"song", "--preview", "--at", "3"}).find("--preview cannot be combined"), std::string::npos);
    EXPECT_NE(refusal({"song", "--preview", "--from", "1", "--to", "3"}).find("--preview cannot"), std::string::npos);
    EXPECT_EQ(refusal({"song", "--caption=yes"}), "--caption takes no value");
    EXPECT_EQ(refusal({"song", "--no-controls=1"}), "--no-controls takes no value");
}

TEST(Plan, ThePreviewRangeFollowsSongIni) {
    SongIni ini;
    double from = 0.0, to = 0.0;
    const auto range = [&](int64_t start_ms, int64_t end_ms, double song_end) {
        ini.preview_start_ms = start_ms;
        ini.preview_end_ms = end_ms;
        preview_range(ini, song_end, &from, &to);
        return std::to_string(from) + " " + std::to_string(to);
    };
    EXPECT_EQ(range(20000, 35000, 200.0), "20.000000 35.000000");
    EXPECT_EQ(range(0, 0, 210.0), "70.000000 100.000000");      // a third of the song, 30 s
    EXPECT_EQ(range(20000, 0, 200.0), "20.000000 50.000000");   // no end: 30 s
    EXPECT_EQ(range(20000, 15000, 200.0), "20.000000 50.000000");  // an end before the start
    EXPECT_EQ(range(190000, 0, 200.0), "190.000000 200.000000");   // held within the song
    EXPECT_EQ(range(250000, 260000, 90.0), "30.000000 60.000000");  // a start past the end
    EXPECT_EQ(range(0, 0, 9.0), "3.000000 9.000000");

    // Read from song.ini: milliseconds, 0 or -1 for none, a bad value warned about.
    std::vector<std::string> warnings;
    SongIni read = parse_song_ini("[song]\npreview_start_time = 41250\npreview_end_time = -1\n", &warnings);
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(read.preview_start_ms, 41250);
    EXPECT_EQ(read.preview_end_ms, 0);
    read = parse_song_ini("[song]\npreview_start_time = soon\n", &warnings);
    EXPECT_EQ(read.preview_start_ms, 0);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("preview_start_time 'soon'"), std::string::npos) << warnings[0];
}

TEST(Plan, MomentsOfThePreviewAndTheWholeSong) {
    // The chart's last event lies at 6 s: without audio the song ends 2 s later.
    const std::string bytes = tool_test::chart_bytes(480, {1.0, 2.0, 3.0}, 6.0);
    SmfFile song;
    std::string error;
    ASSERT_TRUE(smf_parse(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &song, &error)) << error;
    ViewSettings v;
    v.track = 1;
    const std::vector<ViewSettings> views = {v};
    SongIni ini;
    ini.preview_start_ms = 2500;
    ini.preview_end_ms = 4000;

    const auto plan = [&](const std::vector<std::string>& args, const std::vector<AudioStem>& stems) {
        RenderOptions o = options(args);
        RenderPlan p;
        EXPECT_TRUE(plan_output(o, "/usr/bin/ffmpeg", &p, &error)) << error;
        EXPECT_TRUE(plan_moments(o, song, views, ini, stems, &p, &error)) << error;
        return p;
    };
    const std::string clip = "/tmp/tiver-plan-test-never-written.mp4";
    RenderPlan p = plan({"song", "--preview", "--fps", "10", "-o", clip}, {});
    EXPECT_DOUBLE_EQ(p.from, 2.5);
    EXPECT_DOUBLE_EQ(p.to, 4.0);
    EXPECT_DOUBLE_EQ(p.first, 2.5);
    EXPECT_EQ(p.count, 16);
    EXPECT_DOUBLE_EQ(p.song_end, 8.0);
    // The whole song ends with the longest stem when there is audio.
    const std::vector<AudioStem> stems = {{"a.ogg", 2, 12.5}, {"b.ogg", 1, 3.0}};
    p = plan({"song", "--fps", "4", "-o", clip}, stems);
    EXPECT_DOUBLE_EQ(p.from, 0.0);
    EXPECT_DOUBLE_EQ(p.to, 12.5);
    EXPECT_EQ(p.count, 51);
    // A still's moment, and the song's length for its caption.
    p = plan({"song", "--at", "2.25", "--caption"}, stems);
    EXPECT_DOUBLE_EQ(p.first, 2.25);
    EXPECT_EQ(p.count, 1);
    EXPECT_DOUBLE_EQ(p.song_end, 12.5);
    // A preview of more frames than the tool makes is refused, naming it.
    ini.preview_start_ms = 1000;
    ini.preview_end_ms = 86000000;
    RenderOptions o = options({"song", "--preview", "--fps", "240", "-o", clip});
    p = RenderPlan();
    ASSERT_TRUE(plan_output(o, "/usr/bin/ffmpeg", &p, &error));
    const std::vector<AudioStem> long_audio = {{"a.ogg", 2, 86400.0}};
    EXPECT_FALSE(plan_moments(o, song, views, ini, long_audio, &p, &error));
    EXPECT_NE(error.find("the preview"), std::string::npos) << error;
}

}  // namespace
