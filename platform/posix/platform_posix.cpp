#include <dlfcn.h>
#include <pthread.h>
#include <strings.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"

static_assert(sizeof(pthread_mutex_t) <= 64, "lock storage too small");

namespace {

void* g_module = nullptr;
std::string g_module_override;

pthread_mutex_t* mutex_of(unsigned char* storage) { return reinterpret_cast<pthread_mutex_t*>(storage); }

}  // namespace

PlatformLock::PlatformLock() {
    // Recursive, like a critical section.
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(mutex_of(storage_), &attr);
    pthread_mutexattr_destroy(&attr);
}
PlatformLock::~PlatformLock() { pthread_mutex_destroy(mutex_of(storage_)); }
void PlatformLock::enter() { pthread_mutex_lock(mutex_of(storage_)); }
void PlatformLock::leave() { pthread_mutex_unlock(mutex_of(storage_)); }

void platform_set_module_handle(void* handle) { g_module = handle; }

void* platform_module_handle() { return g_module; }

uint32_t platform_module_file_name(char* buffer, uint32_t size) {
    if (!buffer || size == 0) return 0;
    buffer[0] = '\0';
    std::string path = g_module_override;
    if (path.empty()) {
        // The object this code is linked into: the program itself for static builds.
        Dl_info info;
        if (dladdr(reinterpret_cast<void*>(&platform_module_file_name), &info) && info.dli_fname) {
            char resolved[4096];
            if (realpath(info.dli_fname, resolved)) path = resolved;
            else path = info.dli_fname;
        }
        // A program found through PATH reports a bare name; /proc knows the real file.
        if (path.find('/') == std::string::npos) {
            char exe[4096];
            const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
            if (n > 0) path.assign(exe, static_cast<size_t>(n));
        }
    }
    if (path.empty()) return 0;
    const size_t n = path.size() < size - 1 ? path.size() : size - 1;
    std::memcpy(buffer, path.data(), n);
    buffer[n] = '\0';
    return static_cast<uint32_t>(n);
}

void platform_override_module_file_name(const char* path) {
    g_module_override = path ? path : "";
}

// A small private-profile INI reader and writer with the Windows semantics the plug-in
// relies on: sections in brackets, key=value lines, case-insensitive names.
namespace {

std::string trim(const std::string& s) {
    size_t a = 0, b = s.size();
    while (a < b && (s[a] == ' ' || s[a] == '\t')) ++a;
    while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t' || s[b - 1] == '\r')) --b;
    return s.substr(a, b - a);
}

bool same_name(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

std::vector<std::string> read_lines(const char* file) {
    std::vector<std::string> lines;
    FILE* f = std::fopen(file, "rb");
    if (!f) return lines;
    std::string line;
    int c;
    while ((c = std::fgetc(f)) != EOF) {
        if (c == '\n') {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(line);
            line.clear();
        } else {
            line.push_back(static_cast<char>(c));
        }
    }
    if (!line.empty()) lines.push_back(line);
    std::fclose(f);
    return lines;
}

bool section_line(const std::string& line, std::string* name) {
    const std::string t = trim(line);
    if (t.size() < 2 || t.front() != '[') return false;
    const size_t close = t.find(']');
    if (close == std::string::npos) return false;
    *name = trim(t.substr(1, close - 1));
    return true;
}

bool key_line(const std::string& line, std::string* key, std::string* value) {
    const size_t eq = line.find('=');
    if (eq == std::string::npos) return false;
    *key = trim(line.substr(0, eq));
    *value = trim(line.substr(eq + 1));
    return true;
}

}  // namespace

int32_t platform_ini_read_int(const char* section, const char* key, int32_t default_value,
                              const char* file) {
    if (!section || !key || !file) return default_value;
    std::string current, k, v;
    bool in_section = false;
    for (const std::string& line : read_lines(file)) {
        if (section_line(line, &current)) {
            in_section = same_name(current, section);
        } else if (in_section && key_line(line, &k, &v) && same_name(k, key)) {
            // Like GetPrivateProfileInt: leading decimal digits with an optional sign.
            char* end = nullptr;
            const long n = std::strtol(v.c_str(), &end, 10);
            return end == v.c_str() ? 0 : static_cast<int32_t>(n);
        }
    }
    return default_value;
}

bool platform_ini_write_string(const char* section, const char* key, const char* value,
                               const char* file) {
    if (!section || !key || !value || !file) return false;
    std::vector<std::string> lines = read_lines(file);
    std::string current, k, v;
    bool in_section = false, written = false;
    size_t section_end = lines.size();
    bool section_found = false;
    for (size_t i = 0; i < lines.size() && !written; ++i) {
        if (section_line(lines[i], &current)) {
            if (in_section) {
                section_end = i;
                break;
            }
            in_section = same_name(current, section);
            if (in_section) section_found = true;
        } else if (in_section && key_line(lines[i], &k, &v) && same_name(k, key)) {
            lines[i] = std::string(key) + "=" + value;
            written = true;
        }
    }
    if (!written) {
        const std::string entry = std::string(key) + "=" + value;
        if (section_found) {
            lines.insert(lines.begin() + static_cast<long>(section_end), entry);
        } else {
            lines.push_back(std::string("[") + section + "]");
            lines.push_back(entry);
        }
    }
    FILE* f = std::fopen(file, "wb");
    if (!f) return false;
    for (const std::string& line : lines) std::fprintf(f, "%s\r\n", line.c_str());
    return std::fclose(f) == 0;
}

FILE* platform_fopen_utf8(const char* name, const char* mode) {
    if (!name || !mode) return nullptr;
    return std::fopen(name, mode);
}
