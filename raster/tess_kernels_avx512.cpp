// The AVX-512 path's own loop: the 5 x 5 box of a reduction whose kernels lie apart (a skin
// image scaled down five times or more), four pixels at a time. A byte permute (VBMI) puts
// each pixel's channel bytes of one row side by side, and a dot product with ones (VNNI) adds
// them into 32-bit lanes, one permute and one dot product per row for two pixels. Every other
// loop of the path is the AVX2 path's (the table in tess_kernels_avx2.cpp). Compiled for
// these extensions function by function, as the AVX2 unit is.
#include "raster/tess_kernels.h"

#if defined(__x86_64__) || defined(_M_X64)
#include <immintrin.h>

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2,avx512f,avx512bw,avx512vl,avx512vbmi,avx512vnni"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2,avx512f,avx512bw,avx512vl,avx512vbmi,avx512vnni")
// GCC's own AVX-512 intrinsics start some results from a deliberately undefined register, which
// its warning takes for an uninitialised variable.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

namespace tess {
namespace avx512 {
namespace {

// Where each 32-bit lane takes its bytes from sixteen pixels that begin at the first column of
// pixel a's window, for pixel b's window `apart` columns further on (5 to 11). Lanes 0..3 hold
// the first four columns of a's channels 0..3, lanes 4..7 those of b, lanes 8..11 and 12..15
// the fifth column of a and of b in their lowest byte (the other three bytes are zeroed by
// LAST_COLUMN_ONLY).
constexpr int32_t MIN_APART = 5, MAX_APART = 11;
struct PairIndex {
    alignas(64) uint8_t of[MAX_APART - MIN_APART + 1][64] = {};
    constexpr PairIndex() {
        for (int32_t apart = MIN_APART; apart <= MAX_APART; ++apart)
            for (int32_t lane = 0; lane < 16; ++lane)
                for (int32_t byte = 0; byte < 4; ++byte) {
                    const int32_t channel = lane & 3, second = lane >> 2 & 1;
                    const int32_t column = second * apart + (lane < 8 ? byte : 4);
                    of[apart - MIN_APART][4 * lane + byte] = uint8_t(column * 4 + channel);
                }
    }
};
constexpr PairIndex PAIR_INDEX;
constexpr __mmask64 LAST_COLUMN_ONLY = 0x11111111FFFFFFFFull;

// A Divisor16 over sixteen 16-bit lanes.
struct Divide16x16 {
    __m256i m;
    __m128i pre, post;
    explicit Divide16x16(const Divisor16& d)
        : m(_mm256_set1_epi16(static_cast<short>(d.m))), pre(_mm_cvtsi32_si128(d.pre)),
          post(_mm_cvtsi32_si128(d.post)) {}
    // Four pixels' channel sums, in pixel order, divided into the four pixels.
    __m128i operator()(__m256i sums) const {
        const __m256i q = _mm256_srl_epi16(_mm256_mulhi_epu16(_mm256_sll_epi16(sums, pre), m), post);
        return _mm256_castsi256_si128(_mm256_permute4x64_epi64(_mm256_packus_epi16(q, q), 0x08));
    }
};

// The row dot products of two pixels' windows, given the sixteen pixels of each row as
// `load(row)` returns them.
template <int32_t Count, class Load>
inline __m512i pair_lanes(const TESS_pixel* const* rows, __m512i index, Load load) {
    const __m512i ones = _mm512_set1_epi8(1);
    __m512i acc = _mm512_setzero_si512();
    for (int32_t q = 0; q < Count; ++q)
        acc = _mm512_dpbusd_epi32(acc, _mm512_maskz_permutexvar_epi8(LAST_COLUMN_ONLY, index, load(rows[q])), ones);
    return acc;
}

// Two pairs' lanes into the four pixels' channel sums, in 16-bit lanes and pixel order.
inline __m256i quad_sums(__m512i first, __m512i second) {
    const __m512i fourColumns = _mm512_shuffle_i64x2(first, second, 0x44);
    const __m512i fifthColumn = _mm512_shuffle_i64x2(first, second, 0xEE);
    return _mm512_cvtepi32_epi16(_mm512_add_epi32(fourColumns, fifthColumn));
}

// A pair whose sixteen pixels from a's window lie inside the row and hold b's window.
template <int32_t Count>
inline __m512i near_pair(const TESS_pixel* const* rows, int32_t a, int32_t b) {
    const __m512i index = _mm512_load_si512(PAIR_INDEX.of[b - a - MIN_APART]);
    return pair_lanes<Count>(rows, index, [&](const TESS_pixel* row) { return _mm512_loadu_si512(row + a - 2); });
}

// Any pair: windows of na and nb columns (0 to 5) from columns a and b, each read with a masked
// load of just those columns (the rest zero), a's into the low eight pixels, b's into the high
// ones.
template <int32_t Count>
inline __m512i any_pair(const TESS_pixel* const* rows, int32_t a, int32_t na, int32_t b, int32_t nb) {
    const __m512i index = _mm512_load_si512(PAIR_INDEX.of[8 - MIN_APART]);
    const __mmask8 ma = __mmask8((1u << na) - 1), mb = __mmask8((1u << nb) - 1);
    return pair_lanes<Count>(rows, index, [&](const TESS_pixel* row) {
        return _mm512_inserti64x4(_mm512_castsi256_si512(_mm256_maskz_loadu_epi32(ma, row + a)),
                                  _mm256_maskz_loadu_epi32(mb, row + b), 1);
    });
}

// The first pixel of a pair's lanes divided by d: a box cut by an edge.
inline TESS_pixel one_pixel(__m512i lanes, const Divisor16& d) {
    return static_cast<TESS_pixel>(_mm_cvtsi128_si32(Divide16x16(d)(quad_sums(lanes, _mm512_setzero_si512()))));
}

template <int32_t Count>
void box_row(TESS_pixel* out, const ReduceColumns& c, const TESS_pixel* const* rowList, const Divisor16& d) {
    const TESS_pixel* rows[Count];
    for (int32_t q = 0; q < Count; ++q) rows[q] = rowList[q];
    const int32_t* cx = c.cx;
    // Columns cut by the left or the right edge: the cells inside, divided by their count.
    auto clipped = [&](int32_t k) {
        const int32_t x0 = cx[k] - 2 < c.left ? c.left : cx[k] - 2;
        const int32_t x1 = cx[k] + 2 >= c.right ? c.right - 1 : cx[k] + 2;
        out[k] = one_pixel(any_pair<Count>(rows, x0, x1 - x0 + 1, x0, 0), BOX_DIVISORS.of[Count * (x1 - x0 + 1)]);
    };
    for (int32_t k = 0; k < c.innerBegin; ++k) clipped(k);
    for (int32_t k = c.innerEnd; k < c.n; ++k) clipped(k);

    const Divide16x16 divide(d);
    // Pair k, k + 1: read as sixteen pixels from k's window when they lie inside the row and
    // hold both windows.
    auto pair = [&](int32_t k) {
        if (cx[k + 1] - cx[k] <= MAX_APART && cx[k] + 14 <= c.width) return near_pair<Count>(rows, cx[k], cx[k + 1]);
        return any_pair<Count>(rows, cx[k] - 2, 5, cx[k + 1] - 2, 5);
    };
    const int32_t end = c.innerEnd;
    int32_t k = c.innerBegin;
    for (; k + 4 <= end; k += 4)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k), divide(quad_sums(pair(k), pair(k + 2))));
    if (k < end) {  // one to three pixels left
        const __m512i first = k + 2 <= end ? pair(k) : any_pair<Count>(rows, cx[k] - 2, 5, 0, 0);
        const __m512i second = k + 3 == end ? any_pair<Count>(rows, cx[k + 2] - 2, 5, 0, 0) : _mm512_setzero_si512();
        alignas(16) TESS_pixel last[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(last), divide(quad_sums(first, second)));
        for (int32_t q = 0; k + q < end; ++q) out[k + q] = last[q];
    }
}

}  // namespace

void reduce_box(TESS_pixel* out, const ReduceColumns& c, const ReduceRow& r) {
    // Overlapping kernels share their column sums (the runs), which the AVX2 loop does well.
    if (r.kernel->radius != 2 || c.runs) {
        AVX2_KERNELS.reduce_box(out, c, r);
        return;
    }
    switch (r.count) {  // the centre row is always there
    case 1: box_row<1>(out, c, r.inside, r.div16); break;
    case 2: box_row<2>(out, c, r.inside, r.div16); break;
    case 3: box_row<3>(out, c, r.inside, r.div16); break;
    case 4: box_row<4>(out, c, r.inside, r.div16); break;
    default: box_row<5>(out, c, r.inside, r.div16); break;
    }
}

}  // namespace avx512
}  // namespace tess

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
#endif
