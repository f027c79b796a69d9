#include "tools/make-skin/png_write.h"

#include <png.h>
#include <unistd.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

struct Sink {
    std::string* bytes;
};

void write_bytes(png_structp png, png_bytep data, png_size_t length) {
    Sink* sink = static_cast<Sink*>(png_get_io_ptr(png));
    sink->bytes->append(reinterpret_cast<const char*>(data), length);
}

void flush_nothing(png_structp) {}

// libpng reports errors by longjmp; the message is kept for the caller.
void on_error(png_structp png, png_const_charp message) {
    std::string* error = static_cast<std::string*>(png_get_error_ptr(png));
    if (error) *error = message ? message : "PNG encoder error";
    png_longjmp(png, 1);
}

void on_warning(png_structp, png_const_charp) {}


// One libpng session over prepared rows; nothing here lives across the longjmp but the
// arguments.
bool run_encoder(png_bytep* rows, png_uint_32 w, png_uint_32 h, bool image, std::string* bytes,
                 std::string* reason) {
    Sink sink{bytes};
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, reason, on_error, on_warning);
    if (!png) {
        *reason = "out of memory";
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        if (reason->empty()) *reason = "PNG encoder error";
        return false;
    }
    png_set_write_fn(png, &sink, write_bytes, flush_nothing);
    if (image) {
        png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
        png_set_compression_level(png, 0);
    }
    png_set_IHDR(png, info, w, h, 8, image ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

bool encode_png(TESS_IBitmap* bitmap, PngKind kind, std::string* out, std::string* error) {
    if (!bitmap || !bitmap->bits() || bitmap->width() <= 0 || bitmap->height() <= 0) {
        if (error) *error = "empty picture";
        return false;
    }
    const bool keep_alpha = kind == PngKind::Image;
    const int32_t w = bitmap->width(), h = bitmap->height();
    const int channels = keep_alpha ? 4 : 3;
    std::vector<png_byte> rows(static_cast<size_t>(w) * h * channels);
    std::vector<png_bytep> row_pointers(static_cast<size_t>(h));
    for (int32_t y = 0; y < h; ++y) {
        const int32_t src_row = bitmap->isBottomUp() ? h - 1 - y : y;
        const TESS_pixel* s = bitmap->bits() + static_cast<ptrdiff_t>(src_row) * bitmap->rowSpan();
        png_byte* d = rows.data() + static_cast<size_t>(y) * w * channels;
        row_pointers[static_cast<size_t>(y)] = d;
        for (int32_t x = 0; x < w; ++x) {
            const TESS_pixel p = s[x];
            *d++ = static_cast<png_byte>(p >> 16);
            *d++ = static_cast<png_byte>(p >> 8);
            *d++ = static_cast<png_byte>(p);
            if (keep_alpha) *d++ = static_cast<png_byte>(p >> 24);
        }
    }
    std::string bytes, reason;
    if (!run_encoder(row_pointers.data(), static_cast<png_uint_32>(w), static_cast<png_uint_32>(h),
                     keep_alpha, &bytes, &reason)) {
        if (error) *error = reason;
        return false;
    }
    out->swap(bytes);
    return true;
}

bool write_png_file(TESS_IBitmap* bitmap, const std::string& path, PngKind kind, std::string* error) {
    std::string bytes;
    if (!encode_png(bitmap, kind, &bytes, error)) return false;
    const std::string temp = path + ".part" + std::to_string(static_cast<long>(getpid()));
    FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) {
        if (error) *error = std::string("cannot write ") + path + ": " + std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    const int saved = errno;
    const bool closed = std::fclose(f) == 0;
    if (!written || !closed || std::rename(temp.c_str(), path.c_str()) != 0) {
        const int why = !written ? saved : errno;
        std::remove(temp.c_str());
        if (error) *error = std::string("cannot write ") + path + ": " + std::strerror(why);
        return false;
    }
    return true;
}
