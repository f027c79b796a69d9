#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>

#include "platform/platform.h"

static_assert(sizeof(CRITICAL_SECTION) <= 64, "lock storage too small");

namespace {
HMODULE g_module = nullptr;
char g_module_override[2048] = "";  // UTF-8; empty: the real name
}

PlatformLock::PlatformLock() { InitializeCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(storage_)); }
PlatformLock::~PlatformLock() { DeleteCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(storage_)); }
void PlatformLock::enter() { EnterCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(storage_)); }
void PlatformLock::leave() { LeaveCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(storage_)); }

void platform_set_module_handle(void* handle) { g_module = static_cast<HMODULE>(handle); }

void* platform_module_handle() { return g_module; }

// The name comes in UTF-8, which is how the image loader reads file names: a folder
// whose name lies outside the ANSI code page still finds its images. Should the wide
// name not convert, the ANSI name is used as it stands.
uint32_t platform_module_file_name(char* buffer, uint32_t size) {
    if (!buffer || size == 0) return 0;
    buffer[0] = '\0';
    if (g_module_override[0]) {
        const size_t n = std::strlen(g_module_override);
        if (n >= size) return 0;
        std::memcpy(buffer, g_module_override, n + 1);
        return static_cast<uint32_t>(n);
    }
    wchar_t wide[2048];
    const DWORD n = GetModuleFileNameW(g_module, wide, 2048);
    if (n > 0 && n < 2048) {
        const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(n) + 1, buffer,
                                              static_cast<int>(size), nullptr, nullptr);
        if (bytes > 0) return static_cast<uint32_t>(bytes - 1);
    }
    const DWORD a = GetModuleFileNameA(g_module, buffer, size);
    if (a >= size) buffer[size - 1] = '\0';
    return a;
}

void platform_override_module_file_name(const char* path) {
    const size_t n = path ? std::strlen(path) : 0;
    if (n >= sizeof g_module_override) return;  // too long to stand for a module name
    if (n) std::memcpy(g_module_override, path, n);
    g_module_override[n] = '\0';
}

int32_t platform_ini_read_int(const char* section, const char* key, int32_t default_value,
                              const char* file) {
    return static_cast<int32_t>(GetPrivateProfileIntA(section, key, default_value, file));
}

bool platform_ini_write_string(const char* section, const char* key, const char* value,
                               const char* file) {
    return WritePrivateProfileStringA(section, key, value, file) != 0;
}

FILE* platform_fopen_utf8(const char* name, const char* mode) {
    if (!name || !mode) return nullptr;
    // NT family: the top bit of GetVersion is clear.
    if ((GetVersion() & 0x80000000u) == 0) {
        wchar_t wide_name[2048];
        wchar_t wide_mode[16];
        const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name, -1, wide_name, 2048);
        const int m = MultiByteToWideChar(CP_UTF8, 0, mode, -1, wide_mode, 16);
        if (n > 0 && m > 0) {
            if (FILE* f = _wfopen(wide_name, wide_mode)) return f;
        }
    }
    return std::fopen(name, mode);
}
