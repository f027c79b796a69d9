// The default skin as built into tolvan/: every image the asset set asks for, in the sizes
// and anchoring the renderer assumes, and pictures that read apart at a glance.
#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <set>
#include <string>

#include "display/asset_set.h"
#include "display/highway_renderer.h"
#include "platform/platform.h"
#include "plugin/chart_preview.h"
#include "raster/tess.h"

namespace {

const std::string SKIN = std::string(TIVER_BINARY_DIR) + "/tolvan/";

using Image = std::unique_ptr<TESS_IBitmap>;

Image load(const std::string& name) {
    return Image(TESS_LoadPNG((SKIN + name + ".png").c_str(), nullptr));
}

struct Pixel {
    int r, g, b, a;
};

Pixel at(TESS_IBitmap* b, int32_t x, int32_t y) {
    const TESS_pixel p = b->bits()[y * b->rowSpan() + x];
    return {static_cast<int>(p >> 16 & 0xFF), static_cast<int>(p >> 8 & 0xFF), static_cast<int>(p & 0xFF),
            static_cast<int>(p >> 24)};
}

int luminance(const Pixel& p) { return (p.r * 3 + p.g * 6 + p.b) / 10; }

double alpha_sum(TESS_IBitmap* b) {
    double s = 0;
    for (int32_t y = 0; y < b->height(); ++y)
        for (int32_t x = 0; x < b->width(); ++x) s += at(b, x, y).a;
    return s / 255.0;
}

// Hue in degrees of the mean colour of a picture's visible, saturated pixels (a gem's face).
double face_hue(TESS_IBitmap* b, double* saturation = nullptr) {
    double r = 0, g = 0, bl = 0;
    int n = 0;
    for (int32_t y = 0; y < b->height(); ++y)
        for (int32_t x = 0; x < b->width(); ++x) {
            const Pixel p = at(b, x, y);
            const int hi = std::max(p.r, std::max(p.g, p.b)), lo = std::min(p.r, std::min(p.g, p.b));
            if (p.a < 100 || hi < 80 || hi - lo < hi / 2) continue;
            r += p.r, g += p.g, bl += p.b, ++n;
        }
    if (!n) return -1.0;
    r /= n, g /= n, bl /= n;
    const double hi = std::max(r, std::max(g, bl)), lo = std::min(r, std::min(g, bl));
    if (saturation) *saturation = hi > 0 ? (hi - lo) / hi : 0;
    if (hi == lo) return 0.0;
    double h;
    if (hi == r) h = 60.0 * std::fmod((g - bl) / (hi - lo), 6.0);
    else if (hi == g) h = 60.0 * ((bl - r) / (hi - lo) + 2.0);
    else h = 60.0 * ((r - g) / (hi - lo) + 4.0);
    return h < 0 ? h + 360.0 : h;
}

// Pixels with at least half opacity, as a set of indices.
std::set<int32_t> silhouette(TESS_IBitmap* b) {
    std::set<int32_t> s;
    for (int32_t i = 0; i < b->width() * b->height(); ++i)
        if ((b->bits()[i] >> 24) >= 128) s.insert(i);
    return s;
}

std::set<std::string> asset_names() {
    std::set<std::string> names = {"Tiver_background1", "track_guitar", "track_drum"};
    for (const char* n : ASSET_SLOT_NAMES) names.insert(n);
    for (const char* n : SUSTAIN_NAMES) names.insert(n);
    for (const char* n : SUSTAIN_HI_NAMES) names.insert(n);
    for (const char* n : {"sustain_open", "sustain_open_hi", "solo_lane", "fill_lane", "roll_lane"})
        names.insert(n);
    return names;
}

TEST(DefaultSkin, HoldsExactlyTheImagesTheAssetSetLoads) {
    const std::set<std::string> wanted = asset_names();
    ASSERT_EQ(wanted.size(), 77u);
    std::set<std::string> found;
    DIR* d = opendir(SKIN.c_str());
    ASSERT_NE(d, nullptr);
    while (dirent* e = readdir(d)) {
        const std::string n = e->d_name;
        if (n.size() > 4 && n.compare(n.size() - 4, 4, ".png") == 0) found.insert(n.substr(0, n.size() - 4));
    }
    closedir(d);
    EXPECT_EQ(found, wanted);
}

TEST(DefaultSkin, LoadsThroughThePlugInsAssetSetWithoutPlaceholders) {
    // The module file beside tolvan/, as the DLL is on Windows.
    platform_override_module_file_name((std::string(TIVER_BINARY_DIR) + "/tiver-render").c_str());
    load_asset_set();
    for (int i = 0; i < ASSET_SLOT_COUNT; ++i) {
        ASSERT_NE(g_assets.slots[i], nullptr) << i;
        // A placeholder's top-left pixel is opaque white; the skin's corners are clear.
        EXPECT_LT(at(g_assets.slots[i], 0, 0).a, 255) << ASSET_SLOT_NAMES[i];
    }
    for (int i = 0; i < SUSTAIN_COUNT; ++i) {
        EXPECT_NE(g_assets.sustain[i], nullptr);
        EXPECT_NE(g_assets.sustain_hi[i], nullptr) << SUSTAIN_HI_NAMES[i];
    }
    EXPECT_EQ(g_assets.background->width() * 9, g_assets.background->height() * 16);
    release_asset_set();
    platform_override_module_file_name(nullptr);
}

TEST(DefaultSkin, SizesFitHowTheRendererDrawsEachKind) {
    const Image gem = load("gem_green");
    ASSERT_NE(gem, nullptr);
    EXPECT_EQ(gem->width(), 2 * gem->height());
    for (int i = 0; i <= 15; ++i) {
        const Image g = load(ASSET_SLOT_NAMES[i]);
        ASSERT_NE(g, nullptr) << ASSET_SLOT_NAMES[i];
        EXPECT_EQ(g->width(), gem->width()) << ASSET_SLOT_NAMES[i];
        EXPECT_EQ(g->height(), gem->height()) << ASSET_SLOT_NAMES[i];
        // Standing on the bottom row: the picture reaches down into its lowest rows.
        int lowest = 0;
        for (int32_t y = 0; y < g->height(); ++y)
            for (int32_t x = 0; x < g->width(); ++x)
                if (at(g.get(), x, y).a > 60) lowest = y;
        EXPECT_GE(lowest, g->height() * 3 / 4) << ASSET_SLOT_NAMES[i];
    }
    for (const char* name : {"gem_kick", "gem_kick_style", "kick_flash_1", "beat_marker", "measure"}) {
        const Image b = load(name);
        EXPECT_GE(b->width(), 4 * b->height()) << name;
    }
    // Markers: the line lies three quarters of the way down, where the renderer anchors them.
    for (const char* name : {"beat_marker", "half_beat_marker", "measure"}) {
        const Image m = load(name);
        double weight = 0, moment = 0;
        for (int32_t y = 0; y < m->height(); ++y) {
            weight += at(m.get(), m->width() / 2, y).a;
            moment += at(m.get(), m->width() / 2, y).a * (y + 0.5);
        }
        EXPECT_NEAR(moment / weight, m->height() * 0.75, 1.0) << name;
    }
    for (const char* name : {"smash_1", "smash_flare_red", "track_guitar", "track_drum"}) {
        const Image s = load(name);
        EXPECT_EQ(s->width(), s->height()) << name;
    }
    // Sustains: only the middle third of row 0 is used; it must carry the whole strip.
    for (int i = 0; i < SUSTAIN_COUNT; ++i) {
        for (const char* name : {SUSTAIN_NAMES[i], SUSTAIN_HI_NAMES[i]}) {
            const Image s = load(name);
            const int32_t third = s->width() / 3;
            ASSERT_EQ(s->width() % 3, 0) << name;
            EXPECT_GE(at(s.get(), third + third / 2, 0).a, 200) << name;
            EXPECT_LT(at(s.get(), third + 1, 0).a, 60) << name;  // soft edges inside the third
            EXPECT_LT(at(s.get(), 2 * third - 2, 0).a, 60) << name;
        }
    }
}

TEST(DefaultSkin, TracksFollowTheRenderersPerspective) {
    for (const char* name : {"track_guitar", "track_drum"}) {
        const Image t = load(name);
        const double side = t->width();
        for (double u : {0.0, 0.5, 0.9}) {
            const int32_t row = static_cast<int32_t>(highway_row_at(u) * side);
            const double half = highway_scale_at(u) * side;  // one lane unit
            const int32_t centre = t->width() / 2;
            // The surface covers the lanes (five-lane gems reach 1.0 units out) ...
            EXPECT_GE(at(t.get(), centre + static_cast<int32_t>(0.85 * half), row).a, 200) << name << " " << u;
            EXPECT_GE(at(t.get(), centre - static_cast<int32_t>(0.85 * half), row).a, 200) << name << " " << u;
            // ... and ends a little beyond them, the background showing through.
            EXPECT_LT(at(t.get(), centre + static_cast<int32_t>(1.3 * half), row).a, 40) << name << " " << u;
            EXPECT_LT(at(t.get(), centre - static_cast<int32_t>(1.3 * half), row).a, 40) << name << " " << u;
        }
        // Above the far end nothing is drawn.
        const int32_t above = static_cast<int32_t>(highway_row_at(1.0) * side) - 20;
        for (int32_t x = 0; x < t->width(); ++x) EXPECT_LT(at(t.get(), x, above).a, 30) << name;
    }
    // A guitar lane line at 0.2 units; the drum track has its middle line at 0 instead.
    const Image g = load("track_guitar"), d = load("track_drum");
    const int32_t row = static_cast<int32_t>(highway_row_at(0.5) * g->width());
    const double unit = highway_scale_at(0.5) * g->width();
    const auto lum = [&](TESS_IBitmap* b, double l) {
        return luminance(at(b, b->width() / 2 + static_cast<int32_t>(std::lround(l * unit)), row));
    };
    EXPECT_GT(lum(g.get(), 0.2), lum(g.get(), 0.1) + 15);
    EXPECT_GT(lum(d.get(), 0.0), lum(d.get(), 0.1) + 15);
    EXPECT_LT(lum(g.get(), 0.0), lum(g.get(), 0.2) - 15);
}

TEST(DefaultSkin, FiveLaneColoursAreDistinctAndNamedRight) {
    struct Range {
        const char* name;
        double low, high;  // hue in degrees
    };
    const Range lanes[] = {{"green", 100, 150}, {"red", -15, 8}, {"yellow", 44, 64}, {"blue", 205, 235},
                           {"orange", 15, 35}};
    for (const Range& lane : lanes) {
        for (const std::string prefix : {"gem_", "gem_hopo_", "sustain_", "smash_flare_"}) {
            const Image b = load(prefix + lane.name);
            double hue = face_hue(b.get());
            if (hue > 180 && lane.low < 0) hue -= 360;
            EXPECT_GE(hue, lane.low) << prefix << lane.name;
            EXPECT_LE(hue, lane.high) << prefix << lane.name;
        }
    }
    // Style pictures stand apart from every lane colour of their kind.
    const auto mean_colour = [](TESS_IBitmap* b) {
        double c[3] = {0, 0, 0}, n = 0;
        for (int32_t y = 0; y < b->height(); ++y)
            for (int32_t x = 0; x < b->width(); ++x) {
                const Pixel p = at(b, x, y);
                if (p.a < 100) continue;
                c[0] += p.r, c[1] += p.g, c[2] += p.b, n += 1;
            }
        return std::array<double, 3>{c[0] / n, c[1] / n, c[2] / n};
    };
    for (const std::string prefix : {"gem_", "gem_hopo_", "sustain_", "gem_cym_"}) {
        const std::array<double, 3> style = mean_colour(load(prefix + "style").get());
        for (const Range& lane : lanes) {
            const Image b = load(prefix + lane.name);
            if (!b) continue;  // cymbals come in three colours only
            const std::array<double, 3> c = mean_colour(b.get());
            const double d = std::sqrt((c[0] - style[0]) * (c[0] - style[0]) + (c[1] - style[1]) * (c[1] - style[1]) +
                                       (c[2] - style[2]) * (c[2] - style[2]));
            EXPECT_GT(d, 60.0) << prefix << lane.name;
        }
    }
}

TEST(DefaultSkin, HopoCymbalAndKickPicturesDifferFromStrumsAndToms) {
    for (const char* c : {"green", "red", "yellow", "blue", "orange", "style"}) {
        const Image strum = load(std::string("gem_") + c);
        const Image hopo = load(std::string("gem_hopo_") + c);
        // The middle of the face: a dark cap on a strum, a white light on a HOPO.
        const int32_t cx = strum->width() / 2, cy = strum->height() * 27 / 64;
        EXPECT_LT(luminance(at(strum.get(), cx, cy)), 70) << c;
        EXPECT_GT(luminance(at(hopo.get(), cx, cy)), 220) << c;
    }
    for (const char* c : {"yellow", "blue", "green"}) {
        const std::set<int32_t> tom = silhouette(load(std::string("gem_") + c).get());
        const std::set<int32_t> cym = silhouette(load(std::string("gem_cym_") + c).get());
        size_t both = 0;
        for (int32_t i : cym) both += tom.count(i);
        const double overlap = static_cast<double>(both) / (tom.size() + cym.size() - both);
        EXPECT_LT(overlap, 0.7) << c;
        EXPECT_LT(cym.size(), tom.size() * 3 / 4) << c;  // thinner
    }
    // The kick bar spans its picture; its style form is a different colour.
    const Image kick = load("gem_kick"), style = load("gem_kick_style");
    const int32_t row = kick->height() / 2;
    EXPECT_GT(at(kick.get(), kick->width() / 20, row).a, 200);
    EXPECT_GT(at(kick.get(), kick->width() * 19 / 20, row).a, 200);
    EXPECT_GT(std::abs(face_hue(kick.get()) - face_hue(style.get())), 60.0);
}

TEST(DefaultSkin, OpensTapsAndExpertPlusKicksReadApart) {
    // The open: a purple bar across its whole picture, lying where the faces of gems of the same
    // moment lie (as the renderer draws it five gems wide), a lighter outline for a HOPO open.
    const Image open = load("gem_open"), hopo = load("gem_open_hopo");
    const Image gem = load("gem_green");
    ASSERT_TRUE(open && hopo && gem);
    EXPECT_GE(open->width(), 8 * open->height());
    double hue = face_hue(open.get());
    EXPECT_GE(hue, 260.0);
    EXPECT_LE(hue, 300.0);
    const int32_t x = open->width() / 2;
    double weight = 0, moment = 0;
    for (int32_t y = 0; y < open->height(); ++y) {
        weight += at(open.get(), x, y).a;
        moment += at(open.get(), x, y).a * (y + 0.5);
    }
    // Rows above the bottom, in gem widths: the bar's against a gem face's (row 27 of 64).
    const double bar_above = (open->height() - moment / weight) / open->width() * 2.0;
    const double face_above = (gem->height() - 27.0) / gem->width() * 0.4;
    EXPECT_NEAR(bar_above, face_above, 0.015);
    EXPECT_GT(at(open.get(), open->width() / 20, static_cast<int32_t>(moment / weight)).a, 200);
    int edge_open = 0, edge_hopo = 0;  // the outline above the bar's middle
    for (int32_t y = 0; y < open->height(); ++y) {
        edge_open = std::max(edge_open, luminance(at(open.get(), x, y)) * at(open.get(), x, y).a / 255);
        edge_hopo = std::max(edge_hopo, luminance(at(hopo.get(), x, y)) * at(hopo.get(), x, y).a / 255);
    }
    EXPECT_GT(edge_hopo, edge_open + 20);
    EXPECT_GT(std::abs(face_hue(load("gem_open_style").get()) - hue), 60.0);

    // Taps: the lane's colour around a wide dark hollow, where a strum shows its colour.
    for (const char* c : {"green", "red", "yellow", "blue", "orange", "style"}) {
        const Image strum = load(std::string("gem_") + c), tap = load(std::string("gem_tap_") + c);
        ASSERT_TRUE(tap) << c;
        EXPECT_EQ(tap->width(), strum->width());
        EXPECT_EQ(tap->height(), strum->height());
        const int32_t cx = tap->width() / 2, cy = tap->height() * 27 / 64;
        EXPECT_LT(luminance(at(tap.get(), cx, cy)), 50) << c;
        EXPECT_LT(luminance(at(tap.get(), cx + 30, cy)), 50) << c;
        EXPECT_GT(luminance(at(strum.get(), cx + 30, cy)), 60) << c;
    }
    // The Expert+ kick is a kick bar of another colour.
    const Image kick = load("gem_kick"), twin = load("gem_kick_2x");
    EXPECT_EQ(twin->width(), kick->width());
    EXPECT_EQ(twin->height(), kick->height());
    EXPECT_GT(std::abs(face_hue(kick.get()) - face_hue(twin.get())), 90.0);
    EXPECT_GT(std::abs(face_hue(load("gem_kick_2x_style").get()) - face_hue(twin.get())), 60.0);
}

TEST(DefaultSkin, StripsAreFaintBandsAndTheOpensTrailLetsTheLanesShow) {
    for (const char* name : {"solo_lane", "fill_lane", "roll_lane", "sustain_open", "sustain_open_hi"}) {
        const Image s = load(name);
        ASSERT_TRUE(s) << name;
        const int32_t third = s->width() / 3;
        ASSERT_EQ(s->width() % 3, 0) << name;
        int most = 0;
        for (int32_t x = third; x < 2 * third; ++x) most = std::max(most, at(s.get(), x, 0).a);
        const Pixel middle = at(s.get(), third + third / 2, 0);
        if (std::string(name).find("sustain") == 0) {
            EXPECT_GT(middle.a, 90) << name;
            EXPECT_LT(middle.a, 200) << name;
        } else {
            // Faint over the band, a little stronger at its edges, so gems over it stay plain.
            EXPECT_GT(middle.a, 20) << name;
            EXPECT_LT(middle.a, 70) << name;
            EXPECT_GT(most, middle.a + 40) << name;
            EXPECT_LT(most, 160) << name;
        }
    }
    EXPECT_NE(face_hue(load("solo_lane").get()), face_hue(load("fill_lane").get()));
}

TEST(DefaultSkin, LineWeightsGrowFromHalfBeatToMeasure) {
    const double half = alpha_sum(load("half_beat_marker").get());
    const double beat = alpha_sum(load("beat_marker").get());
    const double measure = alpha_sum(load("measure").get());
    EXPECT_GT(half, 0.0);
    EXPECT_GT(beat, 1.6 * half);
    EXPECT_GT(measure, 1.6 * beat);
}

TEST(DefaultSkin, AnimationsWidenAndFadeFrameByFrame) {
    // Reach: the farthest pixel of some opacity from the picture's middle column.
    const auto reach = [](TESS_IBitmap* b) {
        int32_t r = 0;
        for (int32_t y = 0; y < b->height(); ++y)
            for (int32_t x = 0; x < b->width(); ++x)
                if (at(b, x, y).a > 50) r = std::max(r, std::abs(2 * x + 1 - b->width()) / 2);
        return r;
    };
    const auto height_of = [](TESS_IBitmap* b) {
        int32_t top = b->height(), bottom = -1;
        for (int32_t y = 0; y < b->height(); ++y)
            if (at(b, b->width() / 2, y).a > 20) top = std::min(top, y), bottom = std::max(bottom, y);
        return bottom - top;
    };
    std::string previous;
    double first_mass = 0, last_mass = 0;
    int32_t first_reach = 0, mid_reach = 0;
    for (int i = 1; i <= 10; ++i) {
        const Image f = load("smash_" + std::to_string(i));
        const std::string pixels(reinterpret_cast<const char*>(f->bits()), f->width() * f->height() * 4);
        EXPECT_NE(pixels, previous) << i;
        previous = pixels;
        if (i == 2) first_mass = alpha_sum(f.get()), first_reach = reach(f.get());
        if (i == 6) mid_reach = reach(f.get());
        if (i == 10) last_mass = alpha_sum(f.get());
    }
    EXPECT_GT(mid_reach, first_reach + 10);
    EXPECT_LT(last_mass, first_mass * 0.6);

    double flash_first = 0, flash_last = 0;
    int32_t h1 = 0, h4 = 0;
    for (int i = 1; i <= 7; ++i) {
        const Image f = load("kick_flash_" + std::to_string(i));
        if (i == 1) flash_first = alpha_sum(f.get()), h1 = height_of(f.get());
        if (i == 4) h4 = height_of(f.get());
        if (i == 7) flash_last = alpha_sum(f.get());
    }
    EXPECT_GT(h4, h1 + 10);
    EXPECT_LT(flash_last, flash_first * 0.5);
}

TEST(DefaultSkin, BackgroundIsOpaqueDarkAndCalm) {
    const Image b = load("Tiver_background1");
    double lum = 0, step = 0;
    for (int32_t y = 0; y < b->height(); ++y)
        for (int32_t x = 0; x < b->width(); ++x) {
            const Pixel p = at(b.get(), x, y);
            ASSERT_EQ(p.a, 255);
            lum += luminance(p);
            if (x > 0) step += std::abs(luminance(p) - luminance(at(b.get(), x - 1, y)));
        }
    const double n = static_cast<double>(b->width()) * b->height();
    EXPECT_LT(lum / n, 50.0);
    EXPECT_LT(step / n, 1.0);  // no texture to compete with the gems
}

TEST(DefaultSkin, HighlightedSustainsAreBrighter) {
    for (int i = 0; i < SUSTAIN_COUNT; ++i) {
        const Image plain = load(SUSTAIN_NAMES[i]), hi = load(SUSTAIN_HI_NAMES[i]);
        const int32_t third = plain->width() / 3;
        int a = 0, b = 0;
        for (int32_t x = third; x < 2 * third; ++x) {
            a += luminance(at(plain.get(), x, 0)) * at(plain.get(), x, 0).a / 255;
            b += luminance(at(hi.get(), x, 0)) * at(hi.get(), x, 0).a / 255;
        }
        EXPECT_GT(b, a * 5 / 4) << SUSTAIN_NAMES[i];
    }
}

}  // namespace
