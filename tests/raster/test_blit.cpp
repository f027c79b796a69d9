// TESS_Blit, TESS_BlitVisible and TESS_Clear: clipping and mode edge cases, visible spans, and
// every blit loop against the per-pixel model on seeded random bitmaps, rectangles, alphas and
// modes in both row orders, on every CPU path.
#include <gtest/gtest.h>

#include "raster_model.h"

using model::TestBitmap;

namespace {

// Expected result of TESS_Blit, one destination pixel at a time: destination pixel (X, Y)
// takes source pixel (left + X - x, top + Y - y) when that lies inside the clipped rectangle.
void model_blit(TestBitmap& d, TestBitmap& s, int x, int y, const TESS_RECT* rc, float alpha, int mode) {
    if (alpha == 0.0f) return;
    int left = 0, top = 0, right = s.width(), bottom = s.height();
    if (rc) {
        left = std::max(rc->left, 0); top = std::max(rc->top, 0);
        right = std::min(rc->right, s.width()); bottom = std::min(rc->bottom, s.height());
    }
    const int key = mode & 0x100FF, e = model::weight(alpha);
    for (int Y = 0; Y < d.height(); ++Y) {
        for (int X = 0; X < d.width(); ++X) {
            int sx = left + X - x, sy = top + Y - y;
            if (sx < left || sx >= right || sy < top || sy >= bottom) continue;
            uint32_t sp = s.at(sx, sy), &dp = d.at(X, Y);
            int c[4];
            model::split(sp, c);
            if ((mode & 0xFF) >= 0xF0) {
                int from = mode & 3, to = mode >> 2 & 3;
                dp = (dp & ~(0xFFu << 8 * to)) | uint32_t(c[from]) << 8 * to;
            } else if (key == 0) {
                if (alpha == 1.0f) dp = sp;
                else if (alpha == 0.5f) { int o[4]; for (int i = 0; i < 4; ++i) o[i] = c[i] / 2 + model::chan(dp, i) / 2; dp = model::make(o); }
                else if (alpha > 0.0f) dp = model::combine(0, dp, c, e);
            } else if (key >= 1 && key <= 5) {
                dp = model::combine(key, dp, c, e);
            } else if (key >= 0x10000 && key <= 0x10005) {
                dp = model::combine_alpha(key & 0xFF, dp, c, e, alpha == 1.0f);
            }
        }
    }
}

TEST(Blit, ClipsSourceAndDestinationWithoutShiftingThePoint) {
    TestBitmap src(10, 10), dst(5, 5);
    for (int y = 0; y < 10; ++y) for (int x = 0; x < 10; ++x) src.at(x, y) = 0xFF000000u | uint32_t(y * 16 + x);
    TESS_Clear(&dst, 0xDEADBEEF);
    TESS_Blit(&dst, &src, -3, 2, nullptr, 1.0f, TESS_BLIT_MODE_COPY);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(dst.at(x, y), y < 2 ? 0xDEADBEEFu : 0xFF000000u | uint32_t((y - 2) * 16 + x + 3)) << x << "," << y;

    TESS_RECT rc{-5, -5, 4, 4};
    TESS_Clear(&dst, 0);
    TESS_Blit(&dst, &src, 0, 0, &rc, 1.0f, 0);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(dst.at(x, y), x < 4 && y < 4 ? src.at(x, y) : 0u);

    TESS_RECT empty{6, 0, 6, 10};
    TESS_Clear(&dst, 7);
    TESS_Blit(&dst, &src, 0, 0, &empty, 1.0f, 0);
    TESS_Blit(&dst, &src, 5, 0, nullptr, 1.0f, 0);
    TESS_Blit(&dst, &src, INT32_MIN, INT32_MIN, nullptr, 1.0f, 0);
    TESS_Blit(&dst, &src, INT32_MAX, 0, nullptr, 1.0f, 0);
    for (int y = 0; y < 5; ++y) for (int x = 0; x < 5; ++x) EXPECT_EQ(dst.at(x, y), 7u);
}

TEST(Blit, ChannelCopyIgnoresAlphaAndFlags) {
    TestBitmap src(1, 1), dst(1, 1);
    src.at(0, 0) = 0x80402010u;
    dst.at(0, 0) = 0x11223344u;
    TESS_Blit(&dst, &src, 0, 0, nullptr, -7.0f, 0x100F9);  // source green into destination red
    EXPECT_EQ(dst.at(0, 0), 0x11203344u);
    TESS_Blit(&dst, &src, 0, 0, nullptr, 0.0f, 0xF9);
    TESS_Blit(nullptr, &src, 0, 0, nullptr, 1.0f, 0);
    TESS_Blit(&dst, nullptr, 0, 0, nullptr, 1.0f, 0);
    EXPECT_EQ(dst.at(0, 0), 0x11203344u);
}

class BlitSweep : public model::OnEveryPath {};
TESS_ON_EVERY_PATH(BlitSweep);

TEST_P(BlitSweep, EveryLoopMatchesTheModel) {
    std::mt19937 rng(4242);
    static const int modes[] = {0, 1, 2, 3, 4, 5, 6, 0x10000, 0x10001, 0x10002, 0x10003, 0x10004,
                                0x10005, 0x10006, 0xF0, 0xF7, 0xFE, 0x101, 0x10100};
    int changed = 0;  // the sweep must actually draw, not only return early
    for (int i = 0; i < 12000; ++i) {
        const int mode = i % 7 == 6 ? int(0xF0 + rng() % 16) : modes[(i / 2) % 19];
        const float alpha = model::pick_alpha(rng, i / 38);
        // Now and then rows long enough for the widest path's unrolled loops.
        const uint32_t wide = i % 5 == 0 ? 100 : 40;
        TestBitmap src(1 + rng() % wide, 1 + rng() % 12, rng() % 2, rng() % 3);
        TestBitmap dst(1 + rng() % wide, 1 + rng() % 12, rng() % 2, rng() % 3);
        TestBitmap want(dst.width(), dst.height(), dst.isBottomUp(), dst.rowSpan() - dst.width());
        model::fill_random(src, rng);
        model::fill_random(dst, rng);
        want.restore(dst.snapshot());
        const std::vector<TESS_pixel> before = dst.snapshot();
        TESS_RECT rc{int(rng() % 30) - 8, int(rng() % 10) - 4, 0, 0};
        rc.right = rc.left + int(rng() % wide) - 3;
        rc.bottom = rc.top + int(rng() % 14) - 2;
        const bool useRect = rng() % 3 != 0;
        const int x = int(rng() % (dst.width() + 20)) - 12, y = int(rng() % (dst.height() + 8)) - 6;
        TESS_Blit(&dst, &src, x, y, useRect ? &rc : nullptr, alpha, mode);
        model_blit(want, src, x, y, useRect ? &rc : nullptr, alpha, mode);
        ASSERT_EQ(dst.snapshot(), want.snapshot()) << "case " << i << " mode " << mode << " alpha " << alpha;
        changed += dst.snapshot() != before;
    }
    EXPECT_GT(changed, 1400);
}

// COPY at alpha 1 as one move of a whole packed bitmap and row by row, in sizes around a 4 KB
// block: packed and padded rows, either row order, whole bitmaps and parts, and one bitmap's
// top half onto its bottom half.
TEST_P(BlitSweep, CopyMovesBlocksAndLongRowsExactly) {
    std::mt19937 rng(99);
    struct Case { int w, h, x, y; bool srcUp, dstUp; int srcPad, dstPad; };
    const Case cases[] = {
        {64, 64, 0, 0, false, false, 0, 0},     // one block of 16 KB
        {64, 64, 0, 0, true, true, 0, 0},       // the same, both bottom-up
        {64, 64, 0, 0, true, false, 0, 0},      // opposite row orders: row by row
        {32, 32, 0, 0, false, false, 0, 0},     // exactly 4 KB
        {31, 33, 0, 0, false, false, 0, 0},     // just below
        {1024, 3, 0, 0, false, false, 5, 1},    // padded rows of exactly 4 KB
        {1100, 4, 0, 0, true, false, 0, 3},     // padded rows above 4 KB
        {1023, 5, 0, 0, false, false, 2, 0},    // padded rows just below
        {1100, 6, -7, 2, false, true, 1, 0},    // clipped at both sides
        {512, 300, 0, 0, false, false, 0, 0},   // 600 KB: a block moved in pieces
        {512, 300, 0, 0, true, true, 0, 0},     // the same, bottom-up
    };
    for (const Case& c : cases) {
        TestBitmap src(c.w, c.h, c.srcUp, c.srcPad), dst(c.w, c.h, c.dstUp, c.dstPad);
        TestBitmap want(c.w, c.h, c.dstUp, c.dstPad);
        model::fill_random(src, rng);
        model::fill_random(dst, rng);
        want.restore(dst.snapshot());
        TESS_Blit(&dst, &src, c.x, c.y, nullptr, 1.0f, TESS_BLIT_MODE_COPY);
        model_blit(want, src, c.x, c.y, nullptr, 1.0f, TESS_BLIT_MODE_COPY);
        EXPECT_EQ(dst.snapshot(), want.snapshot()) << c.w << "x" << c.h;
    }
    TestBitmap both(1200, 8), want(1200, 8);
    model::fill_random(both, rng);
    want.restore(both.snapshot());
    const TESS_RECT top{0, 0, 1200, 4};
    TESS_Blit(&both, &both, 0, 4, &top, 1.0f, TESS_BLIT_MODE_COPY);
    for (int y = 4; y < 8; ++y)
        for (int x = 0; x < 1200; ++x) want.at(x, y) = want.at(x, y - 4);
    EXPECT_EQ(both.snapshot(), want.snapshot());

    // Rows of every width around the vector loops' groups of one and four vectors, moved
    // sideways onto themselves by less than a group and by more, either way: a row that
    // overlaps its source must come out as the model's, which reads the source first.
    for (int w = 1; w <= 72; ++w)
        for (int shift : {1, 3, 9, 40, -1, -5, -33}) {
            TestBitmap self(w + 80, 2), moved(w + 80, 2);
            model::fill_random(self, rng);
            moved.restore(self.snapshot());
            const TESS_RECT row{40, 0, 40 + w, 2};
            TESS_Blit(&self, &self, 40 + shift, 0, &row, 1.0f, TESS_BLIT_MODE_COPY);
            for (int y = 0; y < 2; ++y) {
                std::vector<TESS_pixel> source(static_cast<size_t>(w));
                for (int x = 0; x < w; ++x) source[size_t(x)] = moved.at(40 + x, y);
                for (int x = 0; x < w; ++x) moved.at(40 + shift + x, y) = source[size_t(x)];
            }
            ASSERT_EQ(self.snapshot(), moved.snapshot()) << "width " << w << " shift " << shift;
        }

    // A block of several pieces moved onto itself, three rows down and three rows up: each
    // piece must be moved before the one that overwrites its source.
    for (int shift : {3, -3}) {
        SCOPED_TRACE(shift);
        TestBitmap self(512, 400), moved(512, 400);
        model::fill_random(self, rng);
        moved.restore(self.snapshot());
        const TESS_RECT all{0, shift > 0 ? 0 : -shift, 512, shift > 0 ? 400 - shift : 400};
        TESS_Blit(&self, &self, 0, shift > 0 ? shift : 0, &all, 1.0f, TESS_BLIT_MODE_COPY);
        if (shift > 0) {
            for (int y = 399; y >= shift; --y)
                for (int x = 0; x < 512; ++x) moved.at(x, y) = moved.at(x, y - shift);
        } else {
            for (int y = 0; y < 400 + shift; ++y)
                for (int x = 0; x < 512; ++x) moved.at(x, y) = moved.at(x, y - shift);
        }
        EXPECT_EQ(self.snapshot(), moved.snapshot());
    }
}

// Sprites with transparent margins of every width, as scaled gem copies have, drawn through
// their visible spans: exactly the pixels of the whole blit.
TEST_P(BlitSweep, VisibleSpansDrawWhatTheWholeBlitDraws) {
    std::mt19937 rng(777);
    static const int modes[] = {0x10000, 0x10000, 0x10001, 0x10003, 0x10002, 0x10004, 0x10005, 0, 1};
    int skipped = 0;
    for (int i = 0; i < 4000; ++i) {
        const int mode = modes[i % 9];
        const float alpha = i % 3 == 0 ? 1.0f : model::pick_alpha(rng, i / 9);
        TestBitmap src(1 + rng() % 70, 1 + rng() % 10, rng() % 2, rng() % 3);
        TestBitmap dst(1 + rng() % 90, 1 + rng() % 12, rng() % 2, rng() % 3);
        model::fill_random(src, rng);
        model::fill_random(dst, rng);
        for (int y = 0; y < src.height(); ++y) {  // clear a margin on each side, or the whole row
            const int l = int(rng() % (src.width() + 1)), r = int(rng() % (src.width() + 1));
            for (int x = 0; x < src.width(); ++x)
                if (x < l || src.width() - 1 - x < r) src.at(x, y) &= 0x00FFFFFFu;
        }
        std::vector<TESS_RowSpan> spans(size_t(src.height()) + 1, TESS_RowSpan{-1, -1});
        TESS_FindVisibleSpans(&src, spans.data());
        for (int y = 0; y < src.height(); ++y) {
            int b = 0, e = src.width();
            while (b < e && src.at(b, y) >> 24 == 0) ++b;
            while (e > b && src.at(e - 1, y) >> 24 == 0) --e;
            ASSERT_EQ(spans[size_t(y)].begin, b) << "case " << i << " row " << y;
            ASSERT_EQ(spans[size_t(y)].end, e) << "case " << i << " row " << y;
            skipped += src.width() - (e - b);
        }
        ASSERT_EQ(spans[size_t(src.height())].begin, -1) << "wrote past the last row";

        TestBitmap want(dst.width(), dst.height(), dst.isBottomUp(), dst.rowSpan() - dst.width());
        want.restore(dst.snapshot());
        const int x = int(rng() % (dst.width() + 20)) - 12, y = int(rng() % (dst.height() + 8)) - 6;
        TESS_BlitVisible(&dst, &src, x, y, spans.data(), alpha, mode);
        model_blit(want, src, x, y, nullptr, alpha, mode);
        ASSERT_EQ(dst.snapshot(), want.snapshot()) << "case " << i << " mode " << mode << " alpha " << alpha;
    }
    EXPECT_GT(skipped, 40000);
}

// Spans narrower than the truth show which modes trust them: the source-alpha COPY, ADD and
// MULTIPLY leave everything outside alone; the others draw whole rows.
TEST(BlitVisible, OnlyTheTransparentSkippingModesTrustTheSpans) {
    TestBitmap src(20, 2), dst(20, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 20; ++x) src.at(x, y) = 0x80402010u;
    const TESS_RowSpan narrow[2] = {{5, 9}, {0, 0}};
    for (int mode : {0x10000, 0x10001, 0x10003, 0x10002, 0x10004, 0x10005, 0, 1, 3}) {
        for (float alpha : {1.0f, 0.6f}) {
            TESS_Clear(&dst, 0xFF808080u);
            TESS_BlitVisible(&dst, &src, 0, 0, narrow, alpha, mode);
            const bool trusts = mode == 0x10000 || mode == 0x10001 || mode == 0x10003;
            for (int y = 0; y < 2; ++y)
                for (int x = 0; x < 20; ++x) {
                    const bool inside = y == 0 && x >= 5 && x < 9;
                    EXPECT_EQ(dst.at(x, y) == 0xFF808080u, trusts && !inside)
                        << "mode " << mode << " alpha " << alpha << " at " << x << "," << y;
                }
        }
    }
    TESS_BlitVisible(&dst, &src, 0, 0, nullptr, 1.0f, 0x10000);  // no spans: the whole blit
    EXPECT_NE(dst.at(19, 1), 0xFF808080u);
}

// Clear on every path: the first width pixels of every row, padding untouched.
TEST_P(BlitSweep, ClearFillsEachRowsWidth) {
    std::mt19937 rng(31);
    for (int i = 0; i < 300; ++i) {
        TestBitmap b(1 + rng() % 90, 1 + rng() % 9, rng() % 2, rng() % 2 ? 0 : rng() % 5);
        model::fill_random(b, rng);
        TestBitmap want(b.width(), b.height(), b.isBottomUp(), b.rowSpan() - b.width());
        want.restore(b.snapshot());
        const TESS_pixel colour = rng();
        for (int y = 0; y < b.height(); ++y)
            for (int x = 0; x < b.width(); ++x) want.at(x, y) = colour;
        TESS_Clear(&b, colour);
        ASSERT_EQ(b.snapshot(), want.snapshot()) << "case " << i;
    }
}

}  // namespace
