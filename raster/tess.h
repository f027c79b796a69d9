// TESS raster library, public entry points: bitmaps, combining, blit and clear, fills, lines,
// 8 x 8 text, scaled blit and PNG loading. Included by the display code, tools, tests and benchmarks.
#pragma once

#include <cstdint>

#include "raster/tess_bitmap.h"
#include "raster/tess_combine.h"
#include "raster/tess_cpu.h"

// Every drawing call takes a mode word (blend mode in bits 0-7, TESS_BLIT_FILTER_* in bits
// 8-15, TESS_BLIT_USE_ALPHA) and a float alpha. Null bitmaps, bitmaps without pixels, zero
// alphas and areas that clip to nothing draw nothing; nothing is ever reported. Coordinates
// are top-down picture coordinates whatever the bitmap's row order. A bitmap must not be
// drawn into from two threads at once.

// Source rectangle, right and bottom exclusive (the layout of the platform's RECT).
struct TESS_RECT {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

// Copies or blends srcRect of src (null: all of it) onto dest with its top-left pixel at
// (x, y), one source pixel per destination pixel. Mode 0xF0..0xFF copies one byte channel
// (bits 0-1 source, bits 2-3 destination). src and dest must not overlap.
void TESS_Blit(TESS_IBitmap* dest, TESS_IBitmap* src, int32_t x, int32_t y,
               const TESS_RECT* srcRect, float alpha, int32_t mode) noexcept;

// The columns [begin, end) of one picture row that hold every pixel whose alpha is not 0;
// begin == end when the row has none.
struct TESS_RowSpan {
    int32_t begin;
    int32_t end;
};

// Writes the visible span of each of the bitmap's height() picture rows into spans.
void TESS_FindVisibleSpans(TESS_IBitmap* bitmap, TESS_RowSpan* spans) noexcept;

// TESS_Blit of the whole of src, given src's visible spans (TESS_FindVisibleSpans, one per
// picture row, valid for its current pixels): the same pixels, but the source-alpha COPY, ADD
// and MULTIPLY, which leave the destination alone under a transparent source, visit only the
// spans. Null spans: a plain TESS_Blit.
void TESS_BlitVisible(TESS_IBitmap* dest, TESS_IBitmap* src, int32_t x, int32_t y,
                      const TESS_RowSpan* spans, float alpha, int32_t mode) noexcept;

// Stores colour, unchanged, into every pixel of the bitmap.
void TESS_Clear(TESS_IBitmap* bitmap, TESS_pixel colour) noexcept;

// Fills columns x..x+w-1 of rows y..y+h-1 with colour's red, green and blue by the blend mode;
// TESS_BLIT_USE_ALPHA scales alpha by colour's alpha byte.
void TESS_FillRect(TESS_IBitmap* bitmap, int32_t x, int32_t y, int32_t w, int32_t h,
                   TESS_pixel colour, float alpha, int32_t mode) noexcept;

// A box of (w + 1) x (h + 1) pixels: the (w - 1) x (h - 1) interior filled, a one-pixel
// outline along columns x and x + w and rows y and y + h.
void TESS_FillRectBordered(TESS_IBitmap* bitmap, int32_t x, int32_t y, int32_t w, int32_t h,
                           TESS_pixel fillColour, TESS_pixel borderColour, float alpha,
                           int32_t mode) noexcept;

// A straight line, both end points included, by the blend mode in bits 0-7 of mode.
void TESS_Line(TESS_IBitmap* bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
               TESS_pixel colour, float alpha, int32_t mode, bool antialias) noexcept;

// Clips a segment to the rectangle (0, 0)..(width - 1, height - 1), moving the end points onto
// it. Returns false when the segment lies wholly outside (the coordinates are then meaningless).
bool TESS_ClipSegment(int32_t* x1, int32_t* y1, int32_t* x2, int32_t* y2, int32_t width,
                      int32_t height) noexcept;

// The outline of (w + 1) x (h + 1) pixels from (x, y) to (x + w, y + h); corners are
// combined twice.
void TESS_OutlineRect(TESS_IBitmap* bitmap, int32_t x, int32_t y, int32_t w, int32_t h,
                      TESS_pixel colour, float alpha, int32_t mode) noexcept;

// The built-in 8 x 8 font: glyph of code c (1..127) at entry c - 1, byte 0 the top row,
// bit 7 the leftmost column.
extern const uint8_t TESS_FONT_8X8[127][8];

// Text in the 8 x 8 font with its first cell's top-left corner at (x, y). Tab advances 40
// pixels, line feed returns to x one row of 8 lower, carriage return is ignored.
void TESS_DrawText(TESS_IBitmap* bitmap, int32_t x, int32_t y, const char* text,
                   TESS_pixel colour, float alpha, int32_t mode) noexcept;

// The same text with every font pixel a square of scale x scale pixels (cells, tab and
// line feed scaled alike); a scale below 1 draws nothing. Scale 1 is TESS_DrawText.
void TESS_DrawTextScaled(TESS_IBitmap* bitmap, int32_t x, int32_t y, const char* text, int32_t scale,
                         TESS_pixel colour, float alpha, int32_t mode) noexcept;

// One glyph with its cell's top-left corner at (x, y); codes 0 and 128..255 draw nothing.
void TESS_DrawGlyph(TESS_IBitmap* bitmap, int32_t x, int32_t y, uint8_t code, TESS_pixel colour,
                    float alpha, int32_t mode) noexcept;

// ---- Scaled blit and PNG loading (declared by their own units) --------------------------------

#include "raster/tess_png.h"
#include "raster/tess_scaled.h"


// ---- end of scaled blit and PNG loading ---------------------------------------------------------
