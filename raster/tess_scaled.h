// Scaled blit: a float source rectangle drawn onto an integer destination rectangle by nearest,
// bilinear or reduction-kernel sampling in every blend mode. Called by the highway renderer.
#pragma once

#include <cstdint>

#include "raster/tess_bitmap.h"

// Draws the source rectangle (sx, sy, sw, sh), in source pixels, onto the destination rectangle
// (dx, dy, dw, dh). TESS_BLIT_FILTER_BILINEAR selects bilinear sampling, and for reductions of
// 1.7 or more in both directions a 3 x 3 or 5 x 5 kernel; any other filter samples the nearest
// pixel. Requests at scale 1 go to TESS_Blit, except bilinear ones at a fractional offset.
// A source pixel c covers positions [c, c + 1): positions left of or above the source bitmap
// sample nothing. Negative sizes walk the source backwards, which leaves nothing to sample
// except for tiny negative widths within one pixel.
void TESS_ScaledBlit(TESS_IBitmap* dest, TESS_IBitmap* src, int32_t dx, int32_t dy, int32_t dw,
                     int32_t dh, float sx, float sy, float sw, float sh, float alpha,
                     int32_t mode) noexcept;
