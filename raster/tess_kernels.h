// The raster library's per-frame loops, one complete table per CPU path (generic C, SSE2,
// AVX2), and the table the drawing calls use. Internal to the library: blit, scaled blit, fill.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "raster/tess.h"

namespace tess {

// One blit after clipping: first pixels, row steps in pixels (negative for a bottom-up bitmap)
// and size. With `spans`, row y only changes the columns spans[y].begin - spanShift up to
// spans[y].end - spanShift (clipped to 0..w): the rest of the row is transparent, and the
// combine leaves a pixel alone under a transparent source.
struct BlitRows {
    TESS_pixel* dst;
    ptrdiff_t dstStep;
    const TESS_pixel* src;
    ptrdiff_t srcStep;
    int32_t w;
    int32_t h;
    const TESS_RowSpan* spans;
    int32_t spanShift;
};

// Columns [*begin, *end) of rectangle row y that a loop visits.
inline void row_columns(const BlitRows& r, int32_t y, int32_t* begin, int32_t* end) {
    if (!r.spans) {
        *begin = 0;
        *end = r.w;
        return;
    }
    const int32_t b = r.spans[y].begin - r.spanShift;
    const int32_t e = r.spans[y].end - r.spanShift;
    *begin = b < 0 ? 0 : b;
    *end = e > r.w ? r.w : e;
}

// Destination columns [begin, end) of a scaled row, and the 16.16 source position of `begin`.
struct Columns {
    int32_t begin;
    int32_t end;
    int64_t pos;
};

// One destination row of a nearest stretch: column i (begin <= i < end) takes source pixel
// row[(pos + (i - begin) * step) >> 16], every index inside the row's bounds.
struct StretchRow {
    TESS_pixel* dst;  // column 0
    const TESS_pixel* row;
    Columns cols;
    int64_t step;
};

// ---- Scaled blits by bilinear and reduction sampling, a strip of columns at a time ----------

// Destination columns per strip: a multiple of every path's vector width. A strip's buffers
// live on the stack of the sampling loop.
constexpr int32_t SCALE_STRIP = 256;
// The widest vector's pixels. Column arrays of a strip narrower than this are filled up to it,
// repeating the last column, so that a vector loop reads a whole group.
constexpr int32_t SCALE_GROUP = 8;

// The groups of a strip of n columns for a vector of `width` pixels: at 0, width, 2 * width
// and so on, the last one ending at n (overlapping the one before it), or a single group at 0
// when n < width, whose columns past n are padding.
inline int32_t group_start(int32_t g, int32_t width, int32_t n) {
    const int32_t last = n > width ? n - width : 0;
    return g * width < last ? g * width : last;
}
inline int32_t group_count(int32_t width, int32_t n) { return n > width ? (n + width - 1) / width : 1; }

// Bilinear columns of a strip: column k interpolates source columns c0[k] and c1[k] (c0[k] + 1,
// or c0[k] itself on the last source column) by the 16-bit fraction fx[k] (0 on the last
// source column). For the groups of SCALE_GROUP columns, run[g] is the first of runPixels[g]
// source pixels (SCALE_GROUP or twice that) that hold every pixel group g reads, at pick0 and
// pick1 from it, or -1.
struct BilinearColumns {
    const int32_t* c0;
    const int32_t* c1;
    const int32_t* fx;
    int32_t n;
    const int32_t* run;
    const int32_t* runPixels;
    const int32_t* pick0;
    const int32_t* pick1;
};

// The plain gather: one load per pixel.
void bilinear_gather_pixels(TESS_pixel* left, TESS_pixel* right, const TESS_pixel* row,
                            const BilinearColumns& c);

// Bytes per column of what a path keeps for a pair of source rows (bilinear_pair).
constexpr int32_t BILINEAR_PAIR_BYTES = 32;

// floor(s / d) as (s * m) >> k, exact for every s from 0 to the bound it was made for.
struct Divisor {
    uint32_t m;
    int32_t k;
};

// The divisor of d (>= 1) for dividends 0..most: false when no 32-bit multiplier is exact.
inline bool make_divisor(uint32_t d, uint32_t most, Divisor* out) {
    // s * m / 2^k = s / d + s * err / (d * 2^k) with err = m * d - 2^k < d; the extra part
    // stays below 1 / d, so the quotient's floor is unchanged, when most * err < 2^k.
    for (int32_t k = 0; k < 64; ++k) {
        const uint64_t p = uint64_t(1) << k;
        const uint64_t m = (p + d - 1) / d;
        if (m >> 32) return false;
        const uint64_t err = m * d - p;  // below d, so err * most fits 64 bits
        if (err * most < p) {
            out->m = uint32_t(m);
            out->k = k;
            return true;
        }
    }
    return false;
}

// floor(s / d) for the 16-bit sums of a box: the high half of (s << pre) * m, shifted right by
// post, exact for every s from 0 to the bound it was made for.
struct Divisor16 {
    uint16_t m = 0;
    int32_t pre = 0;
    int32_t post = 0;
};

// With K = 16 + post - pre the quotient is floor(s * m / 2^K), exact as for Divisor; s << pre
// must stay below 2^16.
constexpr bool make_divisor16(uint32_t d, uint32_t most, Divisor16* out) {
    for (int32_t k = 0; k < 32; ++k) {
        const uint64_t p = uint64_t(1) << k;
        const uint64_t m = (p + d - 1) / d;
        if (m >> 16) return false;
        const int32_t pre = k < 16 ? 16 - k : 0;
        if ((uint64_t(most) << pre) >> 16) continue;
        if ((m * d - p) * most < p) {
            out->m = uint16_t(m);
            out->pre = pre;
            out->post = k < 16 ? 0 : k - 16;
            return true;
        }
    }
    return false;
}

// The divisors of a box's cell counts 1 .. 25 for sums of up to 255 per cell.
struct BoxDivisors {
    Divisor16 of[26] = {};
    bool exact = true;
    constexpr BoxDivisors() {
        for (uint32_t n = 1; n <= 25; ++n) exact = make_divisor16(n, 255 * n, &of[n]) && exact;
    }
};
inline constexpr BoxDivisors BOX_DIVISORS;
static_assert(BOX_DIVISORS.exact, "every box count has an exact 16-bit divisor");

// The reduction kernel in 16.16 (65536 = 1): the centre 65536, every other cell at offset
// (dx, dy) min(1, (g - 1) / distance).
struct ReduceKernel {
    int32_t radius;   // 1 (3 x 3) or 2 (5 x 5)
    bool box;         // every weight 65536: a plain average
    int32_t w[5][5];  // by (dy + radius, dx + radius)
    // The weights at squared distances 1, 2, 4, 5 and 8, each as 256 * hi + lo.
    int16_t hi[5];
    int16_t lo[5];
};

// Source columns of a reduction strip: destination column k is centred on source column
// cx[k]. Its kernel's columns outside left .. right - 1 do not count; those of columns
// innerBegin .. innerEnd - 1 lie wholly inside. The inner columns' kernel columns are listed as
// runs, each source column once; `at[k]` is where column k's first kernel column
// (cx[k] - radius) lies among the run entries, which follow each other in the order of the runs.
// A box whose kernels lie apart has no runs (null).
struct ColumnRun {
    int32_t src;  // first source column
    int32_t at;   // its entry
    int32_t n;    // columns
};
constexpr int32_t REDUCE_STRIP = 128;
constexpr int32_t REDUCE_ENTRIES = REDUCE_STRIP * 5;
struct ReduceColumns {
    const int32_t* cx;
    int32_t n;
    int32_t left, right;
    int32_t width;  // pixels of a source row that may be read
    int32_t innerBegin, innerEnd;
    const int32_t* at;
    const ColumnRun* runs;
    int32_t runCount;
};

// One destination row of a reduction: the source rows r - radius .. r + radius (null where a
// row lies outside the source bounds), the kernel, and for the inner columns the sum of the
// weights of the cells inside (for a box, the number of cells) with its divisor.
struct ReduceRow {
    const TESS_pixel* rows[5];
    const TESS_pixel* inside[5];  // the rows that are not null, in order
    int32_t count;                // how many
    const ReduceKernel* kernel;
    int32_t total;
    Divisor div;      // for the weighted sums
    Divisor16 div16;  // for a box's sums
};

// One reduction sample of the cells inside the bounds, in plain C: the generic path's, and the
// vector paths' where a kernel reaches past the left or right edge.
TESS_pixel reduce_clipped(const ReduceColumns& c, const ReduceRow& r, int32_t k);

struct FillRows {
    TESS_pixel* first;
    ptrdiff_t step;
    int32_t w;
    int32_t h;
};

// Word mixes of COPY at the exact alphas 1, 0.5, 0.25 and 0.75 (fills): shifts and masks per
// byte, the masks dropping the bits that would cross into the next byte.
enum class Mix { Store, Half, Quarter, ThreeQuarters };

struct Kernels {
    TESS_CpuPath path;
    // COPY by source alpha at alpha 1 (TESS_CombineCopyAlphaFull): gems, markers, flares.
    void (*copy_alpha_full)(const BlitRows& r);
    // COPY by source alpha at a weight e of 0..256 (TESS_CombineCopyAlpha): gems fading out.
    void (*copy_alpha)(const BlitRows& r, int32_t e);
    // COPY at alpha 1: rows moved unchanged (the backdrop onto each frame).
    void (*copy)(const BlitRows& r);
    // A nearest-sampled row combined by source alpha at alpha 1: sustain trails.
    void (*stretch_alpha_full)(const StretchRow& r);
    // Colour c mixed into every pixel by the word mix of its index (Mix).
    void (*fill[4])(const FillRows& r, TESS_pixel c);
    // n pixels of bytes red, green, blue, alpha (any alignment) turned into TESS pixels (blue,
    // green, red, alpha): decoded PNG rows.
    void (*swap_red_blue)(uint8_t* pixels, int32_t n);
    // The columns [*begin, *end) of a row of n pixels from its first to its last pixel that
    // is not wholly transparent; an empty span at n when every pixel is.
    void (*visible_span)(const TESS_pixel* row, int32_t n, int32_t* begin, int32_t* end);
    // Bilinear sampling, one strip at a time. The pixels of columns c0 and c1 of one source row
    // into left and right, for every column of the strip's groups (a narrow strip's padding
    // included).
    void (*bilinear_gather)(TESS_pixel* left, TESS_pixel* right, const TESS_pixel* row,
                            const BilinearColumns& c);
    // What every destination row between two source rows shares, from the gathered pixels of
    // both (top left, top right, bottom left, bottom right): BILINEAR_PAIR_BYTES per column.
    void (*bilinear_pair)(void* pair, const TESS_pixel* const rows[4], const BilinearColumns& c);
    // The samples of one destination row at vertical fraction fy (16 bits) into out[0..n).
    void (*bilinear_row)(TESS_pixel* out, const void* pair, const BilinearColumns& c, uint32_t fy);
    // The same from the gathered pixels, for a pair of rows that serves one destination row.
    void (*bilinear_row_once)(TESS_pixel* out, const TESS_pixel* const rows[4],
                              const BilinearColumns& c, uint32_t fy);
    // The reduction samples of one destination row's strip into out[0..n): the plain average
    // of a box kernel, and the weighted average of any other.
    void (*reduce_box)(TESS_pixel* out, const ReduceColumns& c, const ReduceRow& r);
    void (*reduce_weighted)(TESS_pixel* out, const ReduceColumns& c, const ReduceRow& r);
};

// ---- Plain C loops: the generic table's, and every combiner's outside the tables ----

template <class Op>
void blit_rows(const BlitRows& r, int32_t e) {
    TESS_pixel* d = r.dst;
    const TESS_pixel* s = r.src;
    for (int32_t y = 0; y < r.h; ++y, d += r.dstStep, s += r.srcStep) {
        int32_t begin, end;
        row_columns(r, y, &begin, &end);
        for (int32_t i = begin; i < end; ++i) apply_pixel<Op>(d + i, s[i], e);
    }
}

template <class Op>
void stretch_row(const StretchRow& r, int32_t e) {
    int64_t xp = r.cols.pos;
    for (int32_t i = r.cols.begin; i < r.cols.end; ++i, xp += r.step)
        apply_pixel<Op>(r.dst + i, r.row[xp >> 16], e);
}

template <Mix M>
inline TESS_pixel mix_word(TESS_pixel c, TESS_pixel p) {
    if constexpr (M == Mix::Store) {
        return c;
    } else if constexpr (M == Mix::Half) {
        return TESS_HalfBlend(c, p);
    } else if constexpr (M == Mix::Quarter) {
        return ((p >> 1) & 0x7F7F7F7Fu) + ((p >> 2) & 0x3F3F3F3Fu) + ((c >> 2) & 0x3F3F3F3Fu);
    } else {
        return ((c >> 1) & 0x7F7F7F7Fu) + ((c >> 2) & 0x3F3F3F3Fu) + ((p >> 2) & 0x3F3F3F3Fu);
    }
}

template <Mix M>
void fill_words(const FillRows& r, TESS_pixel c) {
    TESS_pixel* row = r.first;
    for (int32_t y = 0; y < r.h; ++y, row += r.step) {
        for (int32_t i = 0; i < r.w; ++i) row[i] = mix_word<M>(c, row[i]);
    }
}

// Trims the transparent pixels at both ends, one at a time from begin and from end.
inline void trim_transparent(const TESS_pixel* row, int32_t* begin, int32_t* end) {
    while (*begin < *end && (row[*begin] >> 24) == 0) ++*begin;
    while (*end > *begin && (row[*end - 1] >> 24) == 0) --*end;
}

inline void visible_span_pixels(const TESS_pixel* row, int32_t n, int32_t* begin, int32_t* end) {
    *begin = 0;
    *end = n;
    trim_transparent(row, begin, end);
}

inline void swap_red_blue_bytes(uint8_t* p, int32_t n) {
    for (int32_t i = 0; i < n; ++i, p += 4) {
        const uint8_t red = p[0];
        p[0] = p[2];
        p[2] = red;
    }
}

// COPY at alpha 1 with the C library's move: whole rows, or one move of the whole block when
// both sides store the rows back to back in the same direction (full-width copies between
// packed bitmaps). The plain C path's copy, and every path's for a block that overlaps its own
// source; the vector paths copy every other block with their own loads and stores (copy_rows).
void move_rows(const BlitRows& r);

extern const Kernels GENERIC_KERNELS;
extern const Kernels SSE2_KERNELS;  // x86-64 builds only
extern const Kernels AVX2_KERNELS;  // x86-64 builds only
extern const Kernels AVX512_KERNELS;  // x86-64 builds only

namespace avx512 {
// The AVX-512 path's reduction box (tess_kernels_avx512.cpp).
void reduce_box(TESS_pixel* out, const ReduceColumns& c, const ReduceRow& r);
}  // namespace avx512

// The table of the chosen path; set before the program's entry point runs.
extern const Kernels* g_kernels;
inline const Kernels& kernels() { return *g_kernels; }


}  // namespace tess
