// Helpers of the Wine tests: Windows paths for build files, and the real plug-in DLL
// loaded afresh (so each scenario starts with the library's process-wide state new).
#pragma once

#include "platform/win32/windows_api.h"

#include <cstdint>
#include <string>
#include <vector>

#include "plugin/vst_abi.h"

// "Z:" and the Unix path with backslashes: Wine maps Z: to the root.
inline std::string windows_path(const std::string& unix_path) {
    std::string p = "Z:" + unix_path;
    for (char& c : p)
        if (c == '/') c = '\\';
    return p;
}

inline std::string build_path(const char* relative) {
    return windows_path(std::string(TIVER_BINARY_DIR) + "/" + relative);
}

typedef AEffect* (*VstEntry)(audioMasterCallback);

// The DLL for one scenario; unloaded on destruction.
class PluginLibrary {
public:
    explicit PluginLibrary(const std::string& dll = build_path("TiverPreview.dll")) {
        module_ = LoadLibraryA(dll.c_str());
        if (module_)
            entry_ = reinterpret_cast<VstEntry>(
                reinterpret_cast<void*>(GetProcAddress(module_, "VSTPluginMain")));
    }
    ~PluginLibrary() {
        if (module_) FreeLibrary(module_);
    }
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    bool loaded() const { return module_ && entry_; }
    AEffect* create(audioMasterCallback master) const { return entry_ ? entry_(master) : nullptr; }
    HMODULE module() const { return module_; }

private:
    HMODULE module_ = nullptr;
    VstEntry entry_ = nullptr;
};

// What a window shows, read back from its DC into w x h pixels 0x00RRGGBB, top row first.
inline std::vector<uint32_t> read_window_pixels(HWND window, int w, int h) {
    std::vector<uint32_t> pixels(static_cast<size_t>(w) * h);
    HDC window_dc = GetDC(window);
    HDC mem = CreateCompatibleDC(window_dc);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mem, section);
    BitBlt(mem, 0, 0, w, h, window_dc, 0, 0, SRCCOPY);
    GdiFlush();
    const uint32_t* p = static_cast<const uint32_t*>(bits);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = p[i] & 0xFFFFFF;
    SelectObject(mem, old);
    DeleteObject(section);
    DeleteDC(mem);
    ReleaseDC(window, window_dc);
    return pixels;
}
