// The AVX2 path: the per-frame loops eight pixels at a time, and all but one of the AVX-512
// path's. Compiled for AVX2 function by function (the target pragmas below, GCC's or clang's),
// so the rest of the library, and every header included before the pragma, stays baseline
// x86-64; tess_cpu.cpp only picks these tables after asking the processor and the operating
// system.
#include "raster/tess_kernels.h"

#if defined(__x86_64__) || defined(_M_X64)
#include <immintrin.h>

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

namespace tess {
namespace avx2 {
#define TESS_SIMD_256 1
#include "raster/tess_kernels_simd.inl"
#undef TESS_SIMD_256
}  // namespace avx2

// The AVX2 loops with the given reduction box: the AVX2 path's table, and the AVX-512 path's,
// which differs only there.
constexpr Kernels avx2_loops(TESS_CpuPath path, void (*reduce_box)(TESS_pixel*, const ReduceColumns&, const ReduceRow&)) {
    return Kernels{
        path,
        avx2::copy_alpha_full_rows<avx2::V256>,
        avx2::copy_alpha_rows<avx2::V256>,
        avx2::copy_rows<avx2::V256>,
        avx2::stretch_alpha_full<avx2::V256>,
        {avx2::fill_rows<avx2::V256, Mix::Store>, avx2::fill_rows<avx2::V256, Mix::Half>,
         avx2::fill_rows<avx2::V256, Mix::Quarter>, avx2::fill_rows<avx2::V256, Mix::ThreeQuarters>},
        avx2::swap_red_blue<avx2::V256>,
        avx2::visible_span<avx2::V256>,
        avx2::bilinear_gather<avx2::V256>,
        avx2::bilinear_pair<avx2::V256>,
        avx2::bilinear_row<avx2::V256>,
        avx2::bilinear_row_once<avx2::V256>,
        reduce_box,
        avx2::reduce_weighted<avx2::V256>,
    };
}

const Kernels AVX2_KERNELS = avx2_loops(TESS_CPU_AVX2, avx2::reduce_box<avx2::V256>);
const Kernels AVX512_KERNELS = avx2_loops(TESS_CPU_AVX512, avx512::reduce_box);

}  // namespace tess

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
#endif
