// TESS_MemBitmap: a bitmap over a plain heap block, packed rows. Used for decoded images, their
// scaled copies, placeholders and off-screen frames.

#include "raster/tess_bitmap.h"

#include <cstdlib>

TESS_Allocator TESS_MemBitmapAllocator = {std::malloc, std::realloc, std::free};

namespace {

// Bytes of a w x h bitmap, or 0 when the size has no pixels: a side of 0 or less, or a byte
// count that does not fit a positive int32 (computed in 64 bits, so it never wraps to a small
// block that its rows would overrun).
int32_t mem_bitmap_bytes(int32_t w, int32_t h) {
    if (w <= 0 || h <= 0) return 0;
    int64_t n = static_cast<int64_t>(w) * h * 4;
    return n > INT32_MAX ? 0 : static_cast<int32_t>(n);
}

}  // namespace

TESS_MemBitmap::TESS_MemBitmap(int32_t w, int32_t h)
    : pixels_(nullptr), width_(w), height_(h), allocated_(0) {
    int32_t n = mem_bitmap_bytes(w, h);
    if (n > 0) {
        pixels_ = static_cast<TESS_pixel*>(TESS_MemBitmapAllocator.allocate(static_cast<size_t>(n)));
        if (pixels_) allocated_ = n;
    }
    if (!pixels_) {
        width_ = 0;
        height_ = 0;
    }
}

TESS_MemBitmap::~TESS_MemBitmap() { TESS_MemBitmapAllocator.release(pixels_); }

bool TESS_MemBitmap::resize(int32_t w, int32_t h) {
    if (w == width_ && h == height_) return false;
    width_ = w;
    height_ = h;
    int32_t n = mem_bitmap_bytes(w, h);
    if (n <= 0) {
        TESS_MemBitmapAllocator.release(pixels_);
        pixels_ = nullptr;
        allocated_ = 0;
    } else if (!pixels_) {
        pixels_ = static_cast<TESS_pixel*>(TESS_MemBitmapAllocator.allocate(static_cast<size_t>(n)));
        allocated_ = pixels_ ? n : 0;
    } else if (allocated_ < n) {
        // 25 % slack so that a bitmap growing step by step is not reallocated every time.
        int64_t slack = static_cast<int64_t>(n) + n / 4;
        int32_t grown = slack > INT32_MAX ? INT32_MAX : static_cast<int32_t>(slack);
        void* block = TESS_MemBitmapAllocator.reallocate(pixels_, static_cast<size_t>(grown));
        if (block) {
            pixels_ = static_cast<TESS_pixel*>(block);
            allocated_ = grown;
        } else {
            TESS_MemBitmapAllocator.release(pixels_);
            pixels_ = static_cast<TESS_pixel*>(TESS_MemBitmapAllocator.allocate(static_cast<size_t>(n)));
            allocated_ = pixels_ ? n : 0;
        }
    }
    // A block that is already large enough is kept: it never shrinks.
    if (!pixels_) {
        width_ = 0;
        height_ = 0;
    }
    return true;
}
