// TESS_ScaledBlit: nearest, bilinear and reduction-kernel sampling, one row-loop template per
// family instantiated for every combiner, picked once per call; scale-1 requests go to TESS_Blit.
#include "raster/tess_scaled.h"

#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "raster/tess.h"
#include "raster/tess_kernels.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

using tess::apply_pixel;
using tess::Columns;

// Positions far outside any bitmap are clamped so that fixed-point arithmetic cannot
// overflow; 2^52 in 16.16 is 2^36 pixels, beyond every possible bitmap.
constexpr double FIXED_LIMIT = 4503599627370496.0;  // 2^52

int64_t to_fixed(double v) {
    if (!(v == v)) return 0;
    if (v > FIXED_LIMIT) return int64_t(FIXED_LIMIT);
    if (v < -FIXED_LIMIT) return -int64_t(FIXED_LIMIT);
    return int64_t(v);  // truncates toward zero
}

int64_t clamp_to_int64(double v, int64_t lo, int64_t hi) {
    if (!(v == v)) return lo;
    if (v <= double(lo)) return lo;
    if (v >= double(hi)) return hi;
    return int64_t(v);
}

float to_float(double v) {
    if (v > FLT_MAX) return INFINITY;
    if (v < -FLT_MAX) return -INFINITY;
    return float(v);
}

int64_t floor_div(int64_t a, int64_t b) {  // b > 0
    int64_t q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}
int64_t ceil_div(int64_t a, int64_t b) { return -floor_div(-a, b); }  // b > 0

// Destination columns i of [0, w) whose 16.16 position start + i * step lies in [lo, hi): a
// contiguous run, found once per call so that the row loops need no column bounds test.
Columns column_range(int64_t start, int64_t step, int64_t lo, int64_t hi, int32_t w) {
    // The usual case, every column inside, needs no division.
    if (step >= 0 && step < (int64_t(1) << 31) && start >= lo && start + int64_t(w - 1) * step < hi)
        return Columns{0, w, start};
    int64_t b, e;
    if (step > 0) {
        b = ceil_div(lo - start, step);
        e = ceil_div(hi - start, step);
    } else if (step < 0) {
        b = floor_div(start - hi, -step) + 1;
        e = floor_div(start - lo, -step) + 1;
    } else {
        b = 0;
        e = (start >= lo && start < hi) ? w : 0;
    }
    if (b < 0) b = 0;
    if (e > w) e = w;
    if (e <= b) return Columns{0, 0, start};
    return Columns{int32_t(b), int32_t(e), start + b * step};
}

// One call after clipping: the destination's first pixel and row step, the source's picture
// row 0 and row step (negative for a bottom-up bitmap), the source bounds, the steps.
struct Scaled {
    TESS_pixel* dst;
    ptrdiff_t dstStep;
    const TESS_pixel* src;
    ptrdiff_t srcStep;
    int32_t w, h;
    int32_t left, top, right, bottom;
    int64_t xstep;  // 16.16
    double ystart, ystep;
};

// Source row of a vertical position, or -1 when it lies outside [top, bottom). Rows cover
// [r, r + 1), so positions above the bitmap (negative) sample nothing.
inline int32_t source_row(const Scaled& s, double yp) {
    if (!(yp >= double(s.top) && yp < double(s.bottom))) return -1;
    return int32_t(yp);
}

inline void channels(TESS_pixel p, int32_t c[4]) {
    c[0] = int32_t(p & 0xFF);
    c[1] = int32_t(p >> 8 & 0xFF);
    c[2] = int32_t(p >> 16 & 0xFF);
    c[3] = int32_t(p >> 24);
}

template <class Op>
void scaled_nearest(const Scaled& s, const Columns& cols, int32_t e) {
    TESS_pixel* d = s.dst;
    double yp = s.ystart;
    for (int32_t j = 0; j < s.h; ++j, d += s.dstStep, yp += s.ystep) {
        const int32_t r = source_row(s, yp);
        if (r < 0) continue;
        const TESS_pixel* row = s.src + ptrdiff_t(r) * s.srcStep;
        int64_t xp = cols.pos;
        for (int32_t i = cols.begin; i < cols.end; ++i, xp += s.xstep)
            apply_pixel<Op>(d + i, row[xp >> 16], e);
    }
}

// Sustain trails and other source-alpha stretches: the chosen path's row loop.
template <>
void scaled_nearest<tess::CopyAlphaFull>(const Scaled& s, const Columns& cols, int32_t) {
    tess::StretchRow row;
    row.dst = s.dst;
    row.cols = cols;
    row.step = s.xstep;
    const auto stretch = tess::kernels().stretch_alpha_full;
    double yp = s.ystart;
    for (int32_t j = 0; j < s.h; ++j, row.dst += s.dstStep, yp += s.ystep) {
        const int32_t r = source_row(s, yp);
        if (r < 0) continue;
        row.row = s.src + ptrdiff_t(r) * s.srcStep;
        stretch(row);
    }
}

// Pixel (c, r) interpolated with (c + 1, r), (c, r + 1) and (c + 1, r + 1), from pointers to
// the first two in their rows. The four weights add up to 65536, so every channel's weighted
// sum stays below 2^24 and the sample's channels below 256.
inline TESS_pixel bilinear_sample(const TESS_pixel* top, const TESS_pixel* bottom, uint32_t fx,
                                  uint32_t fy) {
    const int32_t w11 = int32_t((fx * fy) >> 16);
    const int32_t w01 = int32_t(fx) - w11;
    const int32_t w10 = int32_t(fy) - w11;
    const int32_t w00 = 65536 - w01 - int32_t(fy);
#if defined(__SSE2__)
    // Channels as 16-bit pairs (left, right) and weights split as 256 * high + low, both halves
    // within signed 16 bits, so that one multiply-add takes a pair of pixels per channel.
    const __m128i zero = _mm_setzero_si128();
    __m128i t = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(top));
    __m128i b = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(bottom));
    t = _mm_unpacklo_epi8(_mm_unpacklo_epi8(t, _mm_srli_si128(t, 4)), zero);
    b = _mm_unpacklo_epi8(_mm_unpacklo_epi8(b, _mm_srli_si128(b, 4)), zero);
    const __m128i th = _mm_set1_epi32((w01 >> 8) << 16 | (w00 >> 8));
    const __m128i tl = _mm_set1_epi32((w01 & 255) << 16 | (w00 & 255));
    const __m128i bh = _mm_set1_epi32((w11 >> 8) << 16 | (w10 >> 8));
    const __m128i bl = _mm_set1_epi32((w11 & 255) << 16 | (w10 & 255));
    const __m128i high = _mm_add_epi32(_mm_madd_epi16(t, th), _mm_madd_epi16(b, bh));
    const __m128i low = _mm_add_epi32(_mm_madd_epi16(t, tl), _mm_madd_epi16(b, bl));
    __m128i sum = _mm_srli_epi32(_mm_add_epi32(_mm_slli_epi32(high, 8), low), 16);
    sum = _mm_packs_epi32(sum, sum);
    return TESS_pixel(_mm_cvtsi128_si32(_mm_packus_epi16(sum, sum)));
#else
    TESS_pixel out = 0;
    for (int k = 0; k < 32; k += 8) {
        const uint32_t v = (top[0] >> k & 0xFF) * uint32_t(w00) + (top[1] >> k & 0xFF) * uint32_t(w01) +
                           (bottom[0] >> k & 0xFF) * uint32_t(w10) +
                           (bottom[1] >> k & 0xFF) * uint32_t(w11);
        out |= (v >> 16) << k;
    }
    return out;
#endif
}

// Bilinear weights of 16 bits: the four of a pixel add up to 65536. The last source row and
// column are interpolated in one direction only, so nothing past the bounds is read.
template <class Op>
void scaled_bilinear(const Scaled& s, const Columns& inner, const Columns& last, int32_t e) {
    TESS_pixel* d = s.dst;
    double yp = s.ystart;
    for (int32_t j = 0; j < s.h; ++j, d += s.dstStep, yp += s.ystep) {
        const int32_t r = source_row(s, yp);
        if (r < 0) continue;
        const TESS_pixel* row = s.src + ptrdiff_t(r) * s.srcStep;
        int64_t xp = inner.pos;
        if (r < s.bottom - 1) {
            const TESS_pixel* below = row + s.srcStep;
            const uint32_t fy = uint32_t((yp - r) * 65536.0);
            for (int32_t i = inner.begin; i < inner.end; ++i, xp += s.xstep) {
                const int32_t c = int32_t(xp >> 16);
                const TESS_pixel p = bilinear_sample(row + c, below + c, uint32_t(xp) & 0xFFFF, fy);
                apply_pixel<Op>(d + i, p, e);
            }
            xp = last.pos;
            for (int32_t i = last.begin; i < last.end; ++i, xp += s.xstep) {
                const int32_t c = int32_t(xp >> 16);
                int32_t p0[4], p1[4], o[4];
                channels(row[c], p0);
                channels(below[c], p1);
                for (int k = 0; k < 4; ++k)
                    o[k] = (p0[k] * int32_t(65536 - fy) + p1[k] * int32_t(fy)) / 65536;
                Op::apply(d + i, o[2], o[1], o[0], o[3], e);
            }
        } else {
            for (int32_t i = inner.begin; i < inner.end; ++i, xp += s.xstep) {
                const int32_t c = int32_t(xp >> 16);
                const int32_t fx = int32_t(xp & 0xFFFF);
                int32_t p0[4], p1[4], o[4];
                channels(row[c], p0);
                channels(row[c + 1], p1);
                for (int k = 0; k < 4; ++k) o[k] = (p0[k] * (65536 - fx) + p1[k] * fx) / 65536;
                Op::apply(d + i, o[2], o[1], o[0], o[3], e);
            }
            xp = last.pos;
            for (int32_t i = last.begin; i < last.end; ++i, xp += s.xstep)
                apply_pixel<Op>(d + i, row[xp >> 16], e);
        }
    }
}

// Weights of the reduction kernel in 16.16, centre 65536, the others (g - 1) / distance.
struct Kernel {
    int32_t radius;  // 1 (3 x 3) or 2 (5 x 5)
    bool box;        // every weight 65536: a plain average
    int32_t w[5][5];
};

Kernel make_kernel(double g) {
    Kernel k;
    k.radius = g > 3.0 ? 2 : 1;
    k.box = true;
    for (int32_t dy = -k.radius; dy <= k.radius; ++dy) {
        for (int32_t dx = -k.radius; dx <= k.radius; ++dx) {
            int32_t weight = 65536;
            if (dx != 0 || dy != 0) {
                double v = (g - 1.0) / std::sqrt(double(dx * dx + dy * dy));
                weight = v < 0.0 ? 0 : (v > 1.0 ? 65536 : int32_t(v * 65536.0));
            }
            k.w[dy + k.radius][dx + k.radius] = weight;
            k.box = k.box && weight == 65536;
        }
    }
    return k;
}

// floor(s / n) for n of 1..25 and s up to 25 * 255, as (s * BOX_RECIPROCAL[n]) >> 24: exact
// because s * n < 2^24.
struct BoxReciprocals {
    uint32_t r[26];
    constexpr BoxReciprocals() : r() {
        for (uint32_t n = 1; n < 26; ++n) r[n] = ((1u << 24) + n - 1) / n;
    }
};
constexpr BoxReciprocals BOX_RECIPROCAL;

inline int32_t box_divide(uint32_t sum, int32_t n) {
    return int32_t((uint64_t(sum) * BOX_RECIPROCAL.r[n]) >> 24);
}

// The kernel with every weight 65536: sum * 65536 / (n * 65536) is the plain average sum / n.
template <class Op>
void scaled_box(const Scaled& s, const Columns& cols, int32_t radius, int32_t e) {
    TESS_pixel* d = s.dst;
    double yp = s.ystart;
    for (int32_t j = 0; j < s.h; ++j, d += s.dstStep, yp += s.ystep) {
        const int32_t r = source_row(s, yp);
        if (r < 0) continue;
        const int32_t r0 = r - radius < s.top ? s.top : r - radius;
        const int32_t r1 = r + radius > s.bottom - 1 ? s.bottom - 1 : r + radius;
        int64_t xp = cols.pos;
        for (int32_t i = cols.begin; i < cols.end; ++i, xp += s.xstep) {
            const int32_t c = int32_t(xp >> 16);
            const int32_t c0 = c - radius < s.left ? s.left : c - radius;
            const int32_t c1 = c + radius > s.right - 1 ? s.right - 1 : c + radius;
            const int32_t n = (r1 - r0 + 1) * (c1 - c0 + 1);
            uint32_t sum[4];
#if defined(__SSE2__)
            // Channel sums in 16-bit lanes: at most 25 * 255.
            const __m128i zero = _mm_setzero_si128();
            __m128i acc = zero;
            const int32_t count = c1 - c0 + 1;
            for (int32_t y = r0; y <= r1; ++y) {
                const TESS_pixel* p = s.src + ptrdiff_t(y) * s.srcStep + c0;
                int32_t x = 0;
                if (count >= 4) {
                    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
                    acc = _mm_add_epi16(acc, _mm_unpacklo_epi8(v, zero));
                    acc = _mm_add_epi16(acc, _mm_unpackhi_epi8(v, zero));
                    x = 4;
                }
                for (; x < count; ++x)
                    acc = _mm_add_epi16(acc, _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(p[x])), zero));
            }
            acc = _mm_add_epi16(acc, _mm_srli_si128(acc, 8));
            alignas(16) uint16_t lanes[8];
            _mm_store_si128(reinterpret_cast<__m128i*>(lanes), acc);
            for (int k = 0; k < 4; ++k) sum[k] = lanes[k];
#else
            sum[0] = sum[1] = sum[2] = sum[3] = 0;
            for (int32_t y = r0; y <= r1; ++y) {
                const TESS_pixel* row = s.src + ptrdiff_t(y) * s.srcStep;
                for (int32_t x = c0; x <= c1; ++x) {
                    const TESS_pixel p = row[x];
                    sum[0] += p & 0xFF;
                    sum[1] += p >> 8 & 0xFF;
                    sum[2] += p >> 16 & 0xFF;
                    sum[3] += p >> 24;
                }
            }
#endif
            Op::apply(d + i, box_divide(sum[2], n), box_divide(sum[1], n), box_divide(sum[0], n),
                      box_divide(sum[3], n), e);
        }
    }
}

// Weighted average of the kernel cells inside the source bounds. The centre is always inside,
// so the total is at least 65536; sums stay below 25 * 65536 * 255 < 2^31.
template <class Op>
void scaled_reduce(const Scaled& s, const Columns& cols, const Kernel& k, int32_t e) {
    TESS_pixel* d = s.dst;
    double yp = s.ystart;
    for (int32_t j = 0; j < s.h; ++j, d += s.dstStep, yp += s.ystep) {
        const int32_t r = source_row(s, yp);
        if (r < 0) continue;
        const int32_t r0 = r - k.radius < s.top ? s.top : r - k.radius;
        const int32_t r1 = r + k.radius > s.bottom - 1 ? s.bottom - 1 : r + k.radius;
        int64_t xp = cols.pos;
        for (int32_t i = cols.begin; i < cols.end; ++i, xp += s.xstep) {
            const int32_t c = int32_t(xp >> 16);
            const int32_t c0 = c - k.radius < s.left ? s.left : c - k.radius;
            const int32_t c1 = c + k.radius > s.right - 1 ? s.right - 1 : c + k.radius;
            int32_t sb = 0, sg = 0, sr = 0, sa = 0, total = 0;
            for (int32_t y = r0; y <= r1; ++y) {
                const TESS_pixel* row = s.src + ptrdiff_t(y) * s.srcStep;
                const int32_t* kw = k.w[y - r + k.radius];
                for (int32_t x = c0; x <= c1; ++x) {
                    const int32_t w = kw[x - c + k.radius];
                    const TESS_pixel p = row[x];
                    sb += w * int32_t(p & 0xFF);
                    sg += w * int32_t(p >> 8 & 0xFF);
                    sr += w * int32_t(p >> 16 & 0xFF);
                    sa += w * int32_t(p >> 24);
                    total += w;
                }
            }
            Op::apply(d + i, sr / total, sg / total, sb / total, sa / total, e);
        }
    }
}

enum class Family { Nearest, Bilinear, Reduce };

struct Plan {
    Scaled s;
    Family family;
    Columns cols;   // every column with a sample
    Columns inner;  // bilinear: columns left of the last source column
    Columns last;   // bilinear: columns on the last source column
    Kernel kernel;
};

template <class Op>
void run(const Plan& p, int32_t e) {
    switch (p.family) {
    case Family::Nearest: scaled_nearest<Op>(p.s, p.cols, e); break;
    case Family::Bilinear: scaled_bilinear<Op>(p.s, p.inner, p.last, e); break;
    case Family::Reduce:
        if (p.kernel.box) {
            scaled_box<Op>(p.s, p.cols, p.kernel.radius, e);
        } else {
            scaled_reduce<Op>(p.s, p.cols, p.kernel, e);
        }
        break;
    }
}

int32_t to_int32(int64_t v) {
    return v < INT32_MIN ? INT32_MIN : (v > INT32_MAX ? INT32_MAX : int32_t(v));
}

}  // namespace

void TESS_PrepareScaledBlit(TESS_ScaledBlitSetup* p, TESS_IBitmap* dest, TESS_IBitmap* src,
                            float sx, float sy, float sw, float sh, float alpha,
                            int32_t mode) noexcept {
    if (!p) return;
    p->dest = dest;
    p->src = src;
    p->sx = sx;
    p->sy = sy;
    p->sw = sw;
    p->sh = sh;
    p->alpha = alpha;
    p->mode = mode;
    p->destBits = dest ? dest->bits() : nullptr;
    p->destWidth = dest ? dest->width() : 0;
    p->destHeight = dest ? dest->height() : 0;
    p->destSpan = dest ? dest->rowSpan() : 0;
    p->destBottomUp = dest && dest->isBottomUp();
    p->srcBits = src ? src->bits() : nullptr;
    p->srcWidth = src ? src->width() : 0;
    p->srcHeight = src ? src->height() : 0;
    p->srcSpan = src ? src->rowSpan() : 0;
    p->srcBottomUp = src && src->isBottomUp();
}

void TESS_ScaledBlit(TESS_IBitmap* dest, TESS_IBitmap* src, int32_t dx, int32_t dy, int32_t dw,
                     int32_t dh, float sx, float sy, float sw, float sh, float alpha,
                     int32_t mode) noexcept {
    if (!dest || !src || dw == 0 || dh == 0 || alpha == 0.0f) return;
    TESS_ScaledBlitSetup p;
    TESS_PrepareScaledBlit(&p, dest, src, sx, sy, sw, sh, alpha, mode);
    TESS_ScaledBlitPrepared(&p, dx, dy, dw, dh);
}

void TESS_ScaledBlitPrepared(const TESS_ScaledBlitSetup* setup, int32_t dx, int32_t dy,
                             int32_t dw, int32_t dh) noexcept {
    if (!setup) return;
    const TESS_ScaledBlitSetup& c = *setup;
    TESS_IBitmap* dest = c.dest;
    TESS_IBitmap* src = c.src;
    float sx = c.sx, sy = c.sy, sw = c.sw, sh = c.sh;
    const float alpha = c.alpha;
    const int32_t mode = c.mode;
    if (!dest || !src || dw == 0 || dh == 0 || alpha == 0.0f) return;
    const int32_t filter = mode & TESS_BLIT_FILTER_MASK;
    // Scale 1: a plain blit, unless bilinear at a clearly fractional source position.
    if (std::fabs(double(sw - float(dw))) < 0.001 && std::fabs(double(sh - float(dh))) < 0.001) {
        const bool fractional = std::fabs(double(sx) - std::floor(double(sx) + 0.5)) >= 0.03 ||
                                std::fabs(double(sy) - std::floor(double(sy) + 0.5)) >= 0.03;
        if (filter != TESS_BLIT_FILTER_BILINEAR || !fractional) {
            TESS_RECT rect;
            const int64_t left = clamp_to_int64(double(sx) + 0.5, INT32_MIN, INT32_MAX);
            const int64_t top = clamp_to_int64(double(sy) + 0.5, INT32_MIN, INT32_MAX);
            rect.left = int32_t(left);
            rect.top = int32_t(top);
            rect.right = to_int32(left + dw);
            rect.bottom = to_int32(top + dh);
            TESS_Blit(dest, src, dx, dy, &rect, alpha, mode);
            return;
        }
    }

    // A negative destination size walks the source backwards from its far end.
    int64_t x = dx, y = dy, w = dw, h = dh;
    if (w < 0) {
        x += w;
        w = -w;
        sx = sx + sw;
        sw = -sw;
    }
    if (h < 0) {
        y += h;
        h = -h;
        sy = sy + sh;
        sh = -sh;
    }
    const double xstep = double(sw / float(w));
    const double ystep = double(sh / float(h));
    if (x < 0) {
        w += x;
        sx = to_float(double(sx) - double(x) * xstep);
        x = 0;
    }
    if (y < 0) {
        h += y;
        sy = to_float(double(sy) - double(y) * ystep);
        y = 0;
    }
    if (x + w > c.destWidth) w = c.destWidth - x;
    if (y + h > c.destHeight) h = c.destHeight - y;
    if (w < 1 || h < 1) return;
    if (!c.srcBits || !c.destBits) return;

    // Picture rows top-down whatever the bitmaps' row order.
    Plan p;
    Scaled& s = p.s;
    s.srcStep = c.srcBottomUp ? -ptrdiff_t(c.srcSpan) : ptrdiff_t(c.srcSpan);
    s.src = c.srcBits + (c.srcBottomUp ? ptrdiff_t(c.srcHeight - 1) * c.srcSpan : 0);
    s.dstStep = c.destBottomUp ? -ptrdiff_t(c.destSpan) : ptrdiff_t(c.destSpan);
    s.dst = c.destBits + (c.destBottomUp ? ptrdiff_t(c.destHeight - 1 - y) : ptrdiff_t(y)) * c.destSpan + x;
    s.w = int32_t(w);
    s.h = int32_t(h);
    const int32_t srcW = c.srcWidth, srcH = c.srcHeight;
    const int64_t left = clamp_to_int64(double(sx), 0, srcW);
    const int64_t top = clamp_to_int64(double(sy), 0, srcH);
    const int64_t right = clamp_to_int64(std::ceil(double(sx + sw)), INT32_MIN, srcW);
    const int64_t bottom = clamp_to_int64(std::ceil(double(sy + sh)), INT32_MIN, srcH);
    if (right <= left || bottom <= top) return;
    s.left = int32_t(left);
    s.top = int32_t(top);
    s.right = int32_t(right);
    s.bottom = int32_t(bottom);
    const int64_t xstart = to_fixed(double(sx) * 65536.0);
    s.xstep = to_fixed(xstep * 65536.0);
    s.ystart = double(sy);
    s.ystep = ystep;

    const int64_t lo = int64_t(s.left) << 16, hi = int64_t(s.right) << 16;
    p.cols = column_range(xstart, s.xstep, lo, hi, s.w);
    if (p.cols.begin >= p.cols.end) return;
    const int32_t e = TESS_AlphaWeight(alpha);

    // COPY without source alpha and without a filter: the half blend and the plain store.
    if ((mode & 0x1FFFF) == 0 && (alpha == 0.5f || alpha == 1.0f)) {
        if (alpha == 0.5f) {
            scaled_nearest<tess::HalfBlend>(s, p.cols, e);
        } else {
            scaled_nearest<tess::Store>(s, p.cols, e);
        }
        return;
    }

    if (filter == TESS_BLIT_FILTER_BILINEAR && xstep >= 1.7 && ystep >= 1.7) {
        p.family = Family::Reduce;
        p.kernel = make_kernel(xstep > ystep ? xstep : ystep);
    } else if (filter == TESS_BLIT_FILTER_BILINEAR) {
        p.family = Family::Bilinear;
        const int64_t lastCol = int64_t(s.right - 1) << 16;
        p.inner = column_range(xstart, s.xstep, lo, lastCol, s.w);
        p.last = column_range(xstart, s.xstep, lastCol, hi, s.w);
    } else {
        p.family = Family::Nearest;
    }

    const int32_t key = mode & (TESS_BLIT_USE_ALPHA | TESS_BLIT_MODE_MASK);
    if (key == TESS_BLIT_MODE_COPY) {
        if (alpha == 1.0f) {
            run<tess::Store>(p, e);
        } else if (alpha > 0.0f) {
            run<tess::Copy>(p, e);
        }
        return;
    }
    tess::with_blit_combiner(key, alpha, [&](auto op) { run<decltype(op)>(p, e); });
}
