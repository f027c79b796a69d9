// TESS_Blit and TESS_Clear: unscaled copies and blends of one bitmap onto another, and whole-
// bitmap fills. Row loops are one template instantiated per combiner, picked once per call.

#include <cstddef>
#include "raster/tess_simd.h"
#include <cstring>

#include "raster/tess.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

using tess::apply_pixel;

// The clipped rectangle of one blit: first pixels, row steps in pixels (negative for a
// bottom-up bitmap), and its size.
struct BlitRows {
    TESS_pixel* dst;
    ptrdiff_t dstStep;
    const TESS_pixel* src;
    ptrdiff_t srcStep;
    int32_t w;
    int32_t h;
};

template <class Op>
void blit_rows(const BlitRows& r, int32_t e) {
    TESS_pixel* d = r.dst;
    const TESS_pixel* s = r.src;
    for (int32_t y = 0; y < r.h; ++y, d += r.dstStep, s += r.srcStep) {
        for (int32_t i = 0; i < r.w; ++i) apply_pixel<Op>(d + i, s[i], e);
    }
}

#if defined(__SSE2__)
using tess::copy_alpha_full4;

// 1..3 pixels into the low lanes of a vector, and back.
inline __m128i load_partial(const TESS_pixel* p, int32_t n) {
    if (n == 1) return _mm_cvtsi32_si128(static_cast<int>(p[0]));
    __m128i lo = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
    return n == 2 ? lo : _mm_unpacklo_epi64(lo, _mm_cvtsi32_si128(static_cast<int>(p[2])));
}
inline void store_partial(TESS_pixel* p, int32_t n, __m128i v) {
    if (n == 1) {
        p[0] = static_cast<TESS_pixel>(_mm_cvtsi128_si32(v));
        return;
    }
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v);
    if (n == 3) p[2] = static_cast<TESS_pixel>(_mm_cvtsi128_si32(_mm_srli_si128(v, 8)));
}

// Four pixels at d from sv: opaque groups are stored, transparent ones skipped, others blended.
inline void copy_alpha_full_group(TESS_pixel* d, __m128i sv, __m128i av, __m128i alphaMask) {
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(av, alphaMask)) == 0xFFFF) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), sv);
    } else if (_mm_movemask_epi8(_mm_cmpeq_epi32(av, _mm_setzero_si128())) != 0xFFFF) {
        __m128i dv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), copy_alpha_full4(sv, dv));
    }
}

template <>
void blit_rows<tess::CopyAlphaFull>(const BlitRows& r, int32_t) {
    const __m128i alphaMask = _mm_set1_epi32(static_cast<int32_t>(0xFF000000u));
    TESS_pixel* d = r.dst;
    const TESS_pixel* s = r.src;
    for (int32_t y = 0; y < r.h; ++y, d += r.dstStep, s += r.srcStep) {
        // Destination rows lie a whole frame row apart: ask for the one two rows ahead.
        if (y + 2 < r.h) {
            const char* ahead = reinterpret_cast<const char*>(d + 2 * r.dstStep);
            for (int32_t b = 0; b < r.w * 4; b += 64) _mm_prefetch(ahead + b, _MM_HINT_T0);
        }
        int32_t i = 0;
        // Eight pixels per step; runs that are wholly opaque or wholly transparent, the bulk of
        // a sprite, take one test for all eight and never read the destination.
        for (; i + 8 <= r.w; i += 8) {
            __m128i s0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
            __m128i s1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + 4));
            __m128i a0 = _mm_and_si128(s0, alphaMask), a1 = _mm_and_si128(s1, alphaMask);
            if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(a0, a1), alphaMask)) == 0xFFFF) {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), s0);
                _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i + 4), s1);
            } else if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_or_si128(a0, a1),
                                                         _mm_setzero_si128())) != 0xFFFF) {
                copy_alpha_full_group(d + i, s0, a0, alphaMask);
                copy_alpha_full_group(d + i + 4, s1, a1, alphaMask);
            }
        }
        if (i + 4 <= r.w) {
            __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
            copy_alpha_full_group(d + i, sv, _mm_and_si128(sv, alphaMask), alphaMask);
            i += 4;
        }
        // The last 1..3 pixels in one partial vector, touching only their own addresses.
        const int32_t rest = r.w - i;
        if (rest > 0) {
            __m128i sv = load_partial(s + i, rest);
            __m128i av = _mm_and_si128(sv, alphaMask);
            if (_mm_movemask_epi8(_mm_cmpeq_epi32(av, _mm_setzero_si128())) != 0xFFFF) {
                store_partial(d + i, rest, copy_alpha_full4(sv, load_partial(d + i, rest)));
            }
        }
    }
}
#endif

// COPY at alpha 1: whole rows moved unchanged. When both sides store the rows back to back
// in the same direction (full-width copies between packed bitmaps), one move covers them all.
void copy_rows(const BlitRows& r) {
    TESS_pixel* d = r.dst;
    const TESS_pixel* s = r.src;
    size_t bytes = static_cast<size_t>(r.w) * sizeof(TESS_pixel);
    if (r.h > 1 && r.srcStep == r.dstStep && (r.srcStep == r.w || r.srcStep == -r.w)) {
        const ptrdiff_t last = (r.h - 1) * r.srcStep;
        std::memmove(r.srcStep > 0 ? d : d + last, r.srcStep > 0 ? s : s + last, bytes * r.h);
        return;
    }
    for (int32_t y = 0; y < r.h; ++y, d += r.dstStep, s += r.srcStep) std::memmove(d, s, bytes);
}

// COPY at alpha 0.5: the half blend on whole words.
void half_rows(const BlitRows& r) {
    TESS_pixel* d = r.dst;
    const TESS_pixel* s = r.src;
    for (int32_t y = 0; y < r.h; ++y, d += r.dstStep, s += r.srcStep) {
        for (int32_t i = 0; i < r.w; ++i) d[i] = TESS_HalfBlend(s[i], d[i]);
    }
}

// One byte channel of the source into one byte channel of the destination.
void channel_copy_rows(const BlitRows& r, int32_t mode) {
    const unsigned srcShift = static_cast<unsigned>(mode & 3) * 8;
    const unsigned dstShift = static_cast<unsigned>(mode >> 2 & 3) * 8;
    const TESS_pixel keep = ~(0xFFu << dstShift);
    TESS_pixel* d = r.dst;
    const TESS_pixel* s = r.src;
    for (int32_t y = 0; y < r.h; ++y, d += r.dstStep, s += r.srcStep) {
        for (int32_t i = 0; i < r.w; ++i) {
            d[i] = (d[i] & keep) | ((s[i] >> srcShift & 0xFFu) << dstShift);
        }
    }
}

// First pixel of picture row y and the step to the next picture row.
TESS_pixel* row_start(TESS_IBitmap* b, TESS_pixel* bits, int32_t span, int32_t height, int64_t y,
                      ptrdiff_t* step) {
    if (b->isBottomUp()) {
        *step = -static_cast<ptrdiff_t>(span);
        return bits + (height - 1 - y) * static_cast<ptrdiff_t>(span);
    }
    *step = span;
    return bits + y * static_cast<ptrdiff_t>(span);
}

}  // namespace

void TESS_Blit(TESS_IBitmap* dest, TESS_IBitmap* src, int32_t x, int32_t y,
               const TESS_RECT* srcRect, float alpha, int32_t mode) noexcept {
    if (!dest || !src || alpha == 0.0f) return;

    // Clipping runs in 64 bits so that extreme coordinates cannot wrap.
    const int32_t sw = src->width(), sh = src->height();
    const int32_t dw = dest->width(), dh = dest->height();
    int64_t left = 0, top = 0, right = sw, bottom = sh;
    if (srcRect) {
        left = srcRect->left > 0 ? srcRect->left : 0;
        top = srcRect->top > 0 ? srcRect->top : 0;
        right = srcRect->right < sw ? srcRect->right : sw;
        bottom = srcRect->bottom < sh ? srcRect->bottom : sh;
    }
    // Clipping the source rectangle does not move the destination point.
    int64_t dx = x, dy = y;
    if (dx < 0) {
        left -= dx;
        dx = 0;
    }
    if (dy < 0) {
        top -= dy;
        dy = 0;
    }
    if (right - left + dx > dw) right = dw - dx + left;
    if (bottom - top + dy > dh) bottom = dh - dy + top;
    if (right <= left || bottom <= top) return;

    const int32_t srcSpan = src->rowSpan(), dstSpan = dest->rowSpan();
    TESS_pixel* srcBits = src->bits();
    TESS_pixel* dstBits = dest->bits();
    if (!srcBits || !dstBits) return;

    BlitRows r;
    r.src = row_start(src, srcBits, srcSpan, sh, top, &r.srcStep) + left;
    r.dst = row_start(dest, dstBits, dstSpan, dh, dy, &r.dstStep) + dx;
    r.w = static_cast<int32_t>(right - left);
    r.h = static_cast<int32_t>(bottom - top);

    // Channel copy comes before every other test: only alpha 0 stops it.
    if ((mode & 0xFF) >= TESS_BLIT_MODE_CHANNEL_COPY) {
        channel_copy_rows(r, mode);
        return;
    }

    const int32_t key = mode & (TESS_BLIT_USE_ALPHA | TESS_BLIT_MODE_MASK);
    if (key == TESS_BLIT_MODE_COPY) {
        if (alpha == 1.0f) {
            copy_rows(r);
        } else if (alpha == 0.5f) {
            half_rows(r);
        } else if (alpha > 0.0f) {
            blit_rows<tess::Copy>(r, TESS_AlphaWeight(alpha));
        }
        return;
    }
    const int32_t e = TESS_AlphaWeight(alpha);
    tess::with_blit_combiner(key, alpha, [&](auto op) { blit_rows<decltype(op)>(r, e); });
}

void TESS_Clear(TESS_IBitmap* bitmap, TESS_pixel colour) noexcept {
    if (!bitmap) return;
    TESS_pixel* row = bitmap->bits();
    const int32_t h = bitmap->height(), w = bitmap->width(), span = bitmap->rowSpan();
    if (!row || h < 1 || w < 1 || span < 1) return;
    if (span == w) {  // packed rows: one run of stores
        const size_t n = static_cast<size_t>(w) * static_cast<size_t>(h);
        for (size_t i = 0; i < n; ++i) row[i] = colour;
        return;
    }
    for (int32_t y = 0; y < h; ++y, row += span) {
        for (int32_t i = 0; i < w; ++i) row[i] = colour;
    }
}
