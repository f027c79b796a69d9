#include "songfile/files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/platform.h"

bool read_file_start(const std::string& path, size_t limit, std::string* bytes, bool* longer, std::string* error) {
    bytes->clear();
    *longer = false;
    errno = 0;
    FILE* f = platform_fopen_utf8(path.c_str(), "rb");
    if (!f) {
        *error = errno ? std::strerror(errno) : "cannot be opened";
        return false;
    }
    char block[65536];
    size_t got = 0;
    while ((got = std::fread(block, 1, sizeof block, f)) > 0) {
        if (bytes->size() + got > limit) {
            bytes->append(block, limit - bytes->size());
            *longer = true;
            break;
        }
        bytes->append(block, got);
    }
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) {
        *error = "cannot be read";
        return false;
    }
    return true;
}
