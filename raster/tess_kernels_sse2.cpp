// The SSE2 path: the per-frame loops four pixels at a time. SSE2 is part of x86-64, so every
// x86-64 build has this path.
#include "raster/tess_kernels.h"

#if defined(__SSE2__)
#include <immintrin.h>

namespace tess {
namespace sse2 {
#include "raster/tess_kernels_simd.inl"
}  // namespace sse2

const Kernels SSE2_KERNELS = {
    TESS_CPU_SSE2,
    sse2::copy_alpha_full_rows<sse2::V128>,
    sse2::copy_alpha_rows<sse2::V128>,
    sse2::copy_rows<sse2::V128>,
    sse2::stretch_alpha_full<sse2::V128>,
    {sse2::fill_rows<sse2::V128, Mix::Store>, sse2::fill_rows<sse2::V128, Mix::Half>,
     sse2::fill_rows<sse2::V128, Mix::Quarter>, sse2::fill_rows<sse2::V128, Mix::ThreeQuarters>},
    sse2::swap_red_blue<sse2::V128>,
    sse2::visible_span<sse2::V128>,
    bilinear_gather_pixels,  // without gather instructions: one load per pixel
    sse2::bilinear_pair<sse2::V128>,
    sse2::bilinear_row<sse2::V128>,
    sse2::bilinear_row_once<sse2::V128>,
    sse2::reduce_box<sse2::V128>,
    sse2::reduce_weighted<sse2::V128>,
};

}  // namespace tess
#endif
