// TESS_Line, TESS_ClipSegment and TESS_OutlineRect: clipping, the pixels and weights of each
// shape, anti-aliasing, row order, and every line routine against the per-pixel model.
#include <gtest/gtest.h>

#include "raster_model.h"

using model::TestBitmap;

namespace {

// One touched pixel in stored rows: its weight, or the shift mixes of the opaque anti-aliased
// 45-degree run (kind 1 main, 2 side).
struct Plot {
    int x, y, w, kind;
};

// The pixels of a clipped segment, walked coordinate by coordinate.
std::vector<Plot> model_plots(int x1, int y1, int x2, int y2, int w, bool aa, bool mix) {
    std::vector<Plot> out;
    const int dx = std::abs(x2 - x1), dy = std::abs(y2 - y1);
    const int sx = x2 > x1 ? 1 : -1, sy = y2 > y1 ? 1 : -1;
    if (x1 == x2) {
        for (int y = std::min(y1, y2); y <= std::max(y1, y2); ++y) out.push_back({x1, y, w, 0});
    } else if (y1 == y2) {
        for (int x = std::min(x1, x2); x <= std::max(x1, x2); ++x) out.push_back({x, y1, w, 0});
    } else if (dx == dy) {
        for (int i = 0; i <= dx; ++i) {
            const int x = x1 + i * sx, y = y1 + i * sy;
            if (!aa) { out.push_back({x, y, w, 0}); continue; }
            out.push_back({x, y, w * 3 / 4, mix ? 1 : 0});
            if (i == dx) break;
            out.push_back({x + sx, y, w / 4, mix ? 2 : 0});
            out.push_back({x, y + sy, w / 4, mix ? 2 : 0});
        }
    } else {
        const bool xMajor = dx >= dy;
        const int n = std::max(dx, dy);
        const double d = double(std::min(dx, dy)) / n;
        int major = 0, minor = 0;  // steps taken along each axis
        auto at = [&](int ma, int mi, int weight) {
            out.push_back(xMajor ? Plot{x1 + ma * sx, y1 + mi * sy, weight, 0} : Plot{x1 + mi * sx, y1 + ma * sy, weight, 0});
        };
        if (!aa) {
            double e = 0;
            for (; major <= n; ++major) {
                at(major, minor, w);
                e += d;
                if (e > 0.5) { ++minor; e -= 1; }
            }
        } else {
            at(0, 0, w);
            double e = d;
            for (major = 1; major < n; ++major) {
                const int g = int(e * 256);
                at(major, minor, (256 - g) * w / 256);
                if (g != 0) at(major, minor + 1, g * w / 256);
                e += d;
                if (e > 1) { ++minor; e -= 1; }
            }
            at(n, minor, (256 - int(e * 256)) * w / 256);
        }
    }
    return out;
}

void model_line(TestBitmap& b, int x1, int y1, int x2, int y2, uint32_t c, float alpha, int mode, bool aa) {
    const int H = b.height(), m = mode & 0xFF;
    if (b.isBottomUp()) { y1 = H - 1 - y1; y2 = H - 1 - y2; }
    if (!TESS_ClipSegment(&x1, &y1, &x2, &y2, b.width(), H)) return;
    const bool slanted = x1 != x2 && y1 != y2;
    aa = aa && slanted;
    const bool diagonal = slanted && std::abs(x2 - x1) == std::abs(y2 - y1);
    enum { Store, Half, Weighted } pen = Weighted;
    int combiner = m;
    if (m == 0 && alpha == 1.0f) {
        pen = aa ? Weighted : Store;
    } else {
        if (alpha == 0.0f || m > 5 || (m == 0 && !(alpha > 0.0f))) return;
        if (m == 0 && alpha == 0.5f && !aa) pen = Half;
    }
    const bool mix = m == 0 && alpha == 1.0f && aa && diagonal;
    int src[4];
    model::split(c, src);
    for (const Plot& p : model_plots(x1, y1, x2, y2, model::weight(alpha), aa, mix)) {
        uint32_t& d = b.bits()[size_t(p.y) * b.rowSpan() + p.x];
        int o[4];
        for (int i = 0; i < 4; ++i) {
            const int C = model::chan(c, i), P = model::chan(d, i);
            o[i] = p.kind == 1 ? C / 2 + C / 4 + P / 4 : p.kind == 2 ? P / 2 + P / 4 + C / 4 : (C + P) / 2;
        }
        if (p.kind != 0 || pen == Half) d = model::make(o);
        else if (pen == Store) d = c;
        else d = model::combine(combiner, d, src, p.w);
    }
}

TEST(Line, ClipSegment) {
    int x1 = 0, y1 = 0, x2 = 10, y2 = 20;
    ASSERT_TRUE(TESS_ClipSegment(&x1, &y1, &x2, &y2, 100, 10));
    EXPECT_EQ(std::vector<int>({x1, y1, x2, y2}), std::vector<int>({0, 0, 5, 9}));  // intercept to row 10
    for (auto s : std::vector<std::vector<int>>{{-5, 0, -1, 9}, {100, 0, 120, 3}, {0, -3, 99, -1}, {0, 10, 50, 30}}) {
        EXPECT_FALSE(TESS_ClipSegment(&s[0], &s[1], &s[2], &s[3], 100, 10));
    }
    // Any segment with an end inside clips to a segment inside; extreme coordinates included.
    std::mt19937 rng(5);
    for (int i = 0; i < 20000; ++i) {
        const int W = 1 + rng() % 50, H = 1 + rng() % 50;
        int c[4] = {int(rng() % W), int(rng() % H), int(rng()), int(rng())};
        if (i % 2) { c[2] = int(rng() % 200) - 75; c[3] = int(rng() % 200) - 75; }
        ASSERT_TRUE(TESS_ClipSegment(&c[0], &c[1], &c[2], &c[3], W, H)) << i;
        for (int k = 0; k < 4; ++k) ASSERT_TRUE(c[k] >= 0 && c[k] < (k % 2 ? H : W)) << i;
    }
}

TEST(Line, ShapesWeightsAndRowOrder) {
    TestBitmap b(6, 6), up(6, 6, true);
    auto weights = [&](TestBitmap& t) {  // ADD of 255 onto 0 shows each weight as 255 * w / 256
        std::vector<int> v;
        for (int y = 0; y < 6; ++y) for (int x = 0; x < 6; ++x) v.push_back(int(t.at(x, y) & 0xFF));
        return v;
    };
    TESS_Clear(&b, 0);
    TESS_Line(&b, 0, 0, 3, 3, 0xFF, 1.0f, TESS_BLIT_MODE_ADD, true);
    std::vector<int> want(36, 0);
    for (int i = 0; i < 4; ++i) want[i * 7] = 191;
    for (int i : {1, 6, 8, 13, 15, 20}) want[i] = 63;
    EXPECT_EQ(weights(b), want);

    TESS_Clear(&b, 0);
    TESS_Line(&b, 0, 0, 2, 1, 0xFF, 1.0f, TESS_BLIT_MODE_ADD, true);
    want.assign(36, 0);
    want[0] = 255; want[1] = 127; want[7] = 127;  // (2, 1) untouched: the fraction reaches 1, not more
    EXPECT_EQ(weights(b), want);

    TESS_Clear(&b, 0);
    TESS_Line(&b, 0, 0, 3, 3, 0xFFFFFFFF, 1.0f, 0, true);
    EXPECT_EQ(b.at(1, 1), 0xBEBEBEBEu);
    EXPECT_EQ(b.at(2, 1), 0x3F3F3F3Fu);

    TESS_Clear(&b, 0xFF000000);
    TESS_Line(&b, 5, 2, 0, 2, 0x00FFFFFF, 1.0f, 0, false);
    for (int x = 0; x < 6; ++x) EXPECT_EQ(b.at(x, 2), 0x00FFFFFFu);
    TESS_Clear(&b, 0);
    TESS_Line(&b, 4, 4, 4, 4, 0x12345678, 1.0f, 0, true);
    TESS_Line(&b, 0, 0, 5, 5, ~0u, 1.0f, 0xF0, false);
    for (int y = 0; y < 6; ++y) for (int x = 0; x < 6; ++x) EXPECT_EQ(b.at(x, y), x == 4 && y == 4 ? 0x12345678u : 0u);

    // Unclipped lines land on the same picture pixels whatever the row order.
    TESS_Clear(&b, 0);
    TESS_Clear(&up, 0);
    for (TestBitmap* t : {&b, &up}) TESS_Line(t, 0, 1, 5, 3, 0xFF, 0.7f, TESS_BLIT_MODE_ADD, true);
    EXPECT_EQ(weights(b), weights(up));

    TESS_Clear(&b, 0);
    TESS_OutlineRect(&b, 1, 1, 3, 2, 0x10, 1.0f, TESS_BLIT_MODE_ADD);
    EXPECT_EQ(b.at(1, 1), 0x20u);
    EXPECT_EQ(b.at(4, 3), 0x20u);
    EXPECT_EQ(b.at(2, 1), 0x10u);
    EXPECT_EQ(b.at(2, 2), 0u);
}

TEST(Line, EveryRoutineMatchesTheModel) {
    std::mt19937 rng(31337);
    int changed = 0;
    for (int i = 0; i < 8000; ++i) {
        const int mode = int(rng() % 7) | (rng() % 4 ? 0 : TESS_BLIT_USE_ALPHA);
        const float alpha = model::pick_alpha(rng, i / 14);
        TestBitmap b(1 + rng() % 24, 1 + rng() % 24, rng() % 2, rng() % 3);
        TestBitmap want(b.width(), b.height(), b.isBottomUp(), b.rowSpan() - b.width());
        model::fill_random(b, rng);
        want.restore(b.snapshot());
        const std::vector<TESS_pixel> before = b.snapshot();
        int c[4];
        for (int& v : c) v = int(rng() % 40) - 8;
        if (i % 3 == 0) c[3] = c[1] + (c[2] - c[0]) * (rng() % 2 ? 1 : -1);  // 45 degrees
        if (i % 7 == 0) c[2] = c[0];
        const uint32_t colour = rng();
        const bool aa = rng() % 2;
        TESS_Line(&b, c[0], c[1], c[2], c[3], colour, alpha, mode, aa);
        model_line(want, c[0], c[1], c[2], c[3], colour, alpha, mode, aa);
        ASSERT_EQ(b.snapshot(), want.snapshot()) << "case " << i << " mode " << mode << " alpha " << alpha;
        changed += b.snapshot() != before;
    }
    EXPECT_GT(changed, 1000);
}

}  // namespace
