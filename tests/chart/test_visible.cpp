// Visible gem window over charts read through processReplacing. With 441-frame blocks at
// 120 BPM every quarter note (22050 samples) is a block boundary, so the display position
// lands exactly on gems.
#include <algorithm>

#include "chart_invariants.h"
#include "chart_rig.h"
#include "display/highway_renderer.h"
#include "raster/tess.h"

namespace {

class Visible : public ChartRig {
protected:
    void SetUp() override {
        ChartRig::SetUp();
        sim_driver_init(&driver, &host, effect, 441);
    }

    // Plays from 0 until the display position reaches `target` (no paints on the way
    // once a gem would have been reached: callers paint from here on).
    void play_until_display(double target) {
        host.sample_pos = 0;
        host.playing = true;
        while (self->display_position < target) block();
        ASSERT_EQ(self->display_position, target);
    }

    // One block and one paint; the gem of `lane` in that paint, if any.
    bool step_and_find(int lane, VisibleGem* out) {
        block();
        return find(paint(), lane, out);
    }
    static bool find(const std::vector<VisibleGem>& all, int lane, VisibleGem* out) {
        for (const VisibleGem& v : all)
            if (v.lane == lane) {
                *out = v;
                return true;
            }
        return false;
    }
};

TEST_F(Visible, SmashRunsThirtyPaintsThenTheGemLeavesUnlessItSustains) {
    SmfWriter w;
    SmfWriterTrack& t = w.add_track();
    t.note(1920, 60, 97);   // 2 s, no sustain
    t.note(3840, 960, 98);  // 4 s, sustained for 1 s
    load(w, 0);
    self->difficulty = 3;

    play_until_display(88200 - 441);
    VisibleGem g;
    ASSERT_TRUE(find(paint(), 1, &g));
    EXPECT_EQ(g.image, 1);
    EXPECT_NEAR(g.near, 441.0 / 44100 / 1.2, 1e-12);

    for (int call = 1; call <= 30; ++call) {
        SCOPED_TRACE(call);
        ASSERT_TRUE(step_and_find(1, &g));
        EXPECT_EQ(g.near, 0.0);
        EXPECT_EQ(g.image, 27 + (call - 1) / 3);
    }
    EXPECT_EQ(g.image, 36);
    EXPECT_FALSE(step_and_find(1, &g)) << "31st call: the gem without sustain is gone";
    EXPECT_TRUE(events_of(97).empty());

    while (self->display_position < 176400 - 441) step_and_find(2, &g);
    for (int call = 1; call <= 30; ++call) {
        ASSERT_TRUE(step_and_find(2, &g));
        EXPECT_EQ(g.near, 0.0);
    }
    ASSERT_TRUE(step_and_find(2, &g));
    EXPECT_EQ(g.image, 36);
    EXPECT_LT(g.near, 0.0);
    EXPECT_DOUBLE_EQ(g.near, (176400 - self->display_position) / 44100.0 / 1.2);
    EXPECT_DOUBLE_EQ(g.tail, 1.0 / 1.2);
    while (self->display_position < 176400 + 44100) ASSERT_TRUE(step_and_find(2, &g));
    EXPECT_FALSE(step_and_find(2, &g)) << "removed once its end has passed";
}

TEST_F(Visible, AGemUnderAStandingDisplayStaysOnTheStrikeLine) {
    SmfWriter w;
    w.add_track().note(1920, 60, 97);
    load(w, 0);
    self->difficulty = 3;
    play_until_display(88200);
    host.playing = false;
    VisibleGem g;
    ASSERT_TRUE(find(paint(), 1, &g));
    EXPECT_EQ(g.image, 27);
    for (int call = 2; call <= 40; ++call) {
        ASSERT_TRUE(step_and_find(1, &g));
        EXPECT_EQ(self->display_position, 88200);
        EXPECT_EQ(g.near, 0.0);
        EXPECT_EQ(g.image, 27 + (std::min(call, 30) - 1) / 3);
    }
}

TEST_F(Visible, AKickFlashesFor21PaintsAndItsLengthDoesNotKeepIt) {
    SmfWriter w;
    w.add_track().note(1920, 960, 96);  // a long kick note
    load(w, 0);
    self->difficulty = 3;
    self->mode = 1;
    play_until_display(88200 - 441);
    VisibleGem g;
    for (int call = 1; call <= 21; ++call) {
        SCOPED_TRACE(call);
        ASSERT_TRUE(step_and_find(0, &g));
        EXPECT_EQ(g.image, 37 + (call - 1) / 3);
        EXPECT_EQ(g.near, 0.0);
    }
    EXPECT_EQ(g.image, 43);
    EXPECT_FALSE(step_and_find(0, &g));
    EXPECT_TRUE(events_of(96).empty());
}

// A lane-0 gem smashing in Guitar/Bass becomes a kick when MODE changes to Pro Drums under
// a standing display: its counter, already past the kick's 21 paints, stops there and its
// slot lands beyond the seven kick flashes (up to 46). The renderer draws nothing for it.
TEST_F(Visible, AGemTurnedKickPastItsFlashesKeepsASlotThatDrawsNothing) {
    struct Case {
        int guitar_paints;  // counter when MODE changes
        int slot;           // the kick's slot on the following paints
        bool drawn;
    };
    for (const Case c : {Case{19, 43, true}, Case{22, 44, false}, Case{30, 46, false}}) {
        SCOPED_TRACE(c.guitar_paints);
        TearDown();
        SetUp();
        SmfWriter w;
        w.add_track().note(1920, 60, 96);
        load(w, 0);
        self->difficulty = 3;
        self->mode = 0;
        play_until_display(88200);
        host.playing = false;
        VisibleGem g;
        for (int call = 1; call <= c.guitar_paints; ++call) ASSERT_TRUE(step_and_find(0, &g));
        EXPECT_EQ(g.image, 27 + (c.guitar_paints - 1) / 3);

        self->mode = 1;
        std::vector<VisibleGem> shown;
        for (int call = 1; call <= 3; ++call) {
            shown = paint();
            ASSERT_TRUE(find(shown, 0, &g));
            EXPECT_EQ(g.image, c.slot);
            EXPECT_EQ(g.near, 0.0);
            EXPECT_EQ(visible_invariant_broken(*self, static_cast<int32_t>(shown.size())), nullptr);
        }

        // The frame of this paint against the same frame without the kick.
        const auto frame_of = [&](const std::vector<VisibleGem>& records) {
            self->visible.resize(0, false);
            for (const VisibleGem& v : records) EXPECT_TRUE(self->visible.append(v));
            render_visible(self, static_cast<int32_t>(records.size()), 200, 150);
            const TESS_pixel* p = self->frame_bitmap->bits();
            return std::vector<TESS_pixel>(p, p + 200 * 150);
        };
        std::vector<VisibleGem> others;
        for (const VisibleGem& v : shown)
            if (v.lane != 0) others.push_back(v);
        ASSERT_EQ(others.size() + 1, shown.size());
        delete self->frame_bitmap;
        self->frame_bitmap = new TESS_MemBitmap(200, 150);
        forget_frame_drawn(self);
        const std::vector<TESS_pixel> with_kick = frame_of(shown);
        const std::vector<TESS_pixel> without = frame_of(others);
        EXPECT_EQ(with_kick != without, c.drawn);
    }
}

TEST_F(Visible, ChordsIgnoreTheAutomaticFlagUnlessAPhraseForcesIt) {
    SmfWriter w;
    SmfWriterTrack& t = w.add_track();
    t.note(960, 60, 98);
    t.note(1080, 60, 96);   // chord a quarter of a quarter later: both flagged at intake
    t.note(1080, 60, 97);
    t.note(1200, 60, 99);   // a single HOPO
    t.note(2760, 60, 98);
    t.note(2880, 60, 96);
    t.note(2880, 60, 97);
    t.note(2880, 480, 101); // forced-HOPO phrase listed after its chord
    t.note(3840, 480, 102); // forced-strum phrase
    t.note(3720, 60, 98);
    t.note(3840, 60, 97);
    load(w, 0);
    self->difficulty = 3;

    auto at_tick = [&](const std::vector<VisibleGem>& all, int64_t tick) {
        std::vector<VisibleGem> out;
        const double near = double(sample_at_tick(tick) - self->display_position) / 44100 / 1.2;
        for (const VisibleGem& v : all)
            if (v.lane >= 0 && std::abs(v.near - near) < 1e-9) out.push_back(v);
        return out;
    };

    stopped_at(39690);  // 0.9 s
    for (const ChartEvent& e : events())
        if (e.position == sample_at_tick(1080)) {
            EXPECT_EQ(e.auto_hopo, 1) << "kind " << e.kind;
        }
    std::vector<VisibleGem> all = paint();
    std::vector<VisibleGem> chord = at_tick(all, 1080);
    ASSERT_EQ(chord.size(), 2u);
    for (const VisibleGem& v : chord) EXPECT_EQ(v.variant, 0);
    ASSERT_EQ(at_tick(all, 1200).size(), 1u);
    EXPECT_EQ(at_tick(all, 1200)[0].variant, 1);

    stopped_at(123480);  // 2.8 s
    chord = at_tick(paint(), 2880);
    ASSERT_EQ(chord.size(), 2u);
    for (const VisibleGem& v : chord) EXPECT_EQ(v.variant, 1);

    stopped_at(167580);  // 3.8 s
    ASSERT_EQ(events_of(97).back().auto_hopo, 1);
    const std::vector<VisibleGem> strum = at_tick(paint(), 3840);
    ASSERT_EQ(strum.size(), 1u);
    EXPECT_EQ(strum[0].variant, 0);

    self->mode = 3;  // keys: never a HOPO
    stopped_at(39690);  // 0.9 s
    for (const VisibleGem& v : paint()) EXPECT_EQ(v.variant, 0);
}

TEST_F(Visible, StyleIsLatchedFromANote116ListedAfterTheGem) {
    SmfWriter w;
    SmfWriterTrack& t = w.add_track();
    t.note(960, 960, 97);   // 1 s, sustained to 2 s
    t.note(960, 120, 116);  // short style phrase, same position, after it in the file
    t.note(1200, 60, 98);   // 1.25 s: outside the phrase
    load(w, 0);
    self->difficulty = 3;
    play_until_display(441 * 10);
    VisibleGem g;
    ASSERT_TRUE(find(paint(), 1, &g));
    EXPECT_EQ(g.styled, 1);
    ASSERT_TRUE(find(paint(), 2, &g));
    EXPECT_EQ(g.styled, 0);

    while (self->display_position < 1.5 * 44100) {
        ASSERT_TRUE(step_and_find(1, &g));
        EXPECT_EQ(g.styled, 1);
    }
    EXPECT_TRUE(events_of(116).empty()) << "the phrase's own event has passed";
    ASSERT_TRUE(step_and_find(1, &g));
    EXPECT_EQ(g.styled, 1);
}

TEST_F(Visible, ProDrumsSwapsRedAndYellowWhileOldDrumsKeepsThem) {
    SmfWriter w;
    SmfWriterTrack& t = w.add_track();
    t.text(240, "[mix 0 drums0d]");  // Easy, with lane swap, 0.25 s
    t.note(480, 60, 61);             // red, 0.5 s
    t.note(960, 60, 62);             // yellow, 1 s
    t.note(1440, 120, 111);          // blue tom phrase
    t.note(1440, 60, 63);            // blue, 1.5 s
    t.text(1920, "[mix 0 drums0]");  // swap off, 2 s
    t.note(2160, 60, 61);            // red, 2.25 s
    load(w, 0);

    struct Expect {
        double seconds;
        int lane, variant, image;
    };
    for (int mode : {1, 2}) {
        SCOPED_TRACE(mode);
        self->mode = mode;
        // A new drum chart: suspending empties the list and the switch table.
        effect->dispatcher(effect, effMainsChanged, 0, 0, nullptr, 0.0f);
        stopped_at(0);
        const std::vector<VisibleGem> all = paint();
        const bool pro = mode == 1;
        const Expect expected[] = {
            {0.5, pro ? 2 : 1, 0, pro ? 2 : 1},
            {1.0, pro ? 1 : 2, pro ? 1 : 0, pro ? 1 : 2},
            {1.5, 3, 1, 3},
            {2.25, 1, 0, 1},
        };
        for (const Expect& e : expected) {
            SCOPED_TRACE(e.seconds);
            auto it = std::find_if(all.begin(), all.end(), [&](const VisibleGem& v) {
                return v.lane >= 0 && std::abs(v.near - e.seconds / 2.4) < 1e-9;
            });
            ASSERT_NE(it, all.end());
            EXPECT_EQ(it->lane, e.lane);
            EXPECT_EQ(it->variant, e.variant);
            EXPECT_EQ(it->image, e.image);
        }
        int mix_markers = 0;
        for (const VisibleGem& v : all)
            if (v.image == KIND_MIX_SWAP || v.image == KIND_MIX_PLAIN) {
                EXPECT_EQ(v.lane, -1);
                ++mix_markers;
            }
        // Mix texts are read in Pro Drums only.
        EXPECT_EQ(mix_markers, pro ? 2 : 0);
        EXPECT_EQ(self->swap_count, pro ? 2 : 0);
    }
}

TEST_F(Visible, TheFarEndOfTheEasyHighwayIs2Point4Seconds) {
    SmfWriter w;
    w.add_track().note(3840, 60, 60);  // 4 s
    load(w, 0);
    VisibleGem g;
    stopped_at(176400 - 105399);  // 2.39 s before the gem
    ASSERT_TRUE(find(paint(), 0, &g));
    EXPECT_NEAR(g.near, 2.39 / 2.4, 1e-4);
    stopped_at(176400 - 106281);  // 2.41 s
    EXPECT_FALSE(find(paint(), 0, &g));
    EXPECT_EQ(events_of(60).size(), 1u) << "out of sight, still listed";
}

TEST_F(Visible, NothingIsShownBeforeTheFirstBlockOrAfterASuspend) {
    SmfWriter w;
    w.add_track().note(480, 60, 60);
    load(w, 0);
    EXPECT_EQ(self->compute_visible_gems(false), 0);
    stopped_at(0);
    EXPECT_GT(self->compute_visible_gems(false), 0);
    effect->dispatcher(effect, effMainsChanged, 0, 0, nullptr, 0.0f);
    EXPECT_EQ(self->compute_visible_gems(false), 0);
}

}  // namespace
