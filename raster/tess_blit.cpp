// TESS_Blit and TESS_Clear: unscaled copies and blends of one bitmap onto another, and whole-
// bitmap fills. Row loops are one template instantiated per combiner, picked once per call.

#include <cstddef>
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
// COPY by source alpha at alpha 1, four pixels at a time. With w = sa + 1 every term fits an
// unsigned 16-bit lane: colour S * w + D * (256 - w) <= 65280, and the alpha channel
// D * (256 - w) + w * w <= 65280 for sa <= 254. For sa = 255 the alpha lane uses 255 in place
// of w (255 * 256 / 256 = 255, the clamped result); sa = 0 keeps the destination.
inline __m128i copy_alpha_full4(__m128i s, __m128i d) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i alphaOne = _mm_set1_epi32(0x01000000);
    const __m128i w256 = _mm_set1_epi16(256);
    __m128i sa = _mm_srli_epi32(s, 24);
    __m128i w32 = _mm_add_epi32(sa, _mm_set1_epi32(1));
    __m128i w16 = _mm_or_si128(w32, _mm_slli_epi32(w32, 16));
    __m128i wl = _mm_unpacklo_epi32(w16, w16);
    __m128i wh = _mm_unpackhi_epi32(w16, w16);
    // Alpha byte of the source becomes min(sa + 1, 255), the factor of w in the alpha lane.
    __m128i sw = _mm_adds_epu8(s, alphaOne);
    __m128i lo = _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(sw, zero), wl),
                               _mm_mullo_epi16(_mm_unpacklo_epi8(d, zero), _mm_sub_epi16(w256, wl)));
    __m128i hi = _mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(sw, zero), wh),
                               _mm_mullo_epi16(_mm_unpackhi_epi8(d, zero), _mm_sub_epi16(w256, wh)));
    __m128i res = _mm_packus_epi16(_mm_srli_epi16(lo, 8), _mm_srli_epi16(hi, 8));
    __m128i keep = _mm_cmpeq_epi32(sa, zero);
    return _mm_or_si128(_mm_and_si128(keep, d), _mm_andnot_si128(keep, res));
}

template <>
void blit_rows<tess::CopyAlphaFull>(const BlitRows& r, int32_t) {
    const __m128i alphaMask = _mm_set1_epi32(static_cast<int32_t>(0xFF000000u));
    TESS_pixel* d = r.dst;
    const TESS_pixel* s = r.src;
    for (int32_t y = 0; y < r.h; ++y, d += r.dstStep, s += r.srcStep) {
        int32_t i = 0;
        for (; i + 4 <= r.w; i += 4) {
            __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
            int opaque = _mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(sv, alphaMask), alphaMask));
            if (opaque == 0xFFFF) {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), sv);
                continue;
            }
            int clear = _mm_movemask_epi8(
                _mm_cmpeq_epi32(_mm_and_si128(sv, alphaMask), _mm_setzero_si128()));
            if (clear == 0xFFFF) continue;
            __m128i dv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), copy_alpha_full4(sv, dv));
        }
        for (; i < r.w; ++i) apply_pixel<tess::CopyAlphaFull>(d + i, s[i], 256);
    }
}
#endif

// COPY at alpha 1: whole rows moved unchanged.
void copy_rows(const BlitRows& r) {
    TESS_pixel* d = r.dst;
    const TESS_pixel* s = r.src;
    size_t bytes = static_cast<size_t>(r.w) * sizeof(TESS_pixel);
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
    for (int32_t y = 0; y < h; ++y, row += span) {
        for (int32_t i = 0; i < w; ++i) row[i] = colour;
    }
}
