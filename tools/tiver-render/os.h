// The few operating-system services the renderer tool needs beyond the plug-in's platform
// layer: its own folder, a private work folder, file-system queries and the terminal.
// Names are UTF-8. POSIX body in posix/, Win32 body in win32/.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "songfile/files.h"

// The program's arguments in UTF-8, argv[0] first: argv itself on POSIX; on Windows the
// wide command line converted, since argv there holds only the ANSI code page.
std::vector<std::string> program_arguments(int argc, char** argv);
// What the tool prints is UTF-8: on Windows the console is set to show it until the
// program ends. Nothing to do on POSIX.
void use_utf8_terminal();

// The folder holding the running program (where its tolvan/ and demo/ are).
std::string program_directory();

// An absolute form of `path`, or `path` itself when it cannot be resolved.
std::string absolute_path(const std::string& path);

// A new, private, empty folder for this run; false with a reason. On Windows its path is
// kept to ASCII where the system allows (the short form of the temporary folder), since
// the host's INI file in it is named through the narrow (ANSI) calls.
bool make_work_folder(std::string* path, std::string* error);
// Makes `link` show the images of folder `target`: a symbolic link on POSIX; on Windows,
// where links need privileges, a new folder holding copies of its .png files.
bool link_folder(const std::string& target, const std::string& link, std::string* error);
// Removes a file, an empty folder or a link (on Windows also a folder made by link_folder,
// with its copies); quiet when there is nothing to remove.
void remove_path(const std::string& path);
// Replaces `to` by `from`; false with a reason.
bool rename_path(const std::string& from, const std::string& to, std::string* error);
// Creates `path` as a new empty file and removes it again: the folder can take the file.
bool probe_new_file(const std::string& path, std::string* error);

// A number that differs between processes running at once (for temporary names).
long process_id();
// Whether the program has a console of its own, which no terminal or other program shares:
// on Windows, a console program started from Explorer (a drop, a double-click) gets a new
// console that closes with it. Never on POSIX.
bool owns_console();
// Whether standard error is a terminal (progress then rewrites one line).
bool stderr_is_terminal();
