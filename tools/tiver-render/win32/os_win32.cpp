// The tool's OS services on Windows: every name goes through the wide calls, converted
// from and to UTF-8.
#include "platform/win32/windows_api.h"

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "tools/tiver-render/os.h"
#include "platform/win32/wide.h"

namespace {

UINT g_saved_output_cp = 0;

void restore_console() {
    if (g_saved_output_cp) SetConsoleOutputCP(g_saved_output_cp);
}

BOOL WINAPI on_console_break(DWORD) {
    restore_console();
    return FALSE;  // and on to the default handler, which ends the program
}

bool is_ascii(const std::wstring& s) {
    for (wchar_t c : s)
        if (c >= 0x80) return false;
    return true;
}

// Each file (not folder) directly inside `folder` whose name matches `pattern`.
template <typename Visit>
bool each_file(const std::wstring& folder, const wchar_t* pattern, Visit visit) {
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW((folder + L"\\" + pattern).c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
    bool ok = true;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ok = visit(std::wstring(found.cFileName)) && ok;
    } while (FindNextFileW(h, &found));
    FindClose(h);
    return ok;
}

}  // namespace

std::vector<std::string> program_arguments(int argc, char** argv) {
    int n = 0;
    wchar_t** wide_argv = CommandLineToArgvW(GetCommandLineW(), &n);
    if (!wide_argv) return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> args;
    for (int i = 0; i < n; ++i) args.push_back(narrow(wide_argv[i]));
    LocalFree(wide_argv);
    return args;
}

void use_utf8_terminal() {
    const UINT cp = GetConsoleOutputCP();
    if (cp == 0 || cp == CP_UTF8 || !SetConsoleOutputCP(CP_UTF8)) return;  // no console, or nothing to do
    g_saved_output_cp = cp;
    std::atexit(restore_console);
    SetConsoleCtrlHandler(on_console_break, TRUE);
}

std::string program_directory() {
    wchar_t path[32768];
    const DWORD n = GetModuleFileNameW(nullptr, path, 32768);
    if (n == 0 || n >= 32768) return ".";
    std::wstring p(path, n);
    const size_t slash = p.find_last_of(L"\\/");
    return slash == std::wstring::npos ? "." : narrow(p.substr(0, slash));
}

std::string absolute_path(const std::string& path) {
    const std::wstring w = wide(path);
    const DWORD n = GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
    if (n == 0) return path;
    std::wstring full(n, L'\0');
    const DWORD m = GetFullPathNameW(w.c_str(), n, &full[0], nullptr);
    if (m == 0 || m >= n) return path;
    full.resize(m);
    return narrow(full);
}

bool make_work_folder(std::string* path, std::string* error) {
    wchar_t temp[MAX_PATH + 1];
    const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
    if (n == 0 || n > MAX_PATH) {
        *error = "cannot make a work folder: no temporary folder";
        return false;
    }
    std::wstring base = without_trailing_slash(std::wstring(temp, n));
    if (!is_ascii(base)) {
        wchar_t short_form[MAX_PATH + 1];
        const DWORD s = GetShortPathNameW(base.c_str(), short_form, MAX_PATH + 1);
        if (s > 0 && s <= MAX_PATH && is_ascii(std::wstring(short_form, s))) base.assign(short_form, s);
    }
    const std::wstring stem = base + L"\\tiver-render-" + std::to_wstring(GetCurrentProcessId()) + L"-";
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const std::wstring candidate = stem + std::to_wstring(attempt);
        if (CreateDirectoryW(candidate.c_str(), nullptr)) {
            *path = narrow(candidate);
            return true;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    *error = "cannot make a work folder in " + narrow(base) + ": " + error_text(GetLastError());
    return false;
}

bool link_folder(const std::string& target, const std::string& link, std::string* error) {
    const std::wstring from = without_trailing_slash(wide(target)), to = wide(link);
    if (!CreateDirectoryW(to.c_str(), nullptr)) {
        *error = "cannot copy the images of " + target + ": " + error_text(GetLastError());
        return false;
    }
    DWORD failure = 0;
    const bool copied = each_file(from, L"*.png", [&](const std::wstring& name) {
        if (CopyFileW((from + L"\\" + name).c_str(), (to + L"\\" + name).c_str(), TRUE)) return true;
        failure = GetLastError();
        return false;
    });
    if (copied) return true;
    *error = "cannot copy the images of " + target + ": " + error_text(failure ? failure : GetLastError());
    remove_path(link);
    return false;
}

void remove_path(const std::string& path) {
    const std::wstring w = wide(path);
    if (DeleteFileW(w.c_str())) return;
    const DWORD a = GetFileAttributesW(w.c_str());
    if (a == INVALID_FILE_ATTRIBUTES || !(a & FILE_ATTRIBUTE_DIRECTORY)) return;
    each_file(w, L"*", [&](const std::wstring& name) { return DeleteFileW((w + L"\\" + name).c_str()) != 0; });
    RemoveDirectoryW(w.c_str());
}

bool rename_path(const std::string& from, const std::string& to, std::string* error) {
    if (MoveFileExW(wide(from).c_str(), wide(to).c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    *error = "cannot write " + to + ": " + error_text(GetLastError());
    return false;
}

bool probe_new_file(const std::string& path, std::string* error) {
    const std::wstring w = wide(path);
    const int fd = _wopen(w.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0) {
        *error = std::strerror(errno);
        return false;
    }
    _close(fd);
    _wunlink(w.c_str());
    return true;
}

long process_id() { return static_cast<long>(GetCurrentProcessId()); }

bool owns_console() {
    // The processes attached to this console: only this one when the console was made for it.
    DWORD attached[2];
    return GetConsoleProcessList(attached, 2) == 1;
}

bool stderr_is_terminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}
