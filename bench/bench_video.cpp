// The renderer tool's video pipeline against the encoder alone. video/WxH: the wall time of
// a whole tiver-render run making ten seconds of the demo song at 60 fps with its audio into
// an MP4. video_bare/WxH, its reference: ffmpeg encoding the same frames, read from a raw
// file, with the very arguments the tool gave it (the same audio and encoder settings).
// Their ratio is what painting, converting and piping the frames add to encoding them.
// video_caption/WxH: the same run as a review video (--caption --no-controls), beside
// video/WxH: what the caption costs.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

extern char** environ;

namespace {

const std::string BUILD = TIVER_BINARY_DIR;
const std::string TOOL = BUILD + "/tiver-render";
const std::string SONG = BUILD + "/demo/song";
// A passage of chords, HOPOs and sustains: 601 frames.
const char* const FROM = "16";
const char* const TO = "26";

// Runs argv with its output thrown away; its exit status, or -1.
int run(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) < 0) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct Capture {
    std::string dir;                // the size's work folder
    std::vector<std::string> args;  // ffmpeg's arguments, reading the raw file
};

// The tool run once with a stand-in ffmpeg that keeps the frames it is sent (frames.raw)
// and the arguments it was given: what the bare encode replays.
bool capture(const std::string& size, Capture* out, std::string* why) {
    const std::string dir = BUILD + "/video-bench/" + size;
    run({"mkdir", "-p", dir});
    const std::string script = dir + "/capture.sh";
    std::ofstream(script) << "#!/bin/sh\n"
                             "printf '%s\\n' \"$@\" > '" << dir << "/args.txt'\n"
                             "cat > '" << dir << "/frames.raw'\n"
                             "for last; do :; done\n"
                             ": > \"${last#file:}\"\n";
    chmod(script.c_str(), 0755);
    if (run({TOOL, SONG, "--from", FROM, "--to", TO, "--fps", "60", "--size", size, "--ffmpeg", script, "-o",
             dir + "/capture.mp4"}) != 0) {
        *why = "tiver-render failed to capture its frames";
        return false;
    }
    std::ifstream in(dir + "/args.txt");
    std::string line;
    std::vector<std::string> args = {"ffmpeg"};
    while (std::getline(in, line)) args.push_back(line == "pipe:0" ? "file:" + dir + "/frames.raw" : line);
    if (args.size() < 10) {
        *why = "no ffmpeg arguments captured";
        return false;
    }
    args.back() = "file:" + dir + "/bare.mp4";
    out->dir = dir;
    out->args = args;
    return true;
}

std::map<std::string, Capture> captures;

enum class Run { Tool, Bare, Captioned };

void BM_Video(benchmark::State& state, std::string size, Run kind) {
    const bool bare = kind == Run::Bare;
    Capture& c = captures[size];
    std::string why;
    if (c.args.empty() && !capture(size, &c, &why)) {
        state.SkipWithError(why.c_str());
        return;
    }
    std::vector<std::string> tool = {TOOL, SONG, "--from", FROM, "--to", TO, "--fps", "60",
                                     "--size", size, "-o", c.dir + "/tool.mp4"};
    if (kind == Run::Captioned) tool.insert(tool.end(), {"--caption", "--no-controls"});
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const int status = run(bare ? c.args : tool);
        const auto end = std::chrono::steady_clock::now();
        if (status != 0) {
            state.SkipWithError(bare ? "ffmpeg failed" : "tiver-render failed");
            return;
        }
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    }
}

}  // namespace

int main(int argc, char** argv) {
    for (const char* size : {"1280x720", "1920x1080"}) {
        const std::pair<const char*, Run> runs[] = {
            {"video/", Run::Tool}, {"video_bare/", Run::Bare}, {"video_caption/", Run::Captioned}};
        for (const auto& run : runs)
            benchmark::RegisterBenchmark((std::string(run.first) + size).c_str(), BM_Video, size, run.second)
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // The raw frames take gigabytes.
    run({"rm", "-rf", BUILD + "/video-bench"});
    return 0;
}
