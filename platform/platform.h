// The few operating-system calls the plug-in makes: a lock, the module's own file name,
// the private-profile INI file, and opening a file by UTF-8 name. Win32 and POSIX.
#pragma once

#include <cstdint>
#include <cstdio>

// A recursive lock (a critical section on Windows), initialised on construction and
// deleted on destruction. Not copyable.
class PlatformLock {
public:
    PlatformLock();
    ~PlatformLock();
    PlatformLock(const PlatformLock&) = delete;
    PlatformLock& operator=(const PlatformLock&) = delete;
    void enter();
    void leave();

private:
    alignas(16) unsigned char storage_[64];
};

class ScopedLock {
public:
    explicit ScopedLock(PlatformLock& lock) : lock_(lock) { lock_.enter(); }
    ~ScopedLock() { lock_.leave(); }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

private:
    PlatformLock& lock_;
};

// The handle of the plug-in's own module: on Windows kept from DllMain's process-attach,
// on POSIX found with dladdr. Null until known.
void platform_set_module_handle(void* handle);
void* platform_module_handle();

// Full file name of the plug-in's module into buffer (at most size bytes with the
// terminator). Returns the length written, 0 on failure.
uint32_t platform_module_file_name(char* buffer, uint32_t size);

// For tools (the plug-in never calls it): make the module file name report `path`, in
// UTF-8, so that the images are looked up in the tolvan folder beside it (the renderer
// points it at a folder whose tolvan is the skin asked for). An empty or null path
// restores the real one.
void platform_override_module_file_name(const char* path);

// GetPrivateProfileIntA / WritePrivateProfileStringA.
int32_t platform_ini_read_int(const char* section, const char* key, int32_t default_value,
                              const char* file);
bool platform_ini_write_string(const char* section, const char* key, const char* value,
                               const char* file);

// Opens a file named in UTF-8: on Windows through the wide name when the name is valid
// UTF-8, else the narrow name. Native: fopen.
FILE* platform_fopen_utf8(const char* name, const char* mode);
