// The release archive as a user installs it: unzipped into a folder whose path has spaces
// and characters outside the ANSI code page (TIVER_PACKAGE_DIR), the DLL loaded from there,
// and its editor drawn with the skin's own images rather than placeholders.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "host/sim_host.h"
#include "plugin/chart_preview.h"
#include "raster/tess.h"
#include "tests/wine/wine_support.h"
#include "platform/win32/wide.h"

namespace {

std::wstring package_dir() {
    const wchar_t* dir = _wgetenv(L"TIVER_PACKAGE_DIR");
    return dir ? dir : L"";
}

LRESULT CALLBACK parent_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    return DefWindowProcA(w, m, wp, lp);
}

TEST(Package, UnzippedUnderAnAwkwardPathDrawsTheSkinsImages) {
    const std::wstring dir = package_dir();
    ASSERT_FALSE(dir.empty()) << "TIVER_PACKAGE_DIR names the unzipped package";
    HMODULE dll = LoadLibraryW((dir + L"\\TiverPreview.dll").c_str());
    ASSERT_NE(dll, nullptr) << GetLastError();
    auto entry = reinterpret_cast<VstEntry>(reinterpret_cast<void*>(GetProcAddress(dll, "VSTPluginMain")));
    ASSERT_NE(entry, nullptr);

    SimHost host;
    host.ini_path = build_path("package_host.ini");
    AEffect* effect = entry(sim_host_install(&host));
    ASSERT_NE(effect, nullptr);
    ChartPreview* self = ChartPreview::from(effect);

    WNDCLASSA wc = {};
    wc.lpfnWndProc = parent_proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "TiverPackageParent";
    RegisterClassA(&wc);
    RECT r = {0, 0, 404, 204};
    AdjustWindowRectEx(&r, WS_OVERLAPPEDWINDOW, FALSE, 0);
    HWND parent = CreateWindowExA(0, wc.lpszClassName, "host", WS_OVERLAPPEDWINDOW, 0, 0,
                                  r.right - r.left, r.bottom - r.top, nullptr, nullptr,
                                  wc.hInstance, nullptr);
    ASSERT_NE(parent, nullptr);
    ShowWindow(parent, SW_SHOW);
    ASSERT_EQ(effect->dispatcher(effect, effEditOpen, 0, 0, parent, 0.0f), 1);
    HWND editor = static_cast<HWND>(self->editor_window.get());
    const DWORD end = GetTickCount() + 300;
    while (static_cast<int32_t>(end - GetTickCount()) > 0) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        Sleep(2);
    }
    UpdateWindow(editor);
    RECT client;
    GetClientRect(editor, &client);
    ASSERT_EQ(client.right, 400);
    ASSERT_EQ(client.bottom, 200);

    // What the window shows, read back from its DC.
    const int w = 400, h = 200;
    const std::vector<uint32_t> shown = read_window_pixels(editor, w, h);

    // The skin's background, stretched over the window as the backdrop is built. Left of
    // the highway square and below the control strip nothing else is drawn.
    TESS_IBitmap* background =
        TESS_LoadPNG((narrow(dir) + "\\tolvan\\Tiver_background1.png").c_str(), nullptr);
    ASSERT_NE(background, nullptr);
    TESS_MemBitmap expected(w, h);
    TESS_ScaledBlit(&expected, background, 0, 0, w, h, 0.0f, 0.0f,
                    static_cast<float>(background->width()),
                    static_cast<float>(background->height()), 1.0f, TESS_BLIT_FILTER_BILINEAR);
    int same = 0, total = 0;
    for (int y = 30; y < h; ++y)
        for (int x = 0; x < 40; ++x, ++total)
            same += shown[y * w + x] == (expected.bits()[y * w + x] & 0xFFFFFF);
    EXPECT_EQ(same, total);
    delete background;

    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    DestroyWindow(parent);
    sim_host_install(nullptr);
    FreeLibrary(dll);
}

}  // namespace
