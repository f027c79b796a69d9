// Test support for the raster tests: guarded and bottom-up test bitmaps, seeded random content,
// a plain, slow per-pixel model of the combiners that every specialised loop is checked against,
// and a fixture that runs a sweep once on every CPU path this machine has.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "raster/tess.h"

namespace model {

// A bitmap whose pixel block is exactly span x height pixels of its own allocation, so that
// AddressSanitizer reports any write past either end. Rows may be padded (span > width) and
// stored bottom-up.
class TestBitmap : public TESS_IBitmap {
public:
    TestBitmap(int32_t w, int32_t h, bool bottomUp = false, int32_t pad = 0)
        : w_(w), h_(h), span_(w + pad), bottomUp_(bottomUp),
          px_(static_cast<TESS_pixel*>(std::malloc(sizeof(TESS_pixel) * (size_t(w + pad) * h + 1)))) {
        // +1 keeps malloc(0) away; the guarded end is what matters for overruns.
        end_ = px_ + size_t(span_) * h_;
    }
    ~TestBitmap() override { std::free(px_); }
    TestBitmap(const TestBitmap&) = delete;
    TestBitmap& operator=(const TestBitmap&) = delete;

    TESS_pixel* bits() override { return px_; }
    int32_t width() override { return w_; }
    int32_t height() override { return h_; }
    int32_t rowSpan() override { return span_; }
    bool isBottomUp() override { return bottomUp_; }
    bool resize(int32_t, int32_t) override { return false; }

    size_t count() const { return size_t(span_) * h_; }
    // Picture coordinates, whatever the row order.
    TESS_pixel& at(int32_t x, int32_t y) { return px_[size_t(bottomUp_ ? h_ - 1 - y : y) * span_ + x]; }
    std::vector<TESS_pixel> snapshot() const { return std::vector<TESS_pixel>(px_, end_); }
    void restore(const std::vector<TESS_pixel>& v) { std::memcpy(px_, v.data(), v.size() * 4); }

private:
    int32_t w_, h_, span_;
    bool bottomUp_;
    TESS_pixel* px_;
    TESS_pixel* end_;
};

// Random pixels whose alpha is often exactly 0 or 255, with runs so that whole groups of
// neighbouring pixels share those alphas, and runs that only just miss them (254 or 255, 0 or
// 1), which the loops' shortcuts for wholly opaque or transparent groups must not take.
inline void fill_random(TestBitmap& b, std::mt19937& rng) {
    std::uniform_int_distribution<uint32_t> any;
    enum Run { ZERO, FULL, ANY, ONE_VALUE, NEAR_FULL, NEAR_ZERO };
    static const Run kinds[12] = {ZERO, ZERO, ZERO, FULL, FULL, FULL, ANY, ANY, ANY,
                                  ONE_VALUE, NEAR_FULL, NEAR_ZERO};
    Run kind = ANY;
    uint32_t value = 0;
    int run = 0;
    for (size_t i = 0; i < b.count(); ++i) {
        if (run-- <= 0) {
            run = int(rng() % 12);
            kind = kinds[rng() % 12];
            value = rng() % 256;
        }
        uint32_t a = any(rng) >> 24;
        switch (kind) {
        case ZERO: a = 0; break;
        case FULL: a = 255; break;
        case ANY: break;
        case ONE_VALUE: a = value; break;
        case NEAR_FULL: a = rng() % 8 ? 255 : 254; break;
        case NEAR_ZERO: a = rng() % 8 ? 0 : 1; break;
        }
        b.bits()[i] = (any(rng) & 0xFFFFFFu) | a << 24;
    }
}

// Alphas every reference test sweeps, then random ones.
inline float pick_alpha(std::mt19937& rng, int i) {
    static const float fixed[] = {0.0f, 0.5f, 1.0f, 0.25f, 0.75f, -0.5f, -1.0f, 1.5f, 3.0f};
    if (i % 2 == 0) return fixed[(i / 2) % 9];
    return std::uniform_real_distribution<float>(-2.0f, 3.0f)(rng);
}

inline int clamp(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }
inline int chan(uint32_t p, int i) { return int(p >> (8 * i) & 0xFF); }
inline uint32_t make(const int c[4]) {
    return uint32_t(c[0]) | uint32_t(c[1]) << 8 | uint32_t(c[2]) << 16 | uint32_t(c[3]) << 24;
}
inline int weight(float alpha) { return int(double(alpha) * 256.0); }

inline uint32_t hsv_to_pixel(int h, int s, int v, int a) {
    int p = v * (256 - s) / 256, r, g, b;
    auto ramp = [&](int k) { return v * (16384 - k * s) / 16384; };
    if (h < 64) { r = v; g = ramp(64 - h); b = p; }
    else if (h < 128) { r = ramp(h - 64); g = v; b = p; }
    else if (h < 192) { r = p; g = v; b = ramp(192 - h); }
    else if (h < 256) { r = p; g = ramp(h - 192); b = v; }
    else if (h < 320) { r = ramp(320 - h); g = p; b = v; }
    else { r = v; g = p; b = ramp(h - 320); }
    return uint32_t(a & 255) << 24 | uint32_t(r & 255) << 16 | uint32_t(g & 255) << 8 | uint32_t(b & 255);
}

inline int reciprocal(int i) { return i == 0 ? 0 : 65536 / i - 1; }

// One combiner step: blend mode m (0..5) with constant weight e, source channels s[] in
// pixel byte order (blue, green, red, alpha).
inline uint32_t combine(int m, uint32_t dst, const int s[4], int e) {
    int d[4], o[4];
    for (int i = 0; i < 4; ++i) d[i] = chan(dst, i);
    if (m == 5) {
        int R = d[2], G = d[1], B = d[0], mx, delta, base, diff;
        if (G > R && G > B) { mx = G; delta = G - std::min(R, B); base = 128; diff = B - R; }
        else if (G > R) { mx = B; delta = B - R; base = 256; diff = R - G; }
        else if (R > B && G < B) { mx = R; delta = R - G; base = 383; diff = G - B; }
        else if (R > B) { mx = R; delta = R - B; base = 0; diff = G - B; }
        else { mx = B; delta = B - std::min(R, G); base = 256; diff = R - G; }
        int sat = reciprocal(mx) * delta / 256;
        int hue = base + diff * (reciprocal(delta) + 1) / 1024 + e * (s[2] / 2 + s[2] - 192) / 256;
        if (hue < 0) hue += 384;
        else if (hue >= 384) hue -= 384;
        return hsv_to_pixel(hue, clamp(sat + e * (s[1] - 128) / 256), clamp(mx + e * (s[0] - 128) / 256), s[3]);
    }
    for (int i = 0; i < 4; ++i) {
        int D = d[i], S = s[i], v = 0;
        switch (m) {
        case 0: v = (S * e + D * (256 - e)) / 256; break;
        case 1: v = D + S * e / 256; break;
        case 2: { int k = S * e / 256; v = 256 - k > 1 ? D * 256 / (256 - k) : D * 256; } break;
        case 3: v = D * (S * e + (256 - e) * 256) / 65536; break;
        case 4: { int t = S * e + (256 - e) * 128; v = ((32768 - t) * D / 256 + t) * D / 32768; } break;
        }
        o[i] = clamp(v);
    }
    return make(o);
}

// The source-alpha flavour of mode m; alphaOne selects COPY's alpha-1 formula.
inline uint32_t combine_alpha(int m, uint32_t dst, const int s[4], int e, bool alphaOne) {
    int sa = s[3];
    if (m == 0 && alphaOne) {
        if (sa == 0) return dst;
        if (sa == 255) return uint32_t(s[0]) | uint32_t(s[1]) << 8 | uint32_t(s[2]) << 16 | 0xFF000000u;
        int w = sa + 1, o[4];
        for (int i = 0; i < 3; ++i) o[i] = clamp((s[i] * w + chan(dst, i) * (256 - w)) / 256);
        o[3] = clamp((chan(dst, 3) * (256 - w) + w * w) / 256);
        return make(o);
    }
    if (sa == 0 && (m == 0 || m == 1 || m == 3)) return dst;
    return combine(m, dst, s, e * (sa + 1) / 256);
}

inline void split(uint32_t p, int s[4]) {
    for (int i = 0; i < 4; ++i) s[i] = chan(p, i);
}

// ---- CPU paths ----

// The paths this processor and OS run, plainest first (GENERIC and, on x86-64, SSE2 always).
inline std::vector<TESS_CpuPath> runnable_paths() {
    std::vector<TESS_CpuPath> out;
    for (int32_t p = 0; p < TESS_CPU_PATH_COUNT; ++p)
        if (TESS_CpuPathSupported(TESS_CpuPath(p))) out.push_back(TESS_CpuPath(p));
    return out;
}

// The TESS_DISABLE list that leaves `path` the widest: the names of every wider path.
inline std::string disable_wider_than(TESS_CpuPath path) {
    std::string list;
    for (int32_t p = path + 1; p < TESS_CPU_PATH_COUNT; ++p)
        list += std::string(TESS_CpuPathName(TESS_CpuPath(p))) + " ";
    return list;
}

// A test run once per runnable path, on that path; afterwards the choice start-up made from
// the environment is back.
class OnEveryPath : public ::testing::TestWithParam<TESS_CpuPath> {
protected:
    void SetUp() override {
        ASSERT_EQ(TESS_ChooseCpuPath(disable_wider_than(GetParam()).c_str()), GetParam());
    }
    void TearDown() override { TESS_ChooseCpuPath(std::getenv("TESS_DISABLE")); }
};

inline std::string path_name(const ::testing::TestParamInfo<TESS_CpuPath>& info) {
    return TESS_CpuPathName(info.param);
}

}  // namespace model

// Registers fixture F (derived from model::OnEveryPath) once per runnable path.
#define TESS_ON_EVERY_PATH(F) \
    INSTANTIATE_TEST_SUITE_P(Path, F, ::testing::ValuesIn(model::runnable_paths()), model::path_name)
