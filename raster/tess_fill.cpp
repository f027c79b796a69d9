// TESS_FillRect and TESS_FillRectBordered: constant-colour rectangles and bordered boxes, used
// by the editor's control strip and the placeholder images of the asset set.

#include <cstddef>

#include "raster/tess.h"
#include "raster/tess_kernels.h"

namespace {

using tess::FillRows;

// General path: colour's red, green and blue with the weight itself as the source alpha.
template <class Op>
void fill_rows(const FillRows& r, int32_t red, int32_t green, int32_t blue, int32_t e) {
    TESS_pixel* row = r.first;
    for (int32_t y = 0; y < r.h; ++y, row += r.step) {
        for (int32_t i = 0; i < r.w; ++i) Op::apply(row + i, red, green, blue, e, e);
    }
}

int32_t saturate32(int64_t v) {
    return v > INT32_MAX ? INT32_MAX : (v < INT32_MIN ? INT32_MIN : static_cast<int32_t>(v));
}

}  // namespace

void TESS_FillRect(TESS_IBitmap* bitmap, int32_t x, int32_t y, int32_t w, int32_t h,
                   TESS_pixel colour, float alpha, int32_t mode) noexcept {
    if (!bitmap) return;
    if (mode & TESS_BLIT_USE_ALPHA) alpha *= static_cast<float>(colour >> 24) / 255.0f;

    // Clipped in 64 bits: x + w must not wrap.
    const int32_t W = bitmap->width(), H = bitmap->height();
    int64_t cx = x, cy = y, cw = w, ch = h;
    if (cx < 0) {
        cw += cx;
        cx = 0;
    }
    if (cy < 0) {
        ch += cy;
        cy = 0;
    }
    if (cx + cw > W) cw = W - cx;
    if (cy + ch > H) ch = H - cy;

    TESS_pixel* bits = bitmap->bits();
    const int32_t span = bitmap->rowSpan();
    if (alpha == 0.0f || !bits || cw < 1 || ch < 1 || span < 1) return;

    FillRows r;
    r.w = static_cast<int32_t>(cw);
    r.h = static_cast<int32_t>(ch);
    r.step = span;
    // A bottom-up bitmap stores the rectangle's lowest picture row first.
    const int64_t firstRow = bitmap->isBottomUp() ? H - cy - ch : cy;
    r.first = bits + static_cast<ptrdiff_t>(firstRow) * span + static_cast<ptrdiff_t>(cx);

    const int32_t m = mode & TESS_BLIT_MODE_MASK;
    if (m == TESS_BLIT_MODE_COPY) {
        // The exact alphas mix whole words: shifts and masks, no multiplication.
        const tess::Kernels& k = tess::kernels();
        if (alpha == 1.0f) {
            k.fill[static_cast<int>(tess::Mix::Store)](r, colour);
            return;
        }
        if (alpha == 0.5f) {
            k.fill[static_cast<int>(tess::Mix::Half)](r, colour);
            return;
        }
        if (alpha == 0.25f) {
            k.fill[static_cast<int>(tess::Mix::Quarter)](r, colour);
            return;
        }
        if (alpha == 0.75f) {
            k.fill[static_cast<int>(tess::Mix::ThreeQuarters)](r, colour);
            return;
        }
        if (!(alpha > 0.0f)) return;
    }
    const int32_t e = TESS_AlphaWeight(alpha);
    const int32_t red = static_cast<int32_t>(colour >> 16 & 0xFF);
    const int32_t green = static_cast<int32_t>(colour >> 8 & 0xFF);
    const int32_t blue = static_cast<int32_t>(colour & 0xFF);
    tess::with_constant_combiner(m, [&](auto op) { fill_rows<decltype(op)>(r, red, green, blue, e); });
}

void TESS_FillRectBordered(TESS_IBitmap* bitmap, int32_t x, int32_t y, int32_t w, int32_t h,
                           TESS_pixel fillColour, TESS_pixel borderColour, float alpha,
                           int32_t mode) noexcept {
    TESS_FillRect(bitmap, saturate32(int64_t{x} + 1), saturate32(int64_t{y} + 1),
                  saturate32(int64_t{w} - 1), saturate32(int64_t{h} - 1), fillColour, alpha, mode);
    TESS_OutlineRect(bitmap, x, y, w, h, borderColour, alpha, mode);
}
