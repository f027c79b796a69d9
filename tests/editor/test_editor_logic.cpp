// The editor's platform-free rules on a real instance made by VSTPluginMain in the
// simulated host, with the headless editor of native builds standing in for the window.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <vector>
#include <string>

#include "display/editor_logic.h"
#include "display/headless_editor.h"
#include "host/sim_host.h"
#include "plugin/chart_preview.h"
#include "raster/tess.h"

namespace {

class Editor : public ::testing::Test {
protected:
    void SetUp() override {
        g_host_api = HostApi{};
        time_offset_ms = 0;
        drag_mode = 0;
        ini_path = ::testing::TempDir() + "tiver_editor_test.ini";
        std::remove(ini_path.c_str());
        host.ini_path = ini_path;
        effect = VSTPluginMain(sim_host_install(&host));
        ASSERT_NE(effect, nullptr);
        self = ChartPreview::from(effect);
        int parent = 0;
        ASSERT_EQ(effect->dispatcher(effect, effEditOpen, 0, 0, &parent, 0.0f), 1);
    }
    void TearDown() override {
        if (effect) effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
        sim_host_install(nullptr);
        g_host_api = HostApi{};
        std::remove(ini_path.c_str());
    }

    void click(int32_t x, int32_t y) {
        headless_editor_mouse_down(self, x, y);
        headless_editor_mouse_up(self);
    }
    // Press at (x, y), move through the given points, release.
    void drag(int32_t x, int32_t y, std::initializer_list<std::pair<int32_t, int32_t>> path) {
        headless_editor_mouse_down(self, x, y);
        for (const auto& p : path) headless_editor_mouse_move(self, p.first, p.second);
        headless_editor_mouse_up(self);
    }
    std::string ini_text() const {
        std::ifstream in(ini_path);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    SimHost host;
    AEffect* effect = nullptr;
    ChartPreview* self = nullptr;
    std::string ini_path;
};

// The strip, with its widest values, keeps to its rows, and each paint puts it over the
// backdrop once: its boxes, blended, are not blended again over the last paint's.
TEST_F(Editor, TheStripKeepsToItsRowsAndEveryPaintDrawsItOnce) {
    time_offset_ms = INT32_MIN;
    self->hopo_threshold = 1920;
    self->difficulty = 1;
    ASSERT_TRUE(headless_editor_paint(self, 480, 200, false));
    const TESS_pixel* p = self->frame_bitmap->bits();
    const std::vector<TESS_pixel> highway(p, p + 480 * 200);
    ASSERT_TRUE(headless_editor_paint(self, 480, 200));
    p = self->frame_bitmap->bits();
    const std::vector<TESS_pixel> shown(p, p + 480 * 200);
    EXPECT_TRUE(std::equal(highway.begin() + 480 * CONTROL_STRIP_HEIGHT, highway.end(), shown.begin() + 480 * CONTROL_STRIP_HEIGHT));
    EXPECT_NE(shown[(CONTROL_STRIP_HEIGHT - 1) * 480 + 10], highway[(CONTROL_STRIP_HEIGHT - 1) * 480 + 10]);
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(headless_editor_paint(self, 480, 200));
        EXPECT_TRUE(std::equal(shown.begin(), shown.end(), self->frame_bitmap->bits())) << i;
    }
}

TEST_F(Editor, OpeningPutsThePositionsAtZeroAndEmptiesTheEvents) {
    effect->dispatcher(effect, effEditClose, 0, 0, nullptr, 0.0f);
    EXPECT_EQ(self->editor_window, nullptr);
    self->display_position = 5000.0;
    self->read_horizon = 7000.0;
    self->last_position = 6000.0;
    ChartEvent e{};
    e.kind = 97;
    ASSERT_TRUE(self->events.append(e));

    int parent = 0;
    ASSERT_EQ(effect->dispatcher(effect, effEditOpen, 0, 0, &parent, 0.0f), 1);
    EXPECT_NE(self->editor_window, nullptr);
    EXPECT_EQ(self->display_position, 0.0);
    EXPECT_EQ(self->read_horizon, 0.0);
    EXPECT_EQ(self->last_position, 0.0);
    EXPECT_EQ(self->events.size, 0);
}

TEST_F(Editor, PaintSizesTheFrameAndClosingReleasesBothBitmaps) {
    ASSERT_TRUE(headless_editor_paint(self, 400, 300));
    ASSERT_NE(self->frame_bitmap, nullptr);
    EXPECT_EQ(self->frame_bitmap->width(), 400);
    EXPECT_EQ(self->frame_bitmap->height(), 300);
    EXPECT_NE(self->layer_bitmap, nullptr);
    // The strip is drawn over the highway: the TIME OFFS arrow's shaft.
    EXPECT_EQ(self->frame_bitmap->bits()[13 * 400 + 222] & 0xFFFFFF, 0xFFFFFFu);

    ASSERT_TRUE(headless_editor_paint(self, 333, 222));
    EXPECT_EQ(self->frame_bitmap->width(), 333);
    EXPECT_EQ(self->frame_bitmap->height(), 222);
    EXPECT_FALSE(headless_editor_paint(self, 0, 10));

    // Reopening while open replaces the editor and starts from scratch.
    int parent = 0;
    ASSERT_EQ(effect->dispatcher(effect, effEditOpen, 0, 0, &parent, 0.0f), 1);
    EXPECT_EQ(self->frame_bitmap, nullptr);
    EXPECT_EQ(self->layer_bitmap, nullptr);
    ASSERT_TRUE(headless_editor_paint(self, 200, 200));

    effect->dispatcher(effect, effEditClose, 0, 0, nullptr, 0.0f);
    EXPECT_EQ(self->editor_window, nullptr);
    EXPECT_EQ(self->frame_bitmap, nullptr);
    EXPECT_EQ(self->layer_bitmap, nullptr);
    EXPECT_FALSE(headless_editor_paint(self, 200, 200));
}

TEST_F(Editor, ClickZonesEndAtTheirLastColumnAndRow) {
    click(47, 12);
    EXPECT_EQ(self->difficulty, 1);
    click(48, 12);
    click(50, 15);
    EXPECT_EQ(self->difficulty, 1);
    click(0, 21);
    EXPECT_EQ(self->difficulty, 2);
    click(10, 11);
    click(10, 22);
    click(-1, 15);  // negative x, taken unsigned, is in no zone
    EXPECT_EQ(self->difficulty, 2);

    self->layout_dirty = 0;
    click(146, 21);
    EXPECT_EQ(self->mode, 1);
    EXPECT_EQ(self->layout_dirty, 1);
    self->layout_dirty = 0;
    click(146, 22);
    click(147, 12);
    click(55, 12);
    EXPECT_EQ(self->mode, 1);
    EXPECT_EQ(self->layout_dirty, 0);

    EXPECT_TRUE(editor_mouse_down(self, 154, 12));
    EXPECT_EQ(drag_mode, 1);
    EXPECT_TRUE(editor_mouse_down(self, 226, 21));
    EXPECT_EQ(drag_mode, 1);
    EXPECT_FALSE(editor_mouse_down(self, 227, 12));
    EXPECT_EQ(drag_mode, 0);
    EXPECT_TRUE(editor_mouse_down(self, 234, 12));
    EXPECT_EQ(drag_mode, 2);
    EXPECT_TRUE(editor_mouse_down(self, 322, 12));
    EXPECT_EQ(drag_mode, 2);
    EXPECT_FALSE(editor_mouse_down(self, 323, 12));
    EXPECT_EQ(drag_mode, 0);
    // A press outside the strip's rows leaves the drag state alone.
    EXPECT_TRUE(editor_mouse_down(self, 160, 12));
    EXPECT_FALSE(editor_mouse_down(self, 160, 30));
    EXPECT_EQ(drag_mode, 1);
    editor_mouse_up(self);
}

TEST_F(Editor, SkillAndModeCycle) {
    const int32_t skills[] = {1, 2, 3, 0, 1};
    for (int32_t want : skills) {
        click(5, 15);
        EXPECT_EQ(self->difficulty, want);
    }
    const int32_t modes[] = {1, 2, 3, 0};
    for (int32_t want : modes) {
        click(60, 15);
        EXPECT_EQ(self->mode, want);
    }
    // Values only a state chunk can bring: a large difficulty wraps to Easy, a negative
    // mode keeps the truncating remainder.
    self->difficulty = 9;
    click(5, 15);
    EXPECT_EQ(self->difficulty, 0);
    self->mode = -3;
    click(60, 15);
    EXPECT_EQ(self->mode, -2);
    self->mode = 6;
    click(60, 15);
    EXPECT_EQ(self->mode, 3);
}

TEST_F(Editor, TimeOffsetMovesOneMillisecondPerFourPixels) {
    time_offset_ms = 10;
    headless_editor_mouse_down(self, 180, 15);
    headless_editor_mouse_move(self, 181, 15);
    headless_editor_mouse_move(self, 183, 15);
    EXPECT_EQ(time_offset_ms, 10);  // 3 pixels: nothing yet
    headless_editor_mouse_move(self, 184, 15);
    EXPECT_EQ(time_offset_ms, 11);  // the fourth adds 1 ms
    headless_editor_mouse_move(self, 184, 7);
    EXPECT_EQ(time_offset_ms, 13);  // 8 pixels up: 2 ms
    headless_editor_mouse_move(self, 189, 12);
    EXPECT_EQ(time_offset_ms, 13);  // 5 right and 5 down cancel
    headless_editor_mouse_move(self, 186, 12);
    EXPECT_EQ(time_offset_ms, 13);  // -3 truncates toward zero
    headless_editor_mouse_move(self, 173, 12);
    EXPECT_EQ(time_offset_ms, 9);   // 16 left: -4 ms
    headless_editor_mouse_up(self);

    // After the release moves change nothing.
    headless_editor_mouse_move(self, 400, -400);
    EXPECT_EQ(time_offset_ms, 9);
    EXPECT_EQ(drag_mode, 0);

    // No limit of its own, but no wrap-around either.
    time_offset_ms = INT32_MAX - 1;
    drag(180, 15, {{180 + 4000, 15}});
    EXPECT_EQ(time_offset_ms, INT32_MAX);
    time_offset_ms = -50;
    drag(180, 15, {{180, 15 + 4000}});
    EXPECT_EQ(time_offset_ms, -1050);
}

TEST_F(Editor, HopoThresholdStepsOneTickPerPixelWithinItsRange) {
    self->hopo_threshold = 170;
    headless_editor_mouse_down(self, 250, 15);
    headless_editor_mouse_move(self, 251, 15);
    EXPECT_EQ(self->hopo_threshold, 171);
    headless_editor_mouse_move(self, 251, 12);
    EXPECT_EQ(self->hopo_threshold, 174);
    headless_editor_mouse_move(self, -30000, 12);
    EXPECT_EQ(self->hopo_threshold, 32);
    headless_editor_mouse_move(self, 30000, -30000);
    EXPECT_EQ(self->hopo_threshold, 1920);
    headless_editor_mouse_up(self);
    // A move without a press is ignored.
    headless_editor_mouse_move(self, 0, 0);
    EXPECT_EQ(self->hopo_threshold, 1920);
}

TEST_F(Editor, ReleaseAfterTimeOffsetDragWritesTheIniEvenUnchanged) {
    time_offset_ms = -7;
    drag(200, 15, {});
    EXPECT_NE(ini_text().find("timeoffs=-7"), std::string::npos) << ini_text();
    EXPECT_EQ(platform_ini_read_int("tolvan", "timeoffs", 99, ini_path.c_str()), -7);

    drag(200, 15, {{208, 15}});
    EXPECT_EQ(platform_ini_read_int("tolvan", "timeoffs", 99, ini_path.c_str()), -5);
}

TEST_F(Editor, ReleaseAfterHopoDragOrClickWritesNothing) {
    drag(250, 15, {{300, 15}});
    click(5, 15);
    click(60, 15);
    headless_editor_mouse_up(self);
    EXPECT_FALSE(std::ifstream(ini_path).good());
}

// ---- the control strip's pixels ---------------------------------------------------------

class Strip : public Editor {
protected:
    void SetUp() override {
        Editor::SetUp();
        canvas.reset(new TESS_MemBitmap(400, 40));
        TESS_Clear(canvas.get(), 0xFF000000);
    }
    TESS_pixel at(int32_t x, int32_t y) { return canvas->bits()[y * 400 + x] & 0xFFFFFF; }
    // The box of one control, drawn by hand from its published geometry, with a value.
    std::unique_ptr<TESS_MemBitmap> expected_box(int32_t box_x, int32_t width, const char* value) {
        std::unique_ptr<TESS_MemBitmap> b(new TESS_MemBitmap(400, 40));
        TESS_Clear(b.get(), 0xFF000000);
        TESS_FillRectBordered(b.get(), box_x, 12, width, 10, 0xFFC0C0C0, 0xFFFFFFFF, 0.25f,
                              TESS_BLIT_MODE_COPY);
        TESS_DrawText(b.get(), box_x + 2, 13, value, 0xFFFFFFFF, 1.0f, TESS_BLIT_MODE_COPY);
        return b;
    }
    // Rows 12..22 of columns [x0, x1] equal between the strip and a hand-drawn box.
    void expect_box(int32_t x0, int32_t x1, TESS_MemBitmap* want, const char* what) {
        int differing = 0;
        for (int32_t y = 12; y <= 22; ++y)
            for (int32_t x = x0; x <= x1; ++x)
                if (at(x, y) != (want->bits()[y * 400 + x] & 0xFFFFFF)) ++differing;
        EXPECT_EQ(differing, 0) << what;
    }
    std::unique_ptr<TESS_MemBitmap> canvas;
};

TEST_F(Strip, DragArrowsHaveShaftAndTwoHeads) {
    draw_control_strip(self, canvas.get());
    for (int32_t cx : {222, 318}) {
        for (int32_t y = 13; y <= 20; ++y) EXPECT_EQ(at(cx, y), 0xFFFFFFu) << cx << "," << y;
        // Heads two pixels wide and deep, at the top and the bottom of the shaft.
        for (int32_t d : {1, 2}) {
            EXPECT_EQ(at(cx - d, 13 + d), 0xFFFFFFu);
            EXPECT_EQ(at(cx + d, 13 + d), 0xFFFFFFu);
            EXPECT_EQ(at(cx - d, 20 - d), 0xFFFFFFu);
            EXPECT_EQ(at(cx + d, 20 - d), 0xFFFFFFu);
        }
        EXPECT_NE(at(cx - 3, 16), 0xFFFFFFu);
        EXPECT_NE(at(cx + 3, 16), 0xFFFFFFu);
    }
    // The shaft stops a pixel short of the outline: row 12 and 22 are the box's border.
    EXPECT_EQ(at(222, 12), 0x3F3F3Fu);
    EXPECT_EQ(at(222, 22), 0x3F3F3Fu);
}

TEST_F(Strip, BoxesAreFaintOverTheHighwayWithWhiteOutlines) {
    draw_control_strip(self, canvas.get());
    // Quarter-strength fill and border over black.
    EXPECT_EQ(at(44, 17), 0x303030u);
    EXPECT_EQ(at(40, 12), 0x3F3F3Fu);   // top and bottom outline, clear of the text
    EXPECT_EQ(at(40, 22), 0x3F3F3Fu);
    EXPECT_EQ(at(48, 17), 0x3F3F3Fu);   // right outline
    EXPECT_EQ(at(49, 17), 0x000000u);   // the gap between SKILL and MODE
    EXPECT_EQ(at(146, 17), 0x3F3F3Fu);  // MODE's right outline
    EXPECT_EQ(at(147, 17), 0x000000u);
    // Labels at row 2: something is written there for every control, nothing in row 0.
    for (int32_t x0 : {0, 56, 154, 234}) {
        int lit = 0;
        for (int32_t y = 2; y < 10; ++y)
            for (int32_t x = x0; x < x0 + 32; ++x) lit += at(x, y) == 0xFFFFFFu;
        EXPECT_GT(lit, 10) << x0;
    }
    for (int32_t x = 0; x < 400; ++x) EXPECT_EQ(at(x, 0), 0u);
}

TEST_F(Strip, ValuesNameTheSettings) {
    self->difficulty = 1;
    self->mode = 2;
    time_offset_ms = -12;
    self->hopo_threshold = 1920;
    draw_control_strip(self, canvas.get());
    expect_box(0, 48, expected_box(0, 48, "Medium").get(), "Medium");
    expect_box(56, 146, expected_box(56, 90, "OLD Drums").get(), "OLD Drums");
    // The arrows are left out of the comparison: columns 218..226 and 314..322.
    expect_box(154, 217, expected_box(154, 72, "-12 MS").get(), "-12 MS");
    expect_box(234, 313, expected_box(234, 88, "1920 ticks").get(), "1920 ticks");

    self->difficulty = 7;
    self->mode = 9;
    TESS_Clear(canvas.get(), 0xFF000000);
    draw_control_strip(self, canvas.get());
    expect_box(0, 48, expected_box(0, 48, "???").get(), "???");
    expect_box(56, 146, expected_box(56, 90, "Keys").get(), "Keys");
}

TEST_F(Strip, LongValuesRunPastTheirBox) {
    time_offset_ms = -1234567890;
    draw_control_strip(self, canvas.get());
    // "-1234567890 MS" is 14 cells from x = 156: past the box's right edge at 226.
    int lit = 0;
    for (int32_t y = 13; y < 21; ++y)
        for (int32_t x = 227; x < 234; ++x) lit += at(x, y) == 0xFFFFFFu;
    EXPECT_GT(lit, 0);
}

}  // namespace
