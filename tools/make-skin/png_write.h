// Writing a 32-bit TESS bitmap as an 8-bit RGBA (or RGB) PNG file through libpng. Used by
// the skin generator and the renderer tool.
#pragma once

#include <string>

#include "raster/tess_bitmap.h"

// How a picture is stored.
enum class PngKind {
    // A screen picture: RGB, alpha dropped, libpng's adaptive row filters (smallest file).
    Screen,
    // An image with its alpha channel, rows unfiltered and stored without compression: a
    // skin is loaded whenever a plug-in is first opened, and inflating its 59 images was
    // two thirds of the load. The folder grows from 0.6 to 5.5 MB; the release zip
    // compresses it as before.
    Image,
};

// Writes `bitmap` to `path`, replacing it only when the whole file was written: the data go
// to a temporary file beside it that is then renamed. On failure returns false with a
// one-line reason.
bool write_png_file(TESS_IBitmap* bitmap, const std::string& path, PngKind kind, std::string* error);

// The same PNG into memory.
bool encode_png(TESS_IBitmap* bitmap, PngKind kind, std::string* out, std::string* error);
