// The encoder child on Windows: CreateProcessW with an anonymous pipe on its standard
// input, and the program found as NAME.exe beside this one or through PATH.
#include "platform/win32/windows_api.h"

#include "tools/tiver-render/process.h"
#include "platform/win32/wide.h"

namespace {

class Win32Child : public ChildProcess {
public:
    Win32Child(HANDLE process, HANDLE input) : process_(process), input_(input) {}
    ~Win32Child() override { terminate(); }

    bool write(const void* data, size_t size) override {
        const char* p = static_cast<const char*>(data);
        while (size > 0 && input_) {
            const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
            DWORD written = 0;
            // Fails with ERROR_BROKEN_PIPE or ERROR_NO_DATA once the child stopped reading.
            if (!WriteFile(input_, p, chunk, &written, nullptr) || written == 0) return false;
            p += written;
            size -= written;
        }
        return size == 0;
    }

    bool finish() override {
        close_input();
        if (!process_) return false;
        WaitForSingleObject(process_, INFINITE);
        DWORD code = 1;
        const bool ok = GetExitCodeProcess(process_, &code) && code == 0;
        CloseHandle(process_);
        process_ = nullptr;
        return ok;
    }

    void terminate() override {
        close_input();
        if (!process_) return;
        TerminateProcess(process_, 1);
        WaitForSingleObject(process_, INFINITE);
        CloseHandle(process_);
        process_ = nullptr;
    }

private:
    void close_input() {
        if (input_) CloseHandle(input_);
        input_ = nullptr;
    }

    HANDLE process_;
    HANDLE input_;
};

}  // namespace

std::unique_ptr<ChildProcess> start_child(const std::vector<std::string>& args, size_t pipe_bytes,
                                          std::string* error) {
    if (args.empty()) {
        *error = "no program to start";
        return nullptr;
    }
    // The read end is inherited by the child as its standard input; the write end stays ours.
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE read_end = nullptr, write_end = nullptr;
    const DWORD size = pipe_bytes > 0x40000000u ? 0x40000000u : static_cast<DWORD>(pipe_bytes);
    if (!CreatePipe(&read_end, &write_end, &inherit, size) ||
        !SetHandleInformation(write_end, HANDLE_FLAG_INHERIT, 0)) {
        const DWORD code = GetLastError();
        if (read_end) CloseHandle(read_end);
        if (write_end) CloseHandle(write_end);
        *error = "cannot start " + args[0] + ": " + error_text(code);
        return nullptr;
    }

    std::wstring command_line;
    for (const std::string& a : args) {
        if (!command_line.empty()) command_line += L' ';
        command_line += quote_argument(wide(a));
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = read_end;
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION started = {};
    const std::wstring program = wide(args[0]);
    const BOOL ok = CreateProcessW(program.c_str(), &command_line[0], nullptr, nullptr, TRUE, 0, nullptr,
                                   nullptr, &startup, &started);
    const DWORD code = GetLastError();
    CloseHandle(read_end);
    if (!ok) {
        CloseHandle(write_end);
        *error = "cannot start " + args[0] + ": " + error_text(code);
        return nullptr;
    }
    CloseHandle(started.hThread);
    return std::unique_ptr<ChildProcess>(new Win32Child(started.hProcess, write_end));
}

namespace {

// NAME.exe for a name without an extension.
std::wstring program_file(const char* program) {
    std::wstring name = wide(program);
    const size_t dot = name.find_last_of(L'.');
    if (dot == std::wstring::npos || name.find_first_of(L"\\/", dot) != std::wstring::npos) name += L".exe";
    return name;
}

bool is_program(const std::wstring& path) {
    const DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

std::string find_program(const char* program, const std::string& folder) {
    const std::wstring beside = wide(folder) + L"\\" + program_file(program);
    return !folder.empty() && is_program(beside) ? narrow(beside) : find_on_path(program);
}

std::string find_on_path(const char* program) {
    const std::wstring name = program_file(program);
    const DWORD n = GetEnvironmentVariableW(L"PATH", nullptr, 0);
    if (n == 0) return "";
    std::wstring dirs(n, L'\0');
    dirs.resize(GetEnvironmentVariableW(L"PATH", &dirs[0], n));
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(L';', start);
        if (end == std::wstring::npos) end = dirs.size();
        std::wstring dir = dirs.substr(start, end - start);
        if (dir.size() >= 2 && dir.front() == L'"' && dir.back() == L'"') dir = dir.substr(1, dir.size() - 2);
        while (!dir.empty() && (dir.back() == L'\\' || dir.back() == L'/')) dir.pop_back();
        if (!dir.empty()) {
            const std::wstring candidate = dir + L"\\" + name;
            if (is_program(candidate)) return narrow(candidate);
        }
        start = end + 1;
    }
    return "";
}
