// Scaled blit and PNG loading benchmarks, each scaled blit beside pixman's bilinear or nearest
// composite of the same sizes in the same run.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_main.h"
#include "raster/tess.h"

namespace {

void fill_pattern(TESS_IBitmap& b, uint32_t alpha_mask) {
    TESS_pixel* p = b.bits();
    for (int i = 0; i < b.width() * b.height(); ++i)
        p[i] = (uint32_t(i) * 2654435761u >> 4) | alpha_mask;
}

// pixman image over a bitmap's pixels (both are 32-bit a8r8g8b8 in native byte order).
pixman_image_t* pixman_of(TESS_IBitmap& b) {
    return pixman_image_create_bits(PIXMAN_a8r8g8b8, b.width(), b.height(),
                                    reinterpret_cast<uint32_t*>(b.bits()), b.rowSpan() * 4);
}

void set_scale(pixman_image_t* src, double sx, double sy, pixman_filter_t filter) {
    pixman_transform_t t;
    pixman_transform_init_scale(&t, pixman_double_to_fixed(sx), pixman_double_to_fixed(sy));
    pixman_image_set_transform(src, &t);
    pixman_image_set_filter(src, filter, nullptr, 0);
    pixman_image_set_repeat(src, PIXMAN_REPEAT_PAD);
}

void set_pixels(benchmark::State& state, int64_t pixels) {
    state.SetItemsProcessed(state.iterations() * pixels);
}

struct Scale {
    int sw, sh, dw, dh;
};
constexpr Scale kBackground{1024, 1024, 1920, 1080};
constexpr Scale kGem{256, 128, 63, 32};
constexpr Scale kReduce{512, 256, 63, 32};

void tess_scale(benchmark::State& state, Scale s) {
    TESS_MemBitmap src(s.sw, s.sh), dst(s.dw, s.dh);
    fill_pattern(src, 0xFF000000u);
    for (auto _ : state) {
        TESS_ScaledBlit(&dst, &src, 0, 0, s.dw, s.dh, 0, 0, float(s.sw), float(s.sh), 1.0f,
                        TESS_BLIT_MODE_COPY | TESS_BLIT_FILTER_BILINEAR);
        benchmark::DoNotOptimize(dst.bits());
    }
    set_pixels(state, int64_t(s.dw) * s.dh);
}

void pixman_scale(benchmark::State& state, Scale s) {
    TESS_MemBitmap src(s.sw, s.sh), dst(s.dw, s.dh);
    fill_pattern(src, 0xFF000000u);
    pixman_image_t* ps = pixman_of(src);
    pixman_image_t* pd = pixman_of(dst);
    set_scale(ps, double(s.sw) / s.dw, double(s.sh) / s.dh, PIXMAN_FILTER_BILINEAR);
    for (auto _ : state) {
        pixman_image_composite32(PIXMAN_OP_SRC, ps, nullptr, pd, 0, 0, 0, 0, 0, 0, s.dw, s.dh);
        benchmark::DoNotOptimize(dst.bits());
    }
    pixman_image_unref(ps);
    pixman_image_unref(pd);
    set_pixels(state, int64_t(s.dw) * s.dh);
}

void BM_ScaleBackground(benchmark::State& state) { tess_scale(state, kBackground); }
void BM_PixmanScaleBackground(benchmark::State& state) { pixman_scale(state, kBackground); }
void BM_ScaleGemCopy(benchmark::State& state) { tess_scale(state, kGem); }
void BM_PixmanScaleGemCopy(benchmark::State& state) { pixman_scale(state, kGem); }
void BM_ScaleReduce(benchmark::State& state) { tess_scale(state, kReduce); }
void BM_PixmanScaleReduce(benchmark::State& state) { pixman_scale(state, kReduce); }

// A sustain trail: 300 one-row nearest blits of a 42-pixel strip with source alpha, widths
// 30..90, onto a frame.
constexpr int kStrip = 42, kRows = 300;

int64_t sustain_pixels() {
    int64_t n = 0;
    for (int j = 0; j < kRows; ++j) n += 30 + j % 61;
    return n;
}

void BM_SustainRows(benchmark::State& state) {
    TESS_MemBitmap strip(kStrip, 1), frame(400, kRows);
    fill_pattern(strip, 0x80000000u);
    fill_pattern(frame, 0xFF000000u);
    for (auto _ : state) {
        for (int j = 0; j < kRows; ++j) {
            const int w = 30 + j % 61;
            TESS_ScaledBlit(&frame, &strip, 200 - w / 2, j, w, 1, 0, 0, float(kStrip), 1.0f, 1.0f,
                            TESS_BLIT_MODE_COPY | TESS_BLIT_USE_ALPHA);
        }
        benchmark::DoNotOptimize(frame.bits());
    }
    set_pixels(state, sustain_pixels());
}

// The same trail as the renderer draws it: the strip and frame read once, then the rows.
void BM_SustainRowsPrepared(benchmark::State& state) {
    TESS_MemBitmap strip(kStrip, 1), frame(400, kRows);
    fill_pattern(strip, 0x80000000u);
    fill_pattern(frame, 0xFF000000u);
    for (auto _ : state) {
        TESS_ScaledBlitSetup setup;
        TESS_PrepareScaledBlit(&setup, &frame, &strip, 0, 0, float(kStrip), 1.0f, 1.0f,
                               TESS_BLIT_MODE_COPY | TESS_BLIT_USE_ALPHA);
        for (int j = 0; j < kRows; ++j) {
            const int w = 30 + j % 61;
            TESS_ScaledBlitPrepared(&setup, 200 - w / 2, j, w, 1);
        }
        benchmark::DoNotOptimize(frame.bits());
    }
    set_pixels(state, sustain_pixels());
}

void BM_PixmanSustainRows(benchmark::State& state) {
    TESS_MemBitmap strip(kStrip, 1), frame(400, kRows);
    fill_pattern(strip, 0x80000000u);
    fill_pattern(frame, 0xFF000000u);
    pixman_image_t* ps = pixman_of(strip);
    pixman_image_t* pd = pixman_of(frame);
    std::vector<pixman_transform_t> scales(61);
    for (int w = 30; w <= 90; ++w)
        pixman_transform_init_scale(&scales[w - 30], pixman_double_to_fixed(double(kStrip) / w),
                                    pixman_fixed_1);
    pixman_image_set_filter(ps, PIXMAN_FILTER_NEAREST, nullptr, 0);
    for (auto _ : state) {
        for (int j = 0; j < kRows; ++j) {
            const int w = 30 + j % 61;
            pixman_image_set_transform(ps, &scales[w - 30]);
            pixman_image_composite32(PIXMAN_OP_OVER, ps, nullptr, pd, 0, 0, 0, 0, 200 - w / 2, j, w, 1);
        }
        benchmark::DoNotOptimize(frame.bits());
    }
    pixman_image_unref(ps);
    pixman_image_unref(pd);
    set_pixels(state, sustain_pixels());
}

// A 256 x 128 RGBA picture written once with libpng's default row filters.
std::string png_path() {
    static std::string path;
    if (!path.empty()) return path;
    path = "/tmp/tiver_bench_256x128.png";
    std::vector<uint32_t> argb(256 * 128);
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 256; ++x) {
            const int dx = x - 128, dy = (y - 64) * 2;
            const int a = dx * dx + dy * dy < 120 * 120 ? 255 : (dx * dx + dy * dy < 126 * 126 ? 128 : 0);
            argb[size_t(y) * 256 + x] = uint32_t(a) << 24 | uint32_t(x) << 16 | uint32_t(2 * y) << 8 | uint32_t(x ^ y);
        }
    std::vector<png_byte> rgba(argb.size() * 4);
    for (size_t i = 0; i < argb.size(); ++i) {
        rgba[4 * i] = png_byte(argb[i] >> 16);
        rgba[4 * i + 1] = png_byte(argb[i] >> 8);
        rgba[4 * i + 2] = png_byte(argb[i]);
        rgba[4 * i + 3] = png_byte(argb[i] >> 24);
    }
    FILE* f = std::fopen(path.c_str(), "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (!f || !png || !info || setjmp(png_jmpbuf(png))) std::abort();
    png_init_io(png, f);
    png_set_IHDR(png, info, 256, 128, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < 128; ++y) png_write_row(png, &rgba[size_t(y) * 256 * 4]);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    return path;
}

void BM_LoadPng(benchmark::State& state) {
    const std::string path = png_path();
    TESS_MemBitmap into(1, 1);
    for (auto _ : state) {
        TESS_IBitmap* bm = TESS_LoadPNG(path.c_str(), &into);
        if (!bm) {
            state.SkipWithError("cannot load the benchmark picture");
            break;
        }
        benchmark::DoNotOptimize(bm->bits());
    }
    set_pixels(state, 256 * 128);
}

}  // namespace

BENCHMARK(BM_ScaleBackground);
BENCHMARK(BM_PixmanScaleBackground);
BENCHMARK(BM_ScaleGemCopy);
BENCHMARK(BM_PixmanScaleGemCopy);
BENCHMARK(BM_ScaleReduce);
BENCHMARK(BM_PixmanScaleReduce);
BENCHMARK(BM_SustainRows);
BENCHMARK(BM_SustainRowsPrepared);
BENCHMARK(BM_PixmanSustainRows);
BENCHMARK(BM_LoadPng);
int main(int argc, char** argv) { return run_benchmarks(argc, argv); }
