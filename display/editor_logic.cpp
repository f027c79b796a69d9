#include "display/editor_logic.h"

#include <cstdio>

#include "display/highway_renderer.h"
#include "plugin/chart_preview.h"
#include "plugin/host_api.h"
#include "raster/tess.h"

int32_t drag_mode = 0;
int32_t drag_last_x = 0;
int32_t drag_last_y = 0;

namespace {

// The strip's rows: labels at row 2, boxes from row 12 (outline rows 12 and 22), values at
// row 13. A click counts on rows 12..21.
constexpr int32_t LABEL_Y = 2;
constexpr int32_t BOX_Y = 12;
constexpr int32_t BOX_H = 10;
constexpr int32_t VALUE_Y = 13;
constexpr int32_t CLICK_TOP = 12;
constexpr int32_t CLICK_BOTTOM = 21;
static_assert(BOX_Y + BOX_H + 1 == CONTROL_STRIP_HEIGHT, "the strip ends with its boxes' outline");

constexpr TESS_pixel TEXT_COLOUR = 0xFFFFFFFF;
constexpr TESS_pixel BOX_FILL = 0xFFC0C0C0;
constexpr TESS_pixel BOX_BORDER = 0xFFFFFFFF;
constexpr float BOX_ALPHA = 0.25f;
constexpr TESS_pixel ARROW_COLOUR = 0xFFFFFF;

constexpr int32_t HOPO_MIN = 32;
constexpr int32_t HOPO_MAX = 1920;

enum Control { SKILL, MODE, TIME_OFFS, HOPO_THRESH, CONTROL_COUNT };

struct StripControl {
    const char* label;
    int32_t box_x;
    int32_t box_width;
    int32_t arrow_x;  // 0: no arrow
    uint32_t zone_first;
    uint32_t zone_last;
};

constexpr StripControl STRIP[CONTROL_COUNT] = {
    {"SKILL", 0, 48, 0, 0, 47},
    {"MODE", 56, 90, 0, 56, 146},
    {"TIME OFFS", 154, 72, 218, 154, 226},
    {"HOPO THRESH", 234, 88, 314, 234, 322},
};

const char* difficulty_name(int32_t difficulty) {
    switch (difficulty) {
    case 0: return "Easy";
    case 1: return "Medium";
    case 2: return "Hard";
    case 3: return "Expert";
    default: return "???";
    }
}

const char* mode_name(int32_t mode) {
    switch (mode) {
    case 0: return "Guitar/Bass";
    case 1: return "Pro Drums";
    case 2: return "OLD Drums";
    default: return "Keys";
    }
}

// The control whose zone holds x, compared unsigned so that negative x is in none.
int32_t zone_of(int32_t x) {
    const uint32_t ux = static_cast<uint32_t>(x);
    for (int32_t c = 0; c < CONTROL_COUNT; ++c)
        if (ux >= STRIP[c].zone_first && ux <= STRIP[c].zone_last) return c;
    return -1;
}

// A 64-bit sum held to the int32 range: the time offset has no limit of its own, but it
// must not wrap around to the other sign.
int32_t saturating_add(int32_t value, int64_t step) {
    const int64_t sum = static_cast<int64_t>(value) + step;
    if (sum > INT32_MAX) return INT32_MAX;
    if (sum < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(sum);
}

}  // namespace

void editor_opening_reset(ChartPreview* instance) {
    if (!instance) return;
    ScopedLock hold(instance->lock);
    instance->display_position = 0.0;
    instance->read_horizon = 0.0;
    instance->last_position = 0.0;
    instance->events.resize(0, false);
    instance->read_afresh = 1;  // the next block looks for the open-lane switch again
}

void editor_paint(ChartPreview* instance, int32_t width, int32_t height) {
    if (!instance || !instance->frame_bitmap) return;
    instance->render_highway(width, height);
    draw_control_strip(instance, instance->frame_bitmap);
    note_frame_drawn(instance, 0, 0, width, CONTROL_STRIP_HEIGHT);
}

void draw_control_strip(ChartPreview* instance, TESS_IBitmap* dest) {
    if (!instance || !dest) return;
    char value[64];
    for (int32_t c = 0; c < CONTROL_COUNT; ++c) {
        const StripControl& control = STRIP[c];
        switch (c) {
        case SKILL:
            std::snprintf(value, sizeof value, "%s", difficulty_name(instance->difficulty));
            break;
        case MODE:
            std::snprintf(value, sizeof value, "%s", mode_name(instance->mode));
            break;
        case TIME_OFFS:
            std::snprintf(value, sizeof value, "%d MS", static_cast<int>(time_offset_ms.get()));
            break;
        default:
            std::snprintf(value, sizeof value, "%d ticks",
                          static_cast<int>(instance->hopo_threshold.get()));
            break;
        }
        TESS_DrawText(dest, control.box_x, LABEL_Y, control.label, TEXT_COLOUR, 1.0f,
                      TESS_BLIT_MODE_COPY);
        TESS_FillRectBordered(dest, control.box_x, BOX_Y, control.box_width, BOX_H, BOX_FILL,
                              BOX_BORDER, BOX_ALPHA, TESS_BLIT_MODE_COPY);
        TESS_DrawText(dest, control.box_x + 2, VALUE_Y, value, TEXT_COLOUR, 1.0f,
                      TESS_BLIT_MODE_COPY);
        if (control.arrow_x) draw_drag_arrow(dest, control.arrow_x, BOX_Y, 8, BOX_H);
    }
}

void draw_drag_arrow(TESS_IBitmap* dest, int32_t x, int32_t y, int32_t width, int32_t height) {
    if (!dest) return;
    const int32_t half = width / 2;
    const int32_t cx = x + half;
    const int32_t k = half - 2;
    const int32_t top = y + 1;
    const int32_t bottom = y + height - 2;
    TESS_Line(dest, cx, top, cx, bottom, ARROW_COLOUR, 1.0f, TESS_BLIT_MODE_COPY, false);
    TESS_Line(dest, cx, top, cx + k, top + k, ARROW_COLOUR, 1.0f, TESS_BLIT_MODE_COPY, false);
    TESS_Line(dest, cx, top, cx - k, top + k, ARROW_COLOUR, 1.0f, TESS_BLIT_MODE_COPY, false);
    TESS_Line(dest, cx, bottom, cx + k, bottom - k, ARROW_COLOUR, 1.0f, TESS_BLIT_MODE_COPY,
              false);
    TESS_Line(dest, cx, bottom, cx - k, bottom - k, ARROW_COLOUR, 1.0f, TESS_BLIT_MODE_COPY,
              false);
}

bool editor_mouse_down(ChartPreview* instance, int32_t x, int32_t y) {
    if (!instance) return false;
    if (y < CLICK_TOP || y > CLICK_BOTTOM) return false;
    drag_mode = 0;
    drag_last_x = x;
    drag_last_y = y;
    switch (zone_of(x)) {
    case SKILL: {
        const int32_t next = instance->difficulty + 1;
        instance->difficulty = next >= 4 ? 0 : next;
        return false;
    }
    case MODE:
        // Truncating remainder: 0..3 cycle; a negative mode from a state chunk gives -3..0.
        instance->mode = (instance->mode + 1) % 4;
        instance->layout_dirty = 1;
        return false;
    case TIME_OFFS:
        drag_mode = 1;
        return true;
    case HOPO_THRESH:
        drag_mode = 2;
        return true;
    default:
        return false;
    }
}

void editor_mouse_move(ChartPreview* instance, int32_t x, int32_t y) {
    if (!instance || (drag_mode != 1 && drag_mode != 2)) return;
    // Right or up increases; 64-bit so that no pair of coordinates can overflow.
    int64_t step = (static_cast<int64_t>(x) - drag_last_x) - (static_cast<int64_t>(y) - drag_last_y);
    if (drag_mode == 1) step /= 4;  // four pixels per millisecond
    if (step == 0) return;  // the reference point stays, so small moves add up
    drag_last_x = x;
    drag_last_y = y;
    if (drag_mode == 1) {
        time_offset_ms = saturating_add(time_offset_ms, step);
    } else {
        int64_t hopo = static_cast<int64_t>(instance->hopo_threshold.get()) + step;
        if (hopo < HOPO_MIN) hopo = HOPO_MIN;
        if (hopo > HOPO_MAX) hopo = HOPO_MAX;
        instance->hopo_threshold = static_cast<int32_t>(hopo);
    }
}

void editor_mouse_up(ChartPreview*) {
    if (drag_mode == 1) {
        char text[16];
        std::snprintf(text, sizeof text, "%d", static_cast<int>(time_offset_ms.get()));
        const char* ini = g_host_api.get_ini_file ? g_host_api.get_ini_file() : nullptr;
        if (ini) platform_ini_write_string("tolvan", "timeoffs", text, ini);
    }
    drag_mode = 0;
}
