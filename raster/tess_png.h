// PNG loading through libpng into 32-bit TESS bitmaps, and the process-wide list of image
// decoders that the PNG entry joins during static initialisation. Called by the asset set.
#pragma once

#include <cstddef>
#include <cstdio>

#include "raster/tess_bitmap.h"

// One entry of the image decoder list.
struct TESS_ImageDecoder {
    // Loads a file into `bitmap` (or a new bitmap when null); null on failure. With
    // checkExtension, a name without the decoder's extension yields null unopened.
    TESS_IBitmap* (*load)(const char* filename, bool checkExtension, TESS_IBitmap* bitmap);
    // File-dialog filter: description and pattern strings, ended by an empty string.
    const char* (*extensionList)();
    TESS_ImageDecoder* next;
};

// Head of the decoder list; written only during static initialisation.
extern TESS_ImageDecoder* TESS_ImageDecoderList;

// Reads a PNG file named in UTF-8 (ANSI code page as fallback on Windows). Returns `bitmap`
// resized and filled, or a new TESS_MemBitmap owned by the caller when `bitmap` is null;
// null on any failure. A caller's bitmap is never deleted.
TESS_IBitmap* TESS_LoadPNG(const char* filename, TESS_IBitmap* bitmap) noexcept;

// The PNG entry's load: with checkExtension, only names ending in ".png" (any case) are tried.
TESS_IBitmap* TESS_PNGDecoderLoad(const char* filename, bool checkExtension,
                                  TESS_IBitmap* bitmap) noexcept;

// "PNG files (*.PNG)\0*.PNG\0\0".
const char* TESS_PNGDecoderExtensions() noexcept;

// ---- Pieces of the loader exposed for tests and the fuzzer ----

// Which route opened an image file.
enum TESS_FileRoute { TESS_FILE_ROUTE_NONE = 0, TESS_FILE_ROUTE_WIDE = 1, TESS_FILE_ROUTE_NARROW = 2 };

// Opens a file for binary reading: on Windows NT through the UTF-16 form of a valid UTF-8
// name, else (or when that fails) through the narrow name. `route` may be null.
FILE* TESS_OpenImageFile(const char* filename, TESS_FileRoute* route) noexcept;

// Decodes a PNG from an open stream positioned at its signature; does not close it.
TESS_IBitmap* TESS_LoadPNGStream(FILE* stream, TESS_IBitmap* bitmap) noexcept;

// Allocator of the per-load row table (one pointer per image row). Replaceable so that
// tests can make the allocation fail; defaults to malloc and free.
typedef void* (*TESS_RowTableAllocFn)(size_t bytes);
typedef void (*TESS_RowTableFreeFn)(void* block);
extern TESS_RowTableAllocFn TESS_PNGRowTableAlloc;
extern TESS_RowTableFreeFn TESS_PNGRowTableFree;
