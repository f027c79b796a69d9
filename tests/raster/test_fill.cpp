// TESS_FillRect and TESS_FillRectBordered: clipping, the exact-alpha word paths, the weight as
// source alpha, bordered boxes at the bitmap's edges, and every fill loop against the model on
// every CPU path.
#include <gtest/gtest.h>

#include "raster_model.h"

using model::TestBitmap;

namespace {

int q(int c, int shift) { return c >> shift; }

void model_fill(TestBitmap& b, int x, int y, int w, int h, uint32_t c, float alpha, int mode) {
    if (mode & TESS_BLIT_USE_ALPHA) alpha *= float(c >> 24) / 255.0f;
    if (alpha == 0.0f) return;
    const int m = mode & 0xFF, e = model::weight(alpha);
    const int src[4] = {int(c & 255), int(c >> 8 & 255), int(c >> 16 & 255), e};
    for (int Y = 0; Y < b.height(); ++Y) {
        for (int X = 0; X < b.width(); ++X) {
            if (X < x || X >= int64_t{x} + w || Y < y || Y >= int64_t{y} + h) continue;
            uint32_t& p = b.at(X, Y);
            int o[4];
            for (int i = 0; i < 4; ++i) {
                int C = model::chan(c, i), P = model::chan(p, i);
                o[i] = alpha == 0.5f ? q(C, 1) + q(P, 1)
                     : alpha == 0.25f ? q(P, 1) + q(P, 2) + q(C, 2)
                     : q(C, 1) + q(C, 2) + q(P, 2);
            }
            if (m == 0 && alpha == 1.0f) p = c;
            else if (m == 0 && (alpha == 0.5f || alpha == 0.25f || alpha == 0.75f)) p = model::make(o);
            else if (m == 0 && alpha > 0.0f) p = model::combine(0, p, src, e);
            else if (m >= 1 && m <= 5) p = model::combine(m, p, src, e);
        }
    }
}

TEST(Fill, ClipsToTheBitmapAndIgnoresEmptyRectangles) {
    TestBitmap b(8, 6);
    TESS_Clear(&b, 0);
    TESS_FillRect(&b, -5, -5, 10, 10, 0xFF0000FF, 1.0f, 0);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x) EXPECT_EQ(b.at(x, y), x < 5 && y < 5 ? 0xFF0000FFu : 0u);
    TESS_Clear(&b, 0);
    TESS_FillRect(&b, 8, 0, 4, 4, ~0u, 1.0f, 0);
    TESS_FillRect(&b, 2, 2, 0, 4, ~0u, 1.0f, 0);
    TESS_FillRect(&b, INT32_MAX, 0, INT32_MAX, 6, ~0u, 1.0f, 0);  // x + w must not wrap
    TESS_FillRect(&b, 0, 0, 8, 6, ~0u, 1.0f, TESS_BLIT_MODE_CHANNEL_COPY);
    TESS_FillRect(&b, 0, 0, 8, 6, 0x00FFFFFF, 1.0f, TESS_BLIT_USE_ALPHA);  // alpha becomes 0
    EXPECT_EQ(b.snapshot(), std::vector<TESS_pixel>(48, 0u));
}

TEST(Fill, WordPathsAndWeightAsSourceAlpha) {
    TestBitmap b(1, 1);
    b.at(0, 0) = 0x01010101;
    TESS_FillRect(&b, 0, 0, 1, 1, 0x01010101, 0.5f, 0);
    EXPECT_EQ(b.at(0, 0), 0u);  // sum of halves, not half of the sum
    b.at(0, 0) = 0;
    TESS_FillRect(&b, 0, 0, 1, 1, 0x00000000, 0.6f, 0);
    EXPECT_EQ(b.at(0, 0), 91u << 24);  // w = 153, 153 * 153 / 256, whatever colour's alpha
    b.at(0, 0) = 0x00102030;
    TESS_FillRect(&b, 0, 0, 1, 1, 0x00010203, 1.0f, TESS_BLIT_MODE_ADD);
    EXPECT_EQ(b.at(0, 0), 0xFF112233u);
    // Alpha 1 with a colour alpha of 128 is 128 / 255, not the 0.5 word path.
    b.at(0, 0) = 0xFFFFFFFF;
    TESS_FillRect(&b, 0, 0, 1, 1, 0x80FFFFFF, 1.0f, TESS_BLIT_USE_ALPHA);
    EXPECT_EQ(b.at(0, 0), 0xBFFFFFFFu);  // the half path would give 0xBFFEFEFE
}

TEST(Fill, BorderedBoxAtTheBitmapEdges) {
    TestBitmap b(6, 4);
    TESS_Clear(&b, 0);
    TESS_FillRectBordered(&b, 0, 0, 6, 4, 0xFF00FF00, 0xFFFF0000, 1.0f, 0);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(b.at(x, y), x == 0 || y == 0 ? 0xFFFF0000u : 0xFF00FF00u) << x << "," << y;
}

class FillSweep : public model::OnEveryPath {};
TESS_ON_EVERY_PATH(FillSweep);

TEST_P(FillSweep, EveryLoopMatchesTheModel) {
    std::mt19937 rng(99);
    int changed = 0;
    for (int i = 0; i < 4000; ++i) {
        const int mode = int(rng() % 8) | (rng() % 2 ? TESS_BLIT_USE_ALPHA : 0) | (rng() % 4 ? 0 : 0x100);
        const float alpha = model::pick_alpha(rng, i / 16);
        // Now and then rows long enough for the widest path's unrolled stores.
        TestBitmap b(1 + rng() % (i % 4 == 0 ? 120 : 30), 1 + rng() % 20, rng() % 2, rng() % 3);
        TestBitmap want(b.width(), b.height(), b.isBottomUp(), b.rowSpan() - b.width());
        model::fill_random(b, rng);
        want.restore(b.snapshot());
        const std::vector<TESS_pixel> before = b.snapshot();
        const uint32_t colour = rng() % 3 ? rng() : (rng() | 0xFF000000u);
        const int x = int(rng() % (b.width() + 10)) - 6, y = int(rng() % (b.height() + 8)) - 6;
        const int w = int(rng() % (b.width() + 12)) - 4, h = int(rng() % 30) - 4;
        TESS_FillRect(&b, x, y, w, h, colour, alpha, mode);
        model_fill(want, x, y, w, h, colour, alpha, mode);
        ASSERT_EQ(b.snapshot(), want.snapshot()) << "case " << i << " mode " << mode << " alpha " << alpha;
        changed += b.snapshot() != before;
    }
    EXPECT_GT(changed, 600);  // the sweep must actually draw
}

}  // namespace
