// A stand-in for ffmpeg.exe in the Wine tests of tiver-render.exe: reads its standard input
// to the end and writes, into the file named by its last argument (less a "file:" prefix, as
// ffmpeg reads it), the number of bytes read and its arguments, one a line. With STANDIN_ENCODER_FAIL set it exits with status 1 after
// reading, as an encoder that failed would.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <string>

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 2) return 3;

    unsigned long long total = 0;
    static char buffer[1 << 16];
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    DWORD got = 0;
    while (ReadFile(in, buffer, sizeof buffer, &got, nullptr) && got > 0) total += got;

    const wchar_t* name = argv[argc - 1];
    if (wcsncmp(name, L"file:", 5) == 0) name += 5;
    FILE* out = _wfopen(name, L"wb");
    if (!out) return 4;
    std::fprintf(out, "bytes %llu\n", total);
    for (int i = 1; i < argc; ++i) {
        char arg[4096];
        const int n = WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, arg, sizeof arg, nullptr, nullptr);
        std::fprintf(out, "%s\n", n > 0 ? arg : "?");
    }
    std::fclose(out);
    LocalFree(argv);
    return GetEnvironmentVariableW(L"STANDIN_ENCODER_FAIL", nullptr, 0) > 0 ? 1 : 0;
}
