// The raster library's per-frame loops, one complete table per CPU path (generic C, SSE2,
// AVX2), and the table the drawing calls use. Internal to the library: blit, scaled blit, fill.
#pragma once

#include <cstddef>
#include <cstdint>

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

inline void swap_red_blue_bytes(uint8_t* p, int32_t n) {
    for (int32_t i = 0; i < n; ++i, p += 4) {
        const uint8_t red = p[0];
        p[0] = p[2];
        p[2] = red;
    }
}

// COPY at alpha 1 with memmove: whole rows, or one move when both sides store the rows back
// to back in the same direction (full-width copies between packed bitmaps).
void move_rows(const BlitRows& r);

extern const Kernels GENERIC_KERNELS;
extern const Kernels SSE2_KERNELS;  // x86-64 builds only
extern const Kernels AVX2_KERNELS;  // x86-64 builds only

// The table of the chosen path; set before the program's entry point runs.
extern const Kernels* g_kernels;
inline const Kernels& kernels() { return *g_kernels; }

// Whether the processor's string move is fast for large moves (ERMS); set with g_kernels.
extern bool g_fast_string_moves;

// COPY at alpha 1 by the processor's string move (x86-64 builds only): one move when both
// sides store the rows back to back in the same direction, else one per row. A large string
// move stores whole cache lines without reading them first, which vector stores cannot. Only
// moves of at least 4 KB, whose start-up is then paid back, between bytes that do not
// overlap; false, with nothing done, for any other.
bool string_move_rows(const BlitRows& r);

}  // namespace tess
