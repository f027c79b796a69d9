// The generic path: the per-frame loops in plain C, one pixel at a time. Every build has it;
// the vector paths must match it pixel for pixel.
#include <cstring>

#include "raster/tess_kernels.h"

namespace tess {

void move_rows(const BlitRows& r) {
    TESS_pixel* d = r.dst;
    const TESS_pixel* s = r.src;
    const size_t bytes = static_cast<size_t>(r.w) * sizeof(TESS_pixel);
    if (r.h > 1 && r.srcStep == r.dstStep && (r.srcStep == r.w || r.srcStep == -r.w)) {
        const ptrdiff_t last = (r.h - 1) * r.srcStep;
        std::memmove(r.srcStep > 0 ? d : d + last, r.srcStep > 0 ? s : s + last, bytes * r.h);
        return;
    }
    for (int32_t y = 0; y < r.h; ++y, d += r.dstStep, s += r.srcStep) std::memmove(d, s, bytes);
}

namespace {

void copy_alpha_full(const BlitRows& r) { blit_rows<CopyAlphaFull>(r, 256); }
void copy_alpha(const BlitRows& r, int32_t e) { blit_rows<CopyAlpha>(r, e); }
void stretch_alpha_full(const StretchRow& r) { stretch_row<CopyAlphaFull>(r, 256); }

}  // namespace

const Kernels GENERIC_KERNELS = {
    TESS_CPU_GENERIC,
    copy_alpha_full,
    copy_alpha,
    move_rows,
    stretch_alpha_full,
    {fill_words<Mix::Store>, fill_words<Mix::Half>, fill_words<Mix::Quarter>,
     fill_words<Mix::ThreeQuarters>},
    swap_red_blue_bytes,
};

}  // namespace tess
