// TESS_ScaledBlit: nearest, bilinear and reduction-kernel sampling, one row-loop template per
// family instantiated for every combiner, picked once per call; scale-1 requests go to TESS_Blit.
#include "raster/tess_scaled.h"

#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "raster/tess.h"
#include "raster/tess_kernels.h"

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
    int32_t srcWidth;
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

// What a sampled strip row becomes in the destination, picked once per call: `row` combines
// n samples into n destination pixels; without it (the plain store) the sampling loop writes
// its samples straight into the destination.
struct Combine {
    void (*row)(TESS_pixel* d, const TESS_pixel* s, int32_t n, int32_t e);
    int32_t e;
};

template <class Op>
void combine_row(TESS_pixel* d, const TESS_pixel* s, int32_t n, int32_t e) {
    for (int32_t i = 0; i < n; ++i) apply_pixel<Op>(d + i, s[i], e);
}

// The track image's combine: the chosen path's source-alpha blit of one row.
void combine_alpha_full(TESS_pixel* d, const TESS_pixel* s, int32_t n, int32_t) {
    const tess::BlitRows r = {d, 0, s, 0, n, 1, nullptr, 0};
    tess::kernels().copy_alpha_full(r);
}

template <class Op>
Combine combine_of(int32_t e) {
    if constexpr (std::is_same_v<Op, tess::Store>) return Combine{nullptr, e};
    else if constexpr (std::is_same_v<Op, tess::CopyAlphaFull>) return Combine{combine_alpha_full, e};
    else return Combine{combine_row<Op>, e};
}

// Hands a strip row's samples to the combine, or, for the plain store, had them written in place.
inline TESS_pixel* strip_target(const Combine& cb, TESS_pixel* d, TESS_pixel* samples) {
    return cb.row ? samples : d;
}
inline void strip_done(const Combine& cb, TESS_pixel* d, const TESS_pixel* samples, int32_t n) {
    if (cb.row) cb.row(d, samples, n, cb.e);
}

// Bilinear sampling, SCALE_STRIP destination columns at a time. The last source row and column
// are interpolated in one direction only, so nothing past the bounds is read: a column on the
// last source column reads that column twice with fx = 0, the last source row stands for both
// rows of its pair. Each source row is gathered once, into one of two slots by its parity, and
// each pair of rows is prepared once for all the destination rows between them.
void bilinear_strips(const Scaled& s, const Columns& cols, const Combine& cb) {
    const tess::Kernels& kn = tess::kernels();
    alignas(32) int32_t c0[tess::SCALE_STRIP], c1[tess::SCALE_STRIP], fx[tess::SCALE_STRIP];
    alignas(32) int32_t pick0[tess::SCALE_STRIP], pick1[tess::SCALE_STRIP];
    int32_t run[tess::SCALE_STRIP / tess::SCALE_GROUP], runPixels[tess::SCALE_STRIP / tess::SCALE_GROUP];
    alignas(32) TESS_pixel gathered[2][2][tess::SCALE_STRIP];
    alignas(32) unsigned char pair[tess::SCALE_STRIP * tess::BILINEAR_PAIR_BYTES];
    alignas(32) TESS_pixel samples[tess::SCALE_STRIP];
    for (int32_t b = cols.begin; b < cols.end; b += tess::SCALE_STRIP) {
        const int32_t n = cols.end - b < tess::SCALE_STRIP ? cols.end - b : tess::SCALE_STRIP;
        int64_t xp = cols.pos + int64_t(b - cols.begin) * s.xstep;
        for (int32_t k = 0; k < n; ++k, xp += s.xstep) {
            const int32_t c = int32_t(xp >> 16);
            const bool inner = c < s.right - 1;
            c0[k] = c;
            c1[k] = inner ? c + 1 : c;
            fx[k] = inner ? int32_t(xp & 0xFFFF) : 0;
        }
        for (int32_t k = n; k < tess::SCALE_GROUP; ++k) {
            c0[k] = c0[n - 1];
            c1[k] = c1[n - 1];
            fx[k] = fx[n - 1];
        }
        // Groups whose pixels lie within SCALE_GROUP source pixels (columns stepping right by at
        // most one), or twice that: what each of their columns reads, from the first.
        for (int32_t g = 0; g < tess::group_count(tess::SCALE_GROUP, n); ++g) {
            const int32_t k = tess::group_start(g, tess::SCALE_GROUP, n), e = k + tess::SCALE_GROUP - 1;
            const int32_t first = c0[k], span = c1[e] - first + 1;
            runPixels[g] = span <= tess::SCALE_GROUP ? tess::SCALE_GROUP : 2 * tess::SCALE_GROUP;
            const bool fits = c0[e] >= first && span <= runPixels[g] && first + runPixels[g] <= s.srcWidth;
            run[g] = fits ? first : -1;
            for (int32_t q = k; fits && q <= e; ++q) {
                pick0[q] = c0[q] - first;
                pick1[q] = c1[q] - first;
            }
        }
        const tess::BilinearColumns bc = {c0, c1, fx, n, run, runPixels, pick0, pick1};
        int32_t slotRow[2] = {-1, -1};
        // The source pixels the strip reads of a row: asked for two rows ahead of the gather,
        // as a strip walks down the source with a whole row between its reads.
        const ptrdiff_t spanFirst = c0[0] < c0[n - 1] ? c0[0] : c0[n - 1];
        const ptrdiff_t spanLast = c1[0] > c1[n - 1] ? c1[0] : c1[n - 1];
        auto row_pixels = [&](int32_t r) {
            const int32_t slot = r & 1;
            if (slotRow[slot] != r) {
                if (r + 2 < s.bottom) {
                    const char* ahead = reinterpret_cast<const char*>(s.src + ptrdiff_t(r + 2) * s.srcStep);
                    for (ptrdiff_t byte = spanFirst * 4; byte <= spanLast * 4 + 60; byte += 64)
                        __builtin_prefetch(ahead + byte);
                }
                kn.bilinear_gather(gathered[slot][0], gathered[slot][1], s.src + ptrdiff_t(r) * s.srcStep, bc);
                slotRow[slot] = r;
            }
            return gathered[slot];
        };
        int32_t pairRow = -1;
        TESS_pixel* d = s.dst + b;
        double yp = s.ystart;
        for (int32_t j = 0; j < s.h; ++j, d += s.dstStep, yp += s.ystep) {
            const int32_t r = source_row(s, yp);
            if (r < 0) continue;
            const bool lastRow = r >= s.bottom - 1;
            const uint32_t fy = lastRow ? 0 : uint32_t((yp - r) * 65536.0);
            TESS_pixel* target = strip_target(cb, d, samples);
            if (r == pairRow) {
                kn.bilinear_row(target, pair, bc, fy);
            } else {
                TESS_pixel(*top)[tess::SCALE_STRIP] = row_pixels(r);
                TESS_pixel(*bottom)[tess::SCALE_STRIP] = lastRow ? top : row_pixels(r + 1);
                const TESS_pixel* const rows[4] = {top[0], top[1], bottom[0], bottom[1]};
                // The pair is kept only when the next destination row lies between the same rows.
                if (j + 1 < s.h && source_row(s, yp + s.ystep) == r) {
                    kn.bilinear_pair(pair, rows, bc);
                    pairRow = r;
                    kn.bilinear_row(target, pair, bc, fy);
                } else {
                    kn.bilinear_row_once(target, rows, bc, fy);
                }
            }
            strip_done(cb, d, samples, n);
        }
    }
}

// Weights of the reduction kernel in 16.16, centre 65536, the others (g - 1) / distance.
// A cell's weight depends only on its squared distance from the centre: 1, 2, 4, 5 or 8 (the
// last three only in 5 x 5), each found once.
tess::ReduceKernel make_kernel(double g) {
    tess::ReduceKernel k;
    k.radius = g > 3.0 ? 2 : 1;
    static const int32_t SQUARED[5] = {1, 2, 4, 5, 8};
    int32_t of[9] = {65536, 0, 0, 0, 0, 0, 0, 0, 0};  // by squared distance
    k.box = true;
    for (int32_t c = 0; c < (k.radius == 2 ? 5 : 2); ++c) {
        const double v = (g - 1.0) / std::sqrt(double(SQUARED[c]));
        const int32_t weight = v < 0.0 ? 0 : (v > 1.0 ? 65536 : int32_t(v * 65536.0));
        of[SQUARED[c]] = weight;
        k.hi[c] = int16_t(weight >> 8);
        k.lo[c] = int16_t(weight & 255);
        k.box = k.box && weight == 65536;
    }
    for (int32_t c = k.radius == 2 ? 5 : 2; c < 5; ++c) k.hi[c] = k.lo[c] = 0;
    for (int32_t dy = -k.radius; dy <= k.radius; ++dy)
        for (int32_t dx = -k.radius; dx <= k.radius; ++dx) k.w[dy + k.radius][dx + k.radius] = of[dx * dx + dy * dy];
    return k;
}

// The rows of a reduction's kernel that lie inside the source bounds, as a mask of kernel rows,
// and the divisor for their total, found once per mask.
struct RowTotals {
    bool known[32] = {};
    bool exact[32] = {};
    int32_t total[32] = {};
    tess::Divisor div[32] = {};
    tess::Divisor16 div16[32] = {};
};

// Calls f(d, r) for each destination row d whose vertical position lies on source row r.
template <class F>
void for_each_row(const Scaled& s, F&& f) {
    TESS_pixel* d = s.dst;
    double yp = s.ystart;
    for (int32_t j = 0; j < s.h; ++j, d += s.dstStep, yp += s.ystep) {
        const int32_t r = source_row(s, yp);
        if (r >= 0) f(d, r);
    }
}

// Reduction sampling, REDUCE_STRIP destination columns at a time, by the path's kernels: they
// share the source columns of overlapping kernels between neighbouring columns, and sample
// the few columns whose kernel reaches past the source's left or right edge one by one.
void reduce_strips(const Scaled& s, const Columns& cols, const tess::ReduceKernel& k, const Combine& cb) {
    const int32_t R = k.radius;
    const tess::Kernels& kn = tess::kernels();
    alignas(32) int32_t cx[tess::REDUCE_STRIP], at[tess::REDUCE_STRIP];
    tess::ColumnRun runs[tess::REDUCE_STRIP];
    alignas(32) TESS_pixel samples[tess::REDUCE_STRIP];
    RowTotals totals;
    for (int32_t b = cols.begin; b < cols.end; b += tess::REDUCE_STRIP) {
        const int32_t n = cols.end - b < tess::REDUCE_STRIP ? cols.end - b : tess::REDUCE_STRIP;
        int64_t xp = cols.pos + int64_t(b - cols.begin) * s.xstep;
        for (int32_t q = 0; q < n; ++q, xp += s.xstep) cx[q] = int32_t(xp >> 16);
        auto inside = [&](int32_t q) { return cx[q] - R >= s.left && cx[q] + R < s.right; };
        // With columns stepping right, those inside follow each other.
        int32_t ib = 0, ie = n;
        if (s.xstep >= 0) {
            while (ib < n && !inside(ib)) ++ib;
            while (ie > ib && !inside(ie - 1)) --ie;
        } else {
            ib = ie = n;
        }
        // The inner kernels' source columns as runs: a kernel that overlaps or touches the run
        // before extends it, any other starts a run of its own. A box whose kernels lie apart
        // sums each on its own and needs none.
        int32_t runCount = 0, entries = 0;
        const bool apart = k.box && s.xstep >= int64_t(2 * R + 1) << 16;
        for (int32_t q = ib; q < ie && !apart; ++q) {
            const int32_t c = cx[q];
            tess::ColumnRun* run = runCount ? &runs[runCount - 1] : nullptr;
            if (run && c - R <= run->src + run->n) {
                const int32_t end = c + R + 1 - run->src;
                if (end > run->n) {
                    entries += end - run->n;
                    run->n = end;
                }
                at[q] = run->at + (c - R - run->src);
            } else {
                runs[runCount++] = tess::ColumnRun{c - R, entries, 2 * R + 1};
                at[q] = entries;
                entries += 2 * R + 1;
            }
        }
        const tess::ReduceColumns rc = {cx, n, s.left, s.right, s.srcWidth, ib, ie, at, apart ? nullptr : runs, runCount};

        for_each_row(s, [&](TESS_pixel* d, int32_t r) {
            tess::ReduceRow row;
            row.kernel = &k;
            int32_t mask = 0;
            row.count = 0;
            for (int32_t q = 0; q <= 2 * R; ++q) {
                const int32_t y = r - R + q;
                const bool in = y >= s.top && y < s.bottom;
                row.rows[q] = in ? s.src + ptrdiff_t(y) * s.srcStep : nullptr;
                if (in) row.inside[row.count++] = row.rows[q];
                mask |= int32_t(in) << q;
            }
            if (!totals.known[mask]) {
                int32_t t = 0;
                for (int32_t q = 0; q <= 2 * R; ++q)
                    for (int32_t x = 0; mask >> q & 1 && x <= 2 * R; ++x) t += k.box ? 1 : k.w[q][x];
                totals.known[mask] = true;
                totals.total[mask] = t;
                totals.div16[mask] = tess::BOX_DIVISORS.of[k.box ? t : 0];
                totals.exact[mask] = k.box || tess::make_divisor(uint32_t(t), uint32_t(t) * 255u, &totals.div[mask]);
            }
            row.total = totals.total[mask];
            row.div = totals.div[mask];
            row.div16 = totals.div16[mask];
            TESS_pixel* out = d + b;
            TESS_pixel* target = strip_target(cb, out, samples);
            if (!totals.exact[mask]) {  // no exact multiplier: plain division
                tess::GENERIC_KERNELS.reduce_weighted(target, rc, row);
            } else if (k.box) {
                kn.reduce_box(target, rc, row);
            } else {
                kn.reduce_weighted(target, rc, row);
            }
            strip_done(cb, out, samples, n);
        });
    }
}

enum class Family { Nearest, Bilinear, Reduce };

struct Plan {
    Scaled s;
    Family family;
    Columns cols;  // every column with a sample
    tess::ReduceKernel kernel;
};

template <class Op>
void run(const Plan& p, int32_t e) {
    switch (p.family) {
    case Family::Nearest: scaled_nearest<Op>(p.s, p.cols, e); break;
    case Family::Bilinear: bilinear_strips(p.s, p.cols, combine_of<Op>(e)); break;
    case Family::Reduce: reduce_strips(p.s, p.cols, p.kernel, combine_of<Op>(e)); break;
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
    s.srcWidth = srcW;
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
