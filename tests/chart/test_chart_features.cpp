// Today's five-lane chart features through the intake and the visible window: open notes (SysEx
// phrases or note b-1 behind the open-lane switch), taps (SysEx or note 104), the Expert+ kick,
// and the solo, fill and lane strips. 120 BPM, 480 ticks per quarter: a quarter is 22050 samples.
#include <algorithm>
#include <cmath>

#include "chart_invariants.h"
#include "chart_rig.h"

namespace {

constexpr uint8_t ALL = 0xFF;
constexpr uint8_t OPEN = 0x01;
constexpr uint8_t TAP = 0x04;

// A modifier phrase's start (value 1) or end (0). The host hands it over as F0 50 53 00 00 DD
// CC VV F7; `length_byte` writes one more byte so that it arrives as F0 08 50 53 ... F7.
void sysex(SmfWriterTrack& t, int64_t tick, uint8_t difficulty, uint8_t code, uint8_t value,
           bool length_byte = false) {
    std::vector<uint8_t> b{0xF0};
    if (length_byte) b.insert(b.end(), {0x09, 0x08});
    else b.push_back(0x08);
    b.insert(b.end(), {0x50, 0x53, 0x00, 0x00, difficulty, code, value, 0xF7});
    t.raw(tick, b);
}

class Features : public ChartRig {
protected:
    // The visible records of gems (not markers or strips) at `tick`, by lane.
    std::vector<VisibleGem> gems_at(const std::vector<VisibleGem>& all, int64_t tick) const {
        std::vector<VisibleGem> out;
        const double near = double(sample_at_tick(tick) - self->display_position) / 44100 /
                            HIGHWAY_SPAN_SECONDS[clamp_difficulty(self->difficulty)];
        for (const VisibleGem& v : all)
            if (v.image >= 0 && std::abs(v.near - near) < 1e-9) out.push_back(v);
        std::sort(out.begin(), out.end(), [](const VisibleGem& a, const VisibleGem& b) { return a.lane < b.lane; });
        return out;
    }
    VisibleGem one_gem_at(const std::vector<VisibleGem>& all, int64_t tick) const {
        const std::vector<VisibleGem> g = gems_at(all, tick);
        EXPECT_EQ(g.size(), 1u) << "at tick " << tick;
        return g.empty() ? VisibleGem{} : g[0];
    }
    std::vector<VisibleGem> of_image(const std::vector<VisibleGem>& all, int32_t image) const {
        std::vector<VisibleGem> out;
        for (const VisibleGem& v : all)
            if (v.image == image) out.push_back(v);
        return out;
    }
    // Stopped at 0 after a jump there, so the list is read afresh from the loaded chart.
    void afresh_at_zero() {
        stopped_at(44100 * 30.0);
        stopped_at(0);
    }
    // Read afresh at 0 at Expert and painted once, checking the lists' invariants.
    std::vector<VisibleGem> expert_frame() {
        self->difficulty = 3;
        afresh_at_zero();
        const std::vector<VisibleGem> shown = paint();
        EXPECT_EQ(chart_invariant_broken(*self, 512), nullptr);
        EXPECT_EQ(visible_invariant_broken(*self, static_cast<int32_t>(shown.size())), nullptr);
        return shown;
    }
};

TEST_F(Features, SysExPhrasesOfTheShownDifficultyTakeTheirLengthsFromTheirEnds) {
    SmfWriter w;
    SmfWriterTrack& t = w.add_track();
    sysex(t, 480, 3, OPEN, 1);
    sysex(t, 960, 3, OPEN, 0);
    sysex(t, 480, ALL, TAP, 1, true);         // the form with the file's length byte
    sysex(t, 720, ALL, TAP, 0, true);
    sysex(t, 800, 3, TAP, 1);
    sysex(t, 900, 3, TAP, 1);                 // a second start ends the first, as a note-on
    sysex(t, 1100, 3, TAP, 0);
    sysex(t, 1100, 3, TAP, 0);                // a stray end changes nothing
    sysex(t, 480, 2, OPEN, 1);                // another difficulty's phrase
    sysex(t, 480, 3, 0x02, 1);                // another code
    sysex(t, 480, 3, OPEN, 2);                // another value
    t.raw(480, {0xF0, 0x08, 0x50, 0x54, 0x00, 0x00, 0x03, 0x01, 0x01, 0xF7});  // not "PS"
    t.raw(480, {0xF0, 0x03, 0x43, 0x10, 0xF7});                               // any other SysEx
    t.raw(480, {0xF0, 0x01, 0xF7});
    t.raw(480, {0xF0, 0x00});
    load(w, 0);
    self->difficulty = 3;
    stopped_at(0);

    const std::vector<ChartEvent> open = events_of(KIND_OPEN_PHRASE);
    ASSERT_EQ(open.size(), 1u);
    EXPECT_EQ(open[0].position, 22050);
    EXPECT_EQ(open[0].length, 22050);
    const std::vector<ChartEvent> tap = events_of(KIND_TAP_PHRASE);
    ASSERT_EQ(tap.size(), 3u);
    EXPECT_EQ(tap[0].position, 22050);
    EXPECT_EQ(tap[0].length, 11025);
    EXPECT_EQ(tap[1].length, sample_at_tick(900) - sample_at_tick(800));
    EXPECT_EQ(tap[2].position, sample_at_tick(900));
    EXPECT_EQ(tap[2].length, sample_at_tick(1100) - sample_at_tick(900));
    EXPECT_EQ(chart_invariant_broken(*self, 512), nullptr);

    // At Hard only the all-difficulty tap and Hard's open are read.
    self->difficulty = 2;
    afresh_at_zero();
    ASSERT_EQ(events_of(KIND_OPEN_PHRASE).size(), 1u);
    EXPECT_EQ(events_of(KIND_OPEN_PHRASE)[0].length, OPEN_NOTE_LENGTH) << "never ended";
    EXPECT_EQ(events_of(KIND_TAP_PHRASE).size(), 1u);
}

TEST_F(Features, TheOpenLaneSwitchIsLookedForInTheFirstSecondOnEveryFreshRead) {
    struct Case {
        const char* text;
        int64_t tick;
        bool on;
    } cases[] = {
        {"[ENHANCED_OPENS]", 0, true},
        {"ENHANCED_OPENS", 480, true},
        {"[ENHANCED_OPENS]", 955, true},   // still inside the first second
        {"[ENHANCED_OPENS]", 965, false},  // beyond it
        {"[ENHANCED_OPENS] ", 0, false},
        {"[enhanced_opens]", 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text + std::string(" at ") + std::to_string(c.tick));
        SmfWriter w;
        SmfWriterTrack& t = w.add_track();
        t.text(c.tick, c.text);
        t.note(0, 60, 97);
        t.note(9600, 60, 95);  // 10 s
        load(w, 0);
        self->difficulty = 3;
        stopped_at(0);
        host.raw_midi_calls = 0;
        stopped_at(44100 * 9.5);  // a jump: read from 6.5 s, after the first second's read
        EXPECT_EQ(self->enhanced_opens, c.on ? 1 : 0);
        // 3 s back to 1.3 s ahead in 512-frame steps.
        EXPECT_EQ(host.raw_midi_calls, 1 + static_cast<int64_t>(std::ceil(4.3 * 44100 / 512)));
        for (const ChartEvent& e : events()) EXPECT_GE(e.position, 44100 * 6.5) << "kind " << e.kind;
        const std::vector<VisibleGem> shown = paint();
        EXPECT_EQ(shown.size() - of_image(shown, KIND_BEAT).size() - of_image(shown, KIND_HALF_BEAT).size() -
                      of_image(shown, KIND_MEASURE).size(),
                  c.on ? 1u : 0u);
    }

    // A block that reads on where the last one stopped does not look again; the first block
    // after the editor opens does, without a jump.
    SmfWriter with;
    with.add_track().text(0, "[ENHANCED_OPENS]");
    load(with, 0);
    stopped_at(0);
    EXPECT_EQ(self->enhanced_opens, 1);
    SmfWriter plain;
    plain.add_track().note(0, 60, 96);
    load(plain, 0);
    host.raw_midi_calls = 0;
    block();
    EXPECT_EQ(host.raw_midi_calls, 0);
    EXPECT_EQ(self->enhanced_opens, 1);
    ASSERT_EQ(effect->dispatcher(effect, effEditOpen, 0, 0, &fake_window, 0.0f), 1);
    block();
    EXPECT_EQ(self->enhanced_opens, 0);
}

TEST_F(Features, OpensTakePartInTheHopoRuleAsTheirOwnLaneOnlyWithTheSwitch) {
    for (bool on : {true, false}) {
        SCOPED_TRACE(on ? "switch on" : "switch off");
        SmfWriter w;
        SmfWriterTrack& t = w.add_track();
        if (on) t.text(0, "[ENHANCED_OPENS]");
        t.note(100, 30, 96);
        t.note(220, 30, 95);   // open a quarter of a quarter after a fret: HOPO open
        t.note(340, 30, 97);   // fret after an open: HOPO
        t.note(600, 30, 95);
        t.note(720, 30, 95);   // open after an open: strum
        t.note(840, 30, 100);  // orange after an open, beyond the old note window: HOPO
        t.note(960, 240, 95);  // half a quarter: keeps its sustain; short opens lose theirs
        t.note(960, 240, 98);
        load(w, 0);
        self->difficulty = 3;
        afresh_at_zero();
        const std::vector<ChartEvent> opens = events_of(95);
        ASSERT_EQ(opens.size(), 4u);
        EXPECT_EQ(opens[0].auto_hopo, on ? 1 : 0);
        EXPECT_EQ(events_of(97)[0].auto_hopo, on ? 1 : 0);
        EXPECT_EQ(opens[2].auto_hopo, 0);
        EXPECT_EQ(events_of(100)[0].auto_hopo, on ? 1 : 0);
        EXPECT_EQ(opens[0].length, on ? 0 : sample_at_tick(250) - sample_at_tick(220))
            << "short opens lose their sustain like gems";
        EXPECT_EQ(opens[3].length, 11025);

        const std::vector<VisibleGem> shown = paint();
        if (!on) {
            EXPECT_TRUE(gems_at(shown, 220).empty()) << "without the switch b-1 is nothing";
            continue;
        }
        const VisibleGem o = one_gem_at(shown, 220);
        EXPECT_EQ(o.lane, OPEN_LANE);
        EXPECT_EQ(o.image, OPEN_LANE);
        EXPECT_EQ(o.variant, 1);
        EXPECT_EQ(one_gem_at(shown, 340).variant, 1);
        EXPECT_EQ(one_gem_at(shown, 720).variant, 0);
        EXPECT_EQ(one_gem_at(shown, 840).variant, 1);
        // An open with a fret is a chord: no automatic HOPO, a sustain of its own, and the
        // open listed after the fret so that it is drawn under it.
        const std::vector<VisibleGem> chord = gems_at(shown, 960);
        ASSERT_EQ(chord.size(), 2u);
        EXPECT_EQ(chord[0].lane, 2);
        EXPECT_EQ(chord[1].lane, OPEN_LANE);
        EXPECT_DOUBLE_EQ(chord[1].tail, 0.25 / 1.2);
        for (const VisibleGem& v : chord) EXPECT_EQ(v.variant, 0);
        const double near = double(sample_at_tick(960)) / 44100 / 1.2;
        int32_t yellow = -1, open = -1;
        for (size_t i = 0; i < shown.size(); ++i) {
            if (std::abs(shown[i].near - near) > 1e-9) continue;
            if (shown[i].lane == 2) yellow = static_cast<int32_t>(i);
            if (shown[i].lane == OPEN_LANE) open = static_cast<int32_t>(i);
        }
        EXPECT_GT(yellow, -1);
        EXPECT_GT(open, yellow);
    }
}

TEST_F(Features, SysExOpensMakeTheGreenGemOpenAndHideTheRestOfItsChord) {
    SmfWriter w;
    SmfWriterTrack& t = w.add_track();
    t.note(240, 30, 96);
    t.note(240, 30, 97);        // covered with the green: not drawn
    sysex(t, 240, 3, OPEN, 1);  // listed after its gems
    t.note(360, 30, 98);        // a yellow alone under the phrase: not drawn
    t.note(480, 30, 96);        // on the end: outside
    sysex(t, 480, 3, OPEN, 0);
    t.note(660, 30, 99);
    t.note(720, 30, 96);        // an automatic HOPO after the blue ...
    sysex(t, 720, 3, OPEN, 1);
    t.note(720, 120, 102);      // ... under a forced strum
    sysex(t, 780, 3, OPEN, 0);
    load(w, 0);
    const std::vector<VisibleGem> shown = expert_frame();
    const VisibleGem o = one_gem_at(shown, 240);
    EXPECT_EQ(o.lane, OPEN_LANE);
    EXPECT_EQ(o.image, OPEN_LANE);
    EXPECT_TRUE(gems_at(shown, 360).empty());
    EXPECT_EQ(one_gem_at(shown, 480).lane, 0);
    EXPECT_EQ(events_of(96).back().auto_hopo, 1);
    const VisibleGem forced = one_gem_at(shown, 720);
    EXPECT_EQ(forced.lane, OPEN_LANE);
    EXPECT_EQ(forced.variant, 0);

    // Keys know no opens: the gems are drawn as they are.
    self->mode = 3;
    EXPECT_EQ(gems_at(paint(), 240).size(), 2u);
}

TEST_F(Features, TapsBeatForcedAndAutomaticStatesChordsIncluded) {
    SmfWriter w;
    SmfWriterTrack& t = w.add_track();
    t.text(0, "[ENHANCED_OPENS]");
    t.note(150, 300, 104);  // note-104 taps: [150, 450)
    t.note(150, 300, 102);  // under a forced strum too
    t.note(150, 30, 96);
    t.note(150, 30, 98);    // a chord
    t.note(195, 30, 97);    // an automatic HOPO
    t.note(240, 30, 95);    // an open under a tap: a HOPO open
    t.note(450, 30, 99);    // on note 104's end: not a tap
    t.note(700, 30, 97);
    sysex(t, 700, ALL, TAP, 1);  // listed after the gem at its own position
    t.note(900, 30, 98);    // on the SysEx phrase's end: a tap
    sysex(t, 900, ALL, TAP, 0);
    t.note(960, 30, 99);    // after it: the automatic rule again
    load(w, 0);
    const std::vector<VisibleGem> shown = expert_frame();
    for (const VisibleGem& v : gems_at(shown, 150)) EXPECT_EQ(v.variant, 2);
    EXPECT_EQ(gems_at(shown, 150).size(), 2u);
    EXPECT_EQ(one_gem_at(shown, 195).variant, 2);
    const VisibleGem open = one_gem_at(shown, 240);
    EXPECT_EQ(open.lane, OPEN_LANE);
    EXPECT_EQ(open.variant, 1);
    EXPECT_EQ(one_gem_at(shown, 450).variant, 0) << "forced strum ended with note 104";
    EXPECT_EQ(one_gem_at(shown, 700).variant, 2);
    EXPECT_EQ(one_gem_at(shown, 900).variant, 2);
    EXPECT_EQ(one_gem_at(shown, 960).variant, 1);
    for (const VisibleGem& v : shown) {
        EXPECT_NE(v.image, KIND_OPEN_PHRASE);
        EXPECT_NE(v.image, KIND_TAP_PHRASE);
    }
    // Keys: no taps.
    self->mode = 3;
    for (const VisibleGem& v : paint()) EXPECT_EQ(v.variant, 0);
}

TEST_F(Features, TheExpertPlusKickIsAKickOfItsOwnAtExpertOnly) {
    SmfWriter w;
    SmfWriterTrack& t = w.add_track();
    t.note(480, 60, 95);
    t.note(480, 60, 98);
    t.note(720, 60, 83);
    t.note(720, 60, 71);
    t.note(720, 60, 59);
    t.note(720, 60, 86);
    load(w, 0);
    self->mode = 1;
    std::vector<VisibleGem> shown = expert_frame();
    const std::vector<VisibleGem> two = gems_at(shown, 480);
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[0].lane, 0);
    EXPECT_EQ(two[0].image, 0);
    EXPECT_EQ(two[0].variant, 2);
    EXPECT_EQ(two[1].lane, 2);
    EXPECT_TRUE(gems_at(shown, 720).empty());
    for (int32_t d : {0, 1, 2}) {
        self->difficulty = d;
        afresh_at_zero();
        const std::vector<VisibleGem> lower = paint();
        EXPECT_EQ(gems_at(lower, 480).size(), 0u) << d;
        if (d == 2) {
            EXPECT_EQ(gems_at(lower, 720).size(), 1u) << "Hard's yellow only";
        }
    }

    // It flashes as a kick when it is played: 21 paints, then gone.
    self->difficulty = 3;
    sim_driver_init(&driver, &host, effect, 441);
    host.sample_pos = 0;
    host.playing = true;
    while (self->display_position < sample_at_tick(480)) block();
    VisibleGem kick{};
    for (int call = 1; call <= 21; ++call) {
        shown = paint();
        ASSERT_FALSE(of_image(shown, 37 + (call - 1) / 3).empty()) << call;
        for (const VisibleGem& v : shown)
            if (v.lane == 0) kick = v;
        EXPECT_EQ(kick.variant, 2);
        block();
    }
    shown = paint();
    for (const VisibleGem& v : shown) EXPECT_NE(v.lane, 0);
}

TEST_F(Features, SolosFillsAndLanesAreStripsWhileTheirEndsAreAhead) {
    SmfWriter w;
    SmfWriterTrack& t = w.add_track();
    t.note(480, 1440, 103);  // solo from 0.5 s to 2 s
    t.note(480, 960, 120);   // drum fill
    t.note(960, 480, 126, 100);
    t.note(960, 60, 97);
    t.note(1080, 60, 99);
    t.note(1200, 60, 97);
    t.note(1320, 60, 96);    // a kick in drums
    t.note(1440, 60, 98);    // on the lane's end: outside
    load(w, 0);
    self->difficulty = 3;
    sim_driver_init(&driver, &host, effect, 441);
    host.sample_pos = 0;
    host.playing = true;
    while (self->display_position < 44100) block();  // 1 s: the solo has begun

    std::vector<VisibleGem> shown = paint();
    std::vector<VisibleGem> solo = of_image(shown, IMAGE_SOLO_STRIP);
    ASSERT_EQ(solo.size(), 1u);
    EXPECT_EQ(solo[0].lane, -1);
    EXPECT_DOUBLE_EQ(solo[0].near, -0.5 / 1.2);
    EXPECT_DOUBLE_EQ(solo[0].tail, 1.5 / 1.2);
    EXPECT_TRUE(of_image(shown, IMAGE_FILL_STRIP).empty()) << "fills are drums only";
    std::vector<VisibleGem> lanes = of_image(shown, IMAGE_LANE_STRIP);
    ASSERT_EQ(lanes.size(), 3u);
    EXPECT_EQ(lanes[0].lane, 0);
    EXPECT_EQ(lanes[1].lane, 1);
    EXPECT_EQ(lanes[2].lane, 3);
    EXPECT_DOUBLE_EQ(lanes[0].near, 0.0);
    EXPECT_DOUBLE_EQ(lanes[0].tail, 0.5 / 1.2);
    EXPECT_EQ(visible_invariant_broken(*self, static_cast<int32_t>(shown.size())), nullptr);

    // Drums: the fill shows, the kick has no lane, and the swapped red lies in lane 2.
    self->mode = 1;
    self->add_swap_switch(0, true);
    shown = paint();
    EXPECT_EQ(of_image(shown, IMAGE_FILL_STRIP).size(), 1u);
    lanes = of_image(shown, IMAGE_LANE_STRIP);
    ASSERT_EQ(lanes.size(), 2u);
    EXPECT_EQ(lanes[0].lane, 2);
    EXPECT_EQ(lanes[1].lane, 3);

    // The solo is kept until its end has passed the strike line.
    while (self->display_position < 2.0 * 44100 - 441) block();
    EXPECT_EQ(of_image(paint(), IMAGE_SOLO_STRIP).size(), 1u);
    block();
    block();
    EXPECT_TRUE(of_image(paint(), IMAGE_SOLO_STRIP).empty());
}

TEST_F(Features, LanePhrasesReachLowerDifficultiesByTheirVelocity) {
    struct Case {
        int velocity;
        bool shows[4];  // Easy .. Expert
    } cases[] = {
        {100, {false, false, false, true}}, {50, {false, false, true, true}},
        {41, {false, false, true, true}},   {40, {false, true, true, true}},
        {31, {false, true, true, true}},    {30, {true, true, true, true}},
        {21, {true, true, true, true}},     {20, {false, false, false, true}},
    };
    for (const Case& c : cases) {
        SmfWriter w;
        SmfWriterTrack& t = w.add_track();
        t.note(480, 480, 127, c.velocity);
        for (int d = 0; d < 4; ++d) t.note(480, 60, 60 + 12 * d + 1);
        load(w, 0);
        for (int d = 0; d < 4; ++d) {
            self->difficulty = d;
            afresh_at_zero();
            const std::vector<VisibleGem> lanes = of_image(paint(), IMAGE_LANE_STRIP);
            EXPECT_EQ(lanes.size(), c.shows[d] ? 1u : 0u) << "velocity " << c.velocity << " difficulty " << d;
            if (!lanes.empty()) {
                EXPECT_EQ(lanes[0].lane, 1);
            }
        }
    }
}

}  // namespace
