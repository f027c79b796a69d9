#include <new>

#include "display/editor.h"
#include "display/editor_logic.h"
#include "display/headless_editor.h"
#include "display/highway_renderer.h"
#include "plugin/chart_preview.h"
#include "raster/tess_bitmap.h"

namespace {

// What stands behind editor_window on native builds.
struct HeadlessEditor {
    ChartPreview* instance;
    void* parent;
    bool captured;
};

HeadlessEditor* editor_of(ChartPreview* instance) {
    return instance ? static_cast<HeadlessEditor*>(instance->editor_window.get()) : nullptr;
}

}  // namespace

bool open_editor_window(ChartPreview* instance, void* parent) {
    if (!instance) return false;
    destroy_editor_window(instance);
    HeadlessEditor* editor = new (std::nothrow) HeadlessEditor{instance, parent, false};
    if (!editor) return false;
    instance->editor_window = editor;
    editor_opening_reset(instance);
    return true;
}

// As the window's destruction: the handle cleared and both bitmaps released, so that a
// reopened editor starts from scratch.
void destroy_editor_window(ChartPreview* instance) {
    HeadlessEditor* editor = editor_of(instance);
    if (!editor) return;
    instance->editor_window = nullptr;
    delete editor;
    delete instance->frame_bitmap;
    instance->frame_bitmap = nullptr;
    delete instance->layer_bitmap;
    instance->layer_bitmap = nullptr;
}

bool headless_editor_paint(ChartPreview* instance, int32_t width, int32_t height, bool controls) {
    if (!editor_of(instance) || width <= 0 || height <= 0) return false;
    // A frame made or resized holds nothing of the last one.
    if (instance->frame_bitmap) {
        if (instance->frame_bitmap->resize(width, height)) forget_frame_drawn(instance);
    } else {
        instance->frame_bitmap = new (std::nothrow) TESS_MemBitmap(width, height);
        forget_frame_drawn(instance);
        if (!instance->frame_bitmap) return false;
    }
    if (instance->frame_bitmap->width() != width || instance->frame_bitmap->height() != height)
        return false;
    if (controls)
        editor_paint(instance, width, height);
    else
        instance->render_highway(width, height);
    return true;
}

void headless_editor_mouse_down(ChartPreview* instance, int32_t x, int32_t y) {
    HeadlessEditor* editor = editor_of(instance);
    if (!editor) return;
    if (editor_mouse_down(instance, x, y)) editor->captured = true;
}

void headless_editor_mouse_move(ChartPreview* instance, int32_t x, int32_t y) {
    HeadlessEditor* editor = editor_of(instance);
    if (editor && editor->captured) editor_mouse_move(instance, x, y);
}

void headless_editor_mouse_up(ChartPreview* instance) {
    HeadlessEditor* editor = editor_of(instance);
    if (!editor) return;
    editor->captured = false;
    editor_mouse_up(instance);
}
