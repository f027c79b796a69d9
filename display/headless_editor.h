// The editor of native builds: a window-less record that stands where the Win32 dialog
// would, painted and clicked by the renderer tool and the tests. UI thread only.
#pragma once

#include <cstdint>

class ChartPreview;

// One frame as the window's paint handler makes it: frame_bitmap created or resized to
// width x height (a TESS_MemBitmap), then the highway and, unless `controls` is false, the
// control strip. False when the editor is not open, the size is not positive or the bitmap
// memory could not be had.
bool headless_editor_paint(ChartPreview* instance, int32_t width, int32_t height, bool controls = true);

// The mouse as the window delivers it: a press may take the capture, moves count only
// while it is held, and the release gives it back.
void headless_editor_mouse_down(ChartPreview* instance, int32_t x, int32_t y);
void headless_editor_mouse_move(ChartPreview* instance, int32_t x, int32_t y);
void headless_editor_mouse_up(ChartPreview* instance);
