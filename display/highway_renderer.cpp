// The highway renderer: a fixed perspective inside the largest centred square of the window.
// Every coordinate is computed in double and turned into a pixel by adding 0.5 and truncating.

#include "display/highway_renderer.h"

#include <cstring>
#include <new>

#include "chart/chart_event.h"
#include "display/asset_set.h"
#include "display/highway_projection.h"
#include "plugin/chart_preview.h"
#include "raster/tess.h"

namespace {

constexpr double SCALE_NEAR = HIGHWAY_SCALE_NEAR;
constexpr double SCALE_FAR = HIGHWAY_SCALE_FAR;
constexpr double ROW_NEAR = HIGHWAY_ROW_NEAR;
constexpr double ROW_FAR = HIGHWAY_ROW_FAR;
constexpr double LANE_SPACING = 0.4;
constexpr double GEM_WIDTH = 0.4;
constexpr double PAD_SPACING = 0.475;
constexpr double PAD_CENTRE = 2.5;
constexpr double MARKER_WIDTH = 2.05;
constexpr double OPEN_WIDTH = 2.0;   // the open bar spans the five lanes
constexpr double STRIP_WIDTH = 2.05; // solo and fill strips, as wide as the marker bars
constexpr double SMASH_WIDTH = 2.05;
constexpr double KICK_WIDTH = 2.15;
constexpr double KICK_FLASH_WIDTH = 3.0;
constexpr double SUSTAIN_WIDTH = 0.75;
constexpr double FLARE_WIDTH = 1.75;
constexpr double SUSTAIN_GAP = 0.05;
constexpr double FADE_START = 0.9;
constexpr double FADE_SLOPE = 10.0;
constexpr float ANCHOR_GEM = 1.0f;
constexpr float ANCHOR_MARKER = 0.75f;
constexpr float ANCHOR_SMASH = 0.53f;
constexpr float ANCHOR_KICK_FLASH = 0.55f;

inline int32_t to_pixel(double v) { return static_cast<int32_t>(v + 0.5); }

inline bool is_smash(int32_t k) { return k >= SLOT_SMASH_FIRST && k <= SLOT_SMASH_LAST; }

// Both drawing passes' view of the frame.
struct Frame {
    TESS_IBitmap* dest;
    ChartPreview* self;  // keeps the list of what the frame draws
    int32_t width;
    int32_t height;
    int32_t d;
    int32_t ox;
    int32_t oy;
    bool drums;
    int32_t mode;
};

// Columns [left, right) of rows [top, bottom), clipped to the frame, into the instance's list
// of what this frame drew; a list that cannot grow leaves the next frame to copy everything.
void drawn(ChartPreview* self, int32_t width, int32_t height, int32_t left, int32_t top, int32_t right,
           int32_t bottom) {
    if (!self->drawn_frame) return;
    TESS_RECT r = {left < 0 ? 0 : left, top < 0 ? 0 : top, right > width ? width : right,
                   bottom > height ? height : bottom};
    if (r.left >= r.right || r.top >= r.bottom) return;
    // A gem's smash, flare and the like often fall inside what was drawn just before.
    if (const int32_t n = self->drawn_rects.count<TESS_RECT>()) {
        const TESS_RECT& last = self->drawn_rects.records<TESS_RECT>()[n - 1];
        if (r.left >= last.left && r.right <= last.right && r.top >= last.top && r.bottom <= last.bottom) return;
    }
    if (!self->drawn_rects.append(r)) self->drawn_frame = nullptr;
}

// The backdrop onto the frame: over what the last frame drew when that is known and is less
// than half the frame, else whole. The list then starts afresh for this frame.
void restore_backdrop(ChartPreview* self, TESS_IBitmap* dest, TESS_IBitmap* layer, int32_t width,
                      int32_t height) {
    const TESS_RECT* rects = self->drawn_rects.records<TESS_RECT>();
    const int32_t count = self->drawn_rects.count<TESS_RECT>();
    bool whole = !self->drawn_frame || self->drawn_frame != dest->bits();
    int64_t area = 0;
    for (int32_t i = 0; i < count && !whole; ++i) {
        area += static_cast<int64_t>(rects[i].right - rects[i].left) * (rects[i].bottom - rects[i].top);
        whole = area * 2 > static_cast<int64_t>(width) * height;
    }
    if (whole) {
        TESS_Blit(dest, layer, 0, 0, nullptr, 1.0f, TESS_BLIT_MODE_COPY);
    } else {
        for (int32_t i = 0; i < count; ++i)
            TESS_Blit(dest, layer, rects[i].left, rects[i].top, &rects[i], 1.0f, TESS_BLIT_MODE_COPY);
    }
    self->drawn_rects.resize(0, false);
    self->drawn_frame = dest->bits();
}

// draw_asset_scaled, with what it drew added to the frame's list when f is given.
void draw_slot(TESS_IBitmap* dest, const Frame* f, int32_t slot, int32_t x, int32_t y, int32_t width,
               float alpha, float anchor);

void rebuild_backdrop(ChartPreview* self, const Frame& f, int32_t width, int32_t height) {
    AssetSet& a = g_assets;
    if (self->layer_bitmap) self->layer_bitmap->resize(width, height);
    else self->layer_bitmap = new (std::nothrow) TESS_MemBitmap(width, height);
    self->layout_dirty = 0;
    forget_frame_drawn(self);
    // Every gem width depends on the square's side.
    empty_scaled_copies();
    TESS_IBitmap* layer = self->layer_bitmap;
    if (!layer) return;
    if (TESS_MemBitmap* bg = a.background) {
        TESS_ScaledBlit(layer, bg, 0, 0, width, height, 0.0f, 0.0f, static_cast<float>(bg->width()),
                        static_cast<float>(bg->height()), 1.0f, TESS_BLIT_FILTER_BILINEAR);
    } else {
        TESS_Clear(layer, 0xFF000000u);
    }
    if (TESS_MemBitmap* track = f.drums ? a.track_drum : a.track_guitar) {
        TESS_ScaledBlit(layer, track, f.ox, f.oy, f.d, f.d, 0.0f, 0.0f,
                        static_cast<float>(track->width()), static_cast<float>(track->height()),
                        1.0f, TESS_BLIT_USE_ALPHA | TESS_BLIT_FILTER_BILINEAR);
    }
}

// A trail from highway fraction s to e (s < e): every screen row between their projections
// stretches the middle third of the image's first row to the row's width, `scale` x D x w x F,
// centred at D x l x F. False when no row was drawn.
bool draw_trail(const Frame& f, TESS_MemBitmap* image, double s, double e, double l, double w,
                double scale) {
    const double D = f.d;
    const int32_t ys = to_pixel(highway_row_at(s) * D);
    const int32_t ye = static_cast<int32_t>(highway_row_at(e) * D);
    if (ys <= ye || !image) return false;

    const float third = static_cast<float>(image->width() / 3);
    const double fs = highway_scale_at(s);
    const double fe = highway_scale_at(e);
    const double wS = scale * D * w * fs;
    const double wE = scale * D * w * fe;
    const double cS = D * l * fs;
    const double cE = D * l * fe;
    const int32_t rows = ys - ye;
    const double dw = (wS - wE) / rows;
    const double dx = (cS - cE) / rows - dw * 0.5;
    double left = D * 0.5 + cE - wE * 0.5 + f.ox;
    double cur = wE;
    // Every row stretches the same strip onto the same frame: set up once.
    TESS_ScaledBlitSetup strip;
    TESS_PrepareScaledBlit(&strip, f.dest, image, third, 0.0f, third, 1.0f, 1.0f, TESS_BLIT_USE_ALPHA);
    // What the rows cover, in bands of TRAIL_BAND rows: a long trail narrows far more than
    // one box around it would show.
    constexpr int32_t TRAIL_BAND = 16;
    int32_t lowest = INT32_MAX, highest = INT32_MIN, band = ye + f.oy;
    for (int32_t r = ye + f.oy; r < ys + f.oy; ++r) {
        const int32_t x = to_pixel(left), w = to_pixel(cur);
        TESS_ScaledBlitPrepared(&strip, x, r, w, 1);
        // A negative width runs left of x.
        const int32_t a = w < 0 ? x + w : x, b = w < 0 ? x : x + w;
        if (a < lowest) lowest = a;
        if (b > highest) highest = b;
        if (r + 1 - band == TRAIL_BAND || r + 1 == ys + f.oy) {
            drawn(f.self, f.width, f.height, lowest, band, highest, r + 1);
            lowest = INT32_MAX;
            highest = INT32_MIN;
            band = r + 1;
        }
        left += dx;
        cur += dw;
    }
    return true;
}

// The sustain behind a five-lane gem (k, l, w as classified) and, for a gem being played, its
// flare: a trail three quarters as wide as the gem.
void draw_sustain(const Frame& f, const VisibleGem& g, int32_t k, double l, double w, double t,
                  double u, float alpha) {
    const AssetSet& a = g_assets;
    const bool smash = is_smash(k);
    const bool open = g.lane == OPEN_LANE;
    double e = t + g.tail;
    if (e > 1.0) e = 1.0;
    const double s = smash ? u : u + SUSTAIN_GAP;
    if (!(e > s)) return;

    TESS_MemBitmap* image = nullptr;
    if (g.styled) image = a.sustain[SUSTAIN_STYLE];
    else if (open) image = a.sustain_open;
    else if (k <= SUSTAIN_STYLE) image = a.sustain[k];
    if (smash) {
        if (g.styled) {
            if (a.sustain_hi[SUSTAIN_STYLE]) image = a.sustain_hi[SUSTAIN_STYLE];
        } else if (open) {
            if (a.sustain_open_hi) image = a.sustain_open_hi;
        } else if (g.lane >= 0 && g.lane <= 4) {
            image = a.sustain_hi[g.lane] ? a.sustain_hi[g.lane] : a.sustain[g.lane];
        }
    }
    if (!draw_trail(f, image, s, e, l, w, SUSTAIN_WIDTH) || !smash) return;

    int32_t slot;
    if (g.styled) slot = SLOT_FLARE_STYLE;
    else if (open) slot = SLOT_FLARE_OPEN;
    else if (g.lane >= 0 && g.lane <= 4) slot = SLOT_FLARE_GREEN + g.lane;
    else return;
    // An open's flare is a centre-lane gem's.
    const double gem_w = open ? GEM_WIDTH : w;
    const double D = f.d;
    const double F = highway_scale_at(u);
    const double R = static_cast<double>(static_cast<float>(gem_w * FLARE_WIDTH)) * D * F;
    draw_slot(f.dest, &f, slot, to_pixel(F * D * l + D * 0.5 - R * 0.5) + f.ox,
              to_pixel(highway_row_at(u) * D) + f.oy, to_pixel(R), alpha, ANCHOR_SMASH);
}

// A solo, fill or lane strip: a band along the highway from its start (or the strike line) to
// its end (or the far end), under everything else.
void draw_strip(const Frame& f, const VisibleGem& g) {
    const AssetSet& a = g_assets;
    TESS_MemBitmap* image;
    double l = 0.0;
    double w = STRIP_WIDTH;
    if (g.image == IMAGE_SOLO_STRIP) {
        image = a.solo_lane;
    } else if (g.image == IMAGE_FILL_STRIP) {
        image = a.fill_lane;
    } else {
        image = a.roll_lane;
        w = GEM_WIDTH;
        if (f.drums) l = (g.lane - PAD_CENTRE) * PAD_SPACING;
        else if (g.lane == OPEN_LANE) w = OPEN_WIDTH;
        else l = (g.lane - 2) * LANE_SPACING;
    }
    const double s = g.near < 0.0 ? 0.0 : g.near;
    double e = g.near + g.tail;
    if (e > 1.0) e = 1.0;
    if (e > s) draw_trail(f, image, s, e, l, w, 1.0);
}

void draw_record(const Frame& f, const VisibleGem& g) {
    int32_t k = g.image;
    // A kick-flash counter run on past its seven pictures (a lane-0 gem that smashed in a
    // five-lane mode before MODE changed to drums) has nothing to show.
    if (k > SLOT_KICK_FLASH_LAST) return;
    const bool open = !f.drums && g.lane == OPEN_LANE;
    const double t = g.near;
    const double u = t < 0.0 ? 0.0 : t;
    const bool hidden = t < 0.0;
    float alpha = 1.0f;
    if (u > FADE_START) alpha = static_cast<float>(1.0 - (u - FADE_START) * FADE_SLOPE);

    const bool marker = k < 0;
    double l;
    double w;
    if (marker) {
        k = SLOT_BEAT_MARKER + (-1 - k);  // -1, -2, -3 -> 18, 19, 20
        l = 0.0;
        w = MARKER_WIDTH;
    } else if (f.drums && k == 0) {
        k = SLOT_GEM_KICK;
        l = 0.0;
        w = KICK_WIDTH;
    } else if (f.drums) {
        if (k == 4) k = 0;  // the fourth pad uses the green images
        l = (g.lane - PAD_CENTRE) * PAD_SPACING;
        w = GEM_WIDTH;
    } else if (open) {
        l = 0.0;
        w = OPEN_WIDTH;
    } else {
        l = (g.lane - 2) * LANE_SPACING;
        w = GEM_WIDTH;
    }

    if (!f.drums && g.tail > 0.0 && (k < SLOT_GEM_KICK || is_smash(k)))
        draw_sustain(f, g, k, l, w, t, u, alpha);

    float anchor = ANCHOR_GEM;
    if (marker) {
        anchor = ANCHOR_MARKER;
    } else if (k >= SLOT_KICK_FLASH_FIRST && k <= SLOT_KICK_FLASH_LAST) {
        anchor = ANCHOR_KICK_FLASH;
        w = KICK_FLASH_WIDTH;
        l = 0.0;
    } else if (is_smash(k)) {
        anchor = ANCHOR_SMASH;
        if (open) w = GEM_WIDTH;  // an open smashes as a centre-lane gem
        w *= SMASH_WIDTH;
    }

    if (open) {
        if (k == OPEN_LANE) {
            k = g.styled ? SLOT_GEM_OPEN_STYLE : SLOT_GEM_OPEN;
            if (g.variant == 1) ++k;  // the HOPO open
        }
    } else {
        if (g.styled) {
            if (k <= 4) k = SLOT_GEM_STYLE;
            else if (k == SLOT_GEM_KICK) k = SLOT_GEM_KICK_STYLE;
        }
        if (!f.drums && g.variant == 1) {
            if (k <= 4) k += SLOT_GEM_HOPO_GREEN;
            else if (k == SLOT_GEM_STYLE) k = SLOT_GEM_HOPO_STYLE;
        } else if (!f.drums && g.variant == 2) {
            if (k <= 4) k += SLOT_GEM_TAP_GREEN;
            else if (k == SLOT_GEM_STYLE) k = SLOT_GEM_TAP_STYLE;
        } else if (f.drums && g.variant == 2) {  // the Expert+ kick
            if (k == SLOT_GEM_KICK) k = SLOT_GEM_KICK_2X;
            else if (k == SLOT_GEM_KICK_STYLE) k = SLOT_GEM_KICK_2X_STYLE;
        }
        if (f.mode == 1 && g.variant == 0) {
            if (k == 0) k = SLOT_GEM_CYM_GREEN;
            else if (k == 2) k = SLOT_GEM_CYM_YELLOW;
            else if (k == 3) k = SLOT_GEM_CYM_BLUE;
            else if (k == SLOT_GEM_STYLE && g.lane != 1) k = SLOT_GEM_CYM_STYLE;
        }
    }

    if (hidden) return;
    const GemPlacement p = place_gem(f.d, f.ox, f.oy, l, w, u);
    draw_slot(f.dest, &f, k, p.x, p.y, p.width, alpha, anchor);
}

// Puts copy at index `at` of a slot's list and its width at the same index of the widths;
// false, with both left as they were, when either cannot grow.
bool insert_copy(HeapBuffer& list, HeapBuffer& widths, int32_t at, ScaledCopy* copy) {
    const int32_t count = list.count<ScaledCopy*>();
    const int32_t bytes = count * static_cast<int32_t>(sizeof(int32_t));
    widths.resize(bytes + static_cast<int32_t>(sizeof(int32_t)), false);
    if (widths.size != bytes + static_cast<int32_t>(sizeof(int32_t))) return false;
    insert_pointer(list, at, copy);
    if (list.count<ScaledCopy*>() == count) {
        widths.resize(bytes, false);
        return false;
    }
    int32_t* w = widths.records<int32_t>();
    std::memmove(w + at + 1, w + at, static_cast<size_t>(count - at) * sizeof(int32_t));
    w[at] = copy->width();
    return true;
}

}  // namespace

double highway_depth(double u) { return 1.0 - (1.0 / (u + 1.0) - 0.5) * 2.0; }

double highway_scale_at(double u) {
    const double e = highway_depth(u);
    return (1.0 - e) * SCALE_NEAR + e * SCALE_FAR;
}

double highway_row_at(double u) {
    const double e = highway_depth(u);
    return (1.0 - e) * ROW_NEAR + e * ROW_FAR;
}

GemPlacement place_gem(int32_t d, int32_t ox, int32_t oy, double l, double w, double u) {
    const double D = d;
    const double F = highway_scale_at(u);
    GemPlacement p;
    p.width = to_pixel(D * w * F);
    p.x = to_pixel(D * l * F + D * 0.5 - D * w * F * 0.5) + ox;
    p.y = to_pixel(highway_row_at(u) * D) + oy;
    return p;
}

namespace {

void draw_slot(TESS_IBitmap* dest, const Frame* f, int32_t slot, int32_t x, int32_t y, int32_t width,
               float alpha, float anchor) {
    if (static_cast<uint32_t>(slot) >= ASSET_SLOT_COUNT) return;
    TESS_MemBitmap* image = g_assets.slots[slot];
    if (!image) return;
    const int32_t sw = image->width();
    const int32_t sh = image->height();
    // An image without pixels (its memory could not be had) has no aspect ratio to keep.
    if (sw <= 0 || sh <= 0 || width <= 0) return;
    const int64_t product = static_cast<int64_t>(sh) * width;
    const int32_t h = static_cast<int32_t>(static_cast<double>(product) / sw + 0.5);
    // A copy of no rows would never be found again and pile up, one per frame.
    if (h <= 0) return;

    HeapBuffer& list = g_assets.scaled[slot];
    HeapBuffer& widths = g_assets.scaled_widths[slot];
    const int32_t count = list.count<ScaledCopy*>();
    // The first copy at least `width` wide, by halving the widths.
    const int32_t* known = widths.records<int32_t>();
    int32_t at = 0;
    for (int32_t n = count; n > 0;) {
        const int32_t half = n / 2;
        if (known[at + half] < width) {
            at += half + 1;
            n -= half + 1;
        } else {
            n = half;
        }
    }
    ScaledCopy* copy = at < count && known[at] == width ? list.records<ScaledCopy*>()[at] : nullptr;
    bool cached = true;
    if (!copy) {
        copy = new (std::nothrow) ScaledCopy(width, h);
        if (!copy) return;
        if (copy->width() != width) {  // no pixel memory: nothing to draw or keep
            delete copy;
            return;
        }
        TESS_ScaledBlit(copy, image, 0, 0, width, h, 0.0f, 0.0f, static_cast<float>(sw),
                        static_cast<float>(sh), 1.0f, TESS_BLIT_FILTER_BILINEAR);
        const int64_t spanBytes = static_cast<int64_t>(h) * static_cast<int64_t>(sizeof(TESS_RowSpan));
        if (spanBytes <= INT32_MAX) copy->spans.resize(static_cast<int32_t>(spanBytes), false);
        if (copy->spans.size == spanBytes) {
            TESS_RowSpan* spans = copy->spans.records<TESS_RowSpan>();
            TESS_FindVisibleSpans(copy, spans);
            // The box around the spans: all a blit of the copy can change.
            TESS_RECT box = {width, h, 0, 0};
            for (int32_t row = 0; row < h; ++row) {
                if (spans[row].begin >= spans[row].end) continue;
                if (spans[row].begin < box.left) box.left = spans[row].begin;
                if (spans[row].end > box.right) box.right = spans[row].end;
                if (row < box.top) box.top = row;
                box.bottom = row + 1;
            }
            copy->visible = box.left < box.right ? box : TESS_RECT{0, 0, 0, 0};
        }
        cached = insert_copy(list, widths, at, copy);
    }
    const int32_t top = static_cast<int32_t>(static_cast<float>(y) - static_cast<float>(h) * anchor);
    TESS_BlitVisible(dest, copy, x, top, copy->spans.records<TESS_RowSpan>(), alpha,
                     TESS_BLIT_USE_ALPHA);
    if (f) {
        const TESS_RECT& v = copy->visible;
        drawn(f->self, f->width, f->height, x + v.left, top + v.top, x + v.right, top + v.bottom);
    }
    if (!cached) delete copy;  // the list could not grow: drawn once, not kept
}

}  // namespace

void draw_asset_scaled(TESS_IBitmap* dest, int32_t slot, int32_t x, int32_t y, int32_t width,
                       float alpha, float anchor) noexcept {
    draw_slot(dest, nullptr, slot, x, y, width, alpha, anchor);
}

void note_frame_drawn(ChartPreview* instance, int32_t x, int32_t y, int32_t w, int32_t h) noexcept {
    if (!instance || !instance->frame_bitmap || w <= 0 || h <= 0) return;
    const int64_t right = static_cast<int64_t>(x) + w, bottom = static_cast<int64_t>(y) + h;
    drawn(instance, instance->frame_bitmap->width(), instance->frame_bitmap->height(), x, y,
          right > INT32_MAX ? INT32_MAX : static_cast<int32_t>(right),
          bottom > INT32_MAX ? INT32_MAX : static_cast<int32_t>(bottom));
}

void forget_frame_drawn(ChartPreview* instance) noexcept {
    if (!instance) return;
    instance->drawn_frame = nullptr;
    instance->drawn_rects.resize(0, false);
}

void render_visible(ChartPreview* self, int32_t n, int32_t width, int32_t height) noexcept {
    if (!self) return;
    Frame f;
    f.dest = self->frame_bitmap;
    f.self = self;
    f.width = width;
    f.height = height;
    f.mode = self->mode;
    f.drums = f.mode == 1 || f.mode == 2;
    f.d = width < height ? width : height;
    f.ox = (width - f.d) / 2;
    f.oy = (height - f.d) / 2;

    TESS_IBitmap* layer = self->layer_bitmap;
    if (!layer || self->layout_dirty || layer->width() != width || layer->height() != height)
        rebuild_backdrop(self, f, width, height);
    if (!f.dest) return;
    restore_backdrop(self, f.dest, self->layer_bitmap, width, height);

    const VisibleGem* records = self->visible.records<VisibleGem>();
    const int32_t stored = self->visible.count<VisibleGem>();
    if (n > stored) n = stored;
    for (int32_t i = n - 1; i >= 0; --i) {
        const int32_t k = records[i].image;
        if (k >= IMAGE_LANE_STRIP && k <= IMAGE_SOLO_STRIP) draw_strip(f, records[i]);
    }
    for (int32_t pass = 0; pass < 2; ++pass) {
        for (int32_t i = n - 1; i >= 0; --i) {
            const VisibleGem& g = records[i];
            if (g.image < KIND_MEASURE) continue;
            const int32_t own = (g.image < 0 || (f.drums && g.lane == 0)) ? 0 : 1;
            if (own == pass) draw_record(f, g);
        }
    }
}

void ChartPreview::render_highway(int32_t width, int32_t height) {
    const bool drums = mode == 1 || mode == 2;
    const int32_t n = compute_visible_gems(drums);
    render_visible(this, n, width, height);
}
