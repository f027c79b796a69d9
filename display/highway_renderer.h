// The perspective note highway: projection, backdrop cache, the two drawing passes and the
// per-width cache of scaled slot images. Called by the editor's paint (ChartPreview::render_highway).
#pragma once

#include <cstdint>

class ChartPreview;
class TESS_IBitmap;

// Perspective depth of highway fraction u (0 strike line, 1 far end): 2u / (u + 1).
double highway_depth(double u);
// Pixels per unit of lane offset or width factor at u, per pixel of the square's side.
double highway_scale_at(double u);
// Screen row of u as a fraction of the square's side, from its top.
double highway_row_at(double u);

// Where a gem of lane offset l and width factor w lands at u in a square of side d whose
// top-left corner is (ox, oy): left edge x, width and anchor row y.
struct GemPlacement {
    int32_t x;
    int32_t y;
    int32_t width;
};
GemPlacement place_gem(int32_t d, int32_t ox, int32_t oy, double l, double w, double u);

// Draws slot `slot` onto dest at left edge x, `width` pixels wide with its aspect kept, with
// the fraction `anchor` of its height above row y, through the slot's cache of scaled copies.
void draw_asset_scaled(TESS_IBitmap* dest, int32_t slot, int32_t x, int32_t y, int32_t width,
                       float alpha, float anchor) noexcept;

// One frame from the first n records of instance->visible onto frame_bitmap (width x height):
// the backdrop (rebuilt when stale), then pass 0 (markers, kicks) and pass 1 (gems, sustains,
// flares). render_highway is compute_visible_gems followed by this. The backdrop is put back
// only where the last frame drew, when that is known (instance->drawn_rects), else whole.
void render_visible(ChartPreview* instance, int32_t n, int32_t width, int32_t height) noexcept;

// Says that columns x .. x + w - 1 of rows y .. y + h - 1 of frame_bitmap were drawn on after
// the highway (the control strip, a caption): the next frame restores them with its own.
void note_frame_drawn(ChartPreview* instance, int32_t x, int32_t y, int32_t w, int32_t h) noexcept;

// Makes the next frame copy the whole backdrop: for a frame bitmap made or resized, or drawn
// on where nothing said so.
void forget_frame_drawn(ChartPreview* instance) noexcept;
