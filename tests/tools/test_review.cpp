// tiver-render's review pictures on a song folder: --no-controls is the default picture
// without the control strip (the backdrop where the strip was), --caption draws the song,
// the part, the section and the time in the font's colour where the layout says and only
// above the highways at 720p and 1080p, its section and time following the moment and the
// song's delay, and --preview renders song.ini's preview range.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "raster/tess.h"
#include "tests/tools/song_files.h"
#include "tests/tools/tool_process.h"
#include "tools/make-skin/png_write.h"
#include "tools/tiver-render/caption.h"

namespace {

using namespace tool_test;

const std::vector<double> GEMS = {1.0, 1.5, 2.0, 2.5, 3.0, 3.5, 4.0, 4.5, 5.0, 5.5};
constexpr double CHART_END = 6.0;  // the song ends 2 s later: 0:08
const TextEvents SECTIONS = {{0.0, "[music_start]"}, {1.0, "[section Intro]"}, {3.0, "[prc_verse_1]"}};

using Picture = std::unique_ptr<TESS_IBitmap>;

TESS_pixel at(const Picture& p, int32_t x, int32_t y) { return p->bits()[y * p->rowSpan() + x]; }

class Review : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(temp.path().empty());
        song = temp.path() + "/song";
        out = temp.path() + "/out";
        ASSERT_EQ(mkdir(song.c_str(), 0755), 0);
        ASSERT_EQ(mkdir(out.c_str(), 0755), 0);
        write_file(song + "/notes.mid", chart_bytes(480, GEMS, CHART_END, true, SECTIONS));
        ini("");
    }
    void ini(const std::string& more) {
        write_file(song + "/song.ini", "[song]\nname = Night Drive\nartist = The Tivers\ncharter = Mo\n" + more);
    }

    // A still of the song folder at `seconds` with `extra` options, read back.
    Picture still(double seconds, const std::string& size, std::vector<std::string> extra = {}) {
        const std::string name = "still" + std::to_string(count++) + ".png";
        std::vector<std::string> args = {song, "--at", std::to_string(seconds), "--size", size, "-o", name};
        args.insert(args.end(), extra.begin(), extra.end());
        const ToolRun r = run_tool(out, args);
        EXPECT_EQ(r.status, 0) << r.err;
        Picture p(TESS_LoadPNG((out + "/" + name).c_str(), nullptr));
        EXPECT_NE(p, nullptr);
        std::remove((out + "/" + name).c_str());
        return p;
    }

    TempFolder temp;
    std::string song, out;
    int count = 0;
};

struct Box {
    int32_t x0, y0, x1, y1;
};

// The places of the caption's lines at moment `seconds` (the clock's and the section's as
// wide as their texts then).
std::vector<Box> caption_boxes(const CaptionLayout& l, double seconds, const std::string& section) {
    std::vector<Box> boxes;
    const auto add = [&](int32_t x, int32_t y, int32_t scale, size_t chars) {
        boxes.push_back({x, y, x + static_cast<int32_t>(chars) * 8 * scale, y + 8 * scale});
    };
    for (const CaptionLine& line : l.fixed) add(line.x, line.y, line.scale, line.text.size());
    const size_t clock = caption_clock(seconds, 8.0).size();
    add(l.clock_right - static_cast<int32_t>(clock) * 8 * l.clock_scale, l.clock_y, l.clock_scale, clock);
    add(l.section_right - static_cast<int32_t>(section.size()) * 8 * l.section_scale, l.section_y, l.section_scale,
        section.size());
    return boxes;
}

int64_t ink(const Picture& p, const Box& b) {
    int64_t n = 0;
    for (int32_t y = b.y0; y < b.y1; ++y)
        for (int32_t x = b.x0; x < b.x1; ++x) n += at(p, x, y) == CAPTION_TEXT;
    return n;
}

bool same_in(const Picture& a, const Picture& b, const Box& box) {
    for (int32_t y = box.y0; y < box.y1; ++y)
        for (int32_t x = box.x0; x < box.x1; ++x)
            if (at(a, x, y) != at(b, x, y)) return false;
    return true;
}

TEST_F(Review, WithoutControlsThePictureIsTheHighwayAloneWhereTheStripWas) {
    // At 1000 x 300 the highway's square starts at x = 350, right of the whole strip (its
    // last box ends at x = 322): over a background of one colour, the strip's rows without
    // it are that colour from edge to square, and the rest is the default picture.
    const std::string skin = temp.path() + "/plain";
    ASSERT_EQ(std::system(("mkdir -p '" + skin + "' && cp " + TIVER_BINARY_DIR + "/tolvan/*.png '" + skin + "'").c_str()), 0);
    constexpr TESS_pixel BACKGROUND = 0xFF336699;
    TESS_MemBitmap plain(64, 64);
    TESS_Clear(&plain, BACKGROUND);
    std::string error;
    ASSERT_TRUE(write_png_file(&plain, skin + "/Tiver_background1.png", PngKind::Image, &error)) << error;
    for (const double moment : {2.0, 4.25}) {
        const Picture shown = still(moment, "1000x300", {"--skin", skin});
        const Picture bare = still(moment, "1000x300", {"--skin", skin, "--no-controls"});
        ASSERT_TRUE(shown && bare);
        int64_t strip = 0;
        for (int32_t y = 0; y < 300; ++y) {
            for (int32_t x = 0; x < 1000; ++x) {
                if (y < 24 && x < 350) {
                    ASSERT_EQ(at(bare, x, y), BACKGROUND) << x << "," << y;
                    strip += at(shown, x, y) != BACKGROUND;
                } else {
                    ASSERT_EQ(at(bare, x, y), at(shown, x, y)) << x << "," << y;
                }
            }
        }
        EXPECT_GT(strip, 1000) << "the default picture shows the strip";
    }
}

TEST_F(Review, TheCaptionIsWhereTheLayoutSaysAndNeverOverTheHighway) {
    for (const std::string size : {"1280x720", "1920x1080"}) {
        SCOPED_TRACE(size);
        const int32_t w = size == "1280x720" ? 1280 : 1920, h = w * 9 / 16;
        const Picture bare = still(3.5, size, {"--no-controls"});
        const Picture captioned = still(3.5, size, {"--no-controls", "--caption"});
        ASSERT_TRUE(bare && captioned);
        ASSERT_EQ(captioned->width(), w);
        ASSERT_EQ(captioned->height(), h);
        // Below the top 0.15 of the square (and so over the whole highway) nothing changed.
        const int32_t limit = caption_limit(w, h);
        EXPECT_EQ(limit, h * 15 / 100);
        EXPECT_TRUE(same_in(bare, captioned, {0, limit, w, h}));
        EXPECT_FALSE(same_in(bare, captioned, {0, 0, w, limit}));
        // The lines of the layout, each with ink of the font's colour.
        ViewSettings view;
        view.track = 1;
        view.width = w;
        view.height = h;
        const CaptionLayout layout = layout_caption({"Night Drive", "The Tivers", "Mo", 8.0}, {"Guitar - Expert"},
                                                    {{1.0, "Intro"}, {3.0, "Verse 1"}}, {view}, w, h, 0);
        ASSERT_EQ(layout.fixed.size(), 4u);
        EXPECT_EQ(layout.fixed[2].text, "charted by Mo");
        for (const Box& b : caption_boxes(layout, 3.5, "Verse 1")) EXPECT_GT(ink(captioned, b), 20) << b.x0 << "," << b.y0;
        // The text is about a thirtieth of the picture's height.
        EXPECT_NEAR(8.0 * layout.fixed[0].scale, h / 30.0, h / 90.0);
    }
}

TEST_F(Review, TheSectionAndTheTimeFollowTheMomentAndTheDelay) {
    const std::string size = "640x360";
    ViewSettings view;
    view.track = 1;
    view.width = 640;
    view.height = 360;
    const CaptionLayout layout = layout_caption({"Night Drive", "The Tivers", "Mo", 8.0}, {"Guitar - Expert"},
                                                {{1.0, "Intro"}, {3.0, "Verse 1"}}, {view}, 640, 360, 0);
    ASSERT_TRUE(layout.section && layout.clock);
    const int32_t sh = caption_shadow(layout.section_scale);
    const Box section = {640 / 2, layout.section_y, 640, layout.section_y + 8 * layout.section_scale + sh};
    const Box clock = {640 / 2, layout.clock_y, 640, layout.clock_y + 8 * layout.clock_scale + sh};
    const std::vector<std::string> caption = {"--caption", "--no-controls"};
    const Picture before = still(0.5, size, caption), intro = still(2.2, size, caption), intro_later = still(2.8, size, caption),
                  verse = still(3.2, size, caption);
    ASSERT_TRUE(before && intro && intro_later && verse);
    EXPECT_EQ(ink(before, section), 0) << "no section before the first";
    EXPECT_GT(ink(intro, section), 20);
    EXPECT_TRUE(same_in(intro, intro_later, section));
    EXPECT_TRUE(same_in(intro, intro_later, clock)) << "0:02 both";
    EXPECT_FALSE(same_in(intro, verse, section));
    EXPECT_FALSE(same_in(intro, verse, clock));
    // The whole top of the picture at 2.2 and 2.8 s is the same: only the highway moved.
    EXPECT_TRUE(same_in(intro, intro_later, {0, 0, 640, caption_limit(640, 360)}));

    // With a delay the chart, its sections with it, comes 500 ms later: at 3.2 s still Intro.
    ini("delay = 500\n");
    const Picture delayed = still(3.2, size, caption), delayed_verse = still(3.6, size, caption);
    ASSERT_TRUE(delayed && delayed_verse);
    EXPECT_TRUE(same_in(delayed, intro, section));
    EXPECT_TRUE(same_in(delayed_verse, verse, section));
}

TEST_F(Review, EachViewIsLabelledOverItsOwnHighway) {
    const Picture p = still(3.5, "1920x720", {"--view", "PART GUITAR", "--view", "PART DRUMS:hard", "--caption",
                                              "--no-controls"});
    const Picture bare = still(3.5, "1920x720", {"--view", "PART GUITAR", "--view", "PART DRUMS:hard", "--no-controls"});
    ASSERT_TRUE(p && bare);
    std::vector<ViewSettings> views(2);
    for (ViewSettings& v : views) {
        v.width = 960;
        v.height = 720;
    }
    const CaptionLayout layout = layout_caption({"Night Drive", "The Tivers", "Mo", 8.0},
                                                {"Guitar - Expert", "Pro Drums - Hard"},
                                                {{1.0, "Intro"}, {3.0, "Verse 1"}}, views, 1920, 720, 0);
    ASSERT_EQ(layout.fixed.size(), 5u);
    EXPECT_EQ(layout.fixed[4].text, "Pro Drums - Hard");
    EXPECT_GT(layout.fixed[4].x, 960);
    for (const Box& b : caption_boxes(layout, 3.5, "Verse 1")) EXPECT_GT(ink(p, b), 20) << b.x0 << "," << b.y0;
    EXPECT_TRUE(same_in(p, bare, {0, caption_limit(960, 720), 1920, 720}));
}

// A lone view's caption is drawn on the editor's own frame: every frame of a range, the time
// and the section changing under the strip, is the still of its moment.
TEST_F(Review, ACaptionedRangeIsItsStillsFrameByFrame) {
    const std::vector<std::string> caption = {"--caption", "--fps", "5"};
    const ToolRun r = run_tool(out, {song, "--from", "2.6", "--to", "3.4", "--fps", "5", "--size", "960x540",
                                     "--caption", "-o", "range_%d.png"});
    ASSERT_EQ(r.status, 0) << r.err;
    for (int i = 0; i < 5; ++i) {
        const std::string name = out + "/range_" + std::to_string(i) + ".png";
        const Picture frame(TESS_LoadPNG(name.c_str(), nullptr));
        ASSERT_NE(frame, nullptr) << name;
        const Picture alone = still(2.6 + 0.2 * i, "960x540", caption);
        ASSERT_NE(alone, nullptr);
        EXPECT_TRUE(same_in(frame, alone, {0, 0, 960, 540})) << "frame " << i;
    }
}

TEST_F(Review, ThePreviewIsSongInisRange) {
    ini("preview_start_time = 2000\npreview_end_time = 3000\n");
    ToolRun r = run_tool(out, {song, "--preview", "--fps", "10", "--size", "160x90", "-o", "clip_%02d.png"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("11 frames, clip_00.png .. clip_10.png (160x90, 2.000 s to 3.000 s at 10 fps)"),
              std::string::npos) << r.out;
    // Without a start: a third of the song (8 s) on, 30 s held within the song.
    ini("");
    r = run_tool(out, {song, "--preview", "--fps", "2", "--size", "160x90", "-o", "third.png"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("(160x90, 2.667 s to 7.667 s at 2 fps)"), std::string::npos) << r.out;
    EXPECT_TRUE(refused_in_one_line(run_tool(out, {song, "--preview", "--at", "2"}), "--preview cannot be combined"));
}

}  // namespace
