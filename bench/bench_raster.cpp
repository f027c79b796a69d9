// Raster library benchmarks on a 1920 x 1080 frame: the opaque copy against memcpy, alpha
// sprites against pixman's OVER (and on each CPU path), clear against a plain fill, and a
// quarter-alpha fill.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench_main.h"
#include "raster/tess.h"

namespace {

constexpr int kFrameW = 1920, kFrameH = 1080;
constexpr int kSpriteW = 63, kSpriteH = 32, kSprites = 200;

void fill_pattern(TESS_IBitmap& b) {
    TESS_pixel* p = b.bits();
    for (int i = 0; i < b.width() * b.height(); ++i) p[i] = 0xFF000000u | (uint32_t(i) * 2654435761u >> 8);
}

// A gem-like sprite: an opaque ellipse with an anti-aliased rim, transparent corners.
void make_sprite(TESS_MemBitmap& s) {
    for (int y = 0; y < kSpriteH; ++y) {
        for (int x = 0; x < kSpriteW; ++x) {
            double dx = (x + 0.5 - kSpriteW / 2.0) / (kSpriteW / 2.0);
            double dy = (y + 0.5 - kSpriteH / 2.0) / (kSpriteH / 2.0);
            double edge = (1.0 - std::sqrt(dx * dx + dy * dy)) * 12.0;  // about 2 pixels of rim
            int a = edge <= 0 ? 0 : edge >= 1 ? 255 : int(edge * 255);
            s.bits()[y * kSpriteW + x] = uint32_t(a) << 24 | uint32_t(40 + 3 * x) << 16 | uint32_t(200 - 5 * y) << 8 | 90u;
        }
    }
}

// Spread over the frame, some overlapping its edges.
void sprite_position(int i, int* x, int* y) {
    *x = (i * 397) % (kFrameW + kSpriteW) - kSpriteW / 2;
    *y = (i * 131) % (kFrameH + kSpriteH) - kSpriteH / 2;
}

void set_pixels(benchmark::State& state, int64_t pixels) {
    state.SetItemsProcessed(state.iterations() * pixels);
    state.SetBytesProcessed(state.iterations() * pixels * 4);
}

void BM_BlitCopyFrame(benchmark::State& state) {
    TESS_MemBitmap src(kFrameW, kFrameH), dst(kFrameW, kFrameH);
    fill_pattern(src);
    fill_pattern(dst);
    for (auto _ : state) {
        TESS_Blit(&dst, &src, 0, 0, nullptr, 1.0f, TESS_BLIT_MODE_COPY);
        benchmark::DoNotOptimize(dst.bits());
        benchmark::ClobberMemory();
    }
    set_pixels(state, int64_t{kFrameW} * kFrameH);
}

void BM_MemcpyFrame(benchmark::State& state) {
    std::vector<TESS_pixel> src(size_t(kFrameW) * kFrameH, 0xFF102030u), dst(src.size(), 0);
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), src.size() * 4);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    set_pixels(state, int64_t{kFrameW} * kFrameH);
}

void BM_BlitAlphaSprites(benchmark::State& state) {
    TESS_MemBitmap sprite(kSpriteW, kSpriteH), frame(kFrameW, kFrameH);
    make_sprite(sprite);
    fill_pattern(frame);
    for (auto _ : state) {
        for (int i = 0; i < kSprites; ++i) {
            int x, y;
            sprite_position(i, &x, &y);
            TESS_Blit(&frame, &sprite, x, y, nullptr, 1.0f, TESS_BLIT_USE_ALPHA);
        }
        benchmark::DoNotOptimize(frame.bits());
        benchmark::ClobberMemory();
    }
    set_pixels(state, int64_t{kSprites} * kSpriteW * kSpriteH);
}

// The same sprites on one CPU path (the argument), chosen as TESS_DISABLE would choose it.
void BM_BlitAlphaSpritesOnPath(benchmark::State& state) {
    const TESS_CpuPath path = static_cast<TESS_CpuPath>(state.range(0));
    std::string wider;
    for (int32_t p = path + 1; p < TESS_CPU_PATH_COUNT; ++p)
        wider += std::string(TESS_CpuPathName(static_cast<TESS_CpuPath>(p))) + " ";
    if (TESS_ChooseCpuPath(wider.c_str()) != path) {
        TESS_ChooseCpuPath(std::getenv("TESS_DISABLE"));
        state.SkipWithError("this machine has no such CPU path");
        return;
    }
    state.SetLabel(TESS_CpuPathName(path));
    BM_BlitAlphaSprites(state);
    TESS_ChooseCpuPath(std::getenv("TESS_DISABLE"));
}

void BM_PixmanOverSprites(benchmark::State& state) {
    TESS_MemBitmap sprite(kSpriteW, kSpriteH), frame(kFrameW, kFrameH);
    make_sprite(sprite);
    fill_pattern(frame);
    // pixman composites premultiplied colour.
    for (int i = 0; i < kSpriteW * kSpriteH; ++i) {
        uint32_t p = sprite.bits()[i], a = p >> 24;
        uint32_t r = (p >> 16 & 255) * a / 255, g = (p >> 8 & 255) * a / 255, b = (p & 255) * a / 255;
        sprite.bits()[i] = a << 24 | r << 16 | g << 8 | b;
    }
    pixman_image_t* src = pixman_image_create_bits(PIXMAN_a8r8g8b8, kSpriteW, kSpriteH,
                                                   sprite.bits(), kSpriteW * 4);
    pixman_image_t* dst = pixman_image_create_bits(PIXMAN_a8r8g8b8, kFrameW, kFrameH,
                                                   frame.bits(), kFrameW * 4);
    for (auto _ : state) {
        for (int i = 0; i < kSprites; ++i) {
            int x, y;
            sprite_position(i, &x, &y);
            pixman_image_composite32(PIXMAN_OP_OVER, src, nullptr, dst, 0, 0, 0, 0, x, y,
                                     kSpriteW, kSpriteH);
        }
        benchmark::DoNotOptimize(frame.bits());
        benchmark::ClobberMemory();
    }
    pixman_image_unref(src);
    pixman_image_unref(dst);
    set_pixels(state, int64_t{kSprites} * kSpriteW * kSpriteH);
}

void BM_ClearFrame(benchmark::State& state) {
    TESS_MemBitmap frame(kFrameW, kFrameH);
    uint32_t colour = 0xFF203040;
    for (auto _ : state) {
        TESS_Clear(&frame, colour++);
        benchmark::DoNotOptimize(frame.bits());
        benchmark::ClobberMemory();
    }
    set_pixels(state, int64_t{kFrameW} * kFrameH);
}

void BM_PlainFillFrame(benchmark::State& state) {
    std::vector<TESS_pixel> frame(size_t(kFrameW) * kFrameH);
    uint32_t colour = 0xFF203040;
    for (auto _ : state) {
        TESS_pixel* p = frame.data();
        const uint32_t c = colour++;
        for (size_t i = 0; i < frame.size(); ++i) p[i] = c;
        benchmark::DoNotOptimize(frame.data());
        benchmark::ClobberMemory();
    }
    set_pixels(state, int64_t{kFrameW} * kFrameH);
}

void BM_FillRectQuarter(benchmark::State& state) {
    TESS_MemBitmap frame(kFrameW, kFrameH);
    fill_pattern(frame);
    for (auto _ : state) {
        TESS_FillRect(&frame, 0, 0, kFrameW, kFrameH, 0xFF80C0E0, 0.25f, TESS_BLIT_MODE_COPY);
        benchmark::DoNotOptimize(frame.bits());
        benchmark::ClobberMemory();
    }
    set_pixels(state, int64_t{kFrameW} * kFrameH);
}

}  // namespace

BENCHMARK(BM_BlitCopyFrame);
BENCHMARK(BM_MemcpyFrame);
BENCHMARK(BM_BlitAlphaSprites);
BENCHMARK(BM_PixmanOverSprites);
BENCHMARK(BM_BlitAlphaSpritesOnPath)->Arg(TESS_CPU_GENERIC)->Arg(TESS_CPU_SSE2)->Arg(TESS_CPU_AVX2);
BENCHMARK(BM_ClearFrame);
BENCHMARK(BM_PlainFillFrame);
BENCHMARK(BM_FillRectQuarter);

int main(int argc, char** argv) { return run_benchmarks(argc, argv); }
