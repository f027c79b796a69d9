// TESS bitmaps: the abstract 32-bit bitmap every drawing operation takes, a heap-backed
// bitmap and (Windows only) one over a DIB section in its own memory drawing context.
// Bitmaps carry no locks; one thread uses a bitmap at a time.
#pragma once

#include <cstddef>
#include <cstdint>

typedef uint32_t TESS_pixel;  // 0xAARRGGBB; bytes in memory: blue, green, red, alpha

// Mode word of every drawing call.
constexpr int32_t TESS_BLIT_MODE_MASK = 0xFF;
constexpr int32_t TESS_BLIT_MODE_COPY = 0;
constexpr int32_t TESS_BLIT_MODE_ADD = 1;
constexpr int32_t TESS_BLIT_MODE_DODGE = 2;
constexpr int32_t TESS_BLIT_MODE_MULTIPLY = 3;
constexpr int32_t TESS_BLIT_MODE_SOFT_LIGHT = 4;
constexpr int32_t TESS_BLIT_MODE_HSV_ADJUST = 5;
constexpr int32_t TESS_BLIT_MODE_CHANNEL_COPY = 0xF0;
constexpr int32_t TESS_BLIT_FILTER_MASK = 0xFF00;
constexpr int32_t TESS_BLIT_FILTER_BILINEAR = 0x100;
constexpr int32_t TESS_BLIT_USE_ALPHA = 0x10000;

class TESS_IBitmap {
public:
    virtual ~TESS_IBitmap() {}
    virtual TESS_pixel* bits() = 0;
    virtual int32_t width() = 0;
    virtual int32_t height() = 0;
    virtual int32_t rowSpan() = 0;
    virtual bool isBottomUp() { return false; }
    virtual bool resize(int32_t w, int32_t h) = 0;
    virtual void* deviceContext() { return nullptr; }
    virtual intptr_t extension(intptr_t, void*) { return 0; }
};

// Heap entry points of TESS_MemBitmap's pixel blocks; tests swap them to fail allocations.
struct TESS_Allocator {
    void* (*allocate)(size_t bytes);
    void* (*reallocate)(void* block, size_t bytes);
    void (*release)(void* block);
};
extern TESS_Allocator TESS_MemBitmapAllocator;

class TESS_MemBitmap : public TESS_IBitmap {
public:
    TESS_MemBitmap(int32_t w, int32_t h);
    ~TESS_MemBitmap() override;
    TESS_MemBitmap(const TESS_MemBitmap&) = delete;
    TESS_MemBitmap& operator=(const TESS_MemBitmap&) = delete;

    TESS_pixel* bits() override { return pixels_; }
    int32_t width() override { return width_; }
    int32_t height() override { return height_; }
    int32_t rowSpan() override { return width_; }
    bool resize(int32_t w, int32_t h) override;
    intptr_t extension(intptr_t, void*) override { return 0; }

    int32_t allocatedSize() const { return allocated_; }

private:
    TESS_pixel* pixels_;
    int32_t width_;
    int32_t height_;
    int32_t allocated_;
};

#ifdef _WIN32
class TESS_SysBitmap : public TESS_IBitmap {
public:
    TESS_SysBitmap(int32_t w, int32_t h);
    ~TESS_SysBitmap() override;
    TESS_SysBitmap(const TESS_SysBitmap&) = delete;
    TESS_SysBitmap& operator=(const TESS_SysBitmap&) = delete;

    TESS_pixel* bits() override { return pixels_; }
    int32_t width() override { return width_; }
    int32_t height() override { return height_; }
    int32_t rowSpan() override { return allocWidth_; }
    bool resize(int32_t w, int32_t h) override;
    void* deviceContext() override { return dc_; }
    intptr_t extension(intptr_t, void*) override { return 0; }

    void* sectionHandle() const { return section_; }

private:
    int32_t width_;
    int32_t height_;
    void* dc_;
    TESS_pixel* pixels_;
    int32_t allocWidth_;
    int32_t allocHeight_;
    void* section_;
    void* previous_;
};
#endif
