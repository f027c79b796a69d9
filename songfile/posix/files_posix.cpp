#include <dirent.h>
#include <sys/stat.h>

#include <cstring>

#include "songfile/files.h"

bool is_directory(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool is_regular_file(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool list_folder(const std::string& path, std::vector<std::string>* names) {
    DIR* d = opendir(path.c_str());
    if (!d) return false;
    names->clear();
    while (const dirent* e = readdir(d)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names->push_back(e->d_name);
    }
    closedir(d);
    return true;
}
