// The editor as a Win32 child dialog from template 101: sizes itself to the host's window
// every 15 ms, paints through a DIB-section bitmap, and hands mouse input to the portable
// editor logic. All messages arrive on the host's UI thread.
#include "platform/win32/windows_api.h"

#include "display/editor.h"
#include "display/editor_logic.h"
#include "display/highway_renderer.h"
#include "platform/platform.h"
#include "plugin/chart_preview.h"
#include "raster/tess_bitmap.h"

namespace {

constexpr UINT_PTR EDITOR_TIMER_ID = 1;
constexpr UINT EDITOR_TIMER_MS = 15;

// Fits the window to 4 pixels short of its parent's client area, then asks for a paint.
void on_timer(HWND window) {
    RECT own, parent_rect;
    GetClientRect(window, &own);
    HWND parent = GetParent(window);
    GetClientRect(parent, &parent_rect);
    POINT corner = {parent_rect.right, parent_rect.bottom};
    ClientToScreen(parent, &corner);
    ScreenToClient(window, &corner);
    const LONG width = corner.x - 4;
    const LONG height = corner.y - 4;
    if (width != own.right || height != own.bottom)
        SetWindowPos(window, nullptr, 0, 0, width, height,
                     SWP_NOACTIVATE | SWP_NOZORDER | SWP_NOMOVE);
    InvalidateRect(window, nullptr, FALSE);
}

void on_paint(ChartPreview* self, HWND window) {
    PAINTSTRUCT paint;
    HDC target = BeginPaint(window, &paint);
    if (!target) return;
    RECT client;
    GetClientRect(window, &client);
    const int32_t cw = client.right;
    const int32_t ch = client.bottom;
    // A frame made or resized holds nothing of the last one.
    if (!self->frame_bitmap) {
        self->frame_bitmap = new TESS_SysBitmap(cw, ch);
        forget_frame_drawn(self);
    } else if (self->frame_bitmap->resize(cw, ch)) {
        forget_frame_drawn(self);
    }
    editor_paint(self, cw, ch);
    BitBlt(target, 0, 0, cw, ch, static_cast<HDC>(self->frame_bitmap->deviceContext()), 0, 0,
           SRCCOPY);
    EndPaint(window, &paint);
}

INT_PTR on_editor_message(ChartPreview* self, HWND window, UINT message, WPARAM wparam,
                          LPARAM lparam) {
    const int32_t x = static_cast<int16_t>(LOWORD(lparam));
    const int32_t y = static_cast<int16_t>(HIWORD(lparam));
    switch (message) {
    case WM_INITDIALOG:
        self->editor_window = window;
        editor_opening_reset(self);
        ShowWindow(window, SW_SHOWNA);
        SetTimer(window, EDITOR_TIMER_ID, EDITOR_TIMER_MS, nullptr);
        return 0;
    case WM_TIMER:
        if (wparam == EDITOR_TIMER_ID) on_timer(window);
        return 0;
    case WM_PAINT:
        on_paint(self, window);
        return 1;
    case WM_ERASEBKGND:
        return 1;  // every paint covers the whole client area
    case WM_LBUTTONDOWN:
        if (editor_mouse_down(self, x, y)) SetCapture(window);
        return 0;
    case WM_MOUSEMOVE:
        if (GetCapture() == window) editor_mouse_move(self, x, y);
        return 0;
    case WM_LBUTTONUP:
        ReleaseCapture();
        editor_mouse_up(self);
        return 0;
    case WM_DESTROY:
        self->editor_window = nullptr;
        delete self->frame_bitmap;
        self->frame_bitmap = nullptr;
        delete self->layer_bitmap;
        self->layer_bitmap = nullptr;
        return 0;
    default:
        return 0;
    }
}

INT_PTR CALLBACK editor_dialog_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_INITDIALOG) SetWindowLongPtrA(window, GWLP_USERDATA, lparam);
    ChartPreview* self = reinterpret_cast<ChartPreview*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (!self) return 0;  // messages before WM_INITDIALOG
    return on_editor_message(self, window, message, wparam, lparam);
}

}  // namespace

bool open_editor_window(ChartPreview* instance, void* parent) {
    if (!instance) return false;
    if (instance->editor_window) destroy_editor_window(instance);
    HWND window = CreateDialogParamA(static_cast<HINSTANCE>(platform_module_handle()),
                                     MAKEINTRESOURCEA(101), static_cast<HWND>(parent),
                                     &editor_dialog_proc, reinterpret_cast<LPARAM>(instance));
    return window != nullptr;
}

void destroy_editor_window(ChartPreview* instance) {
    if (!instance || !instance->editor_window) return;
    DestroyWindow(static_cast<HWND>(instance->editor_window.get()));
    instance->editor_window = nullptr;
}
