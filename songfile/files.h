// The file-system queries that finding and reading a song's files needs, names in UTF-8:
// whether a path is a folder or a file, a folder's entries, a file's bytes. Used by the
// song file readers and the tool. POSIX body in posix/, Win32 body (the wide calls) in
// win32/; reading goes through the platform layer.
#pragma once

#include <string>
#include <vector>

bool is_directory(const std::string& path);
bool is_regular_file(const std::string& path);
// The names (not paths) of the entries of folder `path`; false when it cannot be read.
bool list_folder(const std::string& path, std::vector<std::string>* names);

// Up to `limit` bytes of file `path` into *bytes; *longer tells whether the file holds more.
// False with the system's reason ("No such file or directory") when it cannot be read.
bool read_file_start(const std::string& path, size_t limit, std::string* bytes, bool* longer, std::string* error);
