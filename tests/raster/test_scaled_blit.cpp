// Scaled blit: a plain per-pixel model of the three sampling families checked against the
// specialised loops on seeded random cases on every CPU path, and the cases worth pinning
// down one by one.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

#include "raster/tess_kernels.h"
#include "tests/raster/raster_model.h"

using model::TestBitmap;

namespace {

struct Call {
    int32_t dx, dy, dw, dh;
    float sx, sy, sw, sh, alpha;
    int32_t mode;
};

enum Family { NONE, HANDOVER, SHORTCUT, NEAREST, BILINEAR, REDUCE };

int64_t floor_div(int64_t a, int64_t b) { return a / b - (a % b != 0 && a < 0); }

// The scaled blit written out pixel by pixel. Positions left of or above the source sample
// nothing: pixel c covers [c, c + 1) in every family. Returns the family it used.
Family model_scaled(TestBitmap& dst, TestBitmap& src, Call c) {
    if (c.dw == 0 || c.dh == 0 || c.alpha == 0.0f) return NONE;
    const int32_t filter = c.mode & 0xFF00;
    if (std::fabs(double(c.sw - float(c.dw))) < 0.001 && std::fabs(double(c.sh - float(c.dh))) < 0.001 &&
        !(filter == 0x100 && (std::fabs(c.sx - std::floor(c.sx + 0.5)) >= 0.03 ||
                              std::fabs(c.sy - std::floor(c.sy + 0.5)) >= 0.03))) {
        TESS_RECT r{int32_t(c.sx + 0.5), int32_t(c.sy + 0.5), 0, 0};
        r.right = r.left + c.dw;
        r.bottom = r.top + c.dh;
        TESS_Blit(&dst, &src, c.dx, c.dy, &r, c.alpha, c.mode);
        return HANDOVER;
    }
    if (c.dw < 0) { c.dx += c.dw; c.dw = -c.dw; c.sx += c.sw; c.sw = -c.sw; }
    if (c.dh < 0) { c.dy += c.dh; c.dh = -c.dh; c.sy += c.sh; c.sh = -c.sh; }
    const double xstep = c.sw / float(c.dw), ystep = c.sh / float(c.dh);
    if (c.dx < 0) { c.dw += c.dx; c.sx = float(c.sx - c.dx * xstep); c.dx = 0; }
    if (c.dy < 0) { c.dh += c.dy; c.sy = float(c.sy - c.dy * ystep); c.dy = 0; }
    c.dw = std::min(c.dw, dst.width() - c.dx);
    c.dh = std::min(c.dh, dst.height() - c.dy);
    if (c.dw < 1 || c.dh < 1) return NONE;
    const int left = std::max(int(c.sx), 0), top = std::max(int(c.sy), 0);
    const int right = std::min(int(std::ceil(c.sx + c.sw)), src.width());
    const int bottom = std::min(int(std::ceil(c.sy + c.sh)), src.height());
    if (right <= left || bottom <= top) return NONE;

    const int key = c.mode & 0x100FF, e = model::weight(c.alpha);
    const bool shortcut = (c.mode & 0x1FFFF) == 0 && (c.alpha == 0.5f || c.alpha == 1.0f);
    Family fam = shortcut ? SHORTCUT
                 : filter != 0x100 ? NEAREST
                 : (xstep >= 1.7 && ystep >= 1.7) ? REDUCE : BILINEAR;
    if (!shortcut && ((key & 0xFF) > 5 || (key == 0 && c.alpha < 0.0f))) return NONE;

    const double g = std::max(xstep, ystep);
    const int rad = g > 3.0 ? 2 : 1;
    auto kernel = [&](int kx, int ky) {
        if (kx == 0 && ky == 0) return 65536;
        double v = (g - 1.0) / std::sqrt(double(kx * kx + ky * ky));
        return v < 0 ? 0 : v > 1 ? 65536 : int(v * 65536.0);
    };
    auto px = [&](int x, int y, int ch) { return model::chan(src.at(x, y), ch); };

    const int64_t xstart = int64_t(double(c.sx) * 65536.0), step = int64_t(xstep * 65536.0);
    double yp = c.sy;
    for (int j = 0; j < c.dh; ++j, yp += ystep) {
        const int r = int(std::floor(yp));
        if (yp < top || r >= bottom) continue;
        const int fy = int((yp - r) * 65536.0);
        for (int i = 0; i < c.dw; ++i) {
            const int64_t pos = xstart + i * step;
            const int cx = int(floor_div(pos, 65536)), fx = int(pos - int64_t(cx) * 65536);
            if (cx < left || cx >= right) continue;
            int s[4];
            for (int ch = 0; ch < 4; ++ch) {
                if (fam == NEAREST || fam == SHORTCUT) {
                    s[ch] = px(cx, r, ch);
                } else if (fam == BILINEAR) {
                    const bool lastRow = r == bottom - 1, lastCol = cx == right - 1;
                    if (lastRow && lastCol) {
                        s[ch] = px(cx, r, ch);
                    } else if (lastRow) {
                        s[ch] = (px(cx, r, ch) * (65536 - fx) + px(cx + 1, r, ch) * fx) / 65536;
                    } else if (lastCol) {
                        s[ch] = (px(cx, r, ch) * (65536 - fy) + px(cx, r + 1, ch) * fy) / 65536;
                    } else {
                        int w11 = int((uint32_t(fx) * uint32_t(fy)) >> 16), w01 = fx - w11,
                            w10 = fy - w11, w00 = 65536 - w01 - fy;
                        s[ch] = (px(cx, r, ch) * w00 + px(cx + 1, r, ch) * w01 +
                                 px(cx, r + 1, ch) * w10 + px(cx + 1, r + 1, ch) * w11) / 65536;
                    }
                } else {
                    int sum = 0, total = 0;
                    for (int ky = r - rad; ky <= r + rad && ky < bottom; ++ky) {
                        if (ky < top) continue;
                        for (int kx = cx - rad; kx <= cx + rad; ++kx) {
                            if (kx < left || kx >= right) continue;
                            sum += kernel(kx - cx, ky - r) * px(kx, ky, ch);
                            total += kernel(kx - cx, ky - r);
                        }
                    }
                    s[ch] = sum / total;
                }
            }
            TESS_pixel& d = dst.at(c.dx + i, c.dy + j);
            if (shortcut && c.alpha == 0.5f) {
                d = TESS_HalfBlend(model::make(s), d);
            } else if (key == 0 && c.alpha == 1.0f) {
                d = model::make(s);
            } else if (key & 0x10000) {
                d = model::combine_alpha(key & 0xFF, d, s, e, c.alpha == 1.0f);
            } else {
                d = model::combine(key, d, s, e);
            }
        }
    }
    return fam;
}

float pick_size(std::mt19937& rng, int32_t dest_size) {
    switch (rng() % 6) {
    case 0: return float(dest_size);                        // scale 1
    case 1: return float(dest_size) * (1.7f + float(rng() % 30) / 10.0f);  // kernels
    case 2: return float(dest_size) * 2.0f;
    default: return std::uniform_real_distribution<float>(0.3f, 4.0f)(rng) * std::abs(dest_size);
    }
}

}  // namespace

class ScaledSweep : public model::OnEveryPath {};
TESS_ON_EVERY_PATH(ScaledSweep);

TEST_P(ScaledSweep, SpecialisedLoopsMatchThePerPixelModel) {
    std::mt19937 rng(20241);
    int seen[6][0x20] = {};
    for (int n = 0; n < 6000; ++n) {
        SCOPED_TRACE(n);
        TestBitmap src(1 + rng() % 37, 1 + rng() % 29, rng() % 3 == 0, rng() % 3);
        TestBitmap dst(1 + rng() % 41, 1 + rng() % 31, rng() % 3 == 0, rng() % 2);
        model::fill_random(src, rng);
        model::fill_random(dst, rng);
        Call c;
        c.dw = int32_t(rng() % 50) - 3;
        c.dh = int32_t(rng() % 40) - 3;
        c.dx = int32_t(rng() % (dst.width() + 16)) - 10;
        c.dy = int32_t(rng() % (dst.height() + 16)) - 10;
        c.sw = pick_size(rng, c.dw);
        c.sh = pick_size(rng, c.dh);
        const int frac = rng() % 4;
        c.sx = float(int(rng() % (src.width() + 4)) - 2) + (frac ? float(rng() % 1000) / 1000.0f : 0.0f);
        c.sy = float(int(rng() % (src.height() + 4)) - 2) + (frac > 1 ? float(rng() % 1000) / 1000.0f : 0.0f);
        c.alpha = n % 4 == 1 ? 1.0f : n % 8 == 3 ? 0.5f : model::pick_alpha(rng, n);
        const int blend = rng() % 16 == 0 ? (rng() % 2 ? 6 : 0xF5) : int(rng() % 6);
        const int filters[] = {0, 0x100, 0x100, 0x200};
        c.mode = blend | filters[rng() % 4] | (rng() % 2 ? TESS_BLIT_USE_ALPHA : 0);

        const std::vector<TESS_pixel> before = dst.snapshot();
        TESS_ScaledBlit(&dst, &src, c.dx, c.dy, c.dw, c.dh, c.sx, c.sy, c.sw, c.sh, c.alpha, c.mode);
        const std::vector<TESS_pixel> got = dst.snapshot();
        dst.restore(before);
        Family fam = model_scaled(dst, src, c);
        const int combine = (c.mode & 0xFF) > 5 ? 0x1F : (c.mode & 7) | (c.mode >> 13 & 8) |
                                                             (c.alpha == 1.0f ? 0x10 : 0);
        ++seen[fam][combine];
        ASSERT_EQ(got, dst.snapshot()) << "dest " << c.dx << "," << c.dy << " " << c.dw << "x" << c.dh
                                       << " src " << c.sx << "," << c.sy << " " << c.sw << "x" << c.sh
                                       << " alpha " << c.alpha << " mode 0x" << std::hex << c.mode;
    }
    // Every family met every combine, the alpha-1 forms of COPY included.
    for (int fam : {NEAREST, BILINEAR, REDUCE}) {
        for (int m = 0; m < 6; ++m) {
            EXPECT_GT(seen[fam][m] + seen[fam][m | 0x10], 0) << fam << " " << m;
            EXPECT_GT(seen[fam][m | 8] + seen[fam][m | 0x18], 0) << fam << " alpha " << m;
        }
        EXPECT_GT(seen[fam][0x10], 0) << fam;
        EXPECT_GT(seen[fam][0x18], 0) << fam;
    }
    EXPECT_GT(seen[SHORTCUT][0x10] + seen[SHORTCUT][0], 0);
    EXPECT_GT(seen[HANDOVER][0] + seen[HANDOVER][0x10], 0);
}

// The sampling loops' own structure: strips of 256 (bilinear) and 128 (reduction) columns and
// their vector groups, a pair of source rows kept for several destination rows or used once,
// source pixels picked from a run or loaded one by one, kernels on either side of the 1.7 and
// 3.0 boundaries (weighted and box, 3 x 3 and 5 x 5), kernels that overlap and that do not
// (near enough for two to be read together, and not), kernels cut by every edge, and
// destination rectangles clipped on every side.
TEST_P(ScaledSweep, StripsGroupsKernelsAndEdgesMatchTheModel) {
    std::mt19937 rng(1729);
    const double steps[] = {0.25, 0.47, 0.53, 0.9, 1.016, 1.3, 1.69, 1.6999, 1.7, 1.71, 2.0, 2.2,
                            2.41, 2.42, 2.99, 3.0, 3.01, 3.2, 3.5, 3.83, 3.9, 4.06, 5.0, 6.6,
                            8.13, 11.0, 11.7, 17.0};
    constexpr int STEPS = int(sizeof steps / sizeof steps[0]);
    const int widths[] = {1, 2, 3, 5, 7, 9, 31, 129, 257, 300, 521};
    int kernels[2][2] = {};  // [5 x 5][box] reductions seen
    int magnified = 0, onceRows = 0;
    for (int n = 0; n < 2000; ++n) {
        SCOPED_TRACE(n);
        const double xs = steps[rng() % STEPS], ys = rng() % 4 ? xs : steps[rng() % STEPS];
        const int dw = widths[rng() % 11], dh = dw > 100 ? 1 + int(rng() % 6) : 1 + int(rng() % 13);
        const float sx = float(rng() % 3) + (rng() % 2 ? float(rng() % 1000) / 1000.0f : 0.0f);
        const float sy = float(rng() % 3) + (rng() % 2 ? float(rng() % 1000) / 1000.0f : 0.0f);
        const float sw = float(dw * xs), sh = float(dh * ys);
        // The source ends at, just past or well past the sampled area, or before its last
        // kernel, which it cuts.
        const int cut = rng() % 4 == 0 ? int(rng() % (int(xs) + 2)) : 0;
        const int srcW = std::max(1, int(std::ceil(sx + sw)) - int(rng() % 3) - cut + int(rng() % 4) * int(rng() % 2) * 5);
        const int srcH = std::max(1, int(std::ceil(sy + sh)) - int(rng() % 3) + int(rng() % 3));
        TestBitmap src(srcW, srcH, rng() % 3 == 0, rng() % 3);
        const int dstW = std::max(1, dw + int(rng() % 9) - 4), dstH = std::max(1, dh + int(rng() % 5) - 2);
        TestBitmap dst(dstW, dstH, rng() % 3 == 0, rng() % 2);
        model::fill_random(src, rng);
        model::fill_random(dst, rng);
        Call c;
        c.dw = dw;
        c.dh = dh;
        c.dx = int(rng() % 7) - 3;  // hanging off the left or the right, the top or the bottom
        c.dy = int(rng() % 5) - 2;
        c.sx = sx;
        c.sy = sy;
        c.sw = sw;
        c.sh = sh;
        const int pick = rng() % 6;
        c.alpha = pick < 4 ? 1.0f : model::pick_alpha(rng, n);
        c.mode = TESS_BLIT_FILTER_BILINEAR | (pick == 1 || pick == 2 ? TESS_BLIT_USE_ALPHA : 0) |
                 (pick >= 4 ? int(rng() % 6) : 0);
        const std::vector<TESS_pixel> before = dst.snapshot();
        TESS_ScaledBlit(&dst, &src, c.dx, c.dy, c.dw, c.dh, c.sx, c.sy, c.sw, c.sh, c.alpha, c.mode);
        const std::vector<TESS_pixel> got = dst.snapshot();
        dst.restore(before);
        const Family fam = model_scaled(dst, src, c);
        ASSERT_EQ(got, dst.snapshot()) << "dest " << c.dx << "," << c.dy << " " << c.dw << "x" << c.dh
                                       << " of " << dstW << "x" << dstH << " src " << c.sx << "," << c.sy
                                       << " " << c.sw << "x" << c.sh << " of " << srcW << "x" << srcH
                                       << " alpha " << c.alpha << " mode 0x" << std::hex << c.mode;
        const double g = std::max(double(c.sw / float(c.dw)), double(c.sh / float(c.dh)));
        if (fam == REDUCE) ++kernels[g > 3.0][g >= (g > 3.0 ? 3.83 : 2.415)];
        if (fam == BILINEAR && xs < 1.0 && dw > 8) ++magnified;
        if (fam == BILINEAR && ys >= 1.0 && dh > 1) ++onceRows;
    }
    for (int big = 0; big < 2; ++big)
        for (int box = 0; box < 2; ++box) EXPECT_GT(kernels[big][box], 100) << big << " " << box;
    EXPECT_GT(magnified, 80);
    EXPECT_GT(onceRows, 200);
}

// One setup drawn at many destination rectangles, as a sustain trail draws its rows: each
// the same as a scaled blit made from scratch, scale-1 hand-overs and clipped rows included.
TEST_P(ScaledSweep, OneSetupServesManyRectangles) {
    std::mt19937 rng(515);
    for (int n = 0; n < 300; ++n) {
        TestBitmap src(1 + rng() % 60, 1 + rng() % 6, rng() % 3 == 0, rng() % 3);
        TestBitmap a(1 + rng() % 90, 1 + rng() % 30, rng() % 3 == 0, rng() % 2);
        TestBitmap b(a.width(), a.height(), a.isBottomUp(), a.rowSpan() - a.width());
        model::fill_random(src, rng);
        model::fill_random(a, rng);
        b.restore(a.snapshot());
        const float sx = float(rng() % (src.width() + 2)) + (rng() % 2 ? 0.25f : 0.0f);
        const float sy = float(rng() % src.height());
        const float sw = float(1 + rng() % 40) / (rng() % 2 ? 1.0f : 3.0f);
        const float sh = rng() % 3 ? 1.0f : float(1 + rng() % 5);
        const float alpha = n % 3 ? 1.0f : model::pick_alpha(rng, n);
        const int32_t filters[] = {0, 0, 0x100};
        const int32_t mode = int32_t(rng() % 6) | filters[rng() % 3] | (rng() % 4 ? TESS_BLIT_USE_ALPHA : 0);
        TESS_ScaledBlitSetup setup;
        TESS_PrepareScaledBlit(&setup, &a, &src, sx, sy, sw, sh, alpha, mode);
        for (int r = 0; r < 40; ++r) {
            const int32_t dw = rng() % 5 == 0 ? int32_t(sw + 0.5f) : int32_t(rng() % 120) - 10;
            const int32_t dh = rng() % 4 ? 1 : int32_t(rng() % 6) - 2;
            const int32_t dx = int32_t(rng() % (a.width() + 30)) - 20, dy = int32_t(rng() % (a.height() + 4)) - 2;
            TESS_ScaledBlitPrepared(&setup, dx, dy, dw, dh);
            TESS_ScaledBlit(&b, &src, dx, dy, dw, dh, sx, sy, sw, sh, alpha, mode);
            ASSERT_EQ(a.snapshot(), b.snapshot()) << "case " << n << " row " << r << " mode 0x"
                                                  << std::hex << mode;
        }
    }
}

namespace {
// Distinct opaque colours per column and row.
void fill_gradient(TestBitmap& b) {
    for (int y = 0; y < b.height(); ++y)
        for (int x = 0; x < b.width(); ++x)
            b.at(x, y) = 0xFF000000u | uint32_t(x * 5 % 256) << 8 | uint32_t(y * 3 % 256);
}
bool same_pixels(TestBitmap& a, TestBitmap& b) { return a.snapshot() == b.snapshot(); }
}  // namespace

// The reduction's divisions by multiplication: every total a kernel can have (weights of up
// to 25 cells) and every box count, at the dividends where a multiplier is most likely to be
// off by one: multiples of the divisor and the values just below them, up to 255 times it.
TEST(ScaledBlit, ReductionDivisorsAreExact) {
    std::mt19937 rng(7);
    for (int n = 0; n < 3000; ++n) {
        const uint32_t d = n < 40 ? uint32_t(65536 + n) : 1 + rng() % (25u * 65536u);
        tess::Divisor div;
        ASSERT_TRUE(tess::make_divisor(d, d * 255u, &div)) << d;
        for (uint32_t k : {0u, 1u, 2u, 127u, 254u, 255u, uint32_t(rng() % 255)}) {
            for (uint32_t s : {k * d, k * d + d - 1, k * d + uint32_t(rng() % d)}) {
                if (s > d * 255u) continue;
                const uint32_t q = uint32_t((uint64_t(s) * div.m) >> div.k);
                ASSERT_EQ(q, s / d) << d << " " << s;
            }
        }
    }
    for (uint32_t cells = 1; cells <= 25; ++cells) {
        const tess::Divisor16& d = tess::BOX_DIVISORS.of[cells];
        for (uint32_t s = 0; s <= 255 * cells; ++s)
            ASSERT_EQ((((s << d.pre) * d.m) >> 16) >> d.post, s / cells) << cells << " " << s;
    }
}

TEST(ScaledBlit, ScaleOneGoesToTheBlitExceptBilinearAtAFraction) {
    TestBitmap src(130, 60), a(100, 50), b(100, 50);
    fill_gradient(src);
    auto both = [&](float sx, int32_t mode, int left, float alpha = 1.0f) {
        a.restore(std::vector<TESS_pixel>(a.count(), 0x80402010u));
        b.restore(a.snapshot());
        TESS_ScaledBlit(&a, &src, 0, 0, 100, 50, sx, 0.0f, 100.0f, 50.0f, alpha, mode);
        TESS_RECT r{left, 0, left + 100, 50};
        TESS_Blit(&b, &src, 0, 0, &r, alpha, mode);
    };
    both(0.0f, TESS_BLIT_FILTER_BILINEAR, 0);
    EXPECT_TRUE(same_pixels(a, b));
    both(10.02f, TESS_BLIT_FILTER_BILINEAR, 10);
    EXPECT_TRUE(same_pixels(a, b));
    both(10.5f, 0, 11);  // no filter: rounded to the nearest whole pixel
    EXPECT_TRUE(same_pixels(a, b));
    both(0.0f, 0xF5, 0, 0.3f);  // channel copy happens only through the blit
    EXPECT_TRUE(same_pixels(a, b));
    EXPECT_NE(a.at(3, 3), 0x80402010u);

    // Bilinear at 10.5: interpolated halfway between columns, not handed over.
    both(10.5f, TESS_BLIT_FILTER_BILINEAR, 10);
    EXPECT_FALSE(same_pixels(a, b));
    for (int x : {0, 7, 99}) {
        uint32_t l = src.at(10 + x, 49), r = src.at(11 + x, 49), want = 0;
        for (int ch = 0; ch < 4; ++ch)
            want |= uint32_t((model::chan(l, ch) * 0x8000 + model::chan(r, ch) * 0x8000) / 65536) << (8 * ch);
        EXPECT_EQ(a.at(x, 49), want) << x;
    }

    // Channel copy at any other scale draws nothing.
    std::vector<TESS_pixel> before = a.snapshot();
    TESS_ScaledBlit(&a, &src, 0, 0, 100, 50, 0.0f, 0.0f, 130.0f, 60.0f, 1.0f, 0xF5);
    EXPECT_EQ(a.snapshot(), before);
}

TEST(ScaledBlit, ReductionKernelsAndTheirWeights) {
    // One white pixel at offset (ox, oy) from the sample of destination pixel (10, 10), in
    // opaque black: that pixel's blue is 255 * weight / total of the kernel.
    auto blue_at = [](int w, int h, int ox, int oy) {
        TestBitmap src(w, h), dst(100, 100);
        src.restore(std::vector<TESS_pixel>(src.count(), 0xFF000000u));
        const double xstep = double(float(w) / 100.0f), ystep = double(float(h) / 100.0f);
        double yp = 0.0;
        for (int j = 0; j < 10; ++j) yp += ystep;
        const int c = int((10 * int64_t(xstep * 65536.0)) >> 16), r = int(yp);
        src.at(c + ox, r + oy) = 0xFFFFFFFFu;
        TESS_ScaledBlit(&dst, &src, 0, 0, 100, 100, 0, 0, float(w), float(h), 1.0f,
                        TESS_BLIT_FILTER_BILINEAR);
        return int(dst.at(10, 10) & 0xFF);
    };
    // g = 1.7: 3 x 3 with edges 45875 and corners 32438.
    const int t17 = 65536 + 4 * 45875 + 4 * 32438;
    EXPECT_EQ(blue_at(170, 170, 1, 0), 255 * 45875 / t17);
    EXPECT_EQ(blue_at(170, 170, -1, -1), 255 * 32438 / t17);
    EXPECT_EQ(blue_at(170, 170, 0, 0), 255 * 65536 / t17);
    EXPECT_EQ(blue_at(170, 170, 2, 0), 0);
    // g = 2.0: corners 46340, the rest 65536.
    const int t20 = 5 * 65536 + 4 * 46340;
    EXPECT_EQ(blue_at(200, 200, 1, 1), 255 * 46340 / t20);
    EXPECT_EQ(blue_at(200, 200, 0, -1), 255 * 65536 / t20);
    // g = 3.0 is still 3 x 3 with every weight full; g = 4.0 is the 5 x 5 box.
    EXPECT_EQ(blue_at(300, 300, 1, 1), 255 / 9);
    EXPECT_EQ(blue_at(300, 300, 2, 0), 0);
    EXPECT_EQ(blue_at(400, 400, 2, 2), 255 / 25);
    EXPECT_EQ(blue_at(400, 400, -2, 1), 255 / 25);
    // The larger step picks the kernel: 400 x 180 is a 5 x 5 box too.
    EXPECT_EQ(blue_at(400, 180, 0, 2), 255 / 25);

    // Steps of 1.6, or 1.7 in one direction only: bilinear, which reads only the sample's
    // pixel and those right of and below it.
    for (auto [w, h] : {std::pair<int, int>(160, 160), {170, 160}, {160, 170}}) {
        EXPECT_EQ(blue_at(w, h, -1, 0), 0) << w << "x" << h;
        EXPECT_EQ(blue_at(w, h, 0, -1), 0) << w << "x" << h;
        const int mass = blue_at(w, h, 0, 0) + blue_at(w, h, 1, 0) + blue_at(w, h, 0, 1) + blue_at(w, h, 1, 1);
        EXPECT_GE(mass, 252) << w << "x" << h;  // four weights of 65536 in all, each truncated
    }
}

TEST(ScaledBlit, BilinearLastRowAndColumnLeanInward) {
    TestBitmap src(4, 4), dst(8, 8);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) src.at(x, y) = 0xFF000000u | uint32_t(x * 60) << 8 | uint32_t(y * 80);
    dst.restore(std::vector<TESS_pixel>(dst.count(), 0));
    TESS_ScaledBlit(&dst, &src, 0, 0, 8, 8, 0, 0, 4, 4, 1.0f, TESS_BLIT_FILTER_BILINEAR);
    EXPECT_EQ(dst.at(7, 7), src.at(3, 3));                               // corner unchanged
    EXPECT_EQ(dst.at(1, 7), 0xFF000000u | 30u << 8 | 240u);              // last row: along x only
    EXPECT_EQ(dst.at(7, 1), 0xFF000000u | 180u << 8 | 40u);              // last column: along y only
    EXPECT_EQ(dst.at(1, 1), 0xFF000000u | 30u << 8 | 40u);               // inside: both ways
}

TEST(ScaledBlit, LeftClippingAdvancesTheSourceByTheStep) {
    TestBitmap src(100, 1), dst(50, 1);
    for (int x = 0; x < 100; ++x) src.at(x, 0) = 0xFF000000u | uint32_t(x);
    dst.restore(std::vector<TESS_pixel>(dst.count(), 0));
    TESS_ScaledBlit(&dst, &src, -10, 0, 50, 1, 0, 0, 100, 1, 1.0f, 0);
    EXPECT_EQ(dst.at(0, 0), 0xFF000000u | 20u);
    EXPECT_EQ(dst.at(1, 0), 0xFF000000u | 22u);
    EXPECT_EQ(dst.at(39, 0), 0xFF000000u | 98u);
    EXPECT_EQ(dst.at(40, 0), 0u);  // the rectangle ended 10 columns early

    // Half blend of the nearest sample at alpha 0.5 without a filter.
    src.at(20, 0) = 0x9F7F3F0Fu;
    dst.at(0, 0) = 0x21436587u;
    TESS_ScaledBlit(&dst, &src, -10, 0, 50, 1, 0, 0, 100, 1, 0.5f, 0);
    EXPECT_EQ(dst.at(0, 0), 0x5F60514Au);  // 9F/2+21/2, 7F/2+43/2, 3F/2+65/2, 0F/2+87/2
}
