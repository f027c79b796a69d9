// The generic path: the per-frame loops in plain C, one pixel at a time. Every build has it;
// the vector paths must match it pixel for pixel. Also what every path may share: the C
// library's move and the gathering of bilinear columns.
#include <cstring>

#include "raster/tess_kernels.h"

namespace tess {

void move_rows(const BlitRows& r) {
    TESS_pixel* d = r.dst;
    const TESS_pixel* s = r.src;
    const size_t bytes = static_cast<size_t>(r.w) * sizeof(TESS_pixel);
    if (r.h > 1 && r.srcStep == r.dstStep && (r.srcStep == r.w || r.srcStep == -r.w)) {
        const ptrdiff_t last = (r.h - 1) * r.srcStep;
        std::memmove(r.srcStep > 0 ? d : d + last, r.srcStep > 0 ? s : s + last, bytes * r.h);
        return;
    }
    for (int32_t y = 0; y < r.h; ++y, d += r.dstStep, s += r.srcStep) std::memmove(d, s, bytes);
}

// Every cell inside weighted and summed, then divided by the weights' total: a box's plain sum,
// two channels to a word, by its count's reciprocal; any other kernel's by integer division.
TESS_pixel reduce_clipped(const ReduceColumns& c, const ReduceRow& r, int32_t k) {
    const ReduceKernel& kn = *r.kernel;
    const int32_t rad = kn.radius, cx = c.cx[k];
    const int32_t x0 = cx - rad < c.left ? c.left : cx - rad;
    const int32_t x1 = cx + rad >= c.right ? c.right - 1 : cx + rad;
    if (kn.box) {
        uint32_t even = 0, odd = 0;
        int32_t cells = 0;
        for (int32_t dy = 0; dy <= 2 * rad; ++dy) {
            const TESS_pixel* row = r.rows[dy];
            if (!row) continue;
            for (int32_t x = x0; x <= x1; ++x) {
                even += row[x] & 0x00FF00FFu;
                odd += row[x] >> 8 & 0x00FF00FFu;
            }
            cells += x1 - x0 + 1;
        }
        const Divisor16& d = BOX_DIVISORS.of[cells];
        auto q = [&](uint32_t v) { return int32_t((((v & 0xFFFFu) << d.pre) * d.m >> 16) >> d.post); };
        return TESS_PackPixel(q(even >> 16), q(odd), q(even), q(odd >> 16));
    }
    int32_t sum[4] = {0, 0, 0, 0}, total = 0;
    for (int32_t dy = 0; dy <= 2 * rad; ++dy) {
        const TESS_pixel* row = r.rows[dy];
        if (!row) continue;
        for (int32_t x = x0; x <= x1; ++x) {
            const int32_t w = kn.w[dy][x - cx + rad];
            for (int32_t ch = 0; ch < 4; ++ch) sum[ch] += w * int32_t(row[x] >> (8 * ch) & 0xFF);
            total += w;
        }
    }
    return TESS_PackPixel(sum[2] / total, sum[1] / total, sum[0] / total, sum[3] / total);
}

void bilinear_gather_pixels(TESS_pixel* left, TESS_pixel* right, const TESS_pixel* row,
                            const BilinearColumns& c) {
    const int32_t end = c.n > SCALE_GROUP ? c.n : SCALE_GROUP;  // a narrow strip's padding too
    for (int32_t k = 0; k < end; ++k) {
        left[k] = row[c.c0[k]];
        right[k] = row[c.c1[k]];
    }
}

namespace {

void copy_alpha_full(const BlitRows& r) { blit_rows<CopyAlphaFull>(r, 256); }
void copy_alpha(const BlitRows& r, int32_t e) { blit_rows<CopyAlpha>(r, e); }
void stretch_alpha_full(const StretchRow& r) { stretch_row<CopyAlphaFull>(r, 256); }

// The pair of rows kept as it is: the four pixels of each column.
void bilinear_pair(void* pair, const TESS_pixel* const rows[4], const BilinearColumns& c) {
    TESS_pixel* p = static_cast<TESS_pixel*>(pair);
    for (int32_t k = 0; k < c.n; ++k, p += 4)
        for (int32_t q = 0; q < 4; ++q) p[q] = rows[q][k];
}

// w11 = (fx * fy) >> 16, w01 = fx - w11, w10 = fy - w11, w00 = 65536 - w01 - fy: the four add up
// to 65536, so each channel's sum stays below 2^24.
inline TESS_pixel bilinear_sample(TESS_pixel p00, TESS_pixel p01, TESS_pixel p10, TESS_pixel p11,
                                  uint32_t fx, uint32_t fy) {
    const uint32_t w11 = (fx * fy) >> 16, w01 = fx - w11, w10 = fy - w11;
    const uint32_t w00 = 65536 - w01 - fy;
    TESS_pixel s = 0;
    for (int32_t ch = 0; ch < 32; ch += 8) {
        const uint32_t v = (p00 >> ch & 0xFF) * w00 + (p01 >> ch & 0xFF) * w01 +
                           (p10 >> ch & 0xFF) * w10 + (p11 >> ch & 0xFF) * w11;
        s |= (v >> 16) << ch;
    }
    return s;
}

void bilinear_row(TESS_pixel* out, const void* pair, const BilinearColumns& c, uint32_t fy) {
    const TESS_pixel* p = static_cast<const TESS_pixel*>(pair);
    for (int32_t k = 0; k < c.n; ++k, p += 4) out[k] = bilinear_sample(p[0], p[1], p[2], p[3], uint32_t(c.fx[k]), fy);
}

void bilinear_row_once(TESS_pixel* out, const TESS_pixel* const rows[4], const BilinearColumns& c,
                       uint32_t fy) {
    for (int32_t k = 0; k < c.n; ++k)
        out[k] = bilinear_sample(rows[0][k], rows[1][k], rows[2][k], rows[3][k], uint32_t(c.fx[k]), fy);
}

void reduce_cells(TESS_pixel* out, const ReduceColumns& c, const ReduceRow& r) {
    for (int32_t k = 0; k < c.n; ++k) out[k] = reduce_clipped(c, r, k);
}

}  // namespace

const Kernels GENERIC_KERNELS = {
    TESS_CPU_GENERIC,
    copy_alpha_full,
    copy_alpha,
    move_rows,
    stretch_alpha_full,
    {fill_words<Mix::Store>, fill_words<Mix::Half>, fill_words<Mix::Quarter>,
     fill_words<Mix::ThreeQuarters>},
    swap_red_blue_bytes,
    visible_span_pixels,
    bilinear_gather_pixels,
    bilinear_pair,
    bilinear_row,
    bilinear_row_once,
    reduce_cells,
    reduce_cells,
};

}  // namespace tess
