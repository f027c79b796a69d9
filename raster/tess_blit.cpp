// TESS_Blit and TESS_Clear: unscaled copies and blends of one bitmap onto another, and whole-
// bitmap fills. Row loops are one template instantiated per combiner, picked once per call.

#include <cstddef>

#include "raster/tess.h"
#include "raster/tess_kernels.h"

namespace {

using tess::BlitRows;

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

// TESS_Blit, and with spans (one per source picture row) TESS_BlitVisible.
void blit(TESS_IBitmap* dest, TESS_IBitmap* src, int32_t x, int32_t y, const TESS_RECT* srcRect,
          const TESS_RowSpan* spans, float alpha, int32_t mode) {
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
    r.spans = nullptr;
    r.spanShift = 0;

    // Channel copy comes before every other test: only alpha 0 stops it.
    if ((mode & 0xFF) >= TESS_BLIT_MODE_CHANNEL_COPY) {
        channel_copy_rows(r, mode);
        return;
    }

    const int32_t key = mode & (TESS_BLIT_USE_ALPHA | TESS_BLIT_MODE_MASK);
    if (key == TESS_BLIT_MODE_COPY) {
        if (alpha == 1.0f) {
            tess::kernels().copy(r);
        } else if (alpha == 0.5f) {
            half_rows(r);
        } else if (alpha > 0.0f) {
            tess::blit_rows<tess::Copy>(r, TESS_AlphaWeight(alpha));
        }
        return;
    }
    // These combines leave a pixel alone under a source of alpha 0, so only the spans count.
    if (spans && (key == (TESS_BLIT_USE_ALPHA | TESS_BLIT_MODE_COPY) ||
                  key == (TESS_BLIT_USE_ALPHA | TESS_BLIT_MODE_ADD) ||
                  key == (TESS_BLIT_USE_ALPHA | TESS_BLIT_MODE_MULTIPLY))) {
        r.spans = spans + top;
        r.spanShift = static_cast<int32_t>(left);
    }
    const int32_t e = TESS_AlphaWeight(alpha);
    if (key == TESS_BLIT_USE_ALPHA) {
        if (alpha == 1.0f) {
            tess::kernels().copy_alpha_full(r);
            return;
        }
        if (e >= 0 && e <= 256) {
            tess::kernels().copy_alpha(r, e);
            return;
        }
    }
    tess::with_blit_combiner(key, alpha, [&](auto op) { tess::blit_rows<decltype(op)>(r, e); });
}

}  // namespace

void TESS_Blit(TESS_IBitmap* dest, TESS_IBitmap* src, int32_t x, int32_t y,
               const TESS_RECT* srcRect, float alpha, int32_t mode) noexcept {
    blit(dest, src, x, y, srcRect, nullptr, alpha, mode);
}

void TESS_BlitVisible(TESS_IBitmap* dest, TESS_IBitmap* src, int32_t x, int32_t y,
                      const TESS_RowSpan* spans, float alpha, int32_t mode) noexcept {
    blit(dest, src, x, y, nullptr, spans, alpha, mode);
}

void TESS_FindVisibleSpans(TESS_IBitmap* bitmap, TESS_RowSpan* spans) noexcept {
    if (!bitmap || !spans) return;
    const int32_t w = bitmap->width(), h = bitmap->height();
    TESS_pixel* bits = bitmap->bits();
    ptrdiff_t step = 0;
    const TESS_pixel* row = bits ? row_start(bitmap, bits, bitmap->rowSpan(), h, 0, &step) : nullptr;
    const auto span = tess::kernels().visible_span;
    for (int32_t y = 0; y < h; ++y, row += step) {
        if (row) {
            span(row, w, &spans[y].begin, &spans[y].end);
        } else {
            spans[y].begin = spans[y].end = 0;
        }
    }
}

void TESS_Clear(TESS_IBitmap* bitmap, TESS_pixel colour) noexcept {
    if (!bitmap) return;
    TESS_pixel* row = bitmap->bits();
    const int32_t h = bitmap->height(), w = bitmap->width(), span = bitmap->rowSpan();
    if (!row || h < 1 || w < 1 || span < 1) return;
    tess::FillRows r;
    r.first = row;
    r.step = span;
    r.w = w;
    r.h = h;
    if (span == w && int64_t{w} * h <= INT32_MAX) {  // packed rows: one run of stores
        r.w = w * h;
        r.h = 1;
    }
    tess::kernels().fill[static_cast<int>(tess::Mix::Store)](r, colour);
}
