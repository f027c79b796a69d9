// Scaled blit: a float source rectangle drawn onto an integer destination rectangle by nearest,
// bilinear or reduction-kernel sampling in every blend mode. Called by the highway renderer.
#pragma once

#include <cstdint>

#include "raster/tess_bitmap.h"

// Draws the source rectangle (sx, sy, sw, sh), in source pixels, onto the destination rectangle
// (dx, dy, dw, dh). TESS_BLIT_FILTER_BILINEAR selects bilinear sampling, and for reductions of
// 1.7 or more in both directions a 3 x 3 or 5 x 5 kernel; any other filter samples the nearest
// pixel. Requests at scale 1 go to TESS_Blit, except bilinear ones at a fractional offset.
// Source pixel c covers positions [c, c + 1), so positions left of or above the source bitmap
// sample nothing. Samples come only from columns trunc(sx) to ceil(sx + sw) - 1 (rows alike):
// a negative size, which walks the source backwards, therefore mirrors nothing.
void TESS_ScaledBlit(TESS_IBitmap* dest, TESS_IBitmap* src, int32_t dx, int32_t dy, int32_t dw,
                     int32_t dh, float sx, float sy, float sw, float sh, float alpha,
                     int32_t mode) noexcept;

// The parts of a scaled blit that no destination rectangle changes: both bitmaps' pixels and
// row layout, the source rectangle, alpha and mode. Filled by TESS_PrepareScaledBlit; the
// library reads it, callers only keep it.
struct TESS_ScaledBlitSetup {
    TESS_IBitmap* dest;
    TESS_IBitmap* src;
    TESS_pixel* destBits;
    int32_t destWidth, destHeight, destSpan;
    bool destBottomUp;
    TESS_pixel* srcBits;
    int32_t srcWidth, srcHeight, srcSpan;
    bool srcBottomUp;
    float sx, sy, sw, sh, alpha;
    int32_t mode;
};

// Reads both bitmaps once for many scaled blits of the same source rectangle onto the same
// destination (the screen rows of a sustain trail). Valid while neither bitmap is resized or
// freed.
void TESS_PrepareScaledBlit(TESS_ScaledBlitSetup* setup, TESS_IBitmap* dest, TESS_IBitmap* src,
                            float sx, float sy, float sw, float sh, float alpha,
                            int32_t mode) noexcept;

// Exactly TESS_ScaledBlit(dest, src, dx, dy, dw, dh, sx, sy, sw, sh, alpha, mode) with the
// prepared bitmaps and arguments, without reading the bitmaps again.
void TESS_ScaledBlitPrepared(const TESS_ScaledBlitSetup* setup, int32_t dx, int32_t dy,
                             int32_t dw, int32_t dh) noexcept;
