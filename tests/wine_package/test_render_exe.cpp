// tiver-render.exe from the unzipped release archive, run as a Windows user runs it, in
// folders whose names have spaces and non-ASCII letters:
// - a song folder dropped onto it from Explorer (a console of its own and one path) becomes
//   "<artist> - <name>.mp4" beside the chart, never over an earlier one, and the window
//   waits for Enter; started so without a path it says how to use it;
// - case by case it does what the native tool did with the same arguments in a copy of the
//   same folder (scripts/test.d/30-package ran those and listed them): the same exit
//   status, the same lines, the same files, its PNGs pixel for pixel the native ones;
// - an MP4 request reaches the encoder (a stand-in that records what it was given) through
//   a pipe, by --ffmpeg or as ffmpeg.exe on PATH, W x H x 4 bytes a frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "songfile/smf_writer.h"
#include "raster/tess.h"
#include "tests/wine/wine_support.h"
#include "platform/win32/wide.h"

namespace {

std::wstring env(const wchar_t* name) {
    const wchar_t* v = _wgetenv(name);
    return v ? v : L"";
}

std::string read_file(const std::wstring& path) {
    std::string bytes;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) return bytes;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    CloseHandle(h);
    return bytes;
}

std::string without_cr(const std::string& text) {
    std::string out;
    for (char c : text)
        if (c != '\r') out += c;
    return out;
}

// Progress lines keep their frame counts but lose their rates and times, which differ
// from run to run ("... 2 of 3 frames  65.9 fps  0:00 elapsed ..." ends after "frames").
std::string without_rates(const std::string& text) {
    std::istringstream lines(text);
    std::string line, out;
    while (std::getline(lines, line)) {
        const size_t frames = line.find(" frames ");
        if (frames != std::string::npos && line.find(" fps ", frames) != std::string::npos)
            line.resize(frames + 7);
        out += line + "\n";
    }
    return out;
}

// The files (not folders) directly inside `folder`.
std::set<std::wstring> files_in(const std::wstring& folder) {
    std::set<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.insert(found.cFileName);
    } while (FindNextFileW(h, &found));
    FindClose(h);
    return names;
}

struct ExeRun {
    DWORD status = 0xFFFFFFFF;
    std::string out, err;
};

// A started tiver-render.exe: its process, where its output goes, and (in a console of
// its own) the pipe that is its standard input.
struct StartedExe {
    PROCESS_INFORMATION process = {};
    std::wstring out_name, err_name;
    HANDLE input = nullptr;
    bool ok = false;
};

// Starts the packaged tiver-render.exe with `args` inside `folder`; each NAME=value of
// `settings` replaces that variable in its environment. With `own_console` it gets a new
// console of its own, as Explorer starts a console program, and a pipe for its input.
StartedExe start_exe(const std::vector<std::string>& args, const std::wstring& folder,
                     const std::vector<std::wstring>& settings = {}, bool own_console = false) {
    const std::wstring exe = env(L"TIVER_PACKAGE_DIR") + L"\\tiver-render.exe";
    std::wstring command = quote_argument(exe);
    for (const std::string& a : args) command += L" " + quote_argument(wide(a));

    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    // Names of their own for every start: a console host may keep the last ones open a while.
    static int starts = 0;
    StartedExe started;
    started.out_name = folder + L"." + std::to_wstring(++starts) + L".stdout";
    started.err_name = folder + L"." + std::to_wstring(starts) + L".stderr";
    HANDLE out = CreateFileW(started.out_name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    HANDLE err = CreateFileW(started.err_name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    HANDLE in = INVALID_HANDLE_VALUE;
    if (own_console) {
        HANDLE writer = nullptr;
        if (CreatePipe(&in, &writer, &inherit, 0)) {
            SetHandleInformation(writer, HANDLE_FLAG_INHERIT, 0);
            started.input = writer;
        } else {
            in = INVALID_HANDLE_VALUE;
        }
    } else {
        in = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
    }
    if (out == INVALID_HANDLE_VALUE || err == INVALID_HANDLE_VALUE || in == INVALID_HANDLE_VALUE) {
        ADD_FAILURE() << "cannot make the output files beside " << narrow(folder);
        return started;
    }

    std::wstring environment;  // "NAME=value\0...\0\0"
    if (!settings.empty()) {
        wchar_t* block = GetEnvironmentStringsW();
        for (const wchar_t* e = block; *e; e += std::wcslen(e) + 1) {
            bool replaced = false;
            for (const std::wstring& s : settings)
                replaced = replaced || _wcsnicmp(e, s.c_str(), s.find(L'=') + 1) == 0;
            if (!replaced) environment.append(e, std::wcslen(e) + 1);
        }
        FreeEnvironmentStringsW(block);
        for (const std::wstring& s : settings) environment.append(s.c_str(), s.size() + 1);
        environment.push_back(L'\0');
    }

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
    const DWORD flags = CREATE_UNICODE_ENVIRONMENT | (own_console ? CREATE_NEW_CONSOLE : 0);
    started.ok = CreateProcessW(exe.c_str(), &command[0], nullptr, nullptr, TRUE, flags,
                                settings.empty() ? nullptr : &environment[0], folder.c_str(), &startup,
                                &started.process) != 0;
    if (!started.ok) ADD_FAILURE() << "cannot start " << narrow(exe) << ": " << GetLastError();
    CloseHandle(in);
    CloseHandle(out);
    CloseHandle(err);
    return started;
}

// Waits for a started tiver-render.exe to end: its status and output.
ExeRun finish_exe(StartedExe* started) {
    ExeRun r;
    if (started->input) CloseHandle(started->input);
    started->input = nullptr;
    if (started->ok) {
        EXPECT_EQ(WaitForSingleObject(started->process.hProcess, 120000), WAIT_OBJECT_0);
        GetExitCodeProcess(started->process.hProcess, &r.status);
        CloseHandle(started->process.hThread);
        CloseHandle(started->process.hProcess);
        started->ok = false;
    }
    r.out = without_cr(read_file(started->out_name));
    r.err = without_cr(read_file(started->err_name));
    DeleteFileW(started->out_name.c_str());
    DeleteFileW(started->err_name.c_str());
    return r;
}

ExeRun run_exe(const std::vector<std::string>& args, const std::wstring& folder,
               const std::vector<std::wstring>& settings = {}) {
    StartedExe started = start_exe(args, folder, settings);
    return finish_exe(&started);
}

// Pixels in which two PNG files differ, or -1 when either cannot be read or the sizes differ.
int64_t png_differences(const std::wstring& a, const std::wstring& b) {
    std::unique_ptr<TESS_IBitmap> pa(TESS_LoadPNG(narrow(a).c_str(), nullptr));
    std::unique_ptr<TESS_IBitmap> pb(TESS_LoadPNG(narrow(b).c_str(), nullptr));
    if (!pa || !pb || pa->width() != pb->width() || pa->height() != pb->height()) return -1;
    int64_t differ = 0;
    for (int32_t y = 0; y < pa->height(); ++y)
        for (int32_t x = 0; x < pa->width(); ++x)
            differ += pa->bits()[y * pa->rowSpan() + x] != pb->bits()[y * pb->rowSpan() + x];
    return differ;
}

bool ends_with(const std::wstring& s, const wchar_t* tail) {
    const size_t n = std::wcslen(tail);
    return s.size() >= n && _wcsicmp(s.c_str() + s.size() - n, tail) == 0;
}

TEST(RenderExe, DoesWhatTheNativeToolDidCaseByCase) {
    const std::wstring native = env(L"TIVER_NATIVE_CASES"), cases = env(L"TIVER_EXE_CASES");
    ASSERT_FALSE(native.empty() || cases.empty()) << "TIVER_NATIVE_CASES and TIVER_EXE_CASES name the cases";
    std::istringstream list(read_file(native + L"\\cases.tsv"));
    std::string line;
    int count = 0, pictures = 0, refusals = 0;
    while (std::getline(list, line)) {
        std::vector<std::string> fields;
        std::stringstream split(line);
        std::string field;
        while (std::getline(split, field, '\t')) fields.push_back(field);
        ASSERT_GE(fields.size(), 1u);
        const std::wstring name = wide(fields[0]);
        SCOPED_TRACE(line);
        ++count;
        const ExeRun r = run_exe(std::vector<std::string>(fields.begin() + 1, fields.end()), cases + L"\\" + name);
        const std::wstring reference = native + L"\\" + name;
        EXPECT_EQ(r.status, static_cast<DWORD>(std::stoul(read_file(reference + L".status"))));
        EXPECT_EQ(without_rates(r.err), without_rates(read_file(reference + L".stderr")));
        EXPECT_EQ(r.out, read_file(reference + L".stdout"));
        refusals += r.status == 2;

        const std::set<std::wstring> made = files_in(cases + L"\\" + name), expected = files_in(reference);
        EXPECT_EQ(made, expected);
        for (const std::wstring& file : expected) {
            if (!made.count(file)) continue;
            const std::wstring a = cases + L"\\" + name + L"\\" + file, b = reference + L"\\" + file;
            if (ends_with(file, L".png")) {
                EXPECT_EQ(png_differences(a, b), 0) << narrow(file);
                ++pictures;
            } else {
                EXPECT_TRUE(read_file(a) == read_file(b)) << narrow(file);
            }
        }
    }
    // The list holds pictures and refusals both.
    EXPECT_GE(count, 8);
    EXPECT_GE(pictures, 4);
    EXPECT_GE(refusals, 3);
    // Every run removed its work folder.
    wchar_t temp[MAX_PATH + 1];
    ASSERT_GT(GetTempPathW(MAX_PATH + 1, temp), 0u);
    EXPECT_TRUE(files_in(std::wstring(temp) + L"tiver-render-*").empty());
}

TEST(RenderExe, TheTimeOffsetReachesThePlugInFromATemporaryFolderOutsideAscii) {
    // The host's INI file (which carries --offset) lies in the work folder and is named
    // through the narrow calls; under a temporary folder with such a name the work folder
    // takes the folder's short name.
    const std::wstring package = env(L"TIVER_PACKAGE_DIR");
    ASSERT_FALSE(package.empty());
    const std::wstring work = package + L"\\Förskjutning", temp = package + L"\\Tillfälligt Время";
    CreateDirectoryW(work.c_str(), nullptr);
    CreateDirectoryW(temp.c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(env(L"TIVER_CHART").c_str(), (work + L"\\Démo Sång.mid").c_str(), FALSE));
    const std::vector<std::wstring> odd_temp = {L"TEMP=" + temp, L"TMP=" + temp};
    const std::vector<std::string> shift = {"Démo Sång.mid", "--at", "20", "--size", "320x64", "--offset", "-25"};
    std::vector<std::string> args = shift;
    args.insert(args.end(), {"-o", "ascii.png"});
    ASSERT_EQ(run_exe(args, work).status, 0u);
    args = shift;
    args.insert(args.end(), {"-o", "odd.png"});
    const ExeRun r = run_exe(args, work, odd_temp);
    ASSERT_EQ(r.status, 0u) << r.err;
    args = {"Démo Sång.mid", "--at", "20", "--size", "320x64", "-o", "none.png"};
    ASSERT_EQ(run_exe(args, work).status, 0u);
    EXPECT_EQ(png_differences(work + L"\\ascii.png", work + L"\\odd.png"), 0);
    EXPECT_GT(png_differences(work + L"\\ascii.png", work + L"\\none.png"), 0) << "the offset shows";
    EXPECT_TRUE(files_in(temp).empty());
}

TEST(RenderExe, WithoutAChartItAsksForOne) {
    // The release ships no demo chart: run bare, the program says what it needs.
    const std::wstring package = env(L"TIVER_PACKAGE_DIR");
    ASSERT_FALSE(package.empty());
    const std::wstring bare = package + L"\\Tom mapp ø";
    CreateDirectoryW(bare.c_str(), nullptr);
    const ExeRun r = run_exe({}, bare);
    EXPECT_EQ(r.status, 2u);
    EXPECT_EQ(r.err, "tiver-render: no chart given: name a song folder or a chart file (see --help)\n");
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(files_in(bare).empty());
}

struct EncoderRecord {
    uint64_t bytes = 0;
    std::vector<std::string> args;
};

EncoderRecord read_record(const std::wstring& path) {
    EncoderRecord record;
    std::istringstream in(read_file(path));
    std::string line;
    if (std::getline(in, line) && line.compare(0, 6, "bytes ") == 0) record.bytes = std::stoull(line.substr(6));
    while (std::getline(in, line)) record.args.push_back(line);
    return record;
}

bool has_pair(const EncoderRecord& r, const std::string& option, const std::string& value) {
    for (size_t i = 0; i + 1 < r.args.size(); ++i)
        if (r.args[i] == option && r.args[i + 1] == value) return true;
    return false;
}

TEST(RenderExe, AnMp4RequestFeedsTheEncoderThroughAPipe) {
    const std::wstring package = env(L"TIVER_PACKAGE_DIR");
    ASSERT_FALSE(package.empty());
    const std::wstring work = package + L"\\Kodning ö", encoders = work + L"\\Kodare ü";
    CreateDirectoryW(work.c_str(), nullptr);
    CreateDirectoryW(encoders.c_str(), nullptr);
    const std::wstring standin = wide(build_path("tests/standin-encoder.exe"));
    ASSERT_TRUE(CopyFileW(env(L"TIVER_CHART").c_str(), (work + L"\\Démo Sång.mid").c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(standin.c_str(), (encoders + L"\\kodare.exe").c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(standin.c_str(), (encoders + L"\\ffmpeg.exe").c_str(), FALSE));

    // Named by --ffmpeg: 5 to 5.25 s at 8 fps is 3 frames of 100 x 64.
    ExeRun r = run_exe({"Démo Sång.mid", "--from", "5", "--to", "5.25", "--fps", "8", "--size", "100x64",
                        "--ffmpeg", narrow(encoders) + "\\kodare.exe", "-o", "klipp ä.mp4"},
                       work);
    ASSERT_EQ(r.status, 0u) << r.err;
    EncoderRecord record = read_record(work + L"\\klipp ä.mp4");
    EXPECT_EQ(record.bytes, 3u * 100 * 64 * 4);
    EXPECT_TRUE(has_pair(record, "-pix_fmt", "bgra"));
    EXPECT_TRUE(has_pair(record, "-video_size", "100x64"));
    EXPECT_TRUE(has_pair(record, "-framerate", "8"));
    EXPECT_TRUE(has_pair(record, "-i", "pipe:0"));
    ASSERT_FALSE(record.args.empty());
    const std::string partial = "file:klipp ä.mp4.part";  // renamed into place once whole
    EXPECT_EQ(record.args.back().compare(0, partial.size(), partial), 0) << record.args.back();

    // Found as ffmpeg.exe on PATH, with two views side by side: 2 frames of 256 x 72.
    r = run_exe({"Démo Sång.mid", "--from", "12", "--to", "12.1", "--fps", "10", "--size", "256x72", "--view",
                 "PART GUITAR", "--view", "PART DRUMS:hard", "-o", "band.mp4"},
                work, {L"PATH=" + encoders + L";C:\\windows\\system32"});
    ASSERT_EQ(r.status, 0u) << r.err;
    record = read_record(work + L"\\band.mp4");
    EXPECT_EQ(record.bytes, 2u * 256 * 72 * 4);
    EXPECT_TRUE(has_pair(record, "-video_size", "256x72"));

    // An encoder that fails after reading everything: status 1, a line naming ffmpeg, and
    // no MP4 left, not even the partial one.
    SetEnvironmentVariableW(L"STANDIN_ENCODER_FAIL", L"1");
    r = run_exe({"Démo Sång.mid", "--from", "5", "--to", "5.25", "--fps", "8", "--size", "100x64", "-o", "fel.mp4"},
                work, {L"PATH=" + encoders});
    SetEnvironmentVariableW(L"STANDIN_ENCODER_FAIL", nullptr);
    EXPECT_EQ(r.status, 1u);
    EXPECT_NE(r.err.find("ffmpeg failed to encode fel.mp4"), std::string::npos) << r.err;
    EXPECT_EQ(files_in(work), (std::set<std::wstring>{L"Démo Sång.mid", L"klipp ä.mp4", L"band.mp4"}));
}

bool write_file(const std::wstring& path, const std::string& bytes) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size();
    CloseHandle(h);
    return ok;
}

// A chart of half a second at 120 BPM: its whole song (2 s more, no audio) is 151 frames at 60 fps.
std::string short_chart() {
    SmfWriter w;
    w.tracks.resize(2);
    w.tracks[0].name("short");
    w.tracks[0].tempo_bpm(0, 120.0);
    w.tracks[1].name("PART GUITAR");
    for (int i = 0; i < 4; ++i) w.tracks[1].note(i * 120, 60, 96 + i, 100);
    w.tracks[1].note(0, 480, 116, 100);  // a style phrase to 0.5 s, the chart's last event
    const std::vector<uint8_t> bytes = w.bytes();
    return std::string(bytes.begin(), bytes.end());
}

// The text on the screen of process `pid`'s console, read by attaching to it (this
// program's own console, if it has one, is given up for that).
std::string console_text(DWORD pid) {
    FreeConsole();
    if (!AttachConsole(pid)) return "";
    std::string text;
    HANDLE screen = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (screen != INVALID_HANDLE_VALUE && GetConsoleScreenBufferInfo(screen, &info)) {
        std::wstring row(static_cast<size_t>(info.dwSize.X), L' ');
        for (SHORT y = 0; y <= info.dwCursorPosition.Y; ++y) {
            DWORD got = 0;
            if (!ReadConsoleOutputCharacterW(screen, &row[0], info.dwSize.X, COORD{0, y}, &got)) break;
            std::wstring line = row.substr(0, got);
            while (!line.empty() && line.back() == L' ') line.pop_back();
            text += narrow(line) + "\n";
        }
    }
    if (screen != INVALID_HANDLE_VALUE) CloseHandle(screen);
    FreeConsole();
    return text;
}

// What a started program has shown: its output file, or its console's screen when the
// system put its output there.
std::string shown(const StartedExe& started) {
    const std::string file = without_cr(read_file(started.out_name));
    return !file.empty() ? file : console_text(started.process.dwProcessId);
}

// Polls what the program has shown until it holds `text`, for at most `ms` milliseconds.
// Attaching to its console makes this program one of the console's processes, so the first
// look waits until the program has long decided how it was started: until file `made`
// exists (when given), and at least three seconds.
bool wait_for_text(const StartedExe& started, const std::string& text, DWORD ms, const std::wstring& made = L"") {
    DWORD waited = 0;
    for (; waited < ms && (waited < 3000 || (!made.empty() && GetFileAttributesW(made.c_str()) == INVALID_FILE_ATTRIBUTES));
         waited += 250)
        Sleep(250);
    for (; waited < ms; waited += 250) {
        if (shown(started).find(text) != std::string::npos) return true;
        Sleep(250);
    }
    return false;
}

// A drop: the program started in a console of its own with the one path, Enter pressed
// once it asked for it.
ExeRun drop(const std::wstring& path, const std::wstring& folder, const std::vector<std::wstring>& settings,
            const std::wstring& made = L"") {
    StartedExe started = start_exe({narrow(path)}, folder, settings, true);
    if (!started.ok) return ExeRun();
    EXPECT_TRUE(wait_for_text(started, "Press Enter to close this window.", 120000, made));
    EXPECT_EQ(WaitForSingleObject(started.process.hProcess, 300), static_cast<DWORD>(WAIT_TIMEOUT)) << "waits for Enter";
    const std::string screen = shown(started);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(started.input, "\r\n", 2, &written, nullptr));
    ExeRun r = finish_exe(&started);
    // Where the system showed both streams on the console, its screen stands for each.
    if (r.out.empty() && r.err.empty()) r.out = r.err = screen;
    return r;
}

TEST(RenderExe, ASongFolderDroppedOnItBecomesItsVideoBesideTheChart) {
    const std::wstring package = env(L"TIVER_PACKAGE_DIR");
    ASSERT_FALSE(package.empty());
    const std::wstring folder = package + L"\\Sl\u00e4pp", song = folder + L"\\Min L\u00e5t", encoders = folder + L"\\Kodare";
    CreateDirectoryW(folder.c_str(), nullptr);
    CreateDirectoryW(song.c_str(), nullptr);
    CreateDirectoryW(encoders.c_str(), nullptr);
    ASSERT_TRUE(write_file(song + L"\\notes.mid", short_chart()));
    ASSERT_TRUE(write_file(song + L"\\song.ini", "[song]\r\nname = Natt\xC3\xA5k\r\nartist = Tiverna\r\ncharter = Mo\r\n"));
    ASSERT_TRUE(CopyFileW(wide(build_path("tests/standin-encoder.exe")).c_str(), (encoders + L"\\ffmpeg.exe").c_str(), FALSE));
    const std::vector<std::wstring> with_encoder = {L"PATH=" + encoders + L";C:\\windows\\system32"};

    // The whole song with the caption and no control strip, to "<artist> - <name>.mp4"
    // beside the chart; it shows its progress and says what it wrote.
    const std::wstring video = song + L"\\Tiverna - Natt\u00e5k.mp4", again = song + L"\\Tiverna - Natt\u00e5k (2).mp4";
    ExeRun r = drop(song, folder, with_encoder, video);
    ASSERT_EQ(r.status, 0u) << r.out << r.err;
    EXPECT_NE(r.out.find("tiver-render: wrote " + narrow(video) + " (1280x720, 0.000 s to 2.500 s at 60 fps, no audio)"),
              std::string::npos) << r.out;
    EXPECT_NE(r.err.find("100%  151 of 151 frames"), std::string::npos) << r.err;
    const EncoderRecord record = read_record(video);
    EXPECT_EQ(record.bytes, 151ull * 1280 * 720 * 4);
    EXPECT_TRUE(has_pair(record, "-metadata", "title=Natt\xC3\xA5k"));
    const std::string first = read_file(video);

    // Dropped again: a number added, the first video as it was.
    r = drop(song, folder, with_encoder, again);
    ASSERT_EQ(r.status, 0u) << r.out << r.err;
    EXPECT_NE(r.out.find("tiver-render: wrote " + narrow(again)), std::string::npos) << r.out;
    EXPECT_EQ(read_record(again).bytes, record.bytes);
    EXPECT_EQ(read_file(video), first);

    // Without an encoder it says what was wrong, and waits all the same.
    r = drop(song, folder, {L"PATH=C:\\windows\\system32"});
    EXPECT_EQ(r.status, 2u);
    EXPECT_NE(r.err.find("ffmpeg is not on PATH"), std::string::npos) << r.err;
    EXPECT_EQ(files_in(song), (std::set<std::wstring>{L"notes.mid", L"song.ini", L"Tiverna - Natt\u00e5k.mp4",
                                                      L"Tiverna - Natt\u00e5k (2).mp4"}));
    EXPECT_TRUE(files_in(folder).empty()) << "nothing in the working folder";
}

TEST(RenderExe, StartedFromExplorerWithoutASongItSaysHowToUseIt) {
    const std::wstring package = env(L"TIVER_PACKAGE_DIR");
    ASSERT_FALSE(package.empty());
    const std::wstring bare = package + L"\\Dubbelklick";
    CreateDirectoryW(bare.c_str(), nullptr);
    StartedExe started = start_exe({}, bare, {}, true);
    ASSERT_TRUE(started.ok);
    ASSERT_TRUE(wait_for_text(started, "Press Enter to close this window.", 60000));
    EXPECT_EQ(WaitForSingleObject(started.process.hProcess, 300), static_cast<DWORD>(WAIT_TIMEOUT)) << "waits for Enter";
    const std::string screen = shown(started);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(started.input, "\r\n", 2, &written, nullptr));
    const ExeRun r = finish_exe(&started);
    EXPECT_EQ(r.status, 2u);
    EXPECT_NE(screen.find("Drop a song folder"), std::string::npos) << screen;
    EXPECT_TRUE(files_in(bare).empty());
}

}  // namespace
