// The caption step: section events made readable and found at their moments through the
// tempo map and the offset, view labels, the clock, text for the font, and layouts at the
// common sizes that stay above every highway's square below 0.15 of its side, drawn with
// ink exactly where the layout says and nowhere else.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "songfile/smf_writer.h"
#include "raster/tess.h"
#include "tools/tiver-render/caption.h"
#include "tools/tiver-render/frame.h"

namespace {

SmfFile parse(const SmfWriter& w) {
    const std::vector<uint8_t> bytes = w.bytes();
    SmfFile f;
    std::string why;
    EXPECT_TRUE(smf_parse(bytes.data(), bytes.size(), &f, &why)) << why;
    return f;
}

// One view filling the picture, or `count` equal columns.
std::vector<ViewSettings> columns(int32_t width, int32_t height, size_t count = 1) {
    std::vector<ViewSettings> views;
    for (size_t i = 0; i < count; ++i) {
        ViewSettings v;
        v.track = 1;
        v.width = column_width(width, count, i);
        v.height = height;
        views.push_back(v);
    }
    return views;
}

struct Box {
    int32_t x0, y0, x1, y1;  // [x0, x1) x [y0, y1)
};

Box box_of(int32_t x, int32_t y, int32_t scale, size_t chars) {
    const int32_t s = caption_shadow(scale);
    return {x, y, x + static_cast<int32_t>(chars) * 8 * scale + s, y + 8 * scale + s};
}

// Every box the layout can draw into: its fixed lines, and the clock and the section at their
// widest (`clock_chars`, `section_chars`) against their right edges.
std::vector<Box> boxes(const CaptionLayout& l, size_t clock_chars) {
    std::vector<Box> out;
    for (const CaptionLine& line : l.fixed) out.push_back(box_of(line.x, line.y, line.scale, line.text.size()));
    if (l.clock) {
        const Box b = box_of(0, l.clock_y, l.clock_scale, clock_chars);
        out.push_back({l.clock_right - (b.x1 - caption_shadow(l.clock_scale)), b.y0, l.clock_right + caption_shadow(l.clock_scale), b.y1});
    }
    if (l.section) {
        const Box b = box_of(0, l.section_y, l.section_scale, static_cast<size_t>(l.section_chars));
        out.push_back({l.section_right - (b.x1 - caption_shadow(l.section_scale)), b.y0,
                       l.section_right + caption_shadow(l.section_scale), b.y1});
    }
    return out;
}

const CaptionSong SONG = {"Night Drive: The Extended Version of a Very Long Song Title", "The Tivers",
                          "Mo \xC3\x85kesson", 225.5};
const std::vector<CaptionSection> SECTIONS = {{12.0, "Intro"}, {40.0, "Verse 1"}, {65.0, "Guitar Solo 2"}};

TEST(Caption, SectionEventsAreMadeReadable) {
    EXPECT_EQ(section_name("[section Guitar Solo]"), "Guitar Solo");
    EXPECT_EQ(section_name("[section_verse_2]"), "Verse 2");
    EXPECT_EQ(section_name("[prc_chorus_1a]"), "Chorus 1a");
    EXPECT_EQ(section_name("  [Section  bridge ]  "), "Bridge");
    EXPECT_EQ(section_name("section Outro"), "Outro");  // as some editors write it, without brackets
    for (const char* other : {"[music_start]", "[coda]", "[lighting (flare)]", "[section]", "[section   ]",
                              "[prc_]", "sections galore", ""})
        EXPECT_EQ(section_name(other), "") << other;
}

TEST(Caption, SectionsOfTheEventsTrackAtTheirMomentsThroughTempoAndOffset) {
    // 120 BPM for the first 2 s (1920 ticks), then 60 BPM: tick 2400 is at 3 s, 2880 at 4 s.
    SmfWriter w;
    w.tracks.resize(3);
    w.tracks[0].name("song");
    w.tracks[0].tempo_bpm(0, 120.0);
    w.tracks[0].tempo_bpm(1920, 60.0);
    w.tracks[1].name("PART GUITAR");
    w.tracks[1].text(0, "[section Not Here]");  // only the EVENTS track holds sections
    w.tracks[2].name("EVENTS");
    w.tracks[2].text(0, "[music_start]");
    w.tracks[2].text(960, "[section Intro]");
    w.tracks[2].text(2400, "[prc_verse_1]");
    w.tracks[2].meta(2880, 0x06, "[section_chorus_2]");  // a marker event counts too
    w.tracks[2].meta(3000, 0x05, "[section Lyric]");      // a lyric does not
    const SmfFile song = parse(w);
    const std::vector<CaptionSection> s = chart_sections(song, 250);
    ASSERT_EQ(s.size(), 3u);
    EXPECT_DOUBLE_EQ(s[0].seconds, 1.25);
    EXPECT_DOUBLE_EQ(s[1].seconds, 3.25);
    EXPECT_DOUBLE_EQ(s[2].seconds, 4.25);
    EXPECT_EQ(section_at(s, 0.0), "");
    EXPECT_EQ(section_at(s, 1.2499), "");
    EXPECT_EQ(section_at(s, 1.25), "Intro");
    EXPECT_EQ(section_at(s, 3.2), "Intro");
    EXPECT_EQ(section_at(s, 3.3), "Verse 1");
    EXPECT_EQ(section_at(s, 500.0), "Chorus 2");
    // A song without an EVENTS track has no sections.
    w.tracks.pop_back();
    EXPECT_TRUE(chart_sections(parse(w), 0).empty());
}

TEST(Caption, ViewLabelsNameThePartAndDifficulty) {
    SmfWriter w;
    w.tracks.resize(6);
    const char* names[] = {"PART GUITAR", "PART DRUMS", "PART REAL_GUITAR", "PART GUITAR COOP", "Lead line"};
    for (int i = 0; i < 5; ++i) w.tracks[static_cast<size_t>(i)].name(names[i]);
    const SmfFile song = parse(w);
    const auto label = [&](int32_t track, int32_t difficulty, int32_t mode) {
        ViewSettings v;
        v.track = track;
        v.difficulty = difficulty;
        v.mode = mode;
        return view_label(song, v);
    };
    EXPECT_EQ(label(0, 3, 0), "Guitar - Expert");
    EXPECT_EQ(label(1, 2, 1), "Pro Drums - Hard");
    EXPECT_EQ(label(1, 0, 2), "Drums - Easy");
    EXPECT_EQ(label(2, 1, 0), "Real Guitar - Medium");
    EXPECT_EQ(label(3, 3, 0), "Guitar Coop - Expert");
    EXPECT_EQ(label(4, 3, 0), "Lead line - Expert");
    EXPECT_EQ(label(5, 3, 3), "Keys - Expert");  // an unnamed track: the mode's name
}

TEST(Caption, ClockAndTextForTheFont) {
    EXPECT_EQ(caption_clock(0.0, 82.9), "0:00 / 1:22");
    EXPECT_EQ(caption_clock(61.999, 3599.5), "1:01 / 59:59");
    EXPECT_EQ(caption_clock(3725.0, 4000.0), "1:02:05 / 1:06:40");
    EXPECT_EQ(caption_clock(-3.0, 5.0), "0:00 / 0:05");
    EXPECT_EQ(font_text("Bj\xC3\xB6rk \xE2\x80\x93 J\xC3\xB3ga \xE2\x80\x9Cx\xE2\x80\x9D\x01\xC3\x89"), "Bjork - Joga \"x\" E");
    EXPECT_EQ(font_text("\xFF\x80" "a\xE2\x80"), "??a?");  // stray bytes and a cut-short sequence
    EXPECT_EQ(font_text("\xE6\x97\xA5\xF0\x9F\x8E\xB8."), "??.");
}

TEST(Caption, LayoutsStayAboveEveryHighwayAtCommonSizes) {
    struct Case {
        int32_t width, height;
        size_t views;
    } cases[] = {{1280, 720, 1}, {1920, 1080, 1}, {640, 360, 1}, {400, 400, 1}, {720, 1280, 1},
                 {1920, 720, 3}, {1280, 720, 4}, {1280, 200, 1}, {64, 64, 1}};
    for (const Case& c : cases) {
        for (const int32_t top : {0, 24}) {
            SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " views " +
                         std::to_string(c.views) + " top " + std::to_string(top));
            const std::vector<ViewSettings> views = columns(c.width, c.height, c.views);
            const std::vector<std::string> labels(c.views, "Pro Drums - Expert");
            const CaptionLayout l = layout_caption(SONG, labels, SECTIONS, views, c.width, c.height, top);
            const std::vector<Box> all = boxes(l, caption_clock(SONG.length, SONG.length).size());
            for (size_t i = 0; i < all.size(); ++i) {
                const Box& b = all[i];
                EXPECT_GE(b.x0, 0);
                EXPECT_LE(b.x1, c.width);
                EXPECT_GE(b.y0, top);
                int32_t left = 0;
                for (const ViewSettings& v : views) {  // below no square's top 0.15
                    if (b.x0 < left + v.width && b.x1 > left) {
                        EXPECT_LE(b.y1, caption_limit(v.width, c.height)) << i;
                    }
                    left += v.width;
                }
                for (size_t j = 0; j < i; ++j)  // and over no other line
                    EXPECT_TRUE(b.x1 <= all[j].x0 || all[j].x1 <= b.x0 || b.y1 <= all[j].y0 || all[j].y1 <= b.y0)
                        << i << " and " << j;
            }
            if (caption_limit(c.width, c.height) - top < 24) continue;  // no room: nothing may be drawn
            // The title's height is about a thirtieth of the picture's (of a 16:9 one as wide
            // when it is taller); the time is always shown.
            ASSERT_FALSE(l.fixed.empty());
            const double ratio = 8.0 * l.fixed[0].scale / (std::min(c.height, c.width * 9 / 16) / 30.0);
            EXPECT_TRUE(ratio > 0.7 && ratio < 1.5) << ratio;
            EXPECT_EQ(l.fixed[0].text.compare(0, 5, "Night"), 0) << l.fixed[0].text;
            EXPECT_TRUE(l.clock);
        }
    }
    // At 720p and 1080p without the strip there is room for everything: title, artist,
    // charter and the label centred over the highway, the title cut to leave the time room.
    for (const int32_t h : {720, 1080}) {
        const int32_t w = h * 16 / 9;
        const CaptionLayout l = layout_caption(SONG, {"Guitar - Expert"}, SECTIONS, columns(w, h), w, h, 0);
        ASSERT_EQ(l.fixed.size(), 4u) << h;
        EXPECT_EQ(l.fixed[1].text, "The Tivers");
        EXPECT_EQ(l.fixed[2].text, "charted by Mo Akesson");
        EXPECT_EQ(l.fixed[3].text, "Guitar - Expert");
        const int32_t centre = l.fixed[3].x + static_cast<int32_t>(l.fixed[3].text.size()) * 4 * l.fixed[3].scale;
        EXPECT_NEAR(centre, w / 2, 8);
        EXPECT_EQ(l.fixed[0].text.substr(l.fixed[0].text.size() - 3), "...");
        EXPECT_TRUE(l.section);
        EXPECT_EQ(l.section_chars, 13);  // "Guitar Solo 2"
    }
}

// A picture of one colour with the caption of `seconds` drawn on it.
struct Drawn {
    TESS_MemBitmap picture{0, 0};
    CaptionLayout layout;
};

constexpr TESS_pixel GROUND = 0xFF203040;

void draw(Drawn* d, const std::vector<ViewSettings>& views, int32_t w, int32_t h, double seconds) {
    d->picture.resize(w, h);
    TESS_Clear(&d->picture, GROUND);
    std::vector<std::string> labels;
    for (size_t i = 0; i < views.size(); ++i) labels.push_back(i % 2 ? "Pro Drums - Hard" : "Guitar - Expert");
    Caption caption;
    caption.init(SONG, labels, SECTIONS, views, w, h, 0);
    caption.draw(&d->picture, seconds);
    d->layout = caption.layout();
}

bool inside(const Box& b, int32_t x, int32_t y) { return x >= b.x0 && x < b.x1 && y >= b.y0 && y < b.y1; }

int64_t ink_in(TESS_MemBitmap& p, const Box& b) {
    int64_t n = 0;
    for (int32_t y = b.y0; y < b.y1; ++y)
        for (int32_t x = b.x0; x < b.x1; ++x) n += p.bits()[y * p.rowSpan() + x] == CAPTION_TEXT;
    return n;
}

TEST(Caption, InkIsWhereTheLayoutSaysAndNeverOverAHighway) {
    struct Case {
        int32_t width, height;
        size_t views;
    } cases[] = {{1280, 720, 1}, {1920, 1080, 1}, {1920, 720, 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        const std::vector<ViewSettings> views = columns(c.width, c.height, c.views);
        Drawn d;
        draw(&d, views, c.width, c.height, 70.0);  // in "Guitar Solo 2", at 1:10
        const std::vector<Box> all = boxes(d.layout, caption_clock(70.0, SONG.length).size());
        ASSERT_EQ(all.size(), d.layout.fixed.size() + 2);
        for (size_t i = 0; i < all.size(); ++i) EXPECT_GT(ink_in(d.picture, all[i]), 50) << "line " << i;
        int64_t changed = 0;
        for (int32_t y = 0; y < c.height; ++y) {
            for (int32_t x = 0; x < c.width; ++x) {
                if (d.picture.bits()[y * d.picture.rowSpan() + x] == GROUND) continue;
                ++changed;
                bool in_a_line = false;
                for (const Box& b : all) in_a_line = in_a_line || inside(b, x, y);
                ASSERT_TRUE(in_a_line) << x << "," << y;
                const size_t column = std::min(views.size() - 1, static_cast<size_t>(x / views[0].width));
                ASSERT_LT(y, caption_limit(views[column].width, c.height)) << x;
                ASSERT_LT(y, d.layout.bottom) << x;  // what a lone view's next paint puts back
            }
        }
        EXPECT_GT(changed, 1000);
        // The text's height is about a thirtieth of the picture's.
        EXPECT_NEAR(8.0 * d.layout.fixed[0].scale, c.height / 30.0, c.height / 90.0);
    }
    // Before the first section its place stays empty; the clock shows the moment.
    Drawn early, late;
    draw(&early, columns(1280, 720), 1280, 720, 5.0);
    draw(&late, columns(1280, 720), 1280, 720, 5.9);
    const std::vector<Box> b = boxes(early.layout, 11);
    EXPECT_EQ(ink_in(early.picture, b.back()), 0);
    EXPECT_EQ(early.picture.bits()[0], GROUND);
    EXPECT_TRUE(std::equal(early.picture.bits(), early.picture.bits() + 1280 * 720, late.picture.bits()))
        << "0:05 both times";
}

}  // namespace
