// The file-system queries that finding a song's files needs, names in UTF-8: whether a
// path is a folder or a file, and a folder's entries. Used by the song folder and the tool.
// POSIX body in posix/, Win32 body (the wide calls) in win32/.
#pragma once

#include <string>
#include <vector>

bool is_directory(const std::string& path);
bool is_regular_file(const std::string& path);
// The names (not paths) of the entries of folder `path`; false when it cannot be read.
bool list_folder(const std::string& path, std::vector<std::string>* names);
