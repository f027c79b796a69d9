// The shared image set: files beside the module, named placeholders and their random colours,
// sharing between instances, and the module directory rule.

#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "display/asset_set.h"
#include "display/highway_renderer.h"
#include "platform/platform.h"
#include "plugin/chart_preview.h"
#include "raster/tess.h"

namespace fs = std::filesystem;

namespace {

// An opaque w x h PNG of one colour (0xRRGGBB).
bool write_png(const std::string& path, int32_t w, int32_t h, uint32_t rgb) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, static_cast<png_uint_32>(w), static_cast<png_uint_32>(h), 8,
                 PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<png_byte> row(static_cast<size_t>(w) * 4);
    for (int32_t x = 0; x < w; ++x) {
        row[x * 4 + 0] = static_cast<png_byte>(rgb >> 16);
        row[x * 4 + 1] = static_cast<png_byte>(rgb >> 8);
        row[x * 4 + 2] = static_cast<png_byte>(rgb);
        row[x * 4 + 3] = 0xFF;
    }
    for (int32_t y = 0; y < h; ++y) png_write_row(png, row.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0;
}

// Every image the set holds, in its load order, named; the highlighted sustains apart.
struct Named {
    const char* name;
    TESS_MemBitmap* image;
};
std::vector<Named> placeholder_order() {
    AssetSet& a = g_assets;
    std::vector<Named> v = {{"Tiver_background1", a.background},
                            {"track_guitar", a.track_guitar},
                            {"track_drum", a.track_drum}};
    for (int32_t i = 0; i < SUSTAIN_COUNT; ++i) v.push_back({SUSTAIN_NAMES[i], a.sustain[i]});
    const int32_t order[] = {0,  1,  2,  3,  4,  21, 22, 23, 24, 25, 26, 5,  6,  7,  8,
                             9,  10, 11, 12, 16, 18, 19, 20, 13, 14, 15, 17, 27, 28, 29,
                             30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44,
                             45, 46, 47, 48, 49, 50, 51, 52, 53, 54, 55, 56};
    for (int32_t s : order) v.push_back({ASSET_SLOT_NAMES[s], a.slots[s]});
    v.push_back({"sustain_open", a.sustain_open});
    v.push_back({"solo_lane", a.solo_lane});
    v.push_back({"fill_lane", a.fill_lane});
    v.push_back({"roll_lane", a.roll_lane});
    return v;
}

TESS_pixel pixel(TESS_MemBitmap* b, int32_t x, int32_t y) { return b->bits()[y * b->width() + x]; }

TESS_pixel next_placeholder_colour() {
    const uint32_t r1 = static_cast<uint32_t>(std::rand());
    const uint32_t r2 = static_cast<uint32_t>(std::rand());
    const uint32_t r3 = static_cast<uint32_t>(std::rand());
    return 0x19000000u | (r1 & 0x5F) << 16 | (r2 & 0x5F) << 8 | (r3 & 0x5F);
}

// A 128 x 128 placeholder of this fill: white top row and left column, the fill elsewhere,
// and the name in white from (2, 2) as far as whole glyphs fit.
::testing::AssertionResult is_placeholder(TESS_MemBitmap* b, const char* name, TESS_pixel fill) {
    if (!b) return ::testing::AssertionFailure() << name << ": null";
    if (b->width() != 128 || b->height() != 128)
        return ::testing::AssertionFailure() << name << ": " << b->width() << " x " << b->height();
    for (int32_t i = 0; i < 128; ++i)
        if (pixel(b, i, 0) != 0xFFFFFFFFu || pixel(b, 0, i) != 0xFFFFFFFFu)
            return ::testing::AssertionFailure() << name << ": outline at " << i;
    for (int32_t y = 10; y < 128; ++y)
        for (int32_t x = 1; x < 128; ++x)
            if (pixel(b, x, y) != fill)
                return ::testing::AssertionFailure() << name << ": fill at " << x << ", " << y;
    for (int32_t c = 0; name[c] && 2 + 8 * (c + 1) <= 128; ++c) {
        const uint8_t* glyph = TESS_FONT_8X8[static_cast<uint8_t>(name[c]) - 1];
        for (int32_t row = 0; row < 8; ++row)
            for (int32_t col = 0; col < 8; ++col) {
                const bool on = (glyph[row] >> (7 - col)) & 1;
                if (pixel(b, 2 + 8 * c + col, 2 + row) != (on ? 0xFFFFFFFFu : fill))
                    return ::testing::AssertionFailure() << name << ": glyph " << c;
            }
    }
    return ::testing::AssertionSuccess();
}

class Assets : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(live_instances, 0);
        root = fs::path(::testing::TempDir()) / ("tiver_assets_" + std::to_string(::getpid()));
        fs::remove_all(root);
        fs::create_directories(root / "skin" / "tolvan");
        point_module_at((root / "missing" / "plug.so").string());
    }
    void TearDown() override {
        platform_override_module_file_name(nullptr);
        g_assets.module_directory[0] = '\0';
        fs::remove_all(root);
    }
    // A fresh process as far as the set is concerned: the directory is read again.
    void point_module_at(const std::string& module) {
        platform_override_module_file_name(module.c_str());
        g_assets.module_directory[0] = '\0';
    }
    std::string skin(const std::string& name) { return (root / "skin" / "tolvan" / name).string(); }

    fs::path root;
};

TEST_F(Assets, MissingFolderGivesNamedPlaceholdersInLoadOrder) {
    std::srand(4242);
    ChartPreview* a = new ChartPreview(nullptr);
    std::srand(4242);
    std::vector<Named> all = placeholder_order();
    // The images older skins have come first, so their placeholders keep their colours.
    ASSERT_EQ(all.size(), 3u + 6u + 44u + 13u + 4u);
    EXPECT_STREQ(all[3 + 6 + 44].name, "gem_open");
    for (const Named& n : all) EXPECT_TRUE(is_placeholder(n.image, n.name, next_placeholder_colour()));
    for (TESS_MemBitmap* hi : g_assets.sustain_hi) EXPECT_EQ(hi, nullptr);
    EXPECT_EQ(g_assets.sustain_open_hi, nullptr);
    delete a;
}

TEST_F(Assets, FilesInTheSkinFolderAreLoadedAndSkipTheRandomColours) {
    ASSERT_TRUE(write_png(skin("gem_green.png"), 64, 32, 0x11AA22));
    ASSERT_TRUE(write_png(skin("sustain_red_hi.png"), 30, 2, 0xCC3344));
    ASSERT_TRUE(write_png(skin("track_guitar.png"), 16, 16, 0x445566));
    // Not a PNG: a placeholder like a missing file.
    { std::FILE* f = std::fopen(skin("gem_red.png").c_str(), "wb"); std::fputs("junk", f); std::fclose(f); }
    point_module_at((root / "skin" / "plug.so").string());
    std::srand(77);
    ChartPreview* a = new ChartPreview(nullptr);
    AssetSet& s = g_assets;
    ASSERT_NE(s.slots[0], nullptr);
    EXPECT_EQ(s.slots[0]->width(), 64);
    EXPECT_EQ(s.slots[0]->height(), 32);
    EXPECT_EQ(pixel(s.slots[0], 5, 5), 0xFF11AA22u);
    EXPECT_EQ(pixel(s.track_guitar, 0, 0), 0xFF445566u);
    ASSERT_NE(s.sustain_hi[1], nullptr);
    EXPECT_EQ(pixel(s.sustain_hi[1], 0, 0), 0xFFCC3344u);
    for (int32_t i = 0; i < SUSTAIN_COUNT; ++i) {
        if (i == 1) continue;
        EXPECT_EQ(s.sustain_hi[i], nullptr) << i;
    }
    std::srand(77);
    for (const Named& n : placeholder_order()) {
        if (n.image == s.slots[0] || n.image == s.track_guitar) continue;
        EXPECT_TRUE(is_placeholder(n.image, n.name, next_placeholder_colour()));
    }
    delete a;
}

TEST_F(Assets, SharedByInstancesFreedWithTheLastReloadedByTheNext) {
    std::srand(9);
    ChartPreview* a = new ChartPreview(nullptr);
    EXPECT_EQ(live_instances, 1);
    TESS_MemBitmap* green = g_assets.slots[0];
    const TESS_pixel first_colour = pixel(green, 64, 64);
    ChartPreview* b = new ChartPreview(nullptr);
    EXPECT_EQ(g_assets.slots[0], green);
    delete a;
    EXPECT_EQ(g_assets.slots[0], green);
    EXPECT_EQ(pixel(g_assets.slots[0], 64, 64), first_colour);
    // Copies made while painting go with the set.
    TESS_MemBitmap dest(64, 64);
    draw_asset_scaled(&dest, 0, 0, 40, 30, 1.0f, 1.0f);
    draw_asset_scaled(&dest, 27, 0, 40, 30, 1.0f, 1.0f);
    EXPECT_EQ(g_assets.scaled[0].size, 8);
    delete b;
    EXPECT_EQ(live_instances, 0);
    EXPECT_EQ(g_assets.background, nullptr);
    EXPECT_EQ(g_assets.track_guitar, nullptr);
    EXPECT_EQ(g_assets.track_drum, nullptr);
    for (int32_t i = 0; i < ASSET_SLOT_COUNT; ++i) {
        EXPECT_EQ(g_assets.slots[i], nullptr) << i;
        EXPECT_EQ(g_assets.scaled[i].size, 0) << i;
    }
    for (int32_t i = 0; i < SUSTAIN_COUNT; ++i) {
        EXPECT_EQ(g_assets.sustain[i], nullptr);
        EXPECT_EQ(g_assets.sustain_hi[i], nullptr);
    }
    for (const TESS_MemBitmap* p : {g_assets.sustain_open, g_assets.sustain_open_hi, g_assets.solo_lane,
                                    g_assets.fill_lane, g_assets.roll_lane})
        EXPECT_EQ(p, nullptr);
    // The third instance loads again; its placeholders take the next random numbers.
    ChartPreview* c = new ChartPreview(nullptr);
    ASSERT_NE(g_assets.slots[0], nullptr);
    std::srand(9);
    for (size_t i = 0; i < placeholder_order().size(); ++i) next_placeholder_colour();
    for (const Named& n : placeholder_order())
        EXPECT_TRUE(is_placeholder(n.image, n.name, next_placeholder_colour()));
    EXPECT_NE(pixel(g_assets.slots[0], 64, 64), first_colour);
    delete c;
}

TEST_F(Assets, ModuleDirectoryIsCutAtTheLastSeparatorOfEitherKind) {
    char a[] = "C:\\x\\plug.dll";
    cut_to_module_directory(a);
    EXPECT_STREQ(a, "C:\\x");
    char b[] = "/opt/daw\\plugins/tiver/plug.so";
    cut_to_module_directory(b);
    EXPECT_STREQ(b, "/opt/daw\\plugins/tiver");
    char c[] = "/opt/daw/plugins\\plug.dll";
    cut_to_module_directory(c);
    EXPECT_STREQ(c, "/opt/daw/plugins");
    char d[] = "plug.dll";
    cut_to_module_directory(d);
    EXPECT_STREQ(d, "");
    char e[] = "/plug.so";
    cut_to_module_directory(e);
    EXPECT_STREQ(e, "");

    const std::string sep(1, ASSET_PATH_SEPARATOR);
    HeapBuffer path;
    EXPECT_EQ(std::string(build_asset_path(path, "C:\\x", "gem_green")),
              "C:\\x" + sep + "tolvan" + sep + "gem_green.png");
    EXPECT_EQ(std::string(build_asset_path(path, "", "gem_green")), sep + "tolvan" + sep + "gem_green.png");
    // A long directory is not cut short.
    const std::string deep(1500, 'd');
    EXPECT_EQ(std::string(build_asset_path(path, deep.c_str(), "smash_flare_orange")),
              deep + sep + "tolvan" + sep + "smash_flare_orange.png");
}

TEST_F(Assets, LoadFollowsTheModulePath) {
    ASSERT_TRUE(write_png(skin("gem_blue.png"), 8, 4, 0x0000FF));
    // A separator of the other kind at the end still marks the directory.
    point_module_at((root / "skin").string() + "\\plug.dll");
    TESS_MemBitmap* blue = load_asset_image("gem_blue", true);
    ASSERT_NE(blue, nullptr);
    EXPECT_EQ(blue->width(), 8);
    delete blue;
    EXPECT_EQ(std::string(g_assets.module_directory), (root / "skin").string());
    // The directory is kept: a module reported elsewhere later does not move the skin.
    platform_override_module_file_name((root / "missing" / "plug.so").string().c_str());
    blue = load_asset_image("gem_blue", true);
    EXPECT_NE(blue, nullptr);
    delete blue;

    // No separator at all: the directory is empty and read again at the next load.
    point_module_at("plug.so");
    EXPECT_EQ(load_asset_image("gem_blue", true), nullptr);
    TESS_MemBitmap* named = load_asset_image("gem_blue", false);
    EXPECT_TRUE(named && named->width() == 128);
    delete named;
    EXPECT_STREQ(g_assets.module_directory, "");
    platform_override_module_file_name((root / "skin" / "plug.so").string().c_str());
    blue = load_asset_image("gem_blue", true);
    ASSERT_NE(blue, nullptr);
    EXPECT_EQ(pixel(blue, 7, 3), 0xFF0000FFu);
    delete blue;
}

}  // namespace
