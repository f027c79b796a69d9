// The generic path: the per-frame loops in plain C, one pixel at a time. Every build has it;
// the vector paths must match it pixel for pixel. Also the moves every path may use: the C
// library's and, on x86-64, the processor's string move.
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

#if defined(__x86_64__) || defined(__i386__)
namespace {

constexpr size_t STRING_MOVE_MIN = 4096;

void string_move(TESS_pixel* d, const TESS_pixel* s, size_t bytes) {
    __asm__ volatile("rep movsb" : "+D"(d), "+S"(s), "+c"(bytes) : : "memory");
}

// The lowest address of r.h rows whose first is `first`, `step` pixels apart.
uintptr_t lowest_row(const BlitRows& r, const TESS_pixel* first, ptrdiff_t step) {
    return reinterpret_cast<uintptr_t>(step >= 0 ? first : first + (r.h - 1) * step);
}
// The bytes from the lowest of those rows to the end of the highest.
uintptr_t rows_bytes(const BlitRows& r, ptrdiff_t step) {
    const uintptr_t rows = static_cast<uintptr_t>(r.h - 1) * static_cast<uintptr_t>(step < 0 ? -step : step);
    return (rows + static_cast<uintptr_t>(r.w)) * sizeof(TESS_pixel);
}

// A string move runs forward: the two sides' bytes must lie apart.
bool rows_apart(const BlitRows& r) {
    const uintptr_t d = lowest_row(r, r.dst, r.dstStep), s = lowest_row(r, r.src, r.srcStep);
    return d + rows_bytes(r, r.dstStep) <= s || s + rows_bytes(r, r.srcStep) <= d;
}

}  // namespace

bool string_move_rows(const BlitRows& r) {
    const size_t row = static_cast<size_t>(r.w) * sizeof(TESS_pixel);
    if (r.h <= 0 || row * static_cast<size_t>(r.h) < STRING_MOVE_MIN || !rows_apart(r)) return false;
    if (r.srcStep == r.dstStep && (r.srcStep == r.w || r.srcStep == -r.w)) {
        const ptrdiff_t last = (r.h - 1) * r.srcStep;
        string_move(r.srcStep > 0 ? r.dst : r.dst + last, r.srcStep > 0 ? r.src : r.src + last,
                    row * static_cast<size_t>(r.h));
        return true;
    }
    if (row < STRING_MOVE_MIN) return false;
    TESS_pixel* d = r.dst;
    const TESS_pixel* s = r.src;
    for (int32_t y = 0; y < r.h; ++y, d += r.dstStep, s += r.srcStep) string_move(d, s, row);
    return true;
}
#endif

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
