// Writing a 32-bit TESS bitmap as an 8-bit RGBA (or RGB) PNG file through libpng. Used by
// the skin generator and the renderer tool.
#pragma once

#include <string>

#include "raster/tess_bitmap.h"

// Writes `bitmap` to `path`, replacing it only when the whole file was written: the data go
// to a temporary file beside it that is then renamed. With `keep_alpha` false the alpha
// channel is dropped (a screen picture). On failure returns false with a one-line reason.
bool write_png_file(TESS_IBitmap* bitmap, const std::string& path, bool keep_alpha,
                    std::string* error);

// The same PNG into memory (for a pipe or a test).
bool encode_png(TESS_IBitmap* bitmap, bool keep_alpha, std::string* out, std::string* error);
