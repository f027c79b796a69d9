// TESS_SysBitmap: a bitmap over a top-down 32-bit DIB section selected into its own memory
// drawing context, so the editor can draw with TESS and copy to the window with one BitBlt.

#include "raster/tess_bitmap.h"

#include <windows.h>

TESS_SysBitmap::TESS_SysBitmap(int32_t w, int32_t h)
    : width_(0), height_(0), dc_(nullptr), pixels_(nullptr), allocWidth_(0), allocHeight_(0),
      section_(nullptr), previous_(nullptr) {
    dc_ = CreateCompatibleDC(nullptr);
    resize(w, h);
}

TESS_SysBitmap::~TESS_SysBitmap() {
    HDC dc = static_cast<HDC>(dc_);
    if (previous_ && dc) SelectObject(dc, static_cast<HGDIOBJ>(previous_));
    if (section_) DeleteObject(static_cast<HGDIOBJ>(section_));
    if (dc) DeleteDC(dc);
}

bool TESS_SysBitmap::resize(int32_t w, int32_t h) {
    if (!dc_) {
        width_ = 0;
        height_ = 0;
        pixels_ = nullptr;
        return false;
    }
    if (w == width_ && h == height_) return false;

    // Negative sides and byte counts beyond int32 get no section at all (a negative height
    // would otherwise ask for a bottom-up section).
    bool invalid = w < 0 || h < 0 || static_cast<int64_t>(w) * h * 4 > INT32_MAX;
    width_ = invalid ? 0 : w;
    height_ = invalid ? 0 : h;

    // Shrinking keeps the larger section, and with it the row span.
    if (!invalid && w != 0 && h != 0 && w <= allocWidth_ && h <= allocHeight_ && pixels_) {
        return true;
    }

    HDC dc = static_cast<HDC>(dc_);
    allocWidth_ = width_;
    allocHeight_ = height_;
    if (previous_) {
        SelectObject(dc, static_cast<HGDIOBJ>(previous_));
        previous_ = nullptr;
    }
    if (section_) DeleteObject(static_cast<HGDIOBJ>(section_));
    section_ = nullptr;
    pixels_ = nullptr;

    if (invalid) {
        allocWidth_ = 0;
        allocHeight_ = 0;
        return true;
    }
    if (w == 0 || h == 0) return false;

    BITMAPINFO info;
    ZeroMemory(&info, sizeof(info));
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = isBottomUp() ? h : -h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;

    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (section && bits) {
        section_ = section;
        pixels_ = static_cast<TESS_pixel*>(bits);
        previous_ = SelectObject(dc, section);
    } else {
        if (section) DeleteObject(section);
        width_ = 0;
        height_ = 0;
        allocWidth_ = 0;
        allocHeight_ = 0;
    }
    return true;
}
