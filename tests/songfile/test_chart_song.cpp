// The .chart conversion into the MIDI song: every five-fret note group's state resolved by
// the .chart rules and written as a force marker; taps, opens, sustains; track-wide phrases
// from the difficulty shown; the kind of drums and its markers; EVENTS, PART VOCALS and the
// tempo track.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/songfile/chart_text.h"

namespace {

using namespace chart_test;

SmfTrack instrument(const std::string& text, int32_t instrument, int32_t shown = 3, const SongIni& ini = SongIni{}) {
    const ChartFile c = parse(text);
    return chart_instrument_track(c, instrument, chart_conversion(c, ini), shown);
}

// The force markers of Expert (101 HOPO, 102 strum) as (tick, note).
std::vector<std::pair<int64_t, int>> markers(const SmfTrack& t) {
    std::vector<std::pair<int64_t, int>> out;
    for (const Note& n : notes(t, 101, 102)) out.emplace_back(n.tick, n.note);
    return out;
}

constexpr int HOPO = 101, STRUM = 102;

TEST(ChartSong, EachNoteGroupGetsTheStateTheChartRulesGiveIt) {
    // Resolution 192: a single note at most 65 ticks after the group before is a HOPO.
    const SmfTrack t = instrument(chart_text({{"ExpertSingle",
                                               "0 = N 0 0\n"                        // first: strum
                                               "65 = N 1 0\n"                       // at the threshold: HOPO
                                               "131 = N 2 0\n"                      // one past it: strum
                                               "150 = N 2 0\n"                      // the same single lane: strum
                                               "170 = N 0 0\n170 = N 1 0\n"         // a chord: strum
                                               "200 = N 1 0\n"                      // a lane of that chord: HOPO
                                               "230 = N 1 0\n230 = N 5 0\n"         // forced repeat: HOPO
                                               "250 = N 3 0\n250 = N 5 0\n"         // forced natural HOPO: strum
                                               "270 = N 0 0\n270 = N 2 0\n270 = N 5 0\n"  // forced chord: HOPO
                                               "290 = N 4 0\n290 = N 6 0\n290 = N 5 0\n"  // tap beats the flip
                                               "300 = N 5 0\n300 = N 6 0\n"         // flags alone: nothing
                                               "310 = N 7 0\n"                      // an open after orange: HOPO
                                               "330 = N 7 0\n330 = N 0 0\n"}}),     // an open chord: strum
                                  CHART_SINGLE);
    EXPECT_EQ(markers(t), (std::vector<std::pair<int64_t, int>>{{0, STRUM},   {65, HOPO},  {131, STRUM}, {150, STRUM},
                                                                {170, STRUM}, {200, HOPO}, {230, HOPO},  {250, STRUM},
                                                                {270, HOPO},  {290, HOPO}, {310, HOPO},  {330, STRUM}}));
    for (const Note& n : notes(t, 101, 102)) EXPECT_EQ(n.length, 1) << n;
    // The tap as a tap phrase over its group; opens below the lanes, with the text event
    // that makes them opens.
    EXPECT_EQ(notes(t, 104, 104), (std::vector<Note>{{290, 104, 1, 100}}));
    EXPECT_EQ(notes(t, 95, 95), (std::vector<Note>{{310, 95, 1, 100}, {330, 95, 1, 100}}));
    EXPECT_EQ(texts(t), (std::vector<std::pair<int64_t, std::string>>{{0, "[ENHANCED_OPENS]"}}));
    EXPECT_EQ(t.name, "PART GUITAR");
}

TEST(ChartSong, TheThresholdFollowsSongIniAndTheResolution) {
    // Resolution 480: 162 ticks by default, hopo_frequency's ticks, or an eighth note and a
    // tick for eighthnote_hopo.
    const std::string text = chart_text({{"ExpertDoubleBass", "0 = N 0 0\n162 = N 1 0\n325 = N 2 0\n"
                                                              "566 = N 3 0\n808 = N 4 0\n"}},
                                        480);
    EXPECT_EQ(markers(instrument(text, CHART_DOUBLE_BASS)),
              (std::vector<std::pair<int64_t, int>>{{0, STRUM}, {162, HOPO}, {325, STRUM}, {566, STRUM}, {808, STRUM}}));
    SongIni ini;
    ini.has_hopo_frequency = true;
    ini.hopo_frequency = 163;
    EXPECT_EQ(markers(instrument(text, CHART_DOUBLE_BASS, 3, ini)),
              (std::vector<std::pair<int64_t, int>>{{0, STRUM}, {162, HOPO}, {325, HOPO}, {566, STRUM}, {808, STRUM}}));
    SongIni eighth;
    eighth.has_eighthnote_hopo = eighth.eighthnote_hopo = true;
    EXPECT_EQ(markers(instrument(text, CHART_DOUBLE_BASS, 3, eighth)),
              (std::vector<std::pair<int64_t, int>>{{0, STRUM}, {162, HOPO}, {325, HOPO}, {566, HOPO}, {808, STRUM}}));
    // A threshold of 0 or less says nothing.
    ini.hopo_frequency = 0;
    EXPECT_EQ(chart_conversion(parse(text), ini).hopo_threshold, 162);
}

TEST(ChartSong, SustainsTapRunsAndEveryDifficultysMarkers) {
    const SmfTrack t = instrument(chart_text({{"ExpertKeyboard",
                                               "0 = N 0 100\n0 = N 6 0\n"   // cut where the next green starts
                                               "10 = N 1 7\n10 = N 6 0\n"   // 7 ticks stay 7
                                               "20 = N 0 0\n20 = N 6 0\n"   // no length: one tick
                                               "30 = N 2 0\n"
                                               "40 = N 3 0\n40 = N 6 0\n"},
                                              {"EasyKeyboard", "0 = N 0 0\n500 = N 4 0\n"}}),
                                  CHART_KEYBOARD);
    EXPECT_EQ(notes(t, 96, 100),
              (std::vector<Note>{{0, 96, 20, 100}, {10, 97, 7, 100}, {20, 96, 1, 100}, {30, 98, 1, 100}, {40, 99, 1, 100}}));
    // One tap phrase per run of tapped groups.
    EXPECT_EQ(notes(t, 104, 104), (std::vector<Note>{{0, 104, 21, 100}, {40, 104, 1, 100}}));
    // Easy has its own gems and markers (65 HOPO, 66 strum): 500 ticks apart, both strums.
    EXPECT_EQ(notes(t, 60, 66), (std::vector<Note>{{0, 60, 1, 100}, {0, 66, 1, 100}, {500, 64, 1, 100}, {500, 66, 1, 100}}));
    EXPECT_EQ(t.name, "PART KEYS");
}

TEST(ChartSong, TrackWidePhrasesComeFromTheDifficultyShown) {
    const std::string text = chart_text({{"ExpertDoubleRhythm",
                                          "0 = N 0 0\n0 = S 2 100\n192 = N 1 0\n192 = N 6 0\n"
                                          "300 = S 0 50\n300 = S 1 60\n400 = S 65 20\n410 = S 66 0\n"
                                          "1000 = E solo\n1200 = E soloend\n1200 = E od_start\n1300 = S 64 10\n"},
                                         {"HardDoubleRhythm",
                                          "0 = N 0 0\n500 = S 2 0\n"
                                          "600 = E solo\n700 = E solo\n800 = E soloend\n900 = E soloend\n"
                                          "950 = E solo\n"}});
    const SmfTrack expert = instrument(text, CHART_DOUBLE_RHYTHM, 3);
    EXPECT_EQ(expert.name, "PART RHYTHM");
    // Star power, the two players, tremolo and trill, the solo with its end tick inside,
    // the tap; no fill on a guitar part; other texts as they are.
    EXPECT_EQ(notes(expert, 103, 127), (std::vector<Note>{{0, 116, 100, 100},
                                                          {192, 104, 1, 100},
                                                          {300, 105, 50, 100},
                                                          {300, 106, 60, 100},
                                                          {400, 126, 20, 100},
                                                          {410, 127, 1, 100},
                                                          {1000, 103, 201, 100}}));
    EXPECT_EQ(texts(expert), (std::vector<std::pair<int64_t, std::string>>{{1200, "od_start"}}));
    // Hard's: a zero-length star power phrase covers its tick; each soloend closes the
    // latest open solo; an unclosed one is left out; nested solos make one phrase.
    const SmfTrack hard = instrument(text, CHART_DOUBLE_RHYTHM, 2);
    EXPECT_EQ(notes(hard, 103, 127), (std::vector<Note>{{500, 116, 1, 100}, {600, 103, 301, 100}}));
    // Gems and force markers of every difficulty either way.
    EXPECT_EQ(notes(hard, 84, 102), notes(expert, 84, 102));
}

TEST(ChartSong, TheKindOfDrumsComesFromSongIniElseFromTheChart) {
    const auto kind = [](const std::string& drums, const char* ini_text) {
        std::vector<std::string> w;
        return chart_conversion(parse(chart_text({{"ExpertDrums", drums}})), parse_song_ini(ini_text, &w)).drums;
    };
    const std::string plain = "0 = N 2 0\n", flagged = "0 = N 2 0\n0 = N 66 0\n", fifth = "0 = N 5 0\n";
    EXPECT_EQ(kind(plain, ""), ChartDrums::FOUR_LANE);
    EXPECT_EQ(kind(flagged, ""), ChartDrums::PRO);
    EXPECT_EQ(kind(fifth, ""), ChartDrums::FIVE_LANE);
    EXPECT_EQ(kind(flagged + fifth, ""), ChartDrums::PRO);
    EXPECT_EQ(kind(plain, "[song]\npro_drums = 1\n"), ChartDrums::PRO);
    EXPECT_EQ(kind(plain, "[song]\nfive_lane_drums = true\n"), ChartDrums::FIVE_LANE);
    EXPECT_EQ(kind(flagged, "[song]\nfive_lane_drums = true\n"), ChartDrums::FIVE_LANE);
    // five_lane_drums = 0 rules a stray fifth pad out; pro_drums = 0 plays cymbal-flagged
    // drums as OLD Drums, as it does a MIDI chart's.
    EXPECT_EQ(kind(fifth, "[song]\nfive_lane_drums = 0\n"), ChartDrums::FOUR_LANE);
    EXPECT_EQ(kind(flagged, "[song]\npro_drums = 0\n"), ChartDrums::FOUR_LANE);
    EXPECT_EQ(kind(fifth, "[song]\npro_drums = 0\n"), ChartDrums::FOUR_LANE);
}

TEST(ChartSong, ProDrumsMarkTheUnflaggedPadsAsToms) {
    const std::string text = chart_text({{"ExpertDrums",
                                          "0 = N 2 0\n0 = N 66 0\n10 = N 2 0\n"     // yellow cymbal, tom
                                          "20 = N 3 0\n20 = N 67 0\n30 = N 3 0\n"   // blue
                                          "40 = N 4 0\n40 = N 68 0\n50 = N 4 0\n"   // green
                                          "60 = N 1 0\n60 = N 0 0\n60 = N 66 0\n"},  // red, kick; a flag without its pad
                                         {"HardDrums", "10 = N 2 0\n10 = N 66 0\n"}});
    const SmfTrack expert = instrument(text, CHART_DRUMS, 3);
    EXPECT_EQ(notes(expert, 110, 112), (std::vector<Note>{{10, 110, 1, 100}, {30, 111, 1, 100}, {50, 112, 1, 100}}));
    EXPECT_EQ(notes(expert, 96, 100), (std::vector<Note>{{0, 98, 1, 100}, {10, 98, 1, 100}, {20, 99, 1, 100},
                                                         {30, 99, 1, 100}, {40, 100, 1, 100}, {50, 100, 1, 100},
                                                         {60, 96, 1, 100}, {60, 97, 1, 100}}));
    // Shown at Hard, Hard's flags decide.
    EXPECT_TRUE(notes(instrument(text, CHART_DRUMS, 2), 110, 112).empty());
    // Pro Drums asked for by song.ini on a chart without flags: every yellow, blue and green a tom.
    SongIni pro;
    pro.has_pro_drums = pro.pro_drums = true;
    EXPECT_EQ(notes(instrument(chart_text({{"ExpertDrums", "0 = N 2 0\n0 = N 4 0\n5 = N 1 0\n"}}), CHART_DRUMS, 3, pro),
                    110, 112),
              (std::vector<Note>{{0, 110, 1, 100}, {0, 112, 1, 100}}));
    // Plain four-lane drums have no markers.
    EXPECT_TRUE(notes(instrument(chart_text({{"ExpertDrums", "0 = N 2 0\n"}}), CHART_DRUMS), 110, 112).empty());
}

TEST(ChartSong, FiveLaneDrumsTakeTheFourLanesOfProDrums) {
    const SmfTrack t = instrument(chart_text({{"ExpertDrums",
                                               "0 = N 1 0\n10 = N 2 0\n20 = N 3 0\n30 = N 4 0\n40 = N 5 0\n"
                                               "50 = N 4 0\n50 = N 5 0\n"}}),  // orange and green together
                                  CHART_DRUMS);
    // Red; yellow cymbal; blue tom; orange: green cymbal; green: green tom; both: green
    // cymbal and blue tom.
    EXPECT_EQ(notes(t, 96, 100), (std::vector<Note>{{0, 97, 1, 100}, {10, 98, 1, 100}, {20, 99, 1, 100},
                                                    {30, 100, 1, 100}, {40, 100, 1, 100}, {50, 99, 1, 100},
                                                    {50, 100, 1, 100}}));
    EXPECT_EQ(notes(t, 110, 112), (std::vector<Note>{{20, 111, 1, 100}, {40, 112, 1, 100}, {50, 111, 1, 100}}));
}

TEST(ChartSong, SecondKicksFillsRollsMixEventsAndDynamics) {
    const SmfTrack t = instrument(chart_text({{"ExpertDrums",
                                               "0 = N 32 0\n10 = N 0 0\n10 = N 32 0\n"
                                               "20 = N 1 0\n20 = N 34 0\n20 = N 40 0\n30 = N 1 0\n30 = N 40 0\n"
                                               "40 = N 2 0\n40 = N 35 0\n"
                                               "100 = S 64 50\n200 = S 65 30\n300 = S 66 40\n400 = S 2 10\n"
                                               "0 = E mix_3_drums0d\n500 = E [mix 3 drums0]\n"
                                               "600 = E mix 3 drums9\n"},
                                              {"HardDrums", "0 = N 32 0\n0 = N 0 0\n50 = N 32 0\n0 = E mix_2_drums1easy\n"}}),
                                  CHART_DRUMS);
    // The second kick: 95 on Expert, a kick below it (one with a kick of the same tick).
    EXPECT_EQ(notes(t, 95, 96), (std::vector<Note>{{0, 95, 1, 100}, {10, 96, 1, 100}, {10, 95, 1, 100}}));
    EXPECT_EQ(notes(t, 84, 84), (std::vector<Note>{{0, 84, 1, 100}, {50, 84, 1, 100}}));
    // Accents and ghosts in the velocity; an accent beats a ghost on one pad.
    EXPECT_EQ(notes(t, 97, 98), (std::vector<Note>{{20, 97, 1, 127}, {30, 97, 1, 1}, {40, 98, 1, 127}}));
    // The fill over 120..124 with its end tick inside; rolls; star power.
    std::vector<Note> expected;
    for (int n = 120; n <= 124; ++n) expected.push_back({100, n, 51, 100});
    expected.push_back({400, 116, 10, 100});
    EXPECT_EQ(notes(t, 116, 124), expected);
    EXPECT_EQ(notes(t, 126, 127), (std::vector<Note>{{200, 126, 30, 100}, {300, 127, 40, 100}}));
    // Mix events of every difficulty in the bracketed form; one the plug-in would misread
    // (drums9) stays an ordinary text.
    EXPECT_EQ(texts(t), (std::vector<std::pair<int64_t, std::string>>{{0, "[ENABLE_CHART_DYNAMICS]"},
                                                                       {0, "[mix 2 drums1easy]"},
                                                                       {0, "[mix 3 drums0d]"},
                                                                       {500, "[mix 3 drums0]"},
                                                                       {600, "mix 3 drums9"}}));
}

TEST(ChartSong, TheSongHoldsTheTempoMapTracksEventsAndVocals) {
    const ChartFile c = parse(chart_text({{"SyncTrack", "0 = TS 6 3\n0 = B 150000\n768 = B 90000\n"},
                                          {"Events",
                                           "0 = E \"section Verse 1\"\n10 = E \"section_Chorus\"\n"
                                           "20 = E \"[section Bridge]\"\n30 = E \"prc_intro\"\n40 = E \"end\"\n"
                                           "50 = E \"phrase_start\"\n50 = E \"lyric Hel-\"\n60 = E \"lyric lo\"\n"
                                           "70 = E \"phrase_start\"\n70 = E \"lyric world\"\n80 = E \"phrase_end\"\n"
                                           "90 = E \"phrase_start\"\n95 = E \"lyric again\"\n"},
                                          {"ExpertDrums", "0 = N 0 0\n"},
                                          {"HardSingle", "0 = N 0 0\n"},
                                          {"EasyDoubleGuitar", "0 = N 0 0\n"}},
                                         320));
    const SmfFile song = chart_to_smf(c, chart_conversion(c, SongIni{}));
    EXPECT_EQ(song.division, 320);
    std::vector<std::string> names;
    for (const SmfTrack& t : song.tracks) names.push_back(t.name);
    EXPECT_EQ(names, (std::vector<std::string>{"", "PART GUITAR", "PART GUITAR COOP", "PART DRUMS", "EVENTS",
                                               "PART VOCALS"}));
    ASSERT_EQ(song.tempos.size(), 2u);
    EXPECT_EQ(song.tempos[1].us_per_quarter, 666667u);
    ASSERT_EQ(song.signatures.size(), 1u);
    EXPECT_EQ(song.signatures[0].denominator, 8);
    // The tempo track holds them as a MIDI file does: FF 58 and FF 51.
    const std::vector<std::pair<int64_t, std::string>> ts = texts(song.tracks[0], 0x58), tempo = texts(song.tracks[0], 0x51);
    EXPECT_EQ(ts, (std::vector<std::pair<int64_t, std::string>>{{0, std::string("\x06\x03\x18\x08", 4)}}));
    EXPECT_EQ(tempo, (std::vector<std::pair<int64_t, std::string>>{{0, std::string("\x06\x1A\x80", 3)},
                                                                   {768, std::string("\x0A\x2C\x2B", 3)}}));
    EXPECT_EQ(texts(*track(song, "EVENTS")),
              (std::vector<std::pair<int64_t, std::string>>{{0, "[section Verse 1]"}, {10, "[section Chorus]"},
                                                            {20, "[section Bridge]"}, {30, "[prc_intro]"}, {40, "[end]"}}));
    const SmfTrack& vocals = *track(song, "PART VOCALS");
    EXPECT_EQ(texts(vocals, 0x05), (std::vector<std::pair<int64_t, std::string>>{
                                       {50, "Hel-"}, {60, "lo"}, {70, "world"}, {95, "again"}}));
    // A phrase ends at its phrase_end or at the next phrase_start; the last, unended, after
    // the last event.
    EXPECT_EQ(notes(vocals), (std::vector<Note>{{50, 105, 20, 100}, {70, 105, 10, 100}, {90, 105, 6, 100}}));
    // Without any [Events], no EVENTS track.
    const ChartFile bare = parse(chart_text({{"ExpertSingle", "0 = N 0 0\n"}}));
    EXPECT_EQ(chart_to_smf(bare, ChartConversion{}).tracks.size(), 2u);
}

}  // namespace
