// The editor's platform-free behaviour: what opening resets, the paint of one frame (the
// highway and the control strip), and the mouse rules of the strip. Called by the Win32
// dialog procedure and by the headless editor of native builds; UI thread only.
#pragma once

#include <cstdint>

class ChartPreview;
class TESS_IBitmap;

// Process-wide drag state: 0 none, 1 TIME OFFS, 2 HOPO THRESH.
extern int32_t drag_mode;
extern int32_t drag_last_x;
extern int32_t drag_last_y;

// Under the instance lock: positions to 0.0 and the event list emptied.
void editor_opening_reset(ChartPreview* instance);

// One frame into instance->frame_bitmap, which the caller has sized to width x height:
// the highway, then the control strip over it.
void editor_paint(ChartPreview* instance, int32_t width, int32_t height);

// The strip's labels, boxes, values and arrows, all within rows 0 .. CONTROL_STRIP_HEIGHT - 1.
void draw_control_strip(ChartPreview* instance, TESS_IBitmap* dest);
constexpr int32_t CONTROL_STRIP_HEIGHT = 23;
void draw_drag_arrow(TESS_IBitmap* dest, int32_t x, int32_t y, int32_t width, int32_t height);

// Button press at client (x, y). True when the window must take the mouse capture.
bool editor_mouse_down(ChartPreview* instance, int32_t x, int32_t y);
// Mouse move while the window holds the capture.
void editor_mouse_move(ChartPreview* instance, int32_t x, int32_t y);
// Button release: after a TIME OFFS drag writes "timeoffs" to the host's INI file.
void editor_mouse_up(ChartPreview* instance);
