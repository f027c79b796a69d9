// PNG loading on libpng's PngSuite images against a small zlib-only reference decoder, on every
// CPU path (its loop turns the decoded rows into TESS pixels), plus the failure paths, the
// checksums, caller bitmaps, row order and the decoder list entry.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "raster/tess.h"
#include "tests/raster/raster_model.h"

#if defined(__SANITIZE_ADDRESS__)
// From the AddressSanitizer runtime: hooks called on every allocation.
extern "C" int __sanitizer_install_malloc_and_free_hooks(
    void (*malloc_hook)(const volatile void*, size_t), void (*free_hook)(const volatile void*));
#define TIVER_MALLOC_HOOKS 1
#endif

namespace fs = std::filesystem;

namespace {

std::string suite_dir() {
    if (const char* env = std::getenv("TIVER_PNGSUITE_DIR")) return env;
    return std::string(TIVER_SOURCE_DIR) + "/third_party/cache/libpng-src/contrib/pngsuite";
}

std::string scratch(const std::string& name) {
    fs::path dir = fs::path(TIVER_BINARY_DIR) / "test-scratch" / "png";
    fs::create_directories(dir);
    return (dir / name).string();
}

std::vector<uint8_t> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

uint32_t be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]; }

// Pixels of a bitmap as picture rows, top first, `width` pixels each.
std::vector<TESS_pixel> picture(TESS_IBitmap* bm) {
    std::vector<TESS_pixel> out;
    for (int32_t y = 0; y < bm->height(); ++y) {
        int32_t stored = bm->isBottomUp() ? bm->height() - 1 - y : y;
        const TESS_pixel* row = bm->bits() + ptrdiff_t(stored) * bm->rowSpan();
        out.insert(out.end(), row, row + bm->width());
    }
    return out;
}

// The loader's contract written out plainly for non-interlaced files: alpha 255 unless the
// image has alpha or tRNS, 16-bit samples keep their high byte, low-bit gray is spread over
// 0..255, palette entries take their tRNS alpha.
struct Reference {
    bool ok = false;
    uint32_t width = 0, height = 0;
    std::vector<TESS_pixel> pixels;
};

Reference reference_decode(const std::vector<uint8_t>& file) {
    Reference ref;
    if (file.size() < 8 || std::memcmp(file.data(), "\x89PNG\r\n\x1a\n", 8) != 0) return ref;
    uint32_t w = 0, h = 0;
    int depth = 0, type = 0, interlace = 0;
    std::vector<uint8_t> plte, trns, idat;
    for (size_t pos = 8; pos + 12 <= file.size();) {
        uint32_t len = be32(&file[pos]);
        std::string kind(reinterpret_cast<const char*>(&file[pos + 4]), 4);
        const uint8_t* data = &file[pos + 8];
        if (kind == "IHDR") {
            w = be32(data);
            h = be32(data + 4);
            depth = data[8];
            type = data[9];
            interlace = data[12];
        } else if (kind == "PLTE") {
            plte.assign(data, data + len);
        } else if (kind == "tRNS") {
            trns.assign(data, data + len);
        } else if (kind == "IDAT") {
            idat.insert(idat.end(), data, data + len);
        }
        pos += 12 + len;
    }
    if (interlace != 0 || w == 0) return ref;
    const int channels = type == 0 ? 1 : type == 2 ? 3 : type == 3 ? 1 : type == 4 ? 2 : 4;
    const size_t row_bytes = (size_t(w) * channels * depth + 7) / 8;
    const size_t bpp = std::max<size_t>(1, size_t(channels) * depth / 8);
    std::vector<uint8_t> raw(h * (row_bytes + 1));
    uLongf raw_len = raw.size();
    if (uncompress(raw.data(), &raw_len, idat.data(), idat.size()) != Z_OK || raw_len != raw.size())
        return ref;

    std::vector<uint8_t> img(h * row_bytes), prior(row_bytes, 0);
    for (uint32_t y = 0; y < h; ++y) {
        const uint8_t filter = raw[y * (row_bytes + 1)];
        const uint8_t* in = &raw[y * (row_bytes + 1) + 1];
        uint8_t* out = &img[y * row_bytes];
        for (size_t i = 0; i < row_bytes; ++i) {
            int a = i >= bpp ? out[i - bpp] : 0, b = prior[i], c = i >= bpp ? prior[i - bpp] : 0;
            int pred = 0;
            if (filter == 1) pred = a;
            if (filter == 2) pred = b;
            if (filter == 3) pred = (a + b) / 2;
            if (filter == 4) {
                int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
                pred = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
            }
            out[i] = uint8_t(in[i] + pred);
        }
        prior.assign(out, out + row_bytes);
    }

    // Sample s of pixel x in row y at full depth.
    auto sample = [&](uint32_t y, uint32_t x, int s) -> uint32_t {
        const uint8_t* row = &img[y * row_bytes];
        size_t index = size_t(x) * channels + s;
        if (depth == 16) return uint32_t(row[index * 2]) << 8 | row[index * 2 + 1];
        if (depth == 8) return row[index];
        size_t bit = index * depth;
        return (row[bit / 8] >> (8 - depth - bit % 8)) & ((1u << depth) - 1);
    };
    auto to8 = [&](uint32_t v) -> uint32_t {
        if (depth == 16) return v >> 8;
        if (depth < 8 && type == 0) return v * 255 / ((1u << depth) - 1);
        return v;
    };
    auto trns16 = [&](int i) { return uint32_t(trns[2 * i]) << 8 | trns[2 * i + 1]; };

    ref.pixels.resize(size_t(w) * h);
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) {
            uint32_t r, g, b, a = 255;
            if (type == 3) {
                uint32_t i = sample(y, x, 0);
                r = plte[3 * i];
                g = plte[3 * i + 1];
                b = plte[3 * i + 2];
                if (i < trns.size()) a = trns[i];
            } else if (type == 0 || type == 4) {
                r = g = b = to8(sample(y, x, 0));
                if (type == 4) a = to8(sample(y, x, 1));
                if (type == 0 && !trns.empty() && sample(y, x, 0) == trns16(0)) a = 0;
            } else {
                r = to8(sample(y, x, 0));
                g = to8(sample(y, x, 1));
                b = to8(sample(y, x, 2));
                if (type == 6) a = to8(sample(y, x, 3));
                if (type == 2 && !trns.empty() && sample(y, x, 0) == trns16(0) &&
                    sample(y, x, 1) == trns16(1) && sample(y, x, 2) == trns16(2))
                    a = 0;
            }
            ref.pixels[size_t(y) * w + x] = a << 24 | r << 16 | g << 8 | b;
        }
    }
    ref.width = w;
    ref.height = h;
    ref.ok = true;
    return ref;
}

std::vector<fs::path> suite_files(const fs::path& dir, bool interlaced) {
    std::vector<fs::path> out;
    if (!fs::is_directory(dir)) return out;
    for (const auto& e : fs::directory_iterator(dir)) {
        std::string n = e.path().filename().string();
        if (e.path().extension() == ".png" && (n[0] == 'i') == interlaced) out.push_back(e.path());
    }
    std::sort(out.begin(), out.end());
    return out;
}

// A chunk with its CRC, for hand-made files.
void put_chunk(std::vector<uint8_t>& out, const char* kind, const std::vector<uint8_t>& data) {
    auto put32 = [&](uint32_t v) {
        for (int s = 24; s >= 0; s -= 8) out.push_back(uint8_t(v >> s));
    };
    put32(uint32_t(data.size()));
    size_t start = out.size();
    out.insert(out.end(), kind, kind + 4);
    out.insert(out.end(), data.begin(), data.end());
    put32(uint32_t(crc32(0, &out[start], uInt(out.size() - start))));
}

// An 8-bit RGBA file header claiming w x h, followed by a little image data.
std::vector<uint8_t> header_only_png(uint32_t w, uint32_t h) {
    std::vector<uint8_t> f = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    std::vector<uint8_t> ihdr = {uint8_t(w >> 24), uint8_t(w >> 16), uint8_t(w >> 8), uint8_t(w),
                                 uint8_t(h >> 24), uint8_t(h >> 16), uint8_t(h >> 8), uint8_t(h),
                                 8, 6, 0, 0, 0};
    put_chunk(f, "IHDR", ihdr);
    put_chunk(f, "IDAT", {0x78, 0x9c, 0x63, 0x00, 0x00});
    return f;
}

// A bitmap of a fixed size that refuses every resize and records its destruction.
class FixedBitmap : public TESS_IBitmap {
public:
    FixedBitmap(bool* destroyed) : destroyed_(destroyed), pixels_(16, 0) {}
    ~FixedBitmap() override { *destroyed_ = true; }
    TESS_pixel* bits() override { return pixels_.data(); }
    int32_t width() override { return 4; }
    int32_t height() override { return 4; }
    int32_t rowSpan() override { return 4; }
    bool resize(int32_t, int32_t) override { return false; }

private:
    bool* destroyed_;
    std::vector<TESS_pixel> pixels_;
};

// Rows stored bottom first, with spare pixels at the end of each row.
class BottomUpBitmap : public TESS_IBitmap {
public:
    static constexpr TESS_pixel SENTINEL = 0x5A5A5A5Au;
    TESS_pixel* bits() override { return pixels_.empty() ? nullptr : pixels_.data(); }
    int32_t width() override { return w_; }
    int32_t height() override { return h_; }
    int32_t rowSpan() override { return w_ + 3; }
    bool isBottomUp() override { return true; }
    bool resize(int32_t w, int32_t h) override {
        w_ = w;
        h_ = h;
        pixels_.assign(size_t(w + 3) * h, SENTINEL);
        return true;
    }
    std::vector<TESS_pixel> pixels_;

private:
    int32_t w_ = 0, h_ = 0;
};

}  // namespace

// Decoded rows reach the TESS layout through the CPU path's loop: the suite runs on each.
class PngSweep : public model::OnEveryPath {};
TESS_ON_EVERY_PATH(PngSweep);

TEST_P(PngSweep, EveryColourTypeAndDepthGivesTheDefinedPixels) {
    std::vector<fs::path> files = suite_files(suite_dir(), false);
    ASSERT_GE(files.size(), 30u) << "PngSuite not found in " << suite_dir();
    for (const fs::path& path : files) {
        SCOPED_TRACE(path.filename().string());
        Reference ref = reference_decode(read_file(path.string()));
        ASSERT_TRUE(ref.ok);
        TESS_IBitmap* bm = TESS_LoadPNG(path.string().c_str(), nullptr);
        ASSERT_NE(bm, nullptr);
        ASSERT_EQ(bm->width(), int32_t(ref.width));
        ASSERT_EQ(bm->height(), int32_t(ref.height));
        std::vector<TESS_pixel> got = picture(bm);
        delete bm;
        for (size_t i = 0; i < got.size(); ++i)
            ASSERT_EQ(got[i], ref.pixels[i]) << "pixel " << i % ref.width << "," << i / ref.width;
    }

    // A few facts of the files themselves, so the reference cannot drift with the loader.
    auto load = [](const char* name) {
        TESS_IBitmap* bm = TESS_LoadPNG((suite_dir() + "/" + name).c_str(), nullptr);
        std::vector<TESS_pixel> px = bm ? picture(bm) : std::vector<TESS_pixel>();
        delete bm;
        return px;
    };
    for (TESS_pixel p : load("basn0g02.png")) {  // 2-bit gray: four levels, grey, opaque
        uint32_t v = p & 0xFF;
        EXPECT_TRUE(v == 0 || v == 85 || v == 170 || v == 255) << std::hex << p;
        EXPECT_EQ(p, 0xFF000000u | v << 16 | v << 8 | v);
    }
    std::vector<TESS_pixel> pal = load("basn3p08.png"), pal_trns = load("ftbbn3p08.png");
    ASSERT_FALSE(pal.empty());
    for (TESS_pixel p : pal) EXPECT_EQ(p >> 24, 0xFFu);
    size_t clear = 0;
    for (TESS_pixel p : pal_trns) clear += (p >> 24) == 0;
    EXPECT_GT(clear, 0u);
    EXPECT_LT(clear, pal_trns.size());
}

TEST(PngLoad, InterlacedEqualsNonInterlacedTwin) {
    std::vector<fs::path> files = suite_files(suite_dir(), true);
    for (const fs::path& p : suite_files(fs::path(suite_dir()) / "interlaced", true)) files.push_back(p);
    ASSERT_GE(files.size(), 25u);
    for (const fs::path& path : files) {
        SCOPED_TRACE(path.filename().string());
        fs::path twin = fs::path(suite_dir()) / path.filename().string().substr(1);
        TESS_IBitmap* a = TESS_LoadPNG(path.string().c_str(), nullptr);
        TESS_IBitmap* b = TESS_LoadPNG(twin.string().c_str(), nullptr);
        ASSERT_NE(a, nullptr);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(a->width(), b->width());
        EXPECT_EQ(a->height(), b->height());
        EXPECT_EQ(picture(a), picture(b));
        delete a;
        delete b;
    }
}

// Every failure gives null; LSan checks at exit that no bitmap or libpng structure survives,
// and deleting the caller's bitmaps below catches one deleted by the loader.
TEST(PngLoad, BrokenFilesGiveNullAndKeepTheCallersBitmap) {
    std::vector<uint8_t> good = read_file(suite_dir() + "/basn6a08.png");
    ASSERT_GT(good.size(), 100u);
    std::vector<std::vector<uint8_t>> broken = {
        {},
        {'n', 'o', 't', ' ', 'a', ' ', 'p', 'n', 'g', '\n'},
        std::vector<uint8_t>(good.begin(), good.begin() + 8),
        std::vector<uint8_t>(good.begin(), good.begin() + 33),
        std::vector<uint8_t>(good.begin(), good.begin() + good.size() / 2),
        std::vector<uint8_t>(good.begin(), good.end() - 40),
    };
    std::vector<uint8_t> bad_crc = good;
    bad_crc[good.size() / 2] ^= 0x55;
    broken.push_back(bad_crc);
    for (size_t i = 0; i < broken.size(); ++i) {
        SCOPED_TRACE(i);
        std::string path = scratch("broken" + std::to_string(i) + ".png");
        write_file(path, broken[i]);
        EXPECT_EQ(TESS_LoadPNG(path.c_str(), nullptr), nullptr);
        TESS_MemBitmap* mine = new TESS_MemBitmap(3, 3);
        EXPECT_EQ(TESS_LoadPNG(path.c_str(), mine), nullptr);
        delete mine;
    }
    EXPECT_EQ(TESS_LoadPNG(scratch("does-not-exist.png").c_str(), nullptr), nullptr);

    // Without png_read_end, a file that lacks only its IEND chunk still loads.
    std::string no_end = scratch("no-iend.png");
    write_file(no_end, std::vector<uint8_t>(good.begin(), good.end() - 12));
    TESS_IBitmap* bm = TESS_LoadPNG(no_end.c_str(), nullptr);
    EXPECT_NE(bm, nullptr);
    delete bm;
}

// Image data is guarded by the chunks' CRCs, which are checked; zlib's Adler-32 of the inflated
// bytes is not (the CRCs already cover every compressed byte). A stream whose Adler-32 alone is
// wrong loads as the intact file does; one damaged byte in the data still fails.
TEST(PngLoad, ImageDataIsGuardedByTheChunkCrcs) {
    const std::vector<uint8_t> good = read_file(suite_dir() + "/basn6a08.png");
    ASSERT_GT(good.size(), 100u);
    std::vector<uint8_t> wrong_adler(good.begin(), good.begin() + 8), damaged = wrong_adler;
    size_t idats = 0;
    for (size_t pos = 8; pos + 12 <= good.size();) {
        const uint32_t len = be32(&good[pos]);
        const std::string kind(reinterpret_cast<const char*>(&good[pos + 4]), 4);
        std::vector<uint8_t> data(good.begin() + long(pos) + 8, good.begin() + long(pos) + 8 + len);
        const bool last_idat = kind == "IDAT" && std::string(reinterpret_cast<const char*>(&good[pos + 16 + len]), 4) != "IDAT";
        std::vector<uint8_t> altered = data;
        if (last_idat) altered.back() ^= 0x01;  // the low byte of the Adler-32
        put_chunk(wrong_adler, kind.c_str(), altered);
        put_chunk(damaged, kind.c_str(), data);
        if (kind == "IDAT" && idats++ == 0) damaged[damaged.size() - 4 - len / 2] ^= 0x10;  // CRC now wrong
        pos += 12 + len;
    }
    ASSERT_GT(idats, 0u);
    const std::string good_path = scratch("adler-good.png"), adler_path = scratch("adler-wrong.png");
    const std::string damaged_path = scratch("idat-damaged.png");
    write_file(good_path, good);
    write_file(adler_path, wrong_adler);
    write_file(damaged_path, damaged);
    TESS_IBitmap* a = TESS_LoadPNG(good_path.c_str(), nullptr);
    TESS_IBitmap* b = TESS_LoadPNG(adler_path.c_str(), nullptr);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(picture(a), picture(b));
    delete a;
    delete b;
    EXPECT_EQ(TESS_LoadPNG(damaged_path.c_str(), nullptr), nullptr);
}

TEST(PngLoad, SizesThatCannotBeHeldAreRefused) {
    // 23171 x 23171 x 4 bytes is just over INT32_MAX; 50000 x 50000 far over.
    for (uint32_t side : {23171u, 50000u}) {
        std::string path = scratch("huge" + std::to_string(side) + ".png");
        write_file(path, header_only_png(side, side));
        EXPECT_EQ(TESS_LoadPNG(path.c_str(), nullptr), nullptr);
        TESS_MemBitmap mine(2, 2);
        EXPECT_EQ(TESS_LoadPNG(path.c_str(), &mine), nullptr);
        EXPECT_EQ(mine.width(), 2);  // refused before anything was resized
    }

    bool destroyed = false;
    FixedBitmap* fixed = new FixedBitmap(&destroyed);
    EXPECT_EQ(TESS_LoadPNG((suite_dir() + "/basn2c08.png").c_str(), fixed), nullptr);
    EXPECT_FALSE(destroyed);
    delete fixed;
    EXPECT_TRUE(destroyed);
}

namespace {
size_t largest_allocation = 0;
#ifdef TIVER_MALLOC_HOOKS
void record_malloc(const volatile void*, size_t size) {
    if (size > largest_allocation) largest_allocation = size;
}
void ignore_free(const volatile void*) {}
#endif
}  // namespace

// A 100-byte file whose text chunk claims 1.6 GB: libpng only warns about such a length and
// would allocate it before finding the file short.
TEST(PngLoad, HugeMetadataChunkIsNotAllocated) {
    std::vector<uint8_t> f = header_only_png(32, 32);
    f.resize(f.size() - 17);  // keep signature and IHDR
    f.insert(f.end(), {0x5F, 0x44, 0x49, 0x00, 'z', 'T', 'X', 't', 'k', 0, 0, 0x78, 0x9c});
    std::string path = scratch("huge-ztxt.png");
    write_file(path, f);
#ifdef TIVER_MALLOC_HOOKS
    static bool installed = __sanitizer_install_malloc_and_free_hooks(record_malloc, ignore_free) != 0;
    ASSERT_TRUE(installed);
#endif
    largest_allocation = 0;
    EXPECT_EQ(TESS_LoadPNG(path.c_str(), nullptr), nullptr);
#ifdef TIVER_MALLOC_HOOKS
    EXPECT_LT(largest_allocation, size_t(1) << 20);
#endif
}

TEST(PngLoad, CallersBitmapIsFilledWhateverItsRowOrder) {
    std::string path = suite_dir() + "/basn6a08.png";
    TESS_IBitmap* plain = TESS_LoadPNG(path.c_str(), nullptr);
    ASSERT_NE(plain, nullptr);
    std::vector<TESS_pixel> upright = picture(plain);
    delete plain;

    BottomUpBitmap bu;
    ASSERT_EQ(TESS_LoadPNG(path.c_str(), &bu), &bu);
    ASSERT_EQ(bu.width(), 32);
    ASSERT_EQ(bu.height(), 32);
    for (int32_t y = 0; y < 32; ++y) {
        const TESS_pixel* stored = &bu.pixels_[size_t(31 - y) * 35];
        for (int32_t x = 0; x < 32; ++x) ASSERT_EQ(stored[x], upright[size_t(y) * 32 + x]) << x << "," << y;
        for (int32_t x = 32; x < 35; ++x) EXPECT_EQ(stored[x], BottomUpBitmap::SENTINEL);
    }

    TESS_MemBitmap mem(100, 100);  // larger than the picture: shrinks to 32 x 32
    ASSERT_EQ(TESS_LoadPNG(path.c_str(), &mem), &mem);
    EXPECT_EQ(mem.width(), 32);
    EXPECT_EQ(picture(&mem), upright);
}

namespace {
int row_allocs = 0, row_frees = 0;
void* counting_alloc(size_t n) { ++row_allocs; return std::malloc(n); }
void counting_free(void* p) { ++row_frees; std::free(p); }
void* failing_alloc(size_t) { return nullptr; }
}  // namespace

TEST(PngLoad, RowTableIsFreedOnEveryPathAndItsFailureGivesNull) {
    const std::string good = suite_dir() + "/basn2c08.png";
    std::vector<uint8_t> bytes = read_file(good);
    const std::string cut = scratch("cut.png");
    write_file(cut, std::vector<uint8_t>(bytes.begin(), bytes.begin() + bytes.size() / 2));

    TESS_PNGRowTableAlloc = counting_alloc;
    TESS_PNGRowTableFree = counting_free;
    TESS_IBitmap* bm = TESS_LoadPNG(good.c_str(), nullptr);
    EXPECT_NE(bm, nullptr);
    delete bm;
    EXPECT_EQ(TESS_LoadPNG(cut.c_str(), nullptr), nullptr);
    EXPECT_EQ(row_allocs, 2);
    EXPECT_EQ(row_frees, 2);

    TESS_PNGRowTableAlloc = failing_alloc;
    EXPECT_EQ(TESS_LoadPNG(good.c_str(), nullptr), nullptr);
    TESS_MemBitmap mine(1, 1);
    EXPECT_EQ(TESS_LoadPNG(good.c_str(), &mine), nullptr);
    TESS_PNGRowTableAlloc = std::malloc;
    TESS_PNGRowTableFree = std::free;
}

TEST(PngDecoderEntry, ExtensionTestListAndRegistration) {
    std::vector<uint8_t> bytes = read_file(suite_dir() + "/basn2c08.png");
    fs::create_directories(scratch("dir.png"));
    const std::string upper = scratch("pic.PNG"), bak = scratch("pic.png.bak"),
                      bare = scratch("picture"), slash = scratch("dir.png/inside");
    for (const std::string& p : {upper, bak, bare, slash}) write_file(p, bytes);

    TESS_IBitmap* bm = TESS_PNGDecoderLoad(upper.c_str(), true, nullptr);
    EXPECT_NE(bm, nullptr);
    delete bm;
    EXPECT_EQ(TESS_PNGDecoderLoad(bak.c_str(), true, nullptr), nullptr);
    EXPECT_EQ(TESS_PNGDecoderLoad(bare.c_str(), true, nullptr), nullptr);
    EXPECT_EQ(TESS_PNGDecoderLoad(slash.c_str(), true, nullptr), nullptr);
    EXPECT_EQ(TESS_PNGDecoderLoad("", true, nullptr), nullptr);
    for (const std::string& p : {bak, bare, slash}) {
        bm = TESS_PNGDecoderLoad(p.c_str(), false, nullptr);
        EXPECT_NE(bm, nullptr) << p;
        delete bm;
    }

    const char* list = TESS_PNGDecoderExtensions();
    EXPECT_EQ(std::string(list, 25), std::string("PNG files (*.PNG)\0*.PNG\0\0", 25));

    const TESS_ImageDecoder* png = nullptr;
    for (const TESS_ImageDecoder* d = TESS_ImageDecoderList; d; d = d->next)
        if (d->load == TESS_PNGDecoderLoad) png = d;
    ASSERT_NE(png, nullptr);
    EXPECT_EQ(png->extensionList, TESS_PNGDecoderExtensions);
}
