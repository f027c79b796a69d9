// TESS_DrawText, TESS_DrawTextScaled and TESS_DrawGlyph: the pen's control characters, cells
// cut at every edge, row order, and every glyph loop at several scales against a per-pixel
// model of the font.
#include <gtest/gtest.h>

#include "raster_model.h"

using model::TestBitmap;

namespace {

// Every ink pixel of every drawn cell, each font pixel a square of `scale`, combined in
// picture coordinates.
void model_text(TestBitmap& b, int x, int y, const char* text, uint32_t c, float alpha, int mode, int scale = 1) {
    const int m = mode & 0xFF;
    if (alpha == 0.0f || m > 5 || (m == 0 && !(alpha > 0.0f)) || scale < 1) return;
    int src[4];
    model::split(c, src);
    const int cell = 8 * scale;
    int px = x, py = y;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        if (*p == '\t') { px += 5 * cell; continue; }
        if (*p == '\n') { px = x; py += cell; continue; }
        if (*p == '\r') continue;
        if (*p < 128 && *p != ' ') {
            for (int r = 0; r < cell; ++r) {
                for (int k = 0; k < cell; ++k) {
                    const int X = px + k, Y = py + r;
                    if (!(TESS_FONT_8X8[*p - 1][r / scale] & (0x80 >> k / scale)) || X < 0 || Y < 0 ||
                        X >= b.width() || Y >= b.height())
                        continue;
                    b.at(X, Y) = model::combine(m, b.at(X, Y), src, model::weight(alpha));
                }
            }
        }
        px += cell;
    }
}

// Ink of picture row y as a string of '#' and '.'.
std::string row(TestBitmap& b, int y) {
    std::string s;
    for (int x = 0; x < b.width(); ++x) s += b.at(x, y) ? '#' : '.';
    return s;
}

TEST(Text, PenAdvanceAndControlCharacters) {
    TestBitmap a(120, 24), b(120, 24);
    TESS_Clear(&a, 0);
    TESS_Clear(&b, 0);
    TESS_DrawText(&a, 2, 0, "ab\tc\r\nd\x80" "e", ~0u, 1.0f, 0);
    // The tab moves 40 from the pen (2 + 16 + 40), CR changes nothing, LF returns to x = 2,
    // and byte 0x80 draws nothing but advances.
    TESS_DrawGlyph(&b, 2, 0, 'a', ~0u, 1.0f, 0);
    TESS_DrawGlyph(&b, 10, 0, 'b', ~0u, 1.0f, 0);
    TESS_DrawGlyph(&b, 58, 0, 'c', ~0u, 1.0f, 0);
    TESS_DrawGlyph(&b, 2, 8, 'd', ~0u, 1.0f, 0);
    TESS_DrawGlyph(&b, 18, 8, 'e', ~0u, 1.0f, 0);
    EXPECT_EQ(a.snapshot(), b.snapshot());
    EXPECT_EQ(row(b, 2), "...####....#####" + std::string(43, '.') + "#####" + std::string(56, '.'));
}

TEST(Text, CellsAreCutAtEveryEdge) {
    TestBitmap b(8, 4), up(8, 4, true);
    TESS_Clear(&b, 0);
    TESS_DrawGlyph(&b, -3, -3, 'A', ~0u, 1.0f, 0);  // glyph rows 3..6, columns 3..7
    EXPECT_EQ(row(b, 0), "####....");  // glyph row 3, fe, from column 3
    EXPECT_EQ(row(b, 3), "..##....");  // glyph row 6, c6, from column 3
    TESS_Clear(&b, 0);
    TESS_DrawGlyph(&b, -8, 0, 'A', ~0u, 1.0f, 0);
    TESS_DrawGlyph(&b, 0, -8, 'A', ~0u, 1.0f, 0);
    TESS_DrawGlyph(&b, 0, 4, 'A', ~0u, 1.0f, 0);
    TESS_DrawGlyph(&b, 0, 0, 0, ~0u, 1.0f, 0);
    TESS_DrawText(&b, 0, 0, "A", ~0u, -1.0f, 0);
    TESS_DrawText(&b, 0, 0, "A", ~0u, 1.0f, TESS_BLIT_MODE_CHANNEL_COPY);
    EXPECT_EQ(b.snapshot(), std::vector<TESS_pixel>(32, 0u));
    // Right edge: the cell at x = 5 shows three columns and nothing wraps onto the next row.
    TESS_DrawGlyph(&b, 5, 0, 'M', ~0u, 1.0f, 0);
    EXPECT_EQ(row(b, 0), ".....##.");
    EXPECT_EQ(row(b, 1), ".....###");
    // Bottom-up: upright at the same picture coordinates.
    TESS_Clear(&up, 0);
    TESS_DrawGlyph(&up, 5, 0, 'M', ~0u, 1.0f, 0);
    for (int y = 0; y < 4; ++y) EXPECT_EQ(row(up, y), row(b, y));
}

TEST(Text, AScaledCellIsEachFontPixelAsASquare) {
    // 'L' (f0 60 60 60 62 66 fe 00) at scale 3 from (2, 1): its top row's four ink columns
    // are twelve pixels on picture rows 1..3; the pen, a tab and a line feed step in cells of 24.
    TestBitmap b(100, 60);
    TESS_Clear(&b, 0);
    TESS_DrawTextScaled(&b, 2, 1, "L\tL\nL", 3, ~0u, 1.0f, 0);
    for (int y = 1; y <= 3; ++y) EXPECT_EQ(row(b, y).substr(0, 20), "..############......");
    EXPECT_EQ(row(b, 0), std::string(100, '.'));
    EXPECT_EQ(row(b, 22).substr(0, 26), std::string(26, '.'));  // the cell's empty bottom row
    EXPECT_EQ(row(b, 19).substr(0, 26), "..#####################...");  // fe: seven columns of 3
    // The tab put the second L five cells (120) past the first cell's end: off this bitmap.
    EXPECT_EQ(row(b, 2).substr(26), std::string(74, '.'));
    // The line feed went back to x = 2, one cell (24) lower.
    EXPECT_EQ(row(b, 25).substr(0, 20), "..############......");
    // A cell cut at the top and left by a pixel inside a font pixel: rows and columns of the
    // cut square stay, the rest of the cell follows on.
    TestBitmap c(12, 4);
    TESS_Clear(&c, 0);
    TESS_DrawTextScaled(&c, -1, -1, "L", 3, ~0u, 1.0f, 0);
    EXPECT_EQ(row(c, 0), "###########.");  // glyph row 0 (f0), its first pixel column cut
    EXPECT_EQ(row(c, 1), "###########.");
    EXPECT_EQ(row(c, 2), "..######....");  // glyph row 1 (60): columns 1 and 2
    TESS_Clear(&c, 0);
    TESS_DrawTextScaled(&c, 0, 0, "L", 0, ~0u, 1.0f, 0);
    EXPECT_EQ(c.snapshot(), std::vector<TESS_pixel>(48, 0u));
}

TEST(Text, EveryGlyphLoopMatchesTheModel) {
    std::mt19937 rng(2718);
    int changed = 0;
    for (int i = 0; i < 3000; ++i) {
        const int mode = int(rng() % 7) | (rng() % 3 ? 0 : TESS_BLIT_USE_ALPHA);
        const float alpha = model::pick_alpha(rng, i / 7);
        TestBitmap b(1 + rng() % 40, 1 + rng() % 24, rng() % 2, rng() % 3);
        TestBitmap want(b.width(), b.height(), b.isBottomUp(), b.rowSpan() - b.width());
        model::fill_random(b, rng);
        want.restore(b.snapshot());
        const std::vector<TESS_pixel> before = b.snapshot();
        char text[8];
        for (int k = 0; k < 7; ++k) text[k] = char(1 + rng() % 255);
        text[7] = 0;
        // Every fourth case scaled (0 draws nothing), the cell cut anywhere at every edge.
        const int scale = i % 4 ? 1 : int(rng() % 5);
        const int reach = 8 * (scale ? scale : 1);
        const int x = int(rng() % (b.width() + 2 * reach)) - reach - 4;
        const int y = int(rng() % (b.height() + 2 * reach)) - reach - 2;
        const uint32_t colour = rng();
        if (scale == 1 && i % 8)
            TESS_DrawText(&b, x, y, text, colour, alpha, mode);
        else
            TESS_DrawTextScaled(&b, x, y, text, scale, colour, alpha, mode);
        model_text(want, x, y, text, colour, alpha, mode, scale);
        ASSERT_EQ(b.snapshot(), want.snapshot())
            << "case " << i << " mode " << mode << " alpha " << alpha << " scale " << scale;
        changed += b.snapshot() != before;
    }
    EXPECT_GT(changed, 500);
}

}  // namespace
