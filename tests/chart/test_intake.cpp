// MIDI intake driven through processReplacing on the simulated host. Charts are built at
// 120 BPM (no tempo event), 480 ticks per quarter: a quarter note is 22050 samples.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "chart_rig.h"

namespace {

class Intake : public ChartRig {
protected:
    // Plays from 0 for `seconds` without painting, so nothing leaves the list.
    void play_through(double seconds) {
        host.sample_pos = 0;
        host.playing = true;
        sim_driver_run_seconds(&driver, seconds);
    }
};

TEST_F(Intake, ShortGemsLoseTheirSustainWhileMarkersKeepTheirLength) {
    SmfWriter w;
    SmfWriterTrack& t = w.add_track();
    t.note(480, 120, 96);   // a quarter of a quarter note: below 0.3
    t.note(480, 120, 116);
    t.note(960, 480, 97);   // a whole quarter: keeps its tail
    load(w, 0);
    stopped_at(0);          // Easy: reads 2.5 s ahead

    ASSERT_EQ(events_of(96).size(), 1u);
    EXPECT_EQ(events_of(96)[0].length, 0);
    ASSERT_EQ(events_of(116).size(), 1u);
    EXPECT_EQ(events_of(116)[0].length, sample_at_tick(600) - sample_at_tick(480));
    ASSERT_EQ(events_of(97).size(), 1u);
    EXPECT_EQ(events_of(97)[0].position, 44100);
    EXPECT_EQ(events_of(97)[0].length, 22050);
}

TEST_F(Intake, RepeatedNoteOnsAndZeroVelocityEndTheEarlierNote) {
    SmfWriter w;
    SmfWriterTrack& t = w.add_track();
    t.note_on(480, 97);
    t.note_on(960, 97);
    t.note_off(1200, 97);
    t.note_off(1300, 97);     // a stray note-off changes nothing any more
    t.note_on(1440, 98);
    t.note_on(1920, 98, 0);   // note-on of velocity 0 ends it and adds nothing
    load(w, 0);
    stopped_at(0);

    const std::vector<ChartEvent> red = events_of(97);
    ASSERT_EQ(red.size(), 2u);
    EXPECT_EQ(red[0].length, 22050);
    EXPECT_EQ(red[1].length, 11025);
    const std::vector<ChartEvent> yellow = events_of(98);
    ASSERT_EQ(yellow.size(), 1u);
    EXPECT_EQ(yellow[0].length, 22050);
}

TEST_F(Intake, AutomaticHopoFollowsTheWindowOfTheThreshold) {
    // Pairs two quarter notes (960 ticks) apart: (first, second, gap in ticks).
    struct Pair {
        int first, second, gap;
        uint8_t hopo_at_170;
    };
    const Pair pairs[] = {
        {96, 97, 120, 1},  // 0.25 quarter notes
        {96, 97, 192, 0},  // 0.4
        {97, 97, 120, 0},  // same note: no HOPO
        {96, 97, 168, 1},  // 0.35, inside 170 / 480 = 0.354166...
        {96, 97, 173, 0},  // 0.3604, outside
        {96, 100, 120, 1}, // four lanes apart still counts
        {84, 97, 120, 0},  // a Hard gem is not a neighbour of an Expert gem
        {96, 101, 120, 0}, // a phrase note is not a gem
    };
    for (int threshold : {170, 300}) {
        SCOPED_TRACE(threshold);
        SmfWriter w;
        SmfWriterTrack& t = w.add_track();
        int64_t at = 480;
        for (const Pair& p : pairs) {
            t.note(at, 60, p.first);
            t.note(at + p.gap, 60, p.second);
            at += 1920;
        }
        load(w, 0);
        self->hopo_threshold = threshold;
        play_through(18.0);

        const std::vector<ChartEvent> all = events();
        at = 480;
        for (const Pair& p : pairs) {
            SCOPED_TRACE(p.gap);
            const int64_t second = sample_at_tick(at + p.gap);
            auto it = std::find_if(all.begin(), all.end(), [&](const ChartEvent& e) {
                return e.position == second && e.kind == p.second;
            });
            ASSERT_NE(it, all.end());
            // At 300 ticks (0.625 quarter notes) every different-lane pair above qualifies.
            const bool wide = threshold == 300 && p.first != p.second && p.first >= 96 &&
                              p.second <= 100;
            EXPECT_EQ(it->auto_hopo, wide ? 1 : p.hopo_at_170);
            at += 1920;
        }
    }
}

TEST_F(Intake, Controller123EndsEveryEventBegunBeforeIt) {
    SmfWriter w;
    SmfWriterTrack& t = w.add_track();
    t.note_on(480, 96);
    t.note_on(480, 116);
    t.note_on(720, 97);
    t.note_on(1400, 98);        // begun 40 ticks before the controller: loses its tail
    t.controller(1440, 123, 0);
    t.note_on(1500, 99);        // after it: untouched
    t.note_off(1900, 99);
    t.note_off(4800, 96);       // late note-offs of shortened notes change nothing
    t.note_off(4800, 97);
    t.note_off(4800, 116);
    t.note_off(4800, 98);
    load(w, 0);
    play_through(6.0);

    EXPECT_EQ(events_of(96)[0].length, 44100);   // two quarter notes
    EXPECT_EQ(events_of(116)[0].length, 44100);
    EXPECT_EQ(events_of(97)[0].length, 33075);   // one and a half
    EXPECT_EQ(events_of(98)[0].length, 0);
    EXPECT_EQ(events_of(99)[0].length, sample_at_tick(1900) - sample_at_tick(1500));
    for (const ChartEvent& e : events())
        if (e.kind < 0) {
            EXPECT_EQ(e.length, 0);
        }
}

TEST_F(Intake, MixAndDrumsTextsAreTakenByModeAndDifficulty) {
    const char* texts[] = {
        "mix 3 drums3d",       // slot 1: 13 characters, the shortest taken
        "mix 3 drums3",        // slot 2: one shorter, a 15-byte message: never
        "[mix 3 drums0d]",     // slot 3: bracketed as in real charts
        "[mix 0 drums0]",      // slot 4
        "[mix 2 drums1easy]",  // slot 5
        "[mix 3 drums]",       // slot 6: 16 bytes, but bracketed needs 17
        "drums3 solo on",      // slot 7
        "[drums2 outro hits]", // slot 8
        "mix 3 drums3x",       // slot 10: no 'd' at character 12
    };
    SmfWriter w;
    SmfWriterTrack& t = w.add_track();
    for (int i = 0; i < 8; ++i) t.text(240 * (i + 1), texts[i]);
    t.meta(240 * 9, 0x06, "mix 3 drums3d");  // a marker meta event, not a text event
    t.text(240 * 10, texts[8]);

    struct Case {
        int mode, difficulty;
        std::vector<std::pair<int, int>> expected;  // (kind, text slot)
    };
    const Case cases[] = {
        {1, 3, {{KIND_MIX_SWAP, 1}, {KIND_MIX_SWAP, 3}, {KIND_DRUMS_TEXT, 7}, {KIND_MIX_PLAIN, 10}}},
        {1, 2, {{KIND_MIX_PLAIN, 5}, {KIND_DRUMS_TEXT, 8}}},
        {1, 0, {{KIND_MIX_PLAIN, 4}}},
        {1, 1, {}},
        {0, 3, {}},
        {2, 3, {}},
        {3, 3, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << " difficulty " << c.difficulty);
        load(w, 0);
        self->mode = c.mode;
        self->difficulty = c.difficulty;
        play_through(4.0);
        std::vector<std::pair<int, int>> got;
        for (const ChartEvent& e : events())
            if (e.kind <= KIND_MIX_SWAP) {
                EXPECT_EQ(e.length, 0);
                got.emplace_back(e.kind, static_cast<int>(e.position / sample_at_tick(240)));
            }
        EXPECT_EQ(got, c.expected);
    }
}

TEST_F(Intake, MovingAStoppedTransportRebuildsTheListAroundTheNewPosition) {
    SmfWriter w;
    SmfWriterTrack& t = w.add_track();
    t.note(1440, 3840, 62);   // 1.5 s to 5.5 s: begins before the re-read window
    t.note(2880, 960, 60);    // 3 s to 4 s: over before 5 s
    t.note(3840, 1920, 61);   // 4 s to 6 s: still sounding at 5 s
    t.note(4320, 60, 63);     // 4.5 s, short
    t.note(4800, 240, 64);    // at 5 s
    t.note(7104, 60, 60);     // 7.4 s: inside 5 s + 2.5 s
    t.note(7296, 60, 61);     // 7.6 s: beyond it
    for (int64_t tick = 7680; tick < 14400; tick += 480) t.note(tick, 60, 62);
    load(w, 0);

    stopped_at(10 * 44100.0);
    EXPECT_FALSE(events_of(62).empty());
    stopped_at(5 * 44100.0);

    EXPECT_EQ(self->display_position, 5 * 44100.0);
    for (const ChartEvent& e : events()) {
        EXPECT_GE(e.position, 2 * 44100);
        EXPECT_LT(e.position, 7.5 * 44100 + 512);
        EXPECT_GT(e.position + e.length, 5 * 44100) << "kind " << e.kind;
    }
    ASSERT_EQ(events_of(61).size(), 1u);
    EXPECT_EQ(events_of(61)[0].position, 4 * 44100);
    EXPECT_EQ(events_of(61)[0].length, 2 * 44100);
    ASSERT_EQ(events_of(64).size(), 1u);
    ASSERT_EQ(events_of(60).size(), 1u);
    EXPECT_EQ(events_of(60)[0].position, sample_at_tick(7104));
    EXPECT_TRUE(events_of(62).empty());
    EXPECT_TRUE(events_of(63).empty());
}

TEST_F(Intake, PlayingJumpsOfAtMost100SamplesBeyondTheReadHorizonKeepTheList) {
    SmfWriter w;
    SmfWriterTrack& t = w.add_track();
    for (int64_t tick = 0; tick < 9600; tick += 240) t.note(tick, 60, 60 + (tick / 240) % 5);
    load(w, 0);
    play_through(2.0);

    auto behind = [&](double p) {
        int n = 0;
        for (const ChartEvent& e : events()) n += e.position < p;
        return n;
    };
    host.sample_pos = self->read_horizon + 100;
    block();
    EXPECT_GT(behind(self->last_position), 0) << "a jump of 100 samples must not reset";

    host.sample_pos = self->read_horizon + 101;
    block();
    EXPECT_EQ(behind(self->last_position), 0) << "a jump of 101 samples re-reads from there";
    EXPECT_FALSE(events().empty());

    blocks(10);
    host.sample_pos = self->last_position - 1;  // any step back re-reads too
    block();
    EXPECT_EQ(behind(self->last_position), 0);
}

std::vector<ChartEvent> markers_of(const std::vector<ChartEvent>& all) {
    std::vector<ChartEvent> out;
    for (const ChartEvent& e : all)
        if (e.kind >= KIND_MEASURE && e.kind <= KIND_BEAT) out.push_back(e);
    return out;
}

// Markers at 120 BPM 4/4 from time 0 on: one every half beat, measure, half, beat, half...
void expect_120_bpm_markers(const std::vector<ChartEvent>& markers, double rate, size_t at_least) {
    ASSERT_GE(markers.size(), at_least);
    for (size_t k = 0; k < markers.size(); ++k) {
        SCOPED_TRACE(k);
        ASSERT_EQ(markers[k].position, static_cast<int64_t>(k * rate / 4));
        const int expected = k % 8 == 0 ? KIND_MEASURE : (k % 2 ? KIND_HALF_BEAT : KIND_BEAT);
        ASSERT_EQ(markers[k].kind, expected);
        ASSERT_EQ(markers[k].length, 0);
    }
}

TEST_F(Intake, BeatMarkersOfA120BpmMapComeEvery11025Samples) {
    SmfWriter w;
    w.add_track().note(0, 60, 60);
    load(w, 0);
    self->difficulty = 3;
    play_through(4.0);
    expect_120_bpm_markers(markers_of(events()), 44100.0, 20);
}

// Blocks whose length divides a half beat put a half beat on the first sample of many
// steps; each step still makes exactly the markers of its own samples.
TEST_F(Intake, NoMarkerIsLostOrRepeatedWhereHalfBeatsMeetBlockBoundaries) {
    SmfWriter w;
    w.add_track().note(0, 60, 60);
    load(w, 0);
    self->difficulty = 3;
    for (auto [rate, frames] : {std::pair{48000.0, 480}, {44100.0, 441}, {48000.0, 512},
                                {44100.0, 35}, {96000.0, 1000}}) {
        SCOPED_TRACE(testing::Message() << rate << " Hz, " << frames << " frames");
        sim_driver_init(&driver, &host, effect, frames);
        sim_driver_set_sample_rate(&driver, rate);
        play_through(6.0);
        expect_120_bpm_markers(markers_of(events()), rate, 28);
    }
}

TEST_F(Intake, CatchUpAfterAStoppedResetReadsBlockByBlock) {
    SmfWriter w;
    w.add_track().note(0, 60, 60);
    load(w, 0);
    stopped_at(10 * 44100.0);
    // 3 s back to 2.4 + 0.1 s ahead at Easy, in 512-frame steps, after one read of the
    // track's first second for the open-lane switch.
    EXPECT_EQ(host.raw_midi_calls, 1 + 474);
    EXPECT_EQ(self->read_horizon, 10 * 44100.0 - 3 * 44100.0 + 474 * 512.0);
    host.raw_midi_calls = 0;
    block();  // stopped and unmoved: the horizon is ahead already
    EXPECT_EQ(host.raw_midi_calls, 0);
    host.playing = true;
    blocks(2);  // the second block's read end passes the horizon: one step
    EXPECT_EQ(host.raw_midi_calls, 1);
}

TEST_F(Intake, WithoutATrackOnlyBeatMarkersAreRead) {
    SmfWriter w;
    w.add_track().note(480, 60, 60);
    load(w, -1);
    play_through(2.0);
    ASSERT_FALSE(events().empty());
    for (const ChartEvent& e : events()) EXPECT_LT(e.kind, 0);
    EXPECT_EQ(host.raw_midi_calls, 0);
}

TEST_F(Intake, AnUnusableSampleRateOnlyClearsTheOutputs) {
    SmfWriter w;
    SmfWriterTrack& t = w.add_track();
    for (int64_t tick = 0; tick < 9600; tick += 240) t.note(tick, 60, 97);
    load(w, 0);
    self->difficulty = 3;
    play_through(1.0);
    ASSERT_GT(paint().size(), 0u);

    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (float rate : {0.0f, -44100.0f, nan, inf, 1e30f}) {
        SCOPED_TRACE(rate);
        sim_driver_set_sample_rate(&driver, rate);
        const std::vector<ChartEvent> before = events();
        const double horizon = self->read_horizon;
        const double shown = self->display_position;
        block();
        EXPECT_EQ(driver.left, std::vector<float>(512, 0.0f));
        EXPECT_EQ(driver.right, std::vector<float>(512, 0.0f));
        EXPECT_EQ(self->read_horizon, horizon);
        EXPECT_EQ(self->display_position, shown);
        EXPECT_EQ(self->compute_visible_gems(false), 0);
        const std::vector<ChartEvent> after = events();
        ASSERT_EQ(after.size(), before.size());
        for (size_t i = 0; i < after.size(); ++i) {
            EXPECT_EQ(after[i].position, before[i].position);
            EXPECT_EQ(after[i].smash_frame, before[i].smash_frame);
        }
    }
    sim_driver_set_sample_rate(&driver, 44100.0);
    const double horizon = self->read_horizon;
    block();
    EXPECT_GT(self->read_horizon, horizon);
    EXPECT_GT(paint().size(), 0u);
}

TEST_F(Intake, ClosedEditorOrMissingTimeInfoLeavesTheChartAlone) {
    SmfWriter w;
    w.add_track().note(480, 60, 60);
    load(w, 0);
    host.sample_pos = 44100;
    effect->dispatcher(effect, effEditClose, 0, 0, nullptr, 0.0f);
    block();
    EXPECT_EQ(driver.left, std::vector<float>(512, 0.0f));
    EXPECT_EQ(self->last_position, 0.0);  // as the editor's opening left it
    EXPECT_EQ(host.raw_midi_calls, 0);

    effect->dispatcher(effect, effEditOpen, 0, 0, &fake_window, 0.0f);
    host.time_info_available = false;
    block();
    EXPECT_EQ(self->last_position, 0.0);
    EXPECT_TRUE(events().empty());

    host.time_info_available = true;
    for (double p : {std::numeric_limits<double>::quiet_NaN(), 1e300, -1e300}) {
        host.sample_pos = p;
        block();
        EXPECT_EQ(self->last_position, 0.0);
        EXPECT_TRUE(events().empty());
        EXPECT_EQ(driver.left, std::vector<float>(512, 0.0f));
    }
    host.sample_pos = 44100;
    block();
    EXPECT_EQ(self->last_position, 44100.0);
    EXPECT_FALSE(events().empty());
}

TEST_F(Intake, DisplayPositionLeadsByTheBlockLessLatencyAndTimeOffset) {
    SmfWriter w;
    w.add_track().note(480, 60, 60);
    load(w, 0);
    host.output_latency = 256;
    time_offset_ms = 10;
    host.sample_pos = 44100;
    host.playing = true;
    block();
    EXPECT_DOUBLE_EQ(self->display_position, 44100 + 512 - 256 - 441.0);
    host.playing = false;
    block();
    EXPECT_EQ(self->display_position, host.sample_pos);
}

// A host whose beat within the measure carries a rounding error of its own, apart from
// the full beats (as when the two are computed along different paths).
audioMasterCallback g_sim_master = nullptr;

double short_time_to_beats(void* map, double seconds, int* measure, int* per_measure,
                           double* full, int* denominator) {
    return sim_time_to_beats(map, seconds, measure, per_measure, full, denominator) - 1e-12;
}

intptr_t short_beats_master(AEffect* e, int32_t op, int32_t index, intptr_t value, void* ptr,
                            float opt) {
    if (op == HOST_EXT_OPCODE && index == HOST_EXT_FUNCTION_INDEX && ptr &&
        std::strcmp(static_cast<const char*>(ptr), "TimeMap2_timeToBeats") == 0)
        return reinterpret_cast<intptr_t>(&short_time_to_beats);
    return g_sim_master(e, op, index, value, ptr, opt);
}

TEST_F(Intake, MarkerKindsHoldWhenTheHostsBeatsComeBackAHairShort) {
    SmfWriter w;
    w.add_track().note(0, 60, 60);
    load(w, 0);
    g_sim_master = master;
    g_host_api = HostApi{};
    AEffect* other = VSTPluginMain(&short_beats_master);
    ASSERT_NE(other, nullptr);
    ChartPreview* p = ChartPreview::from(other);
    other->dispatcher(other, effEditOpen, 0, 0, &fake_window, 0.0f);
    p->difficulty = 3;
    SimDriver d;
    sim_driver_init(&d, &host, other, 512);
    host.playing = true;
    sim_driver_run_seconds(&d, 4.0);
    const ChartEvent* e = p->events.records<ChartEvent>();
    expect_120_bpm_markers(markers_of(std::vector<ChartEvent>(e, e + p->events.count<ChartEvent>())),
                           44100.0, 20);
    other->dispatcher(other, effClose, 0, 0, nullptr, 0.0f);
}

}  // namespace
