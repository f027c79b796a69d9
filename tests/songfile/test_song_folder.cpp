// The song folder reader: song.ini's keys, its encodings and bad lines, the HOPO threshold
// it asks for at any chart resolution, and which files of a folder are the chart and stems
// (a .chart's stream keys included).
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "tests/tools/tool_process.h"
#include "songfile/song_folder.h"
#include "songfile/song_ini.h"

namespace {

using tool_test::TempFolder;
using tool_test::write_file;

SongIni parse(const std::string& text, std::vector<std::string>* warnings = nullptr) {
    std::vector<std::string> w;
    SongIni ini = parse_song_ini(text, warnings ? warnings : &w);
    return ini;
}

TEST(SongIni, ReadsTheKeysOfTheSongSection) {
    std::vector<std::string> warnings;
    const SongIni ini = parse(
        "[song]\n"
        "name = Through the Gate\n"
        "artist = The Tivers\n"
        "charter = Mo\n"
        "delay = -120\n"
        "hopo_frequency = 96\n"
        "eighthnote_hopo = 0\n"
        "pro_drums = False\n"
        "five_lane_drums = 1\n"
        "song_length = 182000\n"
        "icon = whatever\n",
        &warnings);
    EXPECT_TRUE(warnings.empty()) << warnings[0];
    EXPECT_EQ(ini.name, "Through the Gate");
    EXPECT_EQ(ini.artist, "The Tivers");
    EXPECT_EQ(ini.charter, "Mo");
    ASSERT_TRUE(ini.has_delay);
    EXPECT_EQ(ini.delay_ms, -120);
    ASSERT_TRUE(ini.has_hopo_frequency);
    EXPECT_EQ(ini.hopo_frequency, 96);
    ASSERT_TRUE(ini.has_eighthnote_hopo);
    EXPECT_FALSE(ini.eighthnote_hopo);
    ASSERT_TRUE(ini.has_pro_drums);
    EXPECT_FALSE(ini.pro_drums);
    EXPECT_TRUE(ini.has_five_lane_drums && ini.five_lane_drums);

    // Nothing given: nothing set, Pro Drums stays the default.
    const SongIni empty = parse("[song]\n");
    EXPECT_FALSE(empty.has_delay || empty.has_hopo_frequency || empty.has_eighthnote_hopo || empty.has_pro_drums);
    EXPECT_TRUE(empty.pro_drums);
}

TEST(SongIni, NamesMatchWithoutCaseInAnyEncodingAndLineEnding) {
    // A byte-order mark, upper-case section and keys, CRLF and lone CR line ends, spaces
    // and tabs around '=', comment lines of both kinds.
    std::vector<std::string> warnings;
    const SongIni ini = parse("\xEF\xBB\xBF; made by hand\r\n[SONG]\r\n# a comment\r\nDelay\t=  250 \r\n"
                              "Hopo_Frequency=80\rPRO_DRUMS = TRUE\r\nName = Caf\xC3\xA9 \xE2\x99\xAB\r\n",
                              &warnings);
    EXPECT_TRUE(warnings.empty()) << warnings[0];
    EXPECT_EQ(ini.delay_ms, 250);
    EXPECT_EQ(ini.hopo_frequency, 80);
    EXPECT_TRUE(ini.has_pro_drums && ini.pro_drums);
    EXPECT_EQ(ini.name, "Caf\xC3\xA9 \xE2\x99\xAB");

    // Only [song] counts; keys before any section or in other sections are left alone.
    const SongIni other = parse("delay = 5\n[Other]\ndelay = 7\nbroken line\n[ Song ]\nname = A\n[x]\nname = B\n");
    EXPECT_FALSE(other.has_delay);
    EXPECT_EQ(other.name, "A");

    // A later line wins over an earlier one.
    EXPECT_EQ(parse("[song]\ndelay = 10\ndelay = 20\n").delay_ms, 20);
    // A decimal delay is rounded to whole milliseconds.
    EXPECT_EQ(parse("[song]\ndelay = 12.6\n").delay_ms, 13);
}

TEST(SongIni, EachBadLineIsSkippedWithOneWarning) {
    std::vector<std::string> warnings;
    const SongIni ini = parse("[song]\n"
                              "delay = soon\n"            // 2
                              "name = Good\n"
                              "just some words\n"         // 4
                              "= 5\n"                     // 5
                              "hopo_frequency = 1e3\n"    // 6
                              "pro_drums = maybe\n"       // 7
                              "eighthnote_hopo = yes\n"   // 8
                              "delay = 70000\n"           // 9
                              "artist = \xFF\xFE bad\n"   // 10
                              "[unfinished\n"             // 11
                              "delay = 40\n",
                              &warnings);
    ASSERT_EQ(warnings.size(), 9u);
    const char* const lines[] = {"line 2:", "line 4:", "line 5:", "line 6:", "line 7:",
                                 "line 8:", "line 9:", "line 10:", "line 11:"};
    for (size_t i = 0; i < warnings.size(); ++i) {
        EXPECT_EQ(warnings[i].compare(0, std::string(lines[i]).size(), lines[i]), 0) << warnings[i];
        EXPECT_NE(warnings[i].find("skipped"), std::string::npos) << warnings[i];
        EXPECT_EQ(warnings[i].find('\n'), std::string::npos);
    }
    EXPECT_NE(warnings[0].find("'soon'"), std::string::npos) << warnings[0];
    // The good lines still count; an unfinished section header leaves [song].
    EXPECT_EQ(ini.name, "Good");
    EXPECT_TRUE(ini.artist.empty());
    EXPECT_FALSE(ini.has_delay);
    EXPECT_FALSE(ini.has_hopo_frequency);
    EXPECT_FALSE(ini.has_pro_drums);
    EXPECT_FALSE(ini.has_eighthnote_hopo);
}

TEST(SongIni, ATextOfAnotherKindIsRefusedInOneWarning) {
    std::vector<std::string> warnings;
    const std::string utf16("\xFF\xFE[\0s\0o\0n\0g\0]\0\n\0", 16);
    const SongIni ini = parse(utf16, &warnings);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("UTF-16"), std::string::npos);
    EXPECT_FALSE(ini.has_delay);

    // Terminal controls in a name are blanked (they would reach the terminal and the
    // MP4's metadata); warnings quote bad values printably and briefly.
    warnings.clear();
    const SongIni escaped = parse("[song]\nname = a\x1b[31mred\x7f\xC2\x9B" "b\ndelay = \x1b[2J" +
                                  std::string(100, 'x') + "\n", &warnings);
    EXPECT_EQ(escaped.name, "a [31mred  b");
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].find('\x1b'), std::string::npos);
    EXPECT_LT(warnings[0].size(), 120u) << warnings[0];
}

TEST(SongIni, HopoFrequencyIsConvertedFromTheChartsResolution) {
    // 80 ticks at 192 per quarter is 200 of 480; 170 at 480 stays; 340 at 960 is 170.
    EXPECT_EQ(song_ini_hopo_threshold(parse("[song]\nhopo_frequency = 80\n"), 192, 170), 200);
    EXPECT_EQ(song_ini_hopo_threshold(parse("[song]\nhopo_frequency = 170\n"), 480, 100), 170);
    EXPECT_EQ(song_ini_hopo_threshold(parse("[song]\nhopo_frequency = 340\n"), 960, 100), 170);
    // Rounded to the nearest tick: 65 * 2.5 = 162.5 -> 163; 101 / 2 = 50.5 -> 51.
    EXPECT_EQ(song_ini_hopo_threshold(parse("[song]\nhopo_frequency = 65\n"), 192, 170), 163);
    EXPECT_EQ(song_ini_hopo_threshold(parse("[song]\nhopo_frequency = 101\n"), 960, 170), 51);
    // Clamped to 32..1920.
    EXPECT_EQ(song_ini_hopo_threshold(parse("[song]\nhopo_frequency = 10\n"), 480, 170), 32);
    EXPECT_EQ(song_ini_hopo_threshold(parse("[song]\nhopo_frequency = -50\n"), 480, 170), 32);
    EXPECT_EQ(song_ini_hopo_threshold(parse("[song]\nhopo_frequency = 1000\n"), 192, 170), 1920);
    EXPECT_EQ(song_ini_hopo_threshold(parse("[song]\nhopo_frequency = 999999999\n"), 1, 170), 1920);
    // eighthnote_hopo: half a quarter note, unless hopo_frequency says otherwise.
    EXPECT_EQ(song_ini_hopo_threshold(parse("[song]\neighthnote_hopo = 1\n"), 192, 170), 240);
    EXPECT_EQ(song_ini_hopo_threshold(parse("[song]\neighthnote_hopo = true\n"), 960, 170), 240);
    EXPECT_EQ(song_ini_hopo_threshold(parse("[song]\neighthnote_hopo = 0\n"), 960, 170), 170);
    EXPECT_EQ(song_ini_hopo_threshold(parse("[song]\neighthnote_hopo = 1\nhopo_frequency = 96\n"), 192, 170), 240);
    EXPECT_EQ(song_ini_hopo_threshold(parse("[song]\neighthnote_hopo = 1\nhopo_frequency = 100\n"), 480, 170), 100);
    // Nothing said: the fallback.
    EXPECT_EQ(song_ini_hopo_threshold(parse(""), 192, 300), 300);
}

TEST(SongFolder, StemsAreFoundByNameWithoutCase) {
    const std::vector<std::string> names = {
        "notes.mid", "song.ini", "Guitar.OGG", "guitar.mp3", "DRUMS_2.opus", "drums_1.wav", "preview.ogg",
        "crowd.flac", "vocals.m4a", "album.png", "song.ogg", "bass.ogg.bak", "rhythm.Wav", "keys",
        "drums_5.ogg", "vocals_2.mp3"};
    // In the fixed order of stem names, one file each (.ogg before .mp3), no preview, no
    // unknown names or extensions.
    EXPECT_EQ(find_stems(names), (std::vector<std::string>{"song.ogg", "Guitar.OGG", "rhythm.Wav", "drums_1.wav",
                                                           "DRUMS_2.opus", "vocals_2.mp3", "crowd.flac"}));
    EXPECT_TRUE(find_stems({"preview.ogg", "notes.mid"}).empty());
    // Two names differing only in case: the first in byte order.
    EXPECT_EQ(find_stems({"guitar.ogg", "GUITAR.ogg"}), std::vector<std::string>{"GUITAR.ogg"});
}

TEST(SongFolder, OpensTheChartAndTheIniWhateverTheirCase) {
    TempFolder t;
    const std::string dir = t.path();
    SongFolder f;
    std::vector<std::string> warnings;
    std::string error;
    EXPECT_FALSE(open_song_folder(dir, "", &f, &warnings, &error));
    EXPECT_NE(error.find("no notes.mid or .chart file"), std::string::npos) << error;
    // A folder named like a stem is not a stem.
    ASSERT_EQ(mkdir((dir + "/song.ogg").c_str(), 0755), 0);

    write_file(dir + "/NOTES.MID", "MThd");
    write_file(dir + "/Song.INI", "[song]\ndelay = 30\nnonsense\n");
    write_file(dir + "/bass.ogg", "");
    ASSERT_TRUE(open_song_folder(dir, "", &f, &warnings, &error)) << error;
    EXPECT_EQ(f.chart, dir + "/NOTES.MID");
    EXPECT_EQ(f.ini_path, dir + "/Song.INI");
    EXPECT_EQ(f.ini.delay_ms, 30);
    EXPECT_EQ(f.stems, std::vector<std::string>{dir + "/bass.ogg"});
    // Warnings name the file and the line.
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].rfind(f.ini_path + ": line 3:", 0), 0u) << warnings[0];

    EXPECT_FALSE(open_song_folder(dir + "/missing", "", &f, &warnings, &error));
    EXPECT_NE(error.find("cannot read the folder"), std::string::npos) << error;
}

TEST(SongFolder, ChoosesAmongTheChartFilesAndSaysSo) {
    TempFolder t;
    const std::string dir = t.path();
    const auto open = [&](const std::string& name, std::vector<std::string>* warnings) {
        SongFolder f;
        std::string error;
        warnings->clear();
        EXPECT_TRUE(open_song_folder(dir, name, &f, warnings, &error)) << error;
        return f.chart.substr(dir.size() + 1);
    };
    std::vector<std::string> w;
    write_file(dir + "/b.chart", "");
    EXPECT_EQ(open("", &w), "b.chart");
    EXPECT_TRUE(w.empty());
    // Several: the first by name, then one marked for forced notes, then notes.chart.
    write_file(dir + "/a.chart", "");
    EXPECT_EQ(open("", &w), "a.chart");
    ASSERT_EQ(w.size(), 1u);
    EXPECT_EQ(w[0], dir + ": holds 2 .chart files; a.chart is read (--chart b.chart reads another)");
    write_file(dir + "/song (f).chart", "");
    EXPECT_EQ(open("", &w), "song (f).chart");
    write_file(dir + "/Notes.Chart", "");
    EXPECT_EQ(open("", &w), "Notes.Chart");
    // notes.mid before them all; --chart picks any file of the folder, in any case, quietly.
    write_file(dir + "/notes.mid", "");
    EXPECT_EQ(open("", &w), "notes.mid");
    ASSERT_EQ(w.size(), 1u);
    EXPECT_NE(w[0].find("holds notes.mid and 4 .chart files; notes.mid is read (--chart "), std::string::npos) << w[0];
    EXPECT_EQ(open("B.CHART", &w), "b.chart");
    EXPECT_TRUE(w.empty());

    SongFolder f;
    std::string error;
    EXPECT_FALSE(open_song_folder(dir, "c.chart", &f, &w, &error));
    EXPECT_EQ(error, dir + ": no file c.chart in this folder (--chart names one of its files)");
}

TEST(SongFolder, ChartStreamKeysAddOnlyTheStemsTheReservedNamesLack) {
    TempFolder t;
    const std::string dir = t.path();
    for (const char* name : {"notes.chart", "song.ogg", "Backing.OGG", "lead.mp3", "notes.txt"})
        write_file(dir + "/" + name, "");
    SongFolder f;
    std::vector<std::string> warnings;
    std::string error;
    ASSERT_TRUE(open_song_folder(dir, "", &f, &warnings, &error)) << error;
    add_stream_stems(&f,
                     {{"MusicStream", "backing.ogg"},          // song.ogg is the music
                      {"GuitarStream", "lead.mp3"},            // added
                      {"BassStream", "song.ogg"},              // already mixed
                      {"RhythmStream", "C:\\Songs\\x\\r.ogg"},  // a path
                      {"KeysStream", "keys.ogg"},              // missing
                      {"DrumStream", "notes.txt"},             // not audio
                      {"Drum2Stream", ""},
                      {"CrowdStream", "BACKING.ogg"}},         // added, by its own name
                     &warnings);
    EXPECT_EQ(f.stems, (std::vector<std::string>{dir + "/song.ogg", dir + "/lead.mp3", dir + "/Backing.OGG"}));
    ASSERT_EQ(warnings.size(), 3u);
    EXPECT_EQ(warnings[0], dir + "/notes.chart: [Song] RhythmStream 'C:\\Songs\\x\\r.ogg' names a path, not a file "
                                 "of the song folder; skipped");
    EXPECT_EQ(warnings[1], dir + "/notes.chart: [Song] KeysStream 'keys.ogg': no such file in the song folder; skipped");
    EXPECT_NE(warnings[2].find("DrumStream 'notes.txt' is not an .ogg"), std::string::npos) << warnings[2];
}

}  // namespace
