// Every name goes through the wide calls, converted from and to UTF-8.
#include "platform/win32/wide.h"
#include "songfile/files.h"

bool is_directory(const std::string& path) {
    const DWORD a = GetFileAttributesW(wide(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool is_regular_file(const std::string& path) {
    const DWORD a = GetFileAttributesW(wide(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE));
}

bool list_folder(const std::string& path, std::vector<std::string>* names) {
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW((without_trailing_slash(wide(path)) + L"\\*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return false;
    names->clear();
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names->push_back(narrow(name));
    } while (FindNextFileW(h, &found));
    FindClose(h);
    return true;
}
