#include "tools/make-skin/skin.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "display/highway_projection.h"
#include "tools/make-skin/canvas.h"

namespace skin {

namespace {

constexpr float PI = 3.14159265f;

// The renderer's projection. Edges of the highway are straight lines in screen space
// because both the scale and the row are linear in depth.
constexpr float STRIKE_ROW = static_cast<float>(HIGHWAY_ROW_NEAR);
constexpr float FAR_ROW = static_cast<float>(HIGHWAY_ROW_FAR);
constexpr float SCALE_NEAR = static_cast<float>(HIGHWAY_SCALE_NEAR);
constexpr float SCALE_FAR = static_cast<float>(HIGHWAY_SCALE_FAR);

// Gems: 128 x 64, standing on their bottom row. The top face of the puck is an ellipse.
constexpr int32_t GEM_W = 128, GEM_H = 64;
constexpr float FACE_CX = 64.0f, FACE_CY = 27.0f, FACE_RX = 55.0f, FACE_RY = 18.5f;
constexpr float BODY_DROP = 9.0f;  // thickness of the puck's side

// Open bars: 512 x 48, drawn five gems wide (2.0 lane units against 0.4). The bar lies where
// the faces of gems of the same moment do: 37 gem pixels above the bottom row, in open pixels.
constexpr int32_t OPEN_W = 512, OPEN_H = 48;
constexpr float OPEN_CY = OPEN_H - (GEM_H - FACE_CY) * (0.4f / GEM_W) / (2.0f / OPEN_W);

// Kick bars: 512 x 32, bar centred on row 17.
constexpr int32_t KICK_W = 512, KICK_H = 32;
constexpr float KICK_CY = 17.0f;

// Markers: 512 x 24, the line on row 18 (three quarters down, where the renderer anchors).
constexpr int32_t MARKER_W = 512, MARKER_H = 24;
constexpr float MARKER_CY = 18.0f;

constexpr int32_t TRACK_SIZE = 512;
constexpr int32_t SUSTAIN_W = 192, SUSTAIN_H = 4;  // only the middle third of row 0 is used
constexpr int32_t FLARE_SIZE = 128;
constexpr int32_t SMASH_SIZE = 128;
constexpr int32_t FLASH_W = 384, FLASH_H = 96;
constexpr int32_t BACKGROUND_W = 480, BACKGROUND_H = 270;

struct Hue {
    TESS_pixel base, light, dark;
};

const Hue GREEN = {rgb(0x1FC43A), rgb(0xA2FF9E), rgb(0x064A16)};
const Hue RED = {rgb(0xE51E27), rgb(0xFF9C9C), rgb(0x5E080D)};
const Hue YELLOW = {rgb(0xF4CF0C), rgb(0xFFF6A0), rgb(0x6A5200)};
const Hue BLUE = {rgb(0x1D66F0), rgb(0xA0C6FF), rgb(0x08225C)};
const Hue ORANGE = {rgb(0xFF7310), rgb(0xFFC898), rgb(0x6C2A00)};
const Hue STYLE = {rgb(0x8FEBFF), rgb(0xFFFFFF), rgb(0x23708A)};
const Hue PURPLE = {rgb(0xA63CF0), rgb(0xE2B4FF), rgb(0x3A0A62)};  // opens, Expert+ kicks

const TESS_pixel BLACK = rgb(0x000000);
const TESS_pixel WHITE = rgb(0xFFFFFF);
const TESS_pixel SILVER = rgb(0xC9D0DE);

const Hue* const LANE_HUES[5] = {&GREEN, &RED, &YELLOW, &BLUE, &ORANGE};
const char* const LANE_NAMES[5] = {"green", "red", "yellow", "blue", "orange"};

TESS_pixel ramp3(TESS_pixel a, TESS_pixel b, TESS_pixel c, float t) {
    t = clamp01(t);
    return t < 0.5f ? mix(a, b, t * 2.0f) : mix(b, c, t * 2.0f - 1.0f);
}

float dist(float x, float y) { return std::sqrt(x * x + y * y); }

// A deterministic scatter for sparks and bokeh (the skin must be the same on every build).
float scatter(int i, int salt) {
    uint32_t v = static_cast<uint32_t>(i) * 2654435761u ^ static_cast<uint32_t>(salt) * 40503u;
    v ^= v >> 13;
    v *= 0x5bd1e995u;
    v ^= v >> 15;
    return static_cast<float>(v & 0xFFFF) / 65535.0f;
}

// ---- gems -------------------------------------------------------------------------------

enum class Gem { Strum, Hopo, Tap };

// A puck: a dark side under a face of the gem's colour. Strums have a silver rim and a dark
// centre cap; HOPOs a rim of their own light colour and a glowing white centre; taps that rim
// around a wide dark hollow, so the three differ at any size.
TESS_MemBitmap* gem(const Hue& h, Gem kind, bool style) {
    const bool hopo = kind != Gem::Strum;
    Picture p(GEM_W, GEM_H);
    p.fill(ellipse(FACE_CX, FACE_CY + BODY_DROP + 6.0f, 60.0f, 17.0f), solid(BLACK), 0.45f, 9.0f);
    if (style) p.fill(ellipse(FACE_CX, FACE_CY + 4.0f, 63.0f, 26.0f), solid(h.base), 0.45f, 10.0f, true);

    const Shape side = unite(ellipse(FACE_CX, FACE_CY + BODY_DROP, FACE_RX, FACE_RY),
                             rounded_box(FACE_CX, FACE_CY + BODY_DROP * 0.5f, FACE_RX,
                                         BODY_DROP * 0.5f, 0.0f));
    const TESS_pixel side_mid = mix(h.dark, h.base, 0.35f);
    const TESS_pixel side_edge = mix(h.dark, BLACK, 0.45f);
    p.fill(side, [=](float x, float) {
        const float t = std::fabs(x - FACE_CX) / FACE_RX;
        return mix(side_mid, side_edge, t * t);
    });

    const Shape top = ellipse(FACE_CX, FACE_CY, FACE_RX, FACE_RY);
    const TESS_pixel rim_top = hopo ? mix(h.light, WHITE, 0.3f) : WHITE;
    const TESS_pixel rim_bottom = hopo ? h.base : mix(SILVER, BLACK, 0.35f);
    p.fill(top, vertical(FACE_CY - FACE_RY, rim_top, FACE_CY + FACE_RY, rim_bottom));

    const Shape face = ellipse(FACE_CX, FACE_CY, FACE_RX - 6.5f, FACE_RY - 2.6f);
    const TESS_pixel face_light = hopo ? h.light : mix(h.base, h.light, 0.55f);
    p.fill(face, [=](float x, float y) {
        const float t = dist((x - 48.0f) / 70.0f, (y - 16.0f) / 24.0f);
        return ramp3(face_light, h.base, mix(h.base, h.dark, 0.6f), t);
    });

    const Shape cap = ellipse(FACE_CX, FACE_CY, 21.0f, 7.4f);
    if (kind == Gem::Tap) {
        const Shape hollow = ellipse(FACE_CX, FACE_CY, 38.0f, 12.6f);
        p.fill(hollow, vertical(FACE_CY - 12.6f, rgb(0x050608), FACE_CY + 12.6f, rgb(0x1A1C22)));
        p.fill(outline(hollow, 2.4f), solid(h.light), 0.95f);
        p.fill(ellipse(FACE_CX - 8.0f, FACE_CY - 5.0f, 12.0f, 2.0f), solid(WHITE), 0.25f, 2.0f);
    } else if (hopo) {
        p.fill(ellipse(FACE_CX, FACE_CY, 34.0f, 11.5f), solid(WHITE), 0.75f, 9.0f, true);
        p.fill(cap, radial(FACE_CX - 4.0f, FACE_CY - 2.0f, 22.0f, WHITE, mix(WHITE, h.light, 0.5f)));
    } else {
        p.fill(outline(ellipse(FACE_CX, FACE_CY, 22.5f, 8.2f), 2.2f), solid(SILVER), 0.9f);
        p.fill(cap, vertical(FACE_CY - 7.4f, rgb(0x2A2D34), FACE_CY + 7.4f, rgb(0x0B0C0F)));
        p.fill(ellipse(FACE_CX - 5.0f, FACE_CY - 3.0f, 8.0f, 1.8f), solid(WHITE), 0.35f, 2.0f);
    }
    p.fill(ellipse(43.0f, 16.5f, 16.0f, 3.4f), solid(WHITE), 0.5f, 4.0f);
    return p.finish();
}

// A cymbal: a thin lens with pointed ends, lathe grooves and a bell in the middle; its
// outline alone tells it from the round pucks of the toms.
TESS_MemBitmap* cymbal(const Hue& h, bool style) {
    Picture p(GEM_W, GEM_H);
    const float cx = 64.0f, cy = 30.0f, hw = 61.0f, hh = 12.5f;
    p.fill(ellipse(cx, cy + 16.0f, 58.0f, 11.0f), solid(BLACK), 0.4f, 9.0f);
    if (style) p.fill(ellipse(cx, cy + 2.0f, 63.0f, 22.0f), solid(h.base), 0.45f, 10.0f, true);
    p.fill(lens(cx, cy + 4.5f, hw, hh), solid(mix(h.dark, BLACK, 0.3f)));

    const Shape disc = lens(cx, cy, hw, hh);
    p.fill(disc, [=](float x, float y) {
        const float r = dist((x - cx) / hw, (y - cy) / hh);
        const float band = 0.5f + 0.5f * std::cos(r * PI * 9.0f);
        const float shade = clamp01(0.55f - (x - cx) / (2.2f * hw) - (y - cy) / (2.5f * hh));
        const TESS_pixel metal = mix(mix(h.dark, h.base, 0.75f), h.light, 0.25f * band);
        return mix(metal, h.light, shade * 0.55f);
    });
    for (float k : {0.38f, 0.62f, 0.84f})
        p.fill(outline(lens(cx, cy, hw * k, hh * k), 1.0f), solid(h.dark), 0.4f);
    p.fill(outline(disc, 2.0f), solid(h.light), 0.95f);
    p.fill(ellipse(cx, cy - 1.0f, 13.0f, 5.6f), radial(cx - 4.0f, cy - 4.0f, 15.0f, h.light, h.base));
    p.fill(outline(ellipse(cx, cy - 1.0f, 13.0f, 5.6f), 1.2f), solid(h.dark), 0.6f);
    p.fill(ellipse(cx - 4.0f, cy - 3.0f, 4.5f, 1.6f), solid(WHITE), 0.8f, 1.5f);
    p.fill(capsule(26.0f, cy - 3.0f, 48.0f, cy - 6.5f, 2.6f), solid(WHITE), 0.5f, 3.0f);
    return p.finish();
}

// A bar across the whole highway. The Expert+ kick's bar is split in two along its length,
// one for each pedal.
TESS_MemBitmap* kick(const Hue& h, bool style, bool twin = false) {
    Picture p(KICK_W, KICK_H);
    const float cx = KICK_W * 0.5f;
    p.fill(rounded_box(cx, KICK_CY + 5.0f, 252.0f, 8.0f, 8.0f), solid(BLACK), 0.45f, 6.0f);
    if (style) p.fill(rounded_box(cx, KICK_CY, 254.0f, 11.0f, 11.0f), solid(h.base), 0.5f, 8.0f, true);
    Shape bar = rounded_box(cx, KICK_CY, 247.0f, 7.5f, 7.5f);
    if (twin) bar = subtract(bar, rounded_box(cx, KICK_CY + 0.5f, 240.0f, 1.4f, 1.4f));
    p.fill(bar, [=](float, float y) {
        return ramp3(h.light, h.base, h.dark, (y - (KICK_CY - 7.5f)) / 15.0f);
    });
    p.fill(outline(bar, 1.6f), solid(h.dark), 0.7f);
    p.fill(capsule(22.0f, KICK_CY - 3.5f, KICK_W - 22.0f, KICK_CY - 3.5f, 2.2f), solid(WHITE), 0.55f,
           1.5f);
    for (float x : {cx - 150.0f, cx, cx + 150.0f})
        p.fill(rounded_box(x, KICK_CY, 3.0f, 5.0f, 2.0f), solid(h.dark), 0.5f);
    return p.finish();
}

// The open: a bar across the five lanes where their gems' faces lie, purple in its own light
// and shade. A HOPO open has a light outline, a strum open a dark one.
TESS_MemBitmap* open_bar(const Hue& h, bool hopo, bool style) {
    Picture p(OPEN_W, OPEN_H);
    const float cx = OPEN_W * 0.5f;
    p.fill(rounded_box(cx, OPEN_CY + 9.0f, 248.0f, 8.0f, 8.0f), solid(BLACK), 0.45f, 7.0f);
    if (style) p.fill(rounded_box(cx, OPEN_CY, 254.0f, 13.0f, 12.0f), solid(h.base), 0.5f, 9.0f, true);
    // The bar's side, a little lower and darker, as a gem's body under its face.
    const Shape side = rounded_box(cx, OPEN_CY + 4.0f, 244.0f, 8.0f, 8.0f);
    p.fill(side, solid(mix(h.dark, BLACK, 0.3f)));
    const Shape bar = rounded_box(cx, OPEN_CY, 244.0f, 8.0f, 8.0f);
    p.fill(bar, [=](float, float y) { return ramp3(h.light, h.base, h.dark, (y - (OPEN_CY - 8.0f)) / 16.0f); });
    if (hopo) {
        p.fill(outline(bar, 5.0f), solid(WHITE), 0.55f, 5.0f, true);
        p.fill(outline(bar, 2.2f), solid(mix(h.light, WHITE, 0.6f)), 1.0f);
    } else {
        p.fill(outline(bar, 1.8f), solid(mix(h.dark, BLACK, 0.4f)), 0.9f);
    }
    p.fill(capsule(24.0f, OPEN_CY - 3.5f, OPEN_W - 24.0f, OPEN_CY - 3.5f, 2.0f), solid(WHITE), 0.5f, 1.5f);
    return p.finish();
}

// ---- markers ----------------------------------------------------------------------------

TESS_MemBitmap* marker(float thickness, TESS_pixel colour, float opacity, float glow) {
    Picture p(MARKER_W, MARKER_H);
    const auto faded = [=](TESS_pixel c) {
        return Paint([=](float x, float) {
            return with_alpha(c, smoothstep(0.0f, 48.0f, x) * smoothstep(MARKER_W, MARKER_W - 48.0f, x));
        });
    };
    if (glow > 0.0f)
        p.fill(capsule(8.0f, MARKER_CY, MARKER_W - 8.0f, MARKER_CY, thickness * 2.6f), faded(colour),
               glow, 6.0f);
    p.fill(capsule(6.0f, MARKER_CY, MARKER_W - 6.0f, MARKER_CY, thickness), faded(colour), opacity);
    return p.finish();
}

// ---- sustains ---------------------------------------------------------------------------

// The cross-section of a sustain, drawn in the middle third of every row: edges fading out,
// a dark border, the body and a bright core; the highlighted form glows whiter. `veil` < 1
// lets what lies under a wide trail (an open's, across the lanes) show through.
TESS_MemBitmap* sustain(const Hue& h, bool highlighted, float veil = 1.0f) {
    Picture p(SUSTAIN_W, SUSTAIN_H);
    const float third = SUSTAIN_W / 3.0f;
    const float centre = third * 1.5f;
    const TESS_pixel core = highlighted ? WHITE : mix(h.light, h.base, 0.3f);
    const TESS_pixel body = highlighted ? mix(h.base, h.light, 0.55f) : h.base;
    const TESS_pixel edge = highlighted ? h.base : mix(h.dark, h.base, 0.25f);
    const float core_width = highlighted ? 0.32f : 0.16f;
    const float opacity = (highlighted ? 1.0f : 0.9f) * veil;
    p.fill(rounded_box(centre, SUSTAIN_H * 0.5f, third * 0.5f, SUSTAIN_H, 0.0f), [=](float x, float) {
        const float r = std::fabs(x - centre) / (third * 0.5f);
        TESS_pixel c;
        if (r < core_width) c = mix(core, body, r / core_width);
        else if (r < 0.62f) c = body;
        else c = mix(body, edge, smoothstep(0.62f, 0.78f, r));
        return with_alpha(c, opacity * (1.0f - smoothstep(0.82f, 1.0f, r)));
    });
    return p.finish();
}

// A strip along the highway under the gems (solo sections, drum fills, lanes): a faint band
// over the middle third of row 0, brighter at its edges, so that it marks a stretch of the
// highway without hiding anything drawn over it.
TESS_MemBitmap* strip(TESS_pixel c, float body, float rail) {
    Picture p(SUSTAIN_W, SUSTAIN_H);
    const float third = SUSTAIN_W / 3.0f;
    const float centre = third * 1.5f;
    p.fill(rounded_box(centre, SUSTAIN_H * 0.5f, third * 0.5f, SUSTAIN_H, 0.0f), [=](float x, float) {
        const float r = std::fabs(x - centre) / (third * 0.5f);
        const float edge = smoothstep(0.78f, 0.92f, r) * (1.0f - smoothstep(0.94f, 1.0f, r));
        return with_alpha(c, body * (1.0f - smoothstep(0.94f, 1.0f, r)) + (rail - body) * edge);
    });
    return p.finish();
}

// ---- flares, smashes, kick flashes ------------------------------------------------------

// Row (as a fraction of the picture's height) where the face of a gem at the strike line
// lies in a square picture drawn `scale` gem widths wide with anchor `anchor`: the renderer
// puts the row `anchor` of the way down on the gem's bottom row.
float face_row_in(float scale, float anchor) {
    const float gem_height = static_cast<float>(GEM_H) / GEM_W;  // in gem widths
    return anchor - gem_height / scale * (1.0f - FACE_CY / GEM_H);
}

// A soft disc whose opacity falls with the square of the distance.
Paint glow_paint(float cx, float cy, float radius, TESS_pixel c, float power = 2.0f) {
    return [=](float x, float y) {
        const float t = 1.0f - clamp01(dist(x - cx, y - cy) / radius);
        return with_alpha(c, std::pow(t, power));
    };
}

TESS_MemBitmap* flare(const Hue& h) {
    Picture p(FLARE_SIZE, FLARE_SIZE);
    // Drawn 1.75 gem widths wide, anchored at 0.53: centred on the face of the gem.
    const float c = FLARE_SIZE * 0.5f, cy = FLARE_SIZE * face_row_in(1.75f, 0.53f);
    p.fill(circle(c, cy, 46.0f), glow_paint(c, cy, 46.0f, h.base), 0.9f, 1.0f, true);
    p.fill(circle(c, cy, 28.0f), glow_paint(c, cy, 28.0f, h.light), 0.9f, 1.0f, true);
    const auto ray = [&](float angle, float len, float width, float opacity) {
        const float dx = std::cos(angle), dy = std::sin(angle);
        const float nx = -dy * width, ny = dx * width;
        const Shape s = polygon({c - dx * len, cy - dy * len, c + nx, cy + ny, c + dx * len,
                                 cy + dy * len, c - nx, cy - ny});
        p.fill(s, glow_paint(c, cy, len, mix(h.light, WHITE, 0.6f), 1.2f), opacity, 1.5f, true);
    };
    ray(0.0f, 62.0f, 4.5f, 1.0f);
    ray(PI * 0.5f, 42.0f, 3.5f, 0.9f);
    ray(PI * 0.25f, 28.0f, 2.5f, 0.7f);
    ray(PI * 0.75f, 28.0f, 2.5f, 0.7f);
    p.fill(circle(c, cy, 10.0f), solid(WHITE), 1.0f, 8.0f, true);
    return p.finish();
}

// Frame `index` (1..10) of the burst shown where a gem is struck: a white flash, a gold
// shock ring that widens and thins, and sparks flying up and out, all fading as they go.
TESS_MemBitmap* smash(int index) {
    Picture p(SMASH_SIZE, SMASH_SIZE);
    const float t = (index - 1) / 9.0f;
    const float grow = 1.0f - (1.0f - t) * (1.0f - t);
    const float fade = 1.0f - std::pow(t, 1.6f);
    // Drawn 2.05 gem widths wide, anchored at 0.53: centred on the face of the struck gem.
    const float cx = SMASH_SIZE * 0.5f, cy = SMASH_SIZE * face_row_in(2.05f, 0.53f);
    const TESS_pixel gold = rgb(0xFFC44A), hot = rgb(0xFFF6DC);

    const float glow_r = 22.0f + 22.0f * grow;
    p.fill(circle(cx, cy, glow_r), glow_paint(cx, cy, glow_r, gold, 1.5f), 0.9f * fade, 1.0f, true);
    const float rx = 12.0f + 30.0f * grow;
    p.fill(outline(ellipse(cx, cy, rx, rx * 0.5f), 9.0f * (1.0f - t) + 2.0f), solid(gold),
           0.55f * fade, 6.0f, true);
    p.fill(outline(ellipse(cx, cy, rx, rx * 0.5f), 4.0f * (1.0f - t) + 1.2f), solid(hot), fade);
    for (int i = 0; i < 11; ++i) {
        // Upward and sideways, spread evenly from 190 to 350 degrees with some jitter.
        const float angle = PI * (1.06f + 0.88f * (i + scatter(i, 1)) / 11.0f);
        const float reach = (0.6f + 0.7f * scatter(i, 2)) * (8.0f + 38.0f * grow);
        const float len = (6.0f + 9.0f * scatter(i, 3)) * (1.0f - 0.55f * t);
        const float dx = std::cos(angle), dy = std::sin(angle) * 0.8f;
        const float x1 = cx + dx * reach, y1 = cy + dy * reach + 18.0f * t * t;
        p.fill(capsule(x1, y1, x1 - dx * len, y1 - dy * len, 1.0f + 2.2f * (1.0f - t)), solid(hot),
               fade * (0.7f + 0.3f * scatter(i, 4)), 1.2f);
    }
    if (index <= 3) {
        const float r = 24.0f - 6.0f * index;
        p.fill(circle(cx, cy, r * 1.8f), glow_paint(cx, cy, r * 1.8f, WHITE, 1.2f), 1.0f, 1.0f, true);
        p.fill(ellipse(cx, cy, r, r * 0.6f), solid(WHITE), 1.0f, r * 0.6f);
    }
    return p.finish();
}

// Frame `index` (1..7) of the flash across the strike line when a kick is played: a hot
// line, a warm band that swells and fades, a shock outline running outward and embers.
TESS_MemBitmap* kick_flash(int index) {
    Picture p(FLASH_W, FLASH_H);
    const float k = FLASH_W / 512.0f;  // sizes below are given for a 512-pixel-wide picture
    const float t = (index - 1) / 6.0f;
    const float grow = 1.0f - (1.0f - t) * (1.0f - t);
    const float fade = 1.0f - std::pow(t, 1.5f);
    // Drawn 3.0 lane units wide (a kick bar 2.15), anchored at 0.55: centred on the bar.
    const float bar_height = 2.15f / 3.0f * KICK_H / KICK_W * FLASH_W;  // in flash pixels
    const float cx = FLASH_W * 0.5f, cy = FLASH_H * 0.55f - bar_height * (1.0f - KICK_CY / KICK_H);
    const TESS_pixel warm = rgb(0xFF8C2E), hot = rgb(0xFFE6B8);

    const float rx = (215.0f + 35.0f * grow) * k, ry = (12.0f + 40.0f * grow) * k;
    p.fill(ellipse(cx, cy, rx, ry), [=](float x, float y) {
        const float r = dist((x - cx) / rx, (y - cy) / ry);
        return with_alpha(warm, std::pow(clamp01(1.0f - r), 1.3f));
    }, 0.95f * fade, 1.0f, true);
    p.fill(outline(ellipse(cx, cy, rx * 0.98f, ry * 0.9f), (3.0f * (1.0f - t) + 1.0f) * k), solid(hot),
           0.6f * fade * t, 3.0f * k);
    const float margin = 36.0f * k, taper = 140.0f * k;
    const Paint ends = [=](float x, float) {
        return with_alpha(hot, smoothstep(0.0f, taper, x) * smoothstep(FLASH_W, FLASH_W - taper, x));
    };
    p.fill(capsule(margin, cy, FLASH_W - margin, cy, (10.0f * (1.0f - t) + 2.0f) * k), ends, 0.6f * fade,
           6.0f * k, true);
    p.fill(capsule(margin, cy, FLASH_W - margin, cy, (5.0f * (1.0f - t) + 1.2f) * k), ends, fade);
    for (int i = 0; i < 12; ++i) {
        const float x = (70.0f + 372.0f * (i + scatter(i, 7)) / 12.0f) * k;
        const float y = cy - (6.0f + 40.0f * scatter(i, 8)) * grow * k;
        const float r = (1.5f + 2.0f * scatter(i, 9) * (1.0f - 0.5f * t)) * k;
        p.fill(circle(x, y, r), solid(hot), 0.9f * fade, 2.0f * k, true);
    }
    return p.finish();
}

// ---- the highway surfaces ---------------------------------------------------------------

// Scale of one lane unit at picture row y of a track picture (pixels per unit).
float track_scale(float y) {
    const float e = (STRIKE_ROW - y / TRACK_SIZE) / (STRIKE_ROW - FAR_ROW);
    return (SCALE_NEAR + e * (SCALE_FAR - SCALE_NEAR)) * TRACK_SIZE;
}

float lane_of(float x, float y) { return (x - TRACK_SIZE * 0.5f) / track_scale(y); }

// Opacity of the surface near its far end: full below it, gone a little above.
float far_fade(float y) {
    return smoothstep(FAR_ROW * TRACK_SIZE - 14.0f, FAR_ROW * TRACK_SIZE + 18.0f, y);
}

// A line along the highway at lane offset l0, `width` lane units wide.
Shape lane_line(float l0, float width) {
    return [=](float x, float y) {
        const float s = track_scale(y);
        return std::fabs((lane_of(x, y) - l0) * s) - std::fmax(width * s, 1.0f) * 0.5f;
    };
}

TESS_MemBitmap* track(bool drums) {
    Picture p(TRACK_SIZE, TRACK_SIZE);
    const float edge = drums ? 0.95f : 1.0f;
    const float S = static_cast<float>(TRACK_SIZE);

    // A halo under the surface, then the surface itself, darker toward the far end.
    p.fill([=](float x, float y) { return (std::fabs(lane_of(x, y)) - edge) * track_scale(y) - 6.0f; },
           [=](float, float y) { return with_alpha(rgb(0x3A4A8A), 0.35f * far_fade(y)); }, 1.0f, 14.0f);
    p.fill([=](float x, float y) { return (std::fabs(lane_of(x, y)) - edge) * track_scale(y); },
           [=](float x, float y) {
               const float depth = clamp01((STRIKE_ROW * S - y) / ((STRIKE_ROW - FAR_ROW) * S));
               const float sheen = 1.0f - clamp01(std::fabs(lane_of(x, y)) / edge);
               TESS_pixel c = mix(rgb(0x1C2030), rgb(0x0C0E16), depth);
               c = mix(c, rgb(0x262C44), 0.35f * sheen * sheen);
               return with_alpha(c, 0.94f * far_fade(y));
           });

    const Paint line_fade = [=](float, float y) { return with_alpha(rgb(0x8A93AE), far_fade(y)); };
    if (drums) {
        for (float l : {-0.475f, 0.0f, 0.475f}) p.fill(lane_line(l, 0.012f), line_fade, 0.45f);
    } else {
        for (float l : {-0.6f, -0.2f, 0.2f, 0.6f}) p.fill(lane_line(l, 0.012f), line_fade, 0.45f);
    }
    const Paint rail = [=](float, float y) { return with_alpha(rgb(0xC4CCE2), far_fade(y)); };
    p.fill(lane_line(-edge, 0.028f), rail, 0.9f);
    p.fill(lane_line(edge, 0.028f), rail, 0.9f);

    // The strike line, through the middle of where a gem's face sits when it arrives.
    const float gem_w = 0.4f * SCALE_NEAR * S;
    const float gem_h = gem_w * GEM_H / GEM_W;
    const float target_row = STRIKE_ROW * S - gem_h * (1.0f - FACE_CY / GEM_H);
    const float rx = FACE_RX / GEM_W * gem_w, ry = FACE_RY / GEM_H * gem_h;
    const float half_span = edge * track_scale(target_row);
    p.fill(rounded_box(S * 0.5f, target_row, half_span, 5.0f, 5.0f), solid(rgb(0x9FB4FF)), 0.25f, 8.0f,
           true);
    p.fill(rounded_box(S * 0.5f, target_row, half_span, 1.6f, 1.6f), solid(rgb(0xE8EEFF)), 0.7f);

    if (drums) {
        // The kick's own line, where the middle of a kick bar lands.
        const float kick_h = 2.15f * SCALE_NEAR * S * KICK_H / KICK_W;
        const float kick_row = STRIKE_ROW * S - kick_h * (1.0f - KICK_CY / KICK_H);
        const float kick_span = edge * track_scale(kick_row);
        p.fill(rounded_box(S * 0.5f, kick_row, kick_span, 4.0f, 4.0f), solid(ORANGE.base), 0.3f, 8.0f, true);
        p.fill(rounded_box(S * 0.5f, kick_row, kick_span, 1.8f, 1.8f), solid(ORANGE.light), 0.85f);
    }

    const int lanes = drums ? 4 : 5;
    for (int i = 0; i < lanes; ++i) {
        const float l = drums ? (i + 1 - 2.5f) * 0.475f : (i - 2) * 0.4f;
        const Hue& h = drums ? *LANE_HUES[(i + 1) % 4 == 0 ? 0 : i + 1] : *LANE_HUES[i];
        const float cx = S * 0.5f + l * SCALE_NEAR * S;
        p.fill(ellipse(cx, target_row, rx, ry), solid(rgb(0x05060A)), 0.75f);
        p.fill(ellipse(cx, target_row, rx * 0.55f, ry * 0.55f), solid(h.dark), 0.6f);
        p.fill(outline(ellipse(cx, target_row, rx * 0.9f, ry * 0.88f), 3.4f), solid(h.base), 0.95f);
        p.fill(outline(ellipse(cx, target_row, rx, ry), 1.6f), solid(SILVER), 0.9f);
    }
    return p.finish();
}

TESS_MemBitmap* background() {
    Picture p(BACKGROUND_W, BACKGROUND_H);
    const float w = BACKGROUND_W, h = BACKGROUND_H;
    p.fill(rounded_box(w * 0.5f, h * 0.5f, w, h, 0.0f), vertical(0.0f, rgb(0x090C1A), h, rgb(0x1A1232)));
    p.fill(ellipse(w * 0.5f, h * 0.28f, w * 0.48f, h * 0.42f),
           [=](float x, float y) {
               const float r = dist((x - w * 0.5f) / (w * 0.48f), (y - h * 0.28f) / (h * 0.42f));
               return with_alpha(rgb(0x24346A), 0.55f * std::pow(clamp01(1.0f - r), 1.6f));
           },
           1.0f, 1.0f, true);
    for (int i = 0; i < 16; ++i) {
        const float x = w * scatter(i, 11), y = h * (0.1f + 0.8f * scatter(i, 12));
        const float r = (10.0f + 34.0f * scatter(i, 13)) * w / 640.0f;
        const TESS_pixel c = mix(rgb(0x6C8CFF), rgb(0xB07CFF), scatter(i, 14));
        p.fill(circle(x, y, r), solid(c), 0.03f + 0.05f * scatter(i, 15), 6.0f, true);
    }
    p.fill(rounded_box(w * 0.5f, h * 0.5f, w, h, 0.0f), [=](float x, float y) {
        const float r = dist((x - w * 0.5f) / (w * 0.5f), (y - h * 0.5f) / (h * 0.5f));
        return with_alpha(BLACK, 0.55f * smoothstep(0.6f, 1.45f, r));
    });
    return p.finish();
}

}  // namespace

std::vector<std::string> image_names() {
    std::vector<std::string> names = {"Tiver_background1", "track_guitar", "track_drum"};
    for (const char* c : {"green", "red", "yellow", "blue", "orange", "style"})
        names.push_back(std::string("sustain_") + c);
    for (const char* c : {"green", "red", "yellow", "blue", "orange", "style"})
        names.push_back(std::string("sustain_") + c + "_hi");
    for (const char* c : LANE_NAMES) names.push_back(std::string("gem_") + c);
    for (const char* c : {"green", "red", "yellow", "blue", "orange", "style"})
        names.push_back(std::string("smash_flare_") + c);
    for (const char* c : LANE_NAMES) names.push_back(std::string("gem_hopo_") + c);
    for (const char* c : {"yellow", "blue", "green"}) names.push_back(std::string("gem_cym_") + c);
    names.push_back("gem_kick");
    for (const char* n : {"beat_marker", "half_beat_marker", "measure"}) names.push_back(n);
    for (const char* n : {"gem_style", "gem_hopo_style", "gem_cym_style", "gem_kick_style"})
        names.push_back(n);
    for (int i = 1; i <= 10; ++i) names.push_back("smash_" + std::to_string(i));
    for (int i = 1; i <= 7; ++i) names.push_back("kick_flash_" + std::to_string(i));
    for (const char* n : {"gem_open", "gem_open_hopo", "gem_open_style", "gem_open_hopo_style"})
        names.push_back(n);
    for (const char* c : LANE_NAMES) names.push_back(std::string("gem_tap_") + c);
    for (const char* n : {"gem_tap_style", "gem_kick_2x", "gem_kick_2x_style", "smash_flare_open",
                          "sustain_open", "sustain_open_hi", "solo_lane", "fill_lane", "roll_lane"})
        names.push_back(n);
    return names;
}

TESS_MemBitmap* draw_image(const std::string& name) {
    const auto hue_of = [](const std::string& colour) -> const Hue* {
        for (int i = 0; i < 5; ++i)
            if (colour == LANE_NAMES[i]) return LANE_HUES[i];
        return colour == "style" ? &STYLE : nullptr;
    };
    const auto suffix = [&](const char* prefix, std::string* rest) {
        const size_t n = std::strlen(prefix);
        if (name.compare(0, n, prefix) != 0) return false;
        *rest = name.substr(n);
        return true;
    };
    const auto frame = [](const std::string& digits, int last) {
        if (digits.empty() || digits.size() > 2 || digits[0] == '0') return 0;
        for (char ch : digits)
            if (ch < '0' || ch > '9') return 0;
        const int n = std::stoi(digits);
        return n <= last ? n : 0;
    };

    std::string rest;
    if (name == "Tiver_background1") return background();
    if (name == "track_guitar") return track(false);
    if (name == "track_drum") return track(true);
    if (name == "gem_style") return gem(STYLE, Gem::Strum, true);
    if (name == "gem_hopo_style") return gem(STYLE, Gem::Hopo, true);
    if (name == "gem_tap_style") return gem(STYLE, Gem::Tap, true);
    if (name == "gem_open") return open_bar(PURPLE, false, false);
    if (name == "gem_open_hopo") return open_bar(PURPLE, true, false);
    if (name == "gem_open_style") return open_bar(STYLE, false, true);
    if (name == "gem_open_hopo_style") return open_bar(STYLE, true, true);
    if (name == "gem_kick_2x") return kick(PURPLE, false, true);
    if (name == "gem_kick_2x_style") return kick(STYLE, true, true);
    if (name == "smash_flare_open") return flare(PURPLE);
    if (name == "sustain_open") return sustain(PURPLE, false, 0.5f);
    if (name == "sustain_open_hi") return sustain(PURPLE, true, 0.7f);
    if (name == "solo_lane") return strip(rgb(0x5AA8FF), 0.16f, 0.5f);
    if (name == "fill_lane") return strip(rgb(0x4CE890), 0.14f, 0.5f);
    if (name == "roll_lane") return strip(rgb(0xDCE4FF), 0.2f, 0.45f);
    if (name == "gem_cym_style") return cymbal(STYLE, true);
    if (name == "gem_kick") return kick(ORANGE, false);
    if (name == "gem_kick_style") return kick(STYLE, true);
    if (name == "measure") return marker(5.0f, rgb(0xF4F7FF), 0.95f, 0.3f);
    if (name == "beat_marker") return marker(2.8f, rgb(0xC8D2F0), 0.7f, 0.12f);
    if (name == "half_beat_marker") return marker(1.4f, rgb(0x98A2C4), 0.42f, 0.0f);
    if (suffix("gem_hopo_", &rest)) {
        const Hue* h = hue_of(rest);
        return h && h != &STYLE ? gem(*h, Gem::Hopo, false) : nullptr;
    }
    if (suffix("gem_tap_", &rest)) {
        const Hue* h = hue_of(rest);
        return h && h != &STYLE ? gem(*h, Gem::Tap, false) : nullptr;
    }
    if (suffix("gem_cym_", &rest)) {
        if (rest == "yellow" || rest == "blue" || rest == "green") return cymbal(*hue_of(rest), false);
        return nullptr;
    }
    if (suffix("gem_", &rest)) {
        const Hue* h = hue_of(rest);
        return h && h != &STYLE ? gem(*h, Gem::Strum, false) : nullptr;
    }
    if (suffix("sustain_", &rest)) {
        const bool hi = rest.size() > 3 && rest.compare(rest.size() - 3, 3, "_hi") == 0;
        const Hue* h = hue_of(hi ? rest.substr(0, rest.size() - 3) : rest);
        return h ? sustain(*h, hi) : nullptr;
    }
    if (suffix("smash_flare_", &rest)) {
        const Hue* h = hue_of(rest);
        return h ? flare(*h) : nullptr;
    }
    if (suffix("smash_", &rest)) {
        const int n = frame(rest, 10);
        return n ? smash(n) : nullptr;
    }
    if (suffix("kick_flash_", &rest)) {
        const int n = frame(rest, 7);
        return n ? kick_flash(n) : nullptr;
    }
    return nullptr;
}

}  // namespace skin
