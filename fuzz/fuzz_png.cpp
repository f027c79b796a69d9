// libFuzzer target of the PNG loader: each input is decoded from a memory stream into a new
// bitmap, into a caller's bitmap and into a bottom-up bitmap with padded rows.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "raster/tess_png.h"

namespace {

// Decoding a huge picture is slow but not a fault: headers claiming more than 256K pixels
// that would still fit in memory are skipped. Larger ones stay in, the loader refuses them.
bool too_slow(const uint8_t* data, size_t size) {
    if (size < 24) return false;
    const uint64_t w = uint64_t(data[16]) << 24 | data[17] << 16 | data[18] << 8 | data[19];
    const uint64_t h = uint64_t(data[20]) << 24 | data[21] << 16 | data[22] << 8 | data[23];
    const uint64_t pixels = w * h;
    return pixels > (256u << 10) && pixels * 4 <= uint64_t(INT32_MAX);
}

class BottomUp : public TESS_IBitmap {
public:
    TESS_pixel* bits() override { return px_.empty() ? nullptr : px_.data(); }
    int32_t width() override { return w_; }
    int32_t height() override { return h_; }
    int32_t rowSpan() override { return w_ + 1; }
    bool isBottomUp() override { return true; }
    bool resize(int32_t w, int32_t h) override {
        w_ = w;
        h_ = h;
        px_.assign(size_t(w + 1) * size_t(h), 0);
        return true;
    }

private:
    std::vector<TESS_pixel> px_;
    int32_t w_ = 0, h_ = 0;
};

void load(const uint8_t* data, size_t size, TESS_IBitmap* into) {
    FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!f) return;
    TESS_IBitmap* bm = TESS_LoadPNGStream(f, into);
    fclose(f);
    if (bm != into) delete bm;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || too_slow(data, size)) return 0;
    load(data, size, nullptr);
    TESS_MemBitmap mine(2, 2);
    load(data, size, &mine);
    BottomUp bottom_up;
    load(data, size, &bottom_up);
    return 0;
}
