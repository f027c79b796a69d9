// Highway renderer on pixels: a test skin of solid, distinct colours per slot, expected pixels
// computed from the projection.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "chart/chart_event.h"
#include "display/asset_set.h"
#include "display/highway_renderer.h"
#include "plugin/chart_preview.h"
#include "raster/tess.h"
#include "tests/raster/raster_model.h"

namespace {

constexpr TESS_pixel BACKGROUND = 0xFF202020u;
constexpr TESS_pixel BACKGROUND_RIGHT = 0xFF2A2A2Au;
constexpr TESS_pixel TRACK_GUITAR = 0xFF404040u;
constexpr TESS_pixel TRACK_DRUM = 0xFF606060u;

// Distinct opaque colours: red, green and blue step by 5, 11 and 17 per slot.
TESS_pixel slot_colour(int32_t slot) { return 0xFF000000u | static_cast<uint32_t>(slot + 1) * 0x050B11u; }
// Sustain strips: left third, middle third, right third, and a second row that must never show.
TESS_pixel sustain_colour(int32_t index, bool hi) {
    return 0xFF800000u | static_cast<uint32_t>(index) << 8 | (hi ? 0x80u : 0x10u);
}
constexpr TESS_pixel SUSTAIN_OPEN = 0xFF9000A0u;
constexpr TESS_pixel SUSTAIN_OPEN_HI = 0xFF9000F0u;
constexpr TESS_pixel SOLO_STRIP = 0xFF10A0E0u;
constexpr TESS_pixel FILL_STRIP = 0xFF10E0A0u;
constexpr TESS_pixel LANE_STRIP = 0xFFE0E0E0u;
constexpr TESS_pixel SUSTAIN_SIDE = 0xFFFF00FFu;
constexpr TESS_pixel SUSTAIN_ROW2 = 0xFF00FFFFu;

TESS_MemBitmap* solid(int32_t w, int32_t h, TESS_pixel c) {
    TESS_MemBitmap* b = new TESS_MemBitmap(w, h);
    TESS_Clear(b, c);
    return b;
}

TESS_MemBitmap* sustain_strip(TESS_pixel middle) {
    TESS_MemBitmap* b = new TESS_MemBitmap(30, 2);
    TESS_pixel* p = b->bits();
    for (int32_t x = 0; x < 30; ++x) {
        p[x] = (x >= 10 && x < 20) ? middle : SUSTAIN_SIDE;
        p[30 + x] = SUSTAIN_ROW2;
    }
    return b;
}

void replace(TESS_MemBitmap*& slot, TESS_MemBitmap* image) {
    delete slot;
    slot = image;
}

VisibleGem gem(int32_t image, int32_t lane, double near, double tail = 0.0, uint8_t styled = 0,
               uint8_t variant = 0) {
    VisibleGem g;
    std::memset(&g, 0, sizeof g);
    g.image = image;
    g.lane = lane;
    g.near = near;
    g.tail = tail;
    g.styled = styled;
    g.variant = variant;
    return g;
}

VisibleGem marker(int32_t kind, double near) { return gem(kind, -1, near); }

int32_t cached_count(int32_t slot) {
    return g_assets.scaled[slot].size / static_cast<int32_t>(sizeof(TESS_MemBitmap*));
}
TESS_MemBitmap* cached(int32_t slot, int32_t i) {
    return static_cast<TESS_MemBitmap**>(g_assets.scaled[slot].data)[i];
}

class Highway : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(live_instances, 0);
        platform_override_module_file_name("/nonexistent-tiver-skin/plug.so");
        g_assets.module_directory[0] = '\0';
        self = new ChartPreview(nullptr);
        install_skin();
    }
    void TearDown() override {
        delete self;
        platform_override_module_file_name(nullptr);
        g_assets.module_directory[0] = '\0';
    }

    // Gems 128 x 64, flares 128 x 128, markers 256 x 8, kicks 256 x 16; the background
    // has two halves so that its stretch shows.
    void install_skin() {
        AssetSet& a = g_assets;
        TESS_MemBitmap* bg = new TESS_MemBitmap(64, 2);
        for (int32_t i = 0; i < 128; ++i) bg->bits()[i] = (i % 64) < 32 ? BACKGROUND : BACKGROUND_RIGHT;
        replace(a.background, bg);
        replace(a.track_guitar, solid(64, 64, TRACK_GUITAR));
        replace(a.track_drum, solid(64, 64, TRACK_DRUM));
        for (int32_t s = 0; s < ASSET_SLOT_COUNT; ++s) {
            int32_t w = 128, h = 64;
            if ((s >= SLOT_FLARE_GREEN && s <= SLOT_FLARE_STYLE) || s == SLOT_FLARE_OPEN) h = 128;
            if (s >= SLOT_BEAT_MARKER && s <= SLOT_MEASURE) w = 256, h = 8;
            if (s == SLOT_GEM_KICK || s == SLOT_GEM_KICK_STYLE) w = 256, h = 16;
            replace(a.slots[s], solid(w, h, slot_colour(s)));
        }
        for (int32_t i = 0; i < SUSTAIN_COUNT; ++i) {
            replace(a.sustain[i], sustain_strip(sustain_colour(i, false)));
            replace(a.sustain_hi[i], sustain_strip(sustain_colour(i, true)));
        }
        replace(a.sustain_open, sustain_strip(SUSTAIN_OPEN));
        replace(a.sustain_open_hi, sustain_strip(SUSTAIN_OPEN_HI));
        replace(a.solo_lane, sustain_strip(SOLO_STRIP));
        replace(a.fill_lane, sustain_strip(FILL_STRIP));
        replace(a.roll_lane, sustain_strip(LANE_STRIP));
    }

    void frame(int32_t w, int32_t h) {
        delete self->frame_bitmap;
        self->frame_bitmap = new TESS_MemBitmap(w, h);
        forget_frame_drawn(self);
        width = w;
        height = h;
    }

    void render(const std::vector<VisibleGem>& records) {
        self->visible.resize(0, false);
        for (const VisibleGem& g : records) ASSERT_TRUE(self->visible.append(g));
        render_visible(self, static_cast<int32_t>(records.size()), width, height);
    }

    TESS_pixel px(int32_t x, int32_t y) { return self->frame_bitmap->bits()[y * width + x]; }

    // Every pixel of the rectangle has colour c.
    ::testing::AssertionResult rect_is(int32_t x, int32_t y, int32_t w, int32_t h, TESS_pixel c) {
        for (int32_t j = y; j < y + h; ++j)
            for (int32_t i = x; i < x + w; ++i)
                if (px(i, j) != c)
                    return ::testing::AssertionFailure()
                           << "pixel (" << i << ", " << j << ") is " << std::hex << px(i, j)
                           << ", expected " << c;
        return ::testing::AssertionSuccess();
    }

    // The columns of row y that have colour c, as first and count (0 count: none).
    std::pair<int32_t, int32_t> run_of(int32_t y, TESS_pixel c) {
        int32_t first = -1, n = 0;
        for (int32_t x = 0; x < width; ++x)
            if (px(x, y) == c) {
                if (first < 0) first = x;
                ++n;
            }
        return {first, n};
    }

    bool any_pixel(TESS_pixel c) {
        for (int32_t y = 0; y < height; ++y)
            if (run_of(y, c).second) return true;
        return false;
    }

    // The colour in the middle of a gem's picture (anchor 1.0, a 2:1 image), or `above` rows
    // over its anchor row.
    TESS_pixel centre_of(double l, double w, double u, int32_t above = 0) {
        const int32_t d = width < height ? width : height;
        const GemPlacement p = place_gem(d, (width - d) / 2, (height - d) / 2, l, w, u);
        return px(p.x + p.width / 2, p.y - (above ? above : p.width / 8));
    }

    ChartPreview* self = nullptr;
    int32_t width = 0;
    int32_t height = 0;
};

TEST_F(Highway, FiveLaneGemsAtTheStrikeLineMiddleAndFarEnd) {
    frame(400, 400);
    // u = 0: 63 wide from x 44, 169, 294; anchor row 306, so a 63 x 32 copy from row 274.
    render({gem(0, 0, 0.0), gem(2, 2, 0.0), gem(4, 4, 0.0)});
    ASSERT_EQ(cached_count(0), 1);
    EXPECT_EQ(cached(0, 0)->width(), 63);
    EXPECT_EQ(cached(0, 0)->height(), 32);
    const int32_t xs0[] = {44, 169, 294};
    for (int32_t i = 0; i < 3; ++i) {
        const TESS_pixel c = slot_colour(2 * i);
        EXPECT_TRUE(rect_is(xs0[i], 274, 63, 32, c)) << "lane " << 2 * i;
        EXPECT_NE(px(xs0[i] - 1, 290), c);
        EXPECT_NE(px(xs0[i] + 63, 290), c);
        EXPECT_NE(px(xs0[i] + 30, 273), c);
        EXPECT_NE(px(xs0[i] + 30, 306), c);
    }
    // u = 0.5: 41 wide from x 98, 180, 261, standing on row 160 (a 41 x 21 copy).
    render({gem(0, 0, 0.5), gem(2, 2, 0.5), gem(4, 4, 0.5)});
    const int32_t xs5[] = {98, 180, 261};
    for (int32_t i = 0; i < 3; ++i) {
        const TESS_pixel c = slot_colour(2 * i);
        EXPECT_TRUE(rect_is(xs5[i], 139, 41, 21, c)) << "lane " << 2 * i;
        EXPECT_EQ(run_of(150, c).second, 41);
        EXPECT_NE(px(xs5[i], 160), c);
        EXPECT_NE(px(xs5[i], 138), c);
    }
    // u = 1: 30 wide from x 125, 185, 245 on row 88, at opacity 0: nothing shows.
    const int32_t xs1[] = {125, 185, 245};
    for (int32_t i = 0; i < 3; ++i) {
        const GemPlacement p = place_gem(400, 0, 0, (2 * i - 2) * 0.4, 0.4, 1.0);
        EXPECT_EQ(p.x, xs1[i]);
        EXPECT_EQ(p.width, 30);
        EXPECT_EQ(p.y, 88);
    }
    render({gem(0, 0, 1.0), gem(2, 2, 1.0), gem(4, 4, 1.0)});
    EXPECT_FALSE(any_pixel(slot_colour(0)));
    EXPECT_FALSE(any_pixel(slot_colour(2)));
    EXPECT_FALSE(any_pixel(slot_colour(4)));
}

TEST_F(Highway, WideWindowCentresTheSquareAndStretchesTheBackground) {
    frame(640, 400);
    render({gem(0, 0, 0.0), gem(4, 4, 0.5)});
    EXPECT_TRUE(rect_is(44 + 120, 274, 63, 32, slot_colour(0)));
    EXPECT_TRUE(rect_is(261 + 120, 139, 41, 21, slot_colour(4)));
    // The background spans the window, its two halves stretched to 320 columns each.
    EXPECT_EQ(px(0, 10), BACKGROUND);
    EXPECT_EQ(px(119, 10), BACKGROUND);
    EXPECT_EQ(px(520, 10), BACKGROUND_RIGHT);
    EXPECT_EQ(px(639, 399), BACKGROUND_RIGHT);
    EXPECT_TRUE(rect_is(120, 0, 400, 1, TRACK_GUITAR));
    EXPECT_TRUE(rect_is(120, 399, 400, 1, TRACK_GUITAR));
    // A tall window centres vertically.
    frame(400, 600);
    render({gem(2, 2, 0.0)});
    EXPECT_TRUE(rect_is(169, 274 + 100, 63, 32, slot_colour(2)));
    EXPECT_EQ(px(10, 99), BACKGROUND);
    EXPECT_EQ(px(200, 100), TRACK_GUITAR);
}

TEST_F(Highway, GemsFadeOverTheFarTenth) {
    frame(400, 400);
    const GemPlacement p = place_gem(400, 0, 0, 0.0, 0.4, 0.95);
    render({gem(2, 2, 0.95)});
    // What one pixel of the gem over the track at opacity 0.5 gives.
    TESS_MemBitmap one(1, 1), over(1, 1);
    TESS_Clear(&one, slot_colour(2));
    TESS_Clear(&over, TRACK_GUITAR);
    TESS_Blit(&over, &one, 0, 0, nullptr, 0.5f, TESS_BLIT_USE_ALPHA);
    const TESS_pixel half = over.bits()[0];
    ASSERT_NE(half, TRACK_GUITAR);
    ASSERT_NE(half, slot_colour(2));
    EXPECT_EQ(px(p.x + p.width / 2, p.y - 2), half);
    EXPECT_EQ(run_of(p.y - 2, half).second, p.width);
    // At 0.9 the fade has not begun.
    render({gem(2, 2, 0.9)});
    EXPECT_EQ(centre_of(0.0, 0.4, 0.9), slot_colour(2));
}

TEST_F(Highway, PassesAndOrderPutNearerGemsOnTop) {
    frame(400, 400);
    // A beat line later in the list than a gem still lies under it (pass 0).
    render({gem(2, 2, 0.0), marker(KIND_BEAT, 0.0)});
    EXPECT_EQ(px(200, 290), slot_colour(2));
    EXPECT_EQ(px(45, 303), slot_colour(SLOT_BEAT_MARKER));
    // Records are drawn last to first: the first (nearest) covers the overlap.
    render({gem(2, 2, 0.0), gem(2, 2, 0.02, 0.0, 1)});
    EXPECT_EQ(px(200, 290), slot_colour(2));
    EXPECT_EQ(px(200, 270), slot_colour(SLOT_GEM_STYLE));
    // Markers: bars 2.05 wide centred on the highway, three quarters above the row; kinds
    // below -3 draw nothing.
    render({marker(KIND_MIX_SWAP, 0.5), marker(KIND_MIX_PLAIN, 0.2), marker(KIND_DRUMS_TEXT, 0.0)});
    EXPECT_TRUE(rect_is(0, 0, 400, 400, TRACK_GUITAR));
    render({marker(KIND_MEASURE, 0.0)});
    const GemPlacement m = place_gem(400, 0, 0, 0.0, 2.05, 0.0);
    EXPECT_EQ(m.width, 320);
    // 320 x 10 copy, top row trunc(306 - 7.5) = 298.
    EXPECT_TRUE(rect_is(m.x, 298, 320, 10, slot_colour(SLOT_MEASURE)));
    EXPECT_NE(px(m.x, 297), slot_colour(SLOT_MEASURE));
}

TEST_F(Highway, SustainIsATrapezoidOfTheStripsMiddleThird) {
    frame(400, 400);
    // Without gem pictures the sustain is all that shows.
    replace(g_assets.slots[0], nullptr);
    replace(g_assets.slots[2], nullptr);
    const TESS_pixel yellow = sustain_colour(2, false);
    const TESS_pixel green = sustain_colour(0, false);
    render({gem(2, 2, 0.2, 0.3)});
    EXPECT_EQ(run_of(159, yellow).second, 0);
    EXPECT_EQ(run_of(160, yellow), std::make_pair(185, 31));
    EXPECT_EQ(run_of(218, yellow), std::make_pair(182, 37));
    EXPECT_EQ(run_of(219, yellow).second, 0);
    for (int32_t r = 160; r <= 218; ++r) ASSERT_GT(run_of(r, yellow).second, 0) << r;
    EXPECT_FALSE(any_pixel(SUSTAIN_SIDE));
    EXPECT_FALSE(any_pixel(SUSTAIN_ROW2));

    render({gem(0, 0, 0.2, 0.3)});
    EXPECT_EQ(run_of(160, green), std::make_pair(103, 31));
    EXPECT_EQ(run_of(218, green), std::make_pair(83, 37));

    // Cut at the far end: the top row is trunc(0.21875 * 400) = 87.
    render({gem(2, 2, 0.5, 3.0)});
    EXPECT_EQ(run_of(86, yellow).second, 0);
    EXPECT_GT(run_of(87, yellow).second, 0);
    // Shorter than the 0.05 gap: nothing.
    render({gem(2, 2, 0.2, 0.04)});
    EXPECT_FALSE(any_pixel(yellow));
    // A record that already passed the strike line (not smashing) starts its sustain at 0.05.
    render({gem(2, 2, -0.1, 0.4)});
    const int32_t ys = static_cast<int32_t>(highway_row_at(0.05) * 400 + 0.5);
    EXPECT_GT(run_of(ys - 1, yellow).second, 0);
    EXPECT_EQ(run_of(ys, yellow).second, 0);
    // Styled sustains use the style strip; drum modes draw none.
    render({gem(2, 2, 0.2, 0.3, 1)});
    EXPECT_GT(run_of(200, sustain_colour(SUSTAIN_STYLE, false)).second, 0);
    self->mode = 2;
    render({gem(2, 2, 0.2, 0.3)});
    EXPECT_FALSE(any_pixel(yellow));
}

TEST_F(Highway, SmashingSustainUsesHighlightAndFlare) {
    frame(400, 400);
    const TESS_pixel hi = sustain_colour(2, true);
    const TESS_pixel flare = slot_colour(SLOT_FLARE_GREEN + 2);
    // Smash over, sustain still held: no frame picture, highlighted strip from the strike line,
    // flare 109 wide from x 145 standing 0.53 of its height above row 306 (rows 248..356).
    render({gem(SLOT_SMASH_LAST, 2, -0.1, 0.4)});
    EXPECT_FALSE(any_pixel(slot_colour(SLOT_SMASH_LAST)));
    EXPECT_TRUE(rect_is(145, 248, 109, 109, flare));
    EXPECT_NE(px(144, 300), flare);
    EXPECT_NE(px(254, 300), flare);
    EXPECT_NE(px(200, 247), flare);
    EXPECT_NE(px(200, 357), flare);
    EXPECT_EQ(run_of(250, hi).second, 0);  // the flare covers the strip below its top
    EXPECT_GT(run_of(247, hi).second, 0);
    EXPECT_FALSE(any_pixel(sustain_colour(2, false)));

    // While smashing, the frame picture (2.05 times as wide, anchor 0.53) covers the flare.
    render({gem(SLOT_SMASH_FIRST, 2, 0.0, 0.4)});
    const GemPlacement s = place_gem(400, 0, 0, 0.0, 0.82, 0.0);
    EXPECT_EQ(s.width, 128);
    // 128 x 64 copy, top trunc(306 - 33.92) = 272.
    EXPECT_TRUE(rect_is(s.x, 272, 128, 64, slot_colour(SLOT_SMASH_FIRST)));
    EXPECT_EQ(px(150, 250), flare);
    EXPECT_GT(run_of(247, hi).second, 0);

    // No highlighted strip loaded: the plain one takes its place.
    replace(g_assets.sustain_hi[2], nullptr);
    render({gem(SLOT_SMASH_LAST, 2, -0.1, 0.4)});
    EXPECT_GT(run_of(247, sustain_colour(2, false)).second, 0);
    EXPECT_TRUE(rect_is(145, 248, 109, 109, flare));

    // Styled: the style flare and the highlighted style strip.
    render({gem(SLOT_SMASH_LAST, 2, -0.1, 0.4, 1)});
    EXPECT_GT(run_of(247, sustain_colour(SUSTAIN_STYLE, true)).second, 0);
    EXPECT_TRUE(rect_is(145, 248, 109, 109, slot_colour(SLOT_FLARE_STYLE)));

    // Both ends on one screen row: no strip and no flare, only the frame picture.
    render({gem(SLOT_SMASH_FIRST, 2, 0.0, 0.0005)});
    EXPECT_FALSE(any_pixel(flare));
    EXPECT_FALSE(any_pixel(sustain_colour(2, false)));
    EXPECT_EQ(px(200, 300), slot_colour(SLOT_SMASH_FIRST));
}

TEST_F(Highway, DrumImagesCymbalsTomsKicksAndStyle) {
    frame(400, 400);
    const double pad[5] = {0, -0.7125, -0.2375, 0.2375, 0.7125};
    struct Case {
        int32_t mode, lane, styled, variant, slot;
    } cases[] = {
        {1, 1, 0, 0, 1},                        // red never a cymbal
        {1, 2, 0, 0, SLOT_GEM_CYM_YELLOW},
        {1, 3, 0, 0, SLOT_GEM_CYM_BLUE},
        {1, 4, 0, 0, SLOT_GEM_CYM_GREEN},       // the fourth pad uses the green images
        {1, 2, 0, 1, 2},                        // toms
        {1, 3, 0, 1, 3},
        {1, 4, 0, 1, 0},
        {2, 2, 0, 0, 2},                        // OLD Drums: no cymbals
        {2, 4, 0, 0, 0},
        {2, 3, 0, 1, 3},                        // and no HOPO pictures in drum modes
        {1, 1, 1, 0, SLOT_GEM_STYLE},           // red in a style phrase: never the cymbal style
        {1, 3, 1, 0, SLOT_GEM_CYM_STYLE},
        {1, 3, 1, 1, SLOT_GEM_STYLE},
        {2, 3, 1, 0, SLOT_GEM_STYLE},
    };
    for (const Case& c : cases) {
        self->mode = c.mode;
        self->layout_dirty = 1;
        const int32_t image = c.lane;  // a gem before its smash shows its lane
        render({gem(image, c.lane, 0.3, 0.0, static_cast<uint8_t>(c.styled),
                    static_cast<uint8_t>(c.variant))});
        EXPECT_EQ(centre_of(pad[c.lane], 0.4, 0.3), slot_colour(c.slot))
            << "mode " << c.mode << " lane " << c.lane << " styled " << c.styled << " variant "
            << c.variant;
    }
    // The kick spans the highway (2.15 wide) in pass 0, under a pad gem drawn over it.
    self->mode = 1;
    render({gem(3, 3, 0.0, 0.0, 0, 1), gem(0, 0, 0.0)});
    const GemPlacement k = place_gem(400, 0, 0, 0.0, 2.15, 0.0);
    EXPECT_EQ(k.width, 336);
    EXPECT_EQ(run_of(k.y - 2, slot_colour(SLOT_GEM_KICK)).first, k.x);
    EXPECT_EQ(centre_of(0.2375, 0.4, 0.0), slot_colour(3));
    render({gem(0, 0, 0.2, 0.0, 1)});
    EXPECT_EQ(centre_of(0.0, 2.15, 0.2, 2), slot_colour(SLOT_GEM_KICK_STYLE));
    // A kick flash: 3.0 wide, centred, anchored at 0.55.
    render({gem(SLOT_KICK_FLASH_FIRST + 2, 0, 0.0)});
    const GemPlacement f = place_gem(400, 0, 0, 0.0, 3.0, 0.0);
    const int32_t h = static_cast<int32_t>(64.0 * f.width / 128 + 0.5);
    const int32_t top = static_cast<int32_t>(306.0f - static_cast<float>(h) * 0.55f);
    EXPECT_EQ(px(0, top), slot_colour(SLOT_KICK_FLASH_FIRST + 2));
    EXPECT_NE(px(0, top - 1), slot_colour(SLOT_KICK_FLASH_FIRST + 2));
    // A flash counter one past the seven pictures (a five-lane smash carried into a drum
    // mode) paints nothing, not the open gem that follows the flashes among the slots.
    render({});
    const std::vector<TESS_pixel> empty(self->frame_bitmap->bits(), self->frame_bitmap->bits() + 400 * 400);
    render({gem(SLOT_KICK_FLASH_LAST + 1, 0, 0.0)});
    EXPECT_FALSE(any_pixel(slot_colour(SLOT_KICK_FLASH_LAST + 1)));
    EXPECT_TRUE(std::equal(empty.begin(), empty.end(), self->frame_bitmap->bits()));
}

TEST_F(Highway, HopoAndStyleInFiveLaneModes) {
    frame(400, 400);
    for (int32_t mode : {0, 3}) {
        self->mode = mode;
        render({gem(3, 3, 0.3, 0.0, 0, 1)});
        // Keys records never carry the flag, but one that did would pick the HOPO picture too.
        EXPECT_EQ(centre_of(0.4, 0.4, 0.3), slot_colour(SLOT_GEM_HOPO_GREEN + 3)) << mode;
        render({gem(3, 3, 0.3, 0.0, 1, 1)});
        EXPECT_EQ(centre_of(0.4, 0.4, 0.3), slot_colour(SLOT_GEM_HOPO_STYLE)) << mode;
        render({gem(3, 3, 0.3, 0.0, 1, 0)});
        EXPECT_EQ(centre_of(0.4, 0.4, 0.3), slot_colour(SLOT_GEM_STYLE)) << mode;
        render({gem(1, 1, 0.3)});
        EXPECT_EQ(centre_of(-0.4, 0.4, 0.3), slot_colour(1)) << mode;
    }
}

// The rows of a trail from s to e, `scale` x D x w x F wide around lane offset l, in a
// 400 x 400 window: the first column and width of its nearest and farthest rows.
struct TrailEnds {
    int32_t top_row, bottom_row;
    std::pair<int32_t, int32_t> top, bottom;
};
TrailEnds trail_ends(double s, double e, double l, double w, double scale) {
    const double D = 400;
    TrailEnds t;
    t.bottom_row = static_cast<int32_t>(highway_row_at(s) * D + 0.5) - 1;
    t.top_row = static_cast<int32_t>(highway_row_at(e) * D);
    const double wE = scale * D * w * highway_scale_at(e);
    const double cE = D * l * highway_scale_at(e);
    t.top = {static_cast<int32_t>(D * 0.5 + cE - wE * 0.5 + 0.5), static_cast<int32_t>(wE + 0.5)};
    // The bottom row's values after rows - 1 steps of the interpolation, as the renderer runs it.
    const double wS = scale * D * w * highway_scale_at(s);
    const double cS = D * l * highway_scale_at(s);
    const int32_t rows = t.bottom_row + 1 - t.top_row;
    const double dw = (wS - wE) / rows, dx = (cS - cE) / rows - dw * 0.5;
    double left = D * 0.5 + cE - wE * 0.5, cur = wE;
    for (int32_t r = 1; r < rows; ++r) left += dx, cur += dw;
    t.bottom = {static_cast<int32_t>(left + 0.5), static_cast<int32_t>(cur + 0.5)};
    return t;
}

TEST_F(Highway, OpensSpanTheFiveLanesAndSmashAsTheCentreGem) {
    frame(400, 400);
    // The bar: 2.0 lane units wide, standing on its row, one picture for each state.
    const struct {
        uint8_t styled, variant;
        int32_t slot;
    } looks[] = {{0, 0, SLOT_GEM_OPEN}, {0, 1, SLOT_GEM_OPEN_HOPO}, {1, 0, SLOT_GEM_OPEN_STYLE},
                 {1, 1, SLOT_GEM_OPEN_HOPO_STYLE}};
    for (const auto& look : looks) {
        render({gem(OPEN_LANE, OPEN_LANE, 0.3, 0.0, look.styled, look.variant)});
        const GemPlacement p = place_gem(400, 0, 0, 0.0, 2.0, 0.3);
        EXPECT_EQ(run_of(p.y - 2, slot_colour(look.slot)), std::make_pair(p.x, p.width)) << look.slot;
    }
    // Its smash frames are a centre-lane gem's: 128 wide from the lane-2 gem's place.
    render({gem(SLOT_SMASH_FIRST, OPEN_LANE, 0.0)});
    const GemPlacement s = place_gem(400, 0, 0, 0.0, 0.82, 0.0);
    EXPECT_TRUE(rect_is(s.x, 272, 128, 64, slot_colour(SLOT_SMASH_FIRST)));

    // Its sustain is 1.5 lane units wide (three quarters of the bar), in its own strip.
    replace(g_assets.slots[SLOT_GEM_OPEN], nullptr);
    render({gem(OPEN_LANE, OPEN_LANE, 0.2, 0.3)});
    const TrailEnds t = trail_ends(0.25, 0.5, 0.0, 2.0, 0.75);
    EXPECT_EQ(run_of(t.top_row, SUSTAIN_OPEN), t.top);
    EXPECT_EQ(run_of(t.bottom_row, SUSTAIN_OPEN), t.bottom);
    EXPECT_EQ(run_of(t.top_row - 1, SUSTAIN_OPEN).second, 0);
    EXPECT_EQ(run_of(t.bottom_row + 1, SUSTAIN_OPEN).second, 0);
    EXPECT_GT(t.top.second, 5 * 31 - 10);  // five lanes' worth of the lane-2 sustain's width

    // Held: the highlighted open strip and the open's flare, placed as the centre gem's.
    render({gem(SLOT_SMASH_LAST, OPEN_LANE, -0.1, 0.4)});
    EXPECT_TRUE(rect_is(145, 248, 109, 109, slot_colour(SLOT_FLARE_OPEN)));
    EXPECT_GT(run_of(247, SUSTAIN_OPEN_HI).second, 0);
    EXPECT_FALSE(any_pixel(SUSTAIN_OPEN));
    replace(g_assets.sustain_open_hi, nullptr);  // optional: the plain strip then
    render({gem(SLOT_SMASH_LAST, OPEN_LANE, -0.1, 0.4)});
    EXPECT_GT(run_of(247, SUSTAIN_OPEN).second, 0);
    render({gem(SLOT_SMASH_LAST, OPEN_LANE, -0.1, 0.4, 1)});
    EXPECT_TRUE(rect_is(145, 248, 109, 109, slot_colour(SLOT_FLARE_STYLE)));
    EXPECT_GT(run_of(247, sustain_colour(SUSTAIN_STYLE, true)).second, 0);
}

TEST_F(Highway, TapsAndExpertPlusKicksPickTheirPictures) {
    frame(400, 400);
    for (int32_t lane = 0; lane < 5; ++lane) {
        render({gem(lane, lane, 0.3, 0.0, 0, 2)});
        EXPECT_EQ(centre_of((lane - 2) * 0.4, 0.4, 0.3), slot_colour(SLOT_GEM_TAP_GREEN + lane)) << lane;
    }
    render({gem(1, 1, 0.3, 0.0, 1, 2)});
    EXPECT_EQ(centre_of(-0.4, 0.4, 0.3), slot_colour(SLOT_GEM_TAP_STYLE));
    // A tap smashes as any gem.
    render({gem(SLOT_SMASH_FIRST, 2, 0.0, 0.0, 0, 2)});
    EXPECT_EQ(px(200, 300), slot_colour(SLOT_SMASH_FIRST));

    for (int32_t mode : {1, 2}) {
        self->mode = mode;
        self->layout_dirty = 1;
        render({gem(0, 0, 0.2, 0.0, 0, 2)});
        EXPECT_EQ(centre_of(0.0, 2.15, 0.2, 2), slot_colour(SLOT_GEM_KICK_2X)) << mode;
        render({gem(0, 0, 0.2, 0.0, 1, 2)});
        EXPECT_EQ(centre_of(0.0, 2.15, 0.2, 2), slot_colour(SLOT_GEM_KICK_2X_STYLE)) << mode;
        // Its flash is a kick's.
        render({gem(SLOT_KICK_FLASH_FIRST, 0, 0.0, 0.0, 0, 2)});
        EXPECT_EQ(px(0, 300), slot_colour(SLOT_KICK_FLASH_FIRST)) << mode;
    }
}

TEST_F(Highway, StripsAreBandsUnderEverythingCutAtBothEnds) {
    frame(400, 400);
    replace(g_assets.slots[2], nullptr);
    // A solo begun before the strike line, ending halfway: from the strike line to 0.5, the
    // highway's 2.05 units wide.
    render({gem(IMAGE_SOLO_STRIP, -1, -0.2, 0.7)});
    TrailEnds t = trail_ends(0.0, 0.5, 0.0, 2.05, 1.0);
    EXPECT_EQ(t.bottom_row, 305);
    EXPECT_EQ(run_of(t.top_row, SOLO_STRIP), t.top);
    EXPECT_EQ(run_of(t.bottom_row, SOLO_STRIP), t.bottom);
    EXPECT_EQ(run_of(t.top_row - 1, SOLO_STRIP).second, 0);
    EXPECT_EQ(run_of(t.bottom_row + 1, SOLO_STRIP).second, 0);
    // One reaching past the far end stops there; one of no length draws nothing.
    render({gem(IMAGE_SOLO_STRIP, -1, 0.8, 0.5)});
    EXPECT_EQ(run_of(87, SOLO_STRIP).second, trail_ends(0.8, 1.0, 0.0, 2.05, 1.0).top.second);
    EXPECT_EQ(run_of(86, SOLO_STRIP).second, 0);
    render({gem(IMAGE_SOLO_STRIP, -1, 0.5, 0.0), gem(IMAGE_FILL_STRIP, -1, -0.5, 0.4)});
    EXPECT_FALSE(any_pixel(SOLO_STRIP));
    EXPECT_FALSE(any_pixel(FILL_STRIP));

    // Lanes: a five-lane lane's width and place, the open lane's whole width, a drum pad's.
    render({gem(IMAGE_LANE_STRIP, 1, 0.1, 0.3)});
    t = trail_ends(0.1, 0.4, -0.4, 0.4, 1.0);
    EXPECT_EQ(run_of(t.top_row, LANE_STRIP), t.top);
    EXPECT_EQ(run_of(t.bottom_row, LANE_STRIP), t.bottom);
    render({gem(IMAGE_LANE_STRIP, OPEN_LANE, 0.1, 0.3)});
    EXPECT_EQ(run_of(t.top_row, LANE_STRIP), trail_ends(0.1, 0.4, 0.0, 2.0, 1.0).top);
    self->mode = 1;
    self->layout_dirty = 1;
    render({gem(IMAGE_LANE_STRIP, 3, 0.1, 0.3), gem(IMAGE_FILL_STRIP, -1, 0.0, 0.2)});
    t = trail_ends(0.1, 0.4, 0.2375, 0.4, 1.0);
    EXPECT_EQ(run_of(t.top_row, LANE_STRIP), t.top);
    // The fill (later in the list) lies under the lane.
    const TrailEnds fill = trail_ends(0.0, 0.2, 0.0, 2.05, 1.0);
    EXPECT_EQ(run_of(fill.bottom_row, FILL_STRIP), fill.bottom);
    EXPECT_EQ(run_of(fill.top_row, FILL_STRIP).first, fill.top.first);
    EXPECT_EQ(px(200 + static_cast<int32_t>(400 * 0.2375 * highway_scale_at(0.15)),
                 static_cast<int32_t>(highway_row_at(0.15) * 400)),
              LANE_STRIP);

    // Gems, kicks and lines, wherever they are listed, lie over the strips.
    self->mode = 0;
    self->layout_dirty = 1;
    replace(g_assets.slots[2], solid(128, 64, slot_colour(2)));
    render({gem(IMAGE_SOLO_STRIP, -1, 0.0, 1.0), gem(2, 2, 0.3), marker(KIND_MEASURE, 0.5),
            gem(IMAGE_LANE_STRIP, 2, 0.0, 1.0)});
    EXPECT_EQ(centre_of(0.0, 0.4, 0.3), slot_colour(2));
    const GemPlacement m = place_gem(400, 0, 0, 0.0, 2.05, 0.5);
    EXPECT_EQ(px(m.x + 2, m.y - 2), slot_colour(SLOT_MEASURE));
}

TEST_F(Highway, ModeSwitchRebuildsTheBackdropAndRescales) {
    frame(400, 400);
    render({gem(0, 0, 0.0)});
    EXPECT_EQ(px(200, 5), TRACK_GUITAR);
    ASSERT_EQ(cached_count(0), 1);
    // Unchanged size and mode: the backdrop and the copies are kept (the changed pixel lies
    // where the frame drew nothing, so the whole backdrop is asked for).
    self->layer_bitmap->bits()[5 * 400 + 200] = 0xFF123456u;
    forget_frame_drawn(self);
    TESS_MemBitmap* copy = cached(0, 0);
    render({gem(0, 0, 0.0)});
    EXPECT_EQ(px(200, 5), 0xFF123456u);
    ASSERT_EQ(cached_count(0), 1);
    EXPECT_EQ(cached(0, 0), copy);
    // MODE sets layout_dirty: drum track, every copy dropped.
    self->mode = 1;
    self->layout_dirty = 1;
    render({});
    EXPECT_EQ(self->layout_dirty, 0);
    EXPECT_EQ(px(200, 5), TRACK_DRUM);
    EXPECT_EQ(cached_count(0), 0);
    self->mode = 0;
    self->layout_dirty = 1;
    render({gem(0, 0, 0.0)});
    EXPECT_EQ(px(200, 5), TRACK_GUITAR);
    // A new size rebuilds too, and the gem comes at its new width.
    frame(200, 200);
    render({gem(0, 0, 0.0)});
    EXPECT_EQ(self->layer_bitmap->width(), 200);
    ASSERT_EQ(cached_count(0), 1);
    EXPECT_EQ(cached(0, 0)->width(), 31);  // trunc(200 * 0.4 * 0.390625 + 0.5)
    // Without background and track images the backdrop is opaque black.
    replace(g_assets.background, nullptr);
    replace(g_assets.track_guitar, nullptr);
    self->layout_dirty = 1;
    render({});
    EXPECT_TRUE(rect_is(0, 0, 200, 200, 0xFF000000u));
}

TEST_F(Highway, CacheKeepsOneCopyPerWidthSortedByWidth) {
    frame(400, 400);
    TESS_IBitmap* dest = self->frame_bitmap;
    draw_asset_scaled(dest, 3, 0, 100, 50, 1.0f, 1.0f);
    draw_asset_scaled(dest, 3, 0, 100, 30, 1.0f, 1.0f);
    draw_asset_scaled(dest, 3, 0, 100, 40, 1.0f, 1.0f);
    ASSERT_EQ(cached_count(3), 3);
    EXPECT_EQ(cached(3, 0)->width(), 30);
    EXPECT_EQ(cached(3, 1)->width(), 40);
    EXPECT_EQ(cached(3, 2)->width(), 50);
    TESS_MemBitmap* forty = cached(3, 1);
    draw_asset_scaled(dest, 3, 0, 100, 40, 1.0f, 1.0f);
    draw_asset_scaled(dest, 3, 0, 100, 60, 1.0f, 1.0f);
    ASSERT_EQ(cached_count(3), 4);
    EXPECT_EQ(cached(3, 1), forty);
    EXPECT_EQ(cached(3, 3)->width(), 60);
    EXPECT_EQ(cached(3, 3)->height(), 30);
    // Anchor: the fraction of the copy above the row (30 x 15 at anchor 0.5 on row 100).
    TESS_Clear(dest, 0);
    draw_asset_scaled(dest, 3, 10, 100, 30, 1.0f, 0.5f);
    EXPECT_EQ(run_of(92, slot_colour(3)), std::make_pair(10, 30));
    EXPECT_EQ(run_of(91, slot_colour(3)).second, 0);
    EXPECT_EQ(run_of(106, slot_colour(3)).second, 30);
    EXPECT_EQ(run_of(107, slot_colour(3)).second, 0);
}

// Widths asked for in random order, each several times: one copy per width, in order, and each
// found again rather than made anew, the narrowest and widest included.
TEST_F(Highway, CacheFindsEveryWidthItHolds) {
    frame(400, 400);
    TESS_IBitmap* dest = self->frame_bitmap;
    std::mt19937 rng(5);
    std::vector<TESS_MemBitmap*> first(200, nullptr);
    for (int32_t i = 0; i < 600; ++i) {
        const int32_t width = 1 + static_cast<int32_t>(rng() % 120);
        draw_asset_scaled(dest, 4, 0, 100, width, 1.0f, 1.0f);
        int32_t at = 0;
        while (at < cached_count(4) && cached(4, at)->width() != width) ++at;
        ASSERT_LT(at, cached_count(4)) << width;
        if (!first[width]) first[width] = cached(4, at);
        EXPECT_EQ(cached(4, at), first[width]) << width;
    }
    int32_t distinct = 0;
    for (TESS_MemBitmap* c : first) distinct += c != nullptr;
    ASSERT_EQ(cached_count(4), distinct);
    for (int32_t i = 1; i < cached_count(4); ++i) EXPECT_LT(cached(4, i - 1)->width(), cached(4, i)->width());
}

// Pictures with soft edges, as a real skin has: transparent corners and margins, rims of partial
// alpha and, in every image, fully transparent rows at the top and bottom.
TESS_MemBitmap* soft(int32_t w, int32_t h, TESS_pixel colour, uint32_t seed) {
    TESS_MemBitmap* b = new TESS_MemBitmap(w, h);
    std::mt19937 rng(seed);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const double dx = (x + 0.5 - w / 2.0) / (w / 2.0), dy = (y + 0.5 - h / 2.0) / (h * 0.4);
            const double edge = (1.0 - (dx * dx + dy * dy)) * 6.0;
            const uint32_t a = edge <= 0.0 ? 0u : edge >= 1.0 ? 255u : uint32_t(edge * 255.0);
            b->bits()[y * w + x] = a << 24 | ((colour ^ (rng() & 0x0F0F0F)) & 0xFFFFFFu);
        }
    return b;
}

// Every record kind through every CPU path, and through whole blits in place of the copies'
// visible spans: the same frame, pixel for pixel.
TEST_F(Highway, FramesAreTheSameOnEveryPathWithOrWithoutSpans) {
    AssetSet& a = g_assets;
    for (int32_t s = 0; s < ASSET_SLOT_COUNT; ++s) {
        const bool wide = s >= SLOT_BEAT_MARKER && s <= SLOT_MEASURE;
        replace(a.slots[s], soft(wide ? 256 : 128, wide ? 12 : 64, slot_colour(s), uint32_t(s)));
    }
    for (int32_t i = 0; i < SUSTAIN_COUNT; ++i) {
        replace(a.sustain[i], soft(96, 4, sustain_colour(i, false), 100u + uint32_t(i)));
        replace(a.sustain_hi[i], soft(96, 4, sustain_colour(i, true), 200u + uint32_t(i)));
    }
    std::vector<VisibleGem> records;
    for (int32_t k = -3; k <= -1; ++k) records.push_back(marker(k, 0.07 * -k));
    for (int32_t lane = 0; lane < 5; ++lane) {
        records.push_back(gem(lane, lane, 0.1 + 0.19 * lane, 0.3, lane == 3, lane == 1));
        records.push_back(gem(lane, lane, 0.93 - 0.01 * lane));  // fading: alpha below 1
        records.push_back(gem(SLOT_SMASH_FIRST + 2 * lane, lane, lane == 4 ? -0.05 : 0.0, 0.5));
    }
    frame(640, 400);

    auto pixels = [&] {
        const TESS_pixel* p = self->frame_bitmap->bits();
        return std::vector<TESS_pixel>(p, p + width * height);
    };
    auto render_all = [&](bool whole_blits) {
        self->layout_dirty = 1;  // a fresh backdrop and fresh copies on each path
        render(records);
        if (!whole_blits) return pixels();
        for (HeapBuffer& list : a.scaled)
            for (int32_t i = 0; i < list.count<ScaledCopy*>(); ++i)
                list.records<ScaledCopy*>()[i]->spans.resize(0, false);
        render(records);  // the same copies, now without their spans
        return pixels();
    };

    ASSERT_EQ(TESS_ChooseCpuPath("avx2 sse2"), TESS_CPU_GENERIC);
    const std::vector<TESS_pixel> reference = render_all(false);
    // The spans really leave columns out: the sweep below is no empty comparison.
    int32_t narrowed = 0;
    for (HeapBuffer& list : a.scaled)
        for (int32_t i = 0; i < list.count<ScaledCopy*>(); ++i) {
            ScaledCopy* c = list.records<ScaledCopy*>()[i];
            ASSERT_EQ(c->spans.count<TESS_RowSpan>(), c->height());
            for (int32_t y = 0; y < c->height(); ++y) {
                const TESS_RowSpan sp = c->spans.records<TESS_RowSpan>()[y];
                narrowed += sp.end - sp.begin < c->width();
            }
        }
    EXPECT_GT(narrowed, 500);
    EXPECT_EQ(render_all(true), reference) << "whole blits on the generic path";
    for (TESS_CpuPath path : model::runnable_paths()) {
        ASSERT_EQ(TESS_ChooseCpuPath(model::disable_wider_than(path).c_str()), path);
        EXPECT_EQ(render_all(false), reference) << TESS_CpuPathName(path);
        EXPECT_EQ(render_all(true), reference) << TESS_CpuPathName(path) << " without spans";
    }
    TESS_ChooseCpuPath(std::getenv("TESS_DISABLE"));
}

// Frame after frame of changing records, with MODE changes, frames drawn on and said so, and
// gems cut by every edge: each frame, put together from the last one where the last one drew,
// is the frame painted over the whole backdrop, pixel for pixel.
TEST_F(Highway, FramesRestoredWhereTheLastOneDrewAreFramesPaintedAfresh) {
    AssetSet& a = g_assets;
    for (int32_t s = 0; s < ASSET_SLOT_COUNT; ++s) {
        const bool wide = s >= SLOT_BEAT_MARKER && s <= SLOT_MEASURE;
        replace(a.slots[s], soft(wide ? 256 : 128, wide ? 12 : 64, slot_colour(s), uint32_t(s)));
    }
    std::mt19937 rng(7);
    auto uniform = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
    auto pick = [&](int32_t lo, int32_t hi) { return std::uniform_int_distribution<int32_t>(lo, hi)(rng); };
    auto records_of_a_frame = [&] {
        std::vector<VisibleGem> r;
        for (int32_t i = pick(0, 14); i > 0; --i) {
            const int32_t kind = pick(0, 5);
            const double near = uniform(-0.3, 1.1);
            if (kind == 0) r.push_back(marker(-pick(1, 3), near));
            else if (kind == 1) r.push_back(gem(pick(IMAGE_LANE_STRIP, IMAGE_SOLO_STRIP), pick(0, 5), near, uniform(0.0, 1.5)));
            else if (kind == 2) r.push_back(gem(pick(SLOT_SMASH_FIRST, SLOT_KICK_FLASH_LAST), pick(0, 5), near, uniform(0.0, 0.6)));
            else r.push_back(gem(pick(0, 5), pick(0, 5), near, pick(0, 1) ? uniform(0.0, 0.8) : 0.0,
                                 uint8_t(pick(0, 1)), uint8_t(pick(0, 2))));
        }
        return r;
    };
    for (const auto& size : {std::pair<int32_t, int32_t>{640, 400}, {300, 520}}) {
        frame(size.first, size.second);
        int32_t partial = 0;
        for (int32_t n = 0; n < 120; ++n) {
            if (pick(0, 15) == 0) {  // MODE, as a click sets it
                self->mode = pick(0, 3);
                self->layout_dirty = 1;
            }
            const std::vector<VisibleGem> records = records_of_a_frame();
            partial += self->drawn_frame != nullptr && self->drawn_rects.count<TESS_RECT>() > 0;
            render(records);
            const std::vector<TESS_pixel> kept(self->frame_bitmap->bits(), self->frame_bitmap->bits() + width * height);
            forget_frame_drawn(self);
            render(records);
            ASSERT_TRUE(std::equal(kept.begin(), kept.end(), self->frame_bitmap->bits()))
                << size.first << " x " << size.second << ", frame " << n;
            if (n % 3 == 0) {  // something else draws on the frame, as the control strip does
                const int32_t x = pick(-20, width - 10), y = pick(-20, height - 10), w = pick(1, 80), h = pick(1, 40);
                TESS_FillRect(self->frame_bitmap, x, y, w, h, 0xFFFF0000u, 1.0f, TESS_BLIT_MODE_COPY);
                note_frame_drawn(self, x, y, w, h);
            }
        }
        EXPECT_GT(partial, 60) << "most frames were put back where the last one drew";
    }
}

TEST_F(Highway, DegenerateImagesAndSlotsDrawNothing) {
    frame(64, 64);
    TESS_IBitmap* dest = self->frame_bitmap;
    TESS_Clear(dest, 0xFF000000u);
    // An image whose memory could not be had has no size: nothing drawn, nothing cached.
    replace(g_assets.slots[5], new TESS_MemBitmap(0, 0));
    draw_asset_scaled(dest, 5, 0, 40, 30, 1.0f, 1.0f);
    EXPECT_EQ(cached_count(5), 0);
    // So thin that the copy would have no rows: repeated requests leave no copies behind.
    replace(g_assets.slots[6], solid(512, 1, 0xFFFFFFFFu));
    for (int32_t i = 0; i < 3; ++i) draw_asset_scaled(dest, 6, 0, 40, 100, 1.0f, 1.0f);
    EXPECT_EQ(cached_count(6), 0);
    draw_asset_scaled(dest, ASSET_SLOT_COUNT, 0, 40, 30, 1.0f, 1.0f);
    draw_asset_scaled(dest, -1, 0, 40, 30, 1.0f, 1.0f);
    draw_asset_scaled(dest, 7, 0, 40, 0, 1.0f, 1.0f);
    draw_asset_scaled(dest, 7, 0, 40, -5, 1.0f, 1.0f);
    EXPECT_EQ(cached_count(7), 0);
    EXPECT_TRUE(rect_is(0, 0, 64, 64, 0xFF000000u));
    // A frame past the records that are valid: only n records count.
    render({gem(2, 2, 0.0)});
    render_visible(self, 0, 64, 64);
    render_visible(self, 5, 64, 64);  // more than stored: clamped
}

TEST_F(Highway, RenderHighwayDrawsTheVisibleWindowOfTheChart) {
    frame(400, 400);
    self->difficulty = 3;
    self->mode = 0;
    self->display_position = 0.0;
    // Expert red (97) 0.6 s ahead: half of the 1.2 s span.
    ChartEvent e;
    std::memset(&e, 0, sizeof e);
    e.position = 26460;
    e.kind = 97;
    ASSERT_TRUE(self->events.append(e));
    self->render_highway(400, 400);
    EXPECT_EQ(centre_of(-0.4, 0.4, 0.5), slot_colour(1));
    EXPECT_EQ(run_of(150, slot_colour(1)).second, 41);
}

}  // namespace
