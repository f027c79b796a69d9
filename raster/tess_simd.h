// SSE2 kernels shared by the blit and scaled-blit loops (x86-64 builds only).
// Results are bit-exact to the per-pixel combiners of tess_combine.h.
#pragma once

#if defined(__SSE2__)
#include <emmintrin.h>

namespace tess {

// COPY by source alpha at alpha 1 on eight channels (two pixels) in 16-bit lanes, w = sa + 1.
// S * w + D * (256 - w) = 256 * D + (S - D) * w, and the sum is never negative, so the result
// is D + floor((S - D) * w / 256): the high half of ((S - D) << 7) * (2 * w), exact in 16 bits.
// The alpha lane does the same with S = w (giving (D * (256 - w) + w * w) / 256), except that
// sa = 255 uses S = 255 there, which yields 255 as the clamp would. For sa = 0 the factor is
// 0 instead of 1, which leaves the destination exactly as the skip does.
inline __m128i blend_alpha_full8(__m128i s16, __m128i d16, __m128i w2) {
    return _mm_add_epi16(d16, _mm_mulhi_epi16(_mm_slli_epi16(_mm_sub_epi16(s16, d16), 7), w2));
}

inline __m128i copy_alpha_full4(__m128i s, __m128i d) {
    const __m128i zero = _mm_setzero_si128();
    __m128i sa = _mm_srli_epi32(s, 24);
    __m128i w = _mm_add_epi32(_mm_add_epi32(sa, _mm_set1_epi32(1)), _mm_cmpeq_epi32(sa, zero));
    __m128i w2 = _mm_slli_epi32(w, 1);
    w2 = _mm_or_si128(w2, _mm_slli_epi32(w2, 16));
    // Alpha byte of the source becomes min(sa + 1, 255), the S of the alpha lane.
    __m128i sw = _mm_adds_epu8(s, _mm_set1_epi32(0x01000000));
    __m128i lo = blend_alpha_full8(_mm_unpacklo_epi8(sw, zero), _mm_unpacklo_epi8(d, zero),
                                   _mm_unpacklo_epi32(w2, w2));
    __m128i hi = blend_alpha_full8(_mm_unpackhi_epi8(sw, zero), _mm_unpackhi_epi8(d, zero),
                                   _mm_unpackhi_epi32(w2, w2));
    return _mm_packus_epi16(lo, hi);
}

}  // namespace tess

#endif
