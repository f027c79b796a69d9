#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/tiver-render/os.h"

std::vector<std::string> program_arguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

void use_utf8_terminal() {}

std::string program_directory() {
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return ".";
    const std::string p(path, static_cast<size_t>(n));
    const size_t slash = p.rfind('/');
    return slash == std::string::npos ? "." : p.substr(0, slash);
}

std::string absolute_path(const std::string& path) {
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved)) return resolved;
    return path;
}

bool make_work_folder(std::string* path, std::string* error) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tiver-render-XXXXXX";
    if (!mkdtemp(&pattern[0])) {
        *error = std::string("cannot make a work folder: ") + std::strerror(errno);
        return false;
    }
    *path = pattern;
    return true;
}

bool link_folder(const std::string& target, const std::string& link, std::string* error) {
    if (symlink(target.c_str(), link.c_str()) == 0) return true;
    *error = "cannot link " + target + ": " + std::strerror(errno);
    return false;
}

void remove_path(const std::string& path) {
    if (unlink(path.c_str()) != 0) rmdir(path.c_str());
}

bool rename_path(const std::string& from, const std::string& to, std::string* error) {
    if (std::rename(from.c_str(), to.c_str()) == 0) return true;
    *error = "cannot write " + to + ": " + std::strerror(errno);
    return false;
}

bool probe_new_file(const std::string& path, std::string* error) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0) {
        *error = std::strerror(errno);
        return false;
    }
    close(fd);
    unlink(path.c_str());
    return true;
}

long process_id() { return static_cast<long>(getpid()); }

bool owns_console() { return false; }

bool stderr_is_terminal() { return isatty(2) != 0; }
