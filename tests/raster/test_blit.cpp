// TESS_Blit and TESS_Clear: clipping and mode edge cases, and every blit loop against the
// per-pixel model on seeded random bitmaps, rectangles, alphas and modes in both row orders.
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

TEST(Blit, EveryLoopMatchesTheModel) {
    std::mt19937 rng(4242);
    static const int modes[] = {0, 1, 2, 3, 4, 5, 6, 0x10000, 0x10001, 0x10002, 0x10003, 0x10004,
                                0x10005, 0x10006, 0xF0, 0xF7, 0xFE, 0x101, 0x10100};
    int changed = 0;  // the sweep must actually draw, not only return early
    for (int i = 0; i < 12000; ++i) {
        const int mode = i % 7 == 6 ? int(0xF0 + rng() % 16) : modes[(i / 2) % 19];
        const float alpha = model::pick_alpha(rng, i / 38);
        TestBitmap src(1 + rng() % 40, 1 + rng() % 12, rng() % 2, rng() % 3);
        TestBitmap dst(1 + rng() % 40, 1 + rng() % 12, rng() % 2, rng() % 3);
        TestBitmap want(dst.width(), dst.height(), dst.isBottomUp(), dst.rowSpan() - dst.width());
        model::fill_random(src, rng);
        model::fill_random(dst, rng);
        want.restore(dst.snapshot());
        const std::vector<TESS_pixel> before = dst.snapshot();
        TESS_RECT rc{int(rng() % 30) - 8, int(rng() % 10) - 4, 0, 0};
        rc.right = rc.left + int(rng() % 40) - 3;
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

}  // namespace
