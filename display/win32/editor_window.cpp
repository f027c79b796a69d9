#include "platform/win32/windows_api.h"

#include "display/editor.h"
#include "plugin/chart_preview.h"

bool open_editor_window(ChartPreview*, void*) { return false; }

void destroy_editor_window(ChartPreview* instance) {
    if (!instance || !instance->editor_window) return;
    DestroyWindow(static_cast<HWND>(instance->editor_window));
    instance->editor_window = nullptr;
}
