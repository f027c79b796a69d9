// The raster library's CPU paths in a Windows build: each path the processor runs scales and
// blits as the plain C one does, under the Windows calling convention and its 16-byte stack,
// where the vector units must never move a spilled register with an aligned instruction.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "raster/tess.h"

namespace {

uint32_t next(uint32_t* state) {
    *state = *state * 1664525u + 1013904223u;
    return *state >> 8;
}

// One pass of scaled blits of many sizes, modes and scales (magnified, bilinear, 3 x 3 and
// 5 x 5 reductions whose kernels overlap or lie apart), and plain source-alpha blits, into
// one picture.
std::vector<TESS_pixel> draw_all() {
    uint32_t state = 12345;
    TESS_MemBitmap src(700, 180), dst(160, 120);
    TESS_pixel* s = src.bits();
    for (int32_t i = 0; i < src.width() * src.height(); ++i) s[i] = next(&state) * 2654435761u;
    TESS_Clear(&dst, 0xFF204060u);
    std::vector<TESS_pixel> out;
    const float scales[] = {0.6f, 1.3f, 2.2f, 2.9f, 4.06f, 6.6f, 8.13f, 11.7f, 17.0f};
    const int32_t modes[] = {TESS_BLIT_MODE_COPY | TESS_BLIT_FILTER_BILINEAR,
                             TESS_BLIT_MODE_COPY | TESS_BLIT_FILTER_BILINEAR | TESS_BLIT_USE_ALPHA,
                             TESS_BLIT_MODE_COPY | TESS_BLIT_USE_ALPHA, TESS_BLIT_MODE_COPY};
    for (float scale : scales)
        for (int32_t mode : modes)
            for (int32_t n = 0; n < 6; ++n) {
                const int32_t w = 1 + int32_t(next(&state) % 60), h = 1 + int32_t(next(&state) % 12);
                const int32_t x = int32_t(next(&state) % 180) - 10, y = int32_t(next(&state) % 130) - 5;
                const float sx = float(next(&state) % 40), sy = float(next(&state) % 20);
                TESS_ScaledBlit(&dst, &src, x, y, w, h, sx, sy, float(w) * scale, float(h) * scale,
                                n % 3 ? 1.0f : 0.6f, mode);
                out.insert(out.end(), dst.bits(), dst.bits() + dst.width() * dst.height());
            }
    return out;
}

TEST(CpuPaths, EveryPathDrawsAsThePlainCOne) {
    ASSERT_EQ(TESS_ChooseCpuPath("avx512 avx2 sse2"), TESS_CPU_GENERIC);
    const std::vector<TESS_pixel> reference = draw_all();
    int32_t paths = 0;
    for (int32_t p = TESS_CPU_SSE2; p < TESS_CPU_PATH_COUNT; ++p) {
        const TESS_CpuPath path = static_cast<TESS_CpuPath>(p);
        if (!TESS_CpuPathSupported(path)) continue;
        std::string wider;
        for (int32_t q = p + 1; q < TESS_CPU_PATH_COUNT; ++q)
            wider += std::string(TESS_CpuPathName(static_cast<TESS_CpuPath>(q))) + " ";
        ASSERT_EQ(TESS_ChooseCpuPath(wider.c_str()), path);
        EXPECT_TRUE(draw_all() == reference) << TESS_CpuPathName(path);
        ++paths;
    }
    TESS_ChooseCpuPath(std::getenv("TESS_DISABLE"));
    EXPECT_GE(paths, 1);  // SSE2 at least, on every x86-64 processor
}

}  // namespace
