// PNG loading: opens the file, drives libpng with silent handlers, and turns every colour
// type into TESS pixels decoded straight into the destination bitmap's rows.
#include "raster/tess_png.h"

#include <climits>
#include <csetjmp>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include <png.h>

#include "raster/tess_kernels.h"

#ifdef _WIN32
#include <windows.h>
#include <wchar.h>
#endif

TESS_ImageDecoder* TESS_ImageDecoderList = nullptr;

TESS_RowTableAllocFn TESS_PNGRowTableAlloc = std::malloc;
TESS_RowTableFreeFn TESS_PNGRowTableFree = std::free;

namespace {

// One load's libpng structures and allocations. Kept outside the frame that calls setjmp so
// that the error path sees every pointer as last stored.
struct PngLoad {
    png_structp png = nullptr;
    png_infop info = nullptr;
    TESS_IBitmap* bitmap = nullptr;   // destination, the caller's or `created`
    TESS_IBitmap* created = nullptr;  // made by the loader; deleted on failure
    png_bytep* rows = nullptr;
    png_uint_32 width = 0;
    png_uint_32 height = 0;
};

// A plug-in inside a host prints nothing: errors only unwind, warnings vanish.
[[noreturn]] void silent_error(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void silent_warning(png_structp, png_const_charp) {}

// Gives the loader a destination of exactly width x height with packed-or-wider rows.
bool prepare_destination(PngLoad* load) {
    const int32_t w = int32_t(load->width);
    const int32_t h = int32_t(load->height);
    if (load->bitmap) {
        load->bitmap->resize(w, h);
    } else {
        load->created = new (std::nothrow) TESS_MemBitmap(w, h);
        load->bitmap = load->created;
        if (!load->bitmap) return false;
    }
    TESS_IBitmap* bm = load->bitmap;
    return bm->width() == w && bm->height() == h && bm->bits() && bm->rowSpan() >= w;
}

// Row i of the table is picture row i (top-down whatever the bitmap's row order).
bool build_row_table(PngLoad* load) {
    load->rows = static_cast<png_bytep*>(TESS_PNGRowTableAlloc(sizeof(png_bytep) * load->height));
    if (!load->rows) return false;
    TESS_IBitmap* bm = load->bitmap;
    ptrdiff_t span = bm->rowSpan();
    TESS_pixel* first = bm->bits();
    if (bm->isBottomUp()) {
        first += ptrdiff_t(bm->height() - 1) * span;
        span = -span;
    }
    for (png_uint_32 i = 0; i < load->height; ++i)
        load->rows[i] = reinterpret_cast<png_bytep>(first + ptrdiff_t(i) * span);
    return true;
}

// libpng's last step on each row, while the row is still in its own small buffer: bytes red,
// green, blue, alpha become a TESS pixel's blue, green, red, alpha.
void to_pixel_layout(png_structp, png_row_infop row, png_bytep data) {
    if (row->bit_depth != 8 || row->channels != 4 || row->rowbytes < size_t(row->width) * 4) return;
    if (row->width > png_uint_32(INT32_MAX)) return;
    tess::kernels().swap_red_blue(data, int32_t(row->width));
}

// Header to last image row. Every libpng error lands at the setjmp and returns false; no
// object with a destructor may live in this frame.
bool decode(PngLoad* load, FILE* stream) {
    if (setjmp(png_jmpbuf(load->png))) return false;

    // Only IHDR, PLTE, tRNS and IDAT matter here. Skipping every other chunk also keeps libpng
    // from allocating a text or profile chunk's declared length (up to 2 GB) before it finds
    // the file too short: its size check on those is only a warning.
    png_set_keep_unknown_chunks(load->png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    // Every chunk's CRC is still checked, the image data's included, so zlib's second checksum
    // over the same bytes (Adler-32 of the inflated data) finds nothing new: skip it.
    png_set_option(load->png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
    png_init_io(load->png, stream);
    png_read_info(load->png, load->info);
    int depth = 0, colour = 0, interlace = 0, compression = 0, filter = 0;
    png_get_IHDR(load->png, load->info, &load->width, &load->height, &depth, &colour, &interlace,
                 &compression, &filter);
    // Bitmap sizes keep width * height * 4 within int32; refuse larger pictures before libpng
    // allocates its row buffers.
    if (int64_t(load->width) * int64_t(load->height) * 4 > INT32_MAX) return false;

    // Every colour type and depth ends as four bytes per pixel: red, green, blue, alpha. An
    // 8-bit RGBA image, as every skin image is, needs no transformation by libpng at all.
    const bool trns = png_get_valid(load->png, load->info, PNG_INFO_tRNS) != 0;
    if (colour == PNG_COLOR_TYPE_PALETTE) png_set_expand(load->png);
    if (colour == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand(load->png);
    if (trns) png_set_tRNS_to_alpha(load->png);
    if (depth == 16) png_set_strip_16(load->png);
    if (depth < 8) png_set_packing(load->png);
    const bool opaque_type = colour == PNG_COLOR_TYPE_GRAY || colour == PNG_COLOR_TYPE_RGB ||
                             colour == PNG_COLOR_TYPE_PALETTE;
    if (opaque_type && !trns) png_set_filler(load->png, 0xFF, PNG_FILLER_AFTER);
    if (colour == PNG_COLOR_TYPE_GRAY || colour == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(load->png);
    png_set_read_user_transform_fn(load->png, to_pixel_layout);

    // libpng writes whole rows into the bitmap, so make sure a row is exactly 4 * width bytes.
    png_set_interlace_handling(load->png);
    png_read_update_info(load->png, load->info);
    if (png_get_rowbytes(load->png, load->info) != size_t(load->width) * 4) return false;

    if (!prepare_destination(load)) return false;
    if (!build_row_table(load)) return false;
    png_read_image(load->png, load->rows);  // runs all interlace passes into the same rows
    return true;
}

bool ends_in_png_extension(const char* name) {
    const char* p = name + std::strlen(name);
    while (p > name) {
        --p;
        if (*p == '\\' || *p == '/' || *p == '.') break;
    }
    const char* ext = ".png";
    for (; *p && *ext; ++p, ++ext) {
        char c = *p;
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        if (c != *ext) return false;
    }
    return *p == 0 && *ext == 0;
}

const char PNG_FILTER_LIST[] = "PNG files (*.PNG)\0*.PNG\0";  // the literal adds the last zero

TESS_ImageDecoder png_decoder = {TESS_PNGDecoderLoad, TESS_PNGDecoderExtensions, nullptr};

// Joins the decoder list before the program's entry point runs.
struct RegisterPngDecoder {
    RegisterPngDecoder() {
        png_decoder.next = TESS_ImageDecoderList;
        TESS_ImageDecoderList = &png_decoder;
    }
} register_png_decoder;

}  // namespace

FILE* TESS_OpenImageFile(const char* filename, TESS_FileRoute* route) noexcept {
    if (route) *route = TESS_FILE_ROUTE_NONE;
    if (!filename) return nullptr;
#ifdef _WIN32
    if ((GetVersion() & 0x80000000u) == 0) {  // NT family: wide file names exist
        wchar_t wide[2048];
        if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, filename, -1, wide, 2048) > 0) {
            if (FILE* f = _wfopen(wide, L"rb")) {
                if (route) *route = TESS_FILE_ROUTE_WIDE;
                return f;
            }
        }
    }
#endif
    FILE* f = std::fopen(filename, "rb");
    if (f && route) *route = TESS_FILE_ROUTE_NARROW;
    return f;
}

TESS_IBitmap* TESS_LoadPNGStream(FILE* stream, TESS_IBitmap* bitmap) noexcept {
    if (!stream) return nullptr;
    PngLoad load;
    load.bitmap = bitmap;
    load.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, silent_error, silent_warning);
    if (!load.png) return nullptr;
    load.info = png_create_info_struct(load.png);
    if (!load.info) {
        png_destroy_read_struct(&load.png, nullptr, nullptr);
        return nullptr;
    }
    const bool ok = decode(&load, stream);
    png_destroy_read_struct(&load.png, &load.info, nullptr);
    if (load.rows) TESS_PNGRowTableFree(load.rows);
    if (!ok) {
        delete load.created;
        return nullptr;
    }
    return load.bitmap;
}

TESS_IBitmap* TESS_LoadPNG(const char* filename, TESS_IBitmap* bitmap) noexcept {
    FILE* f = TESS_OpenImageFile(filename, nullptr);
    if (!f) return nullptr;
    // A skin image is a few kilobytes: one read for most of them.
    std::setvbuf(f, nullptr, _IOFBF, 1 << 16);
    TESS_IBitmap* result = TESS_LoadPNGStream(f, bitmap);
    std::fclose(f);
    return result;
}

TESS_IBitmap* TESS_PNGDecoderLoad(const char* filename, bool checkExtension,
                                  TESS_IBitmap* bitmap) noexcept {
    if (!filename) return nullptr;
    if (checkExtension && !ends_in_png_extension(filename)) return nullptr;
    return TESS_LoadPNG(filename, bitmap);
}

const char* TESS_PNGDecoderExtensions() noexcept { return PNG_FILTER_LIST; }
