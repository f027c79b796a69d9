// Running programs from the tool tests: tiver-render in a test's own folder, with its exit
// status and its output, and ffmpeg or ffprobe with their output read through a pipe.
#pragma once

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "raster/tess.h"

extern char** environ;

namespace tool_test {

inline const std::string& tool_path() {
    static const std::string path = std::string(TIVER_BINARY_DIR) + "/tiver-render";
    return path;
}

inline const std::string& demo_chart() {
    static const std::string path = std::string(TIVER_BINARY_DIR) + "/demo/demo_chart.mid";
    return path;
}

inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

inline bool exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// Names in `dir`, without the hidden ones.
inline std::set<std::string> files_in(const std::string& dir) {
    std::set<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.') names.insert(e->d_name);
        closedir(d);
    }
    return names;
}

struct ToolRun {
    int status = -1;  // exit status, or 128 + the signal that ended it
    std::string out, err;
    std::vector<std::string> err_lines() const {
        std::vector<std::string> lines;
        std::stringstream s(err);
        std::string line;
        while (std::getline(s, line)) lines.push_back(line);
        return lines;
    }
};

// tiver-render started in `dir` with stdout and stderr to hidden files there; `path`
// replaces PATH when not empty. With `own_group` it leads a process group of its own, as a
// terminal's foreground job does, so that a signal can reach it and its children at once.
class ToolProcess {
public:
    ToolProcess(const std::string& dir, std::vector<std::string> args, const std::string& path = "",
                bool own_group = false)
        : out_(dir + "/.stdout"), err_(dir + "/.stderr") {
        args.insert(args.begin(), tool_path());
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e)
            if (path.empty() || std::string(*e).compare(0, 5, "PATH=") != 0) env.push_back(*e);
        if (!path.empty()) env.push_back("PATH=" + path);
        const std::string script = "cd '" + dir + "' && exec \"$0\" \"$@\"";
        std::vector<char*> argv = {const_cast<char*>("/bin/sh"), const_cast<char*>("-c"),
                                   const_cast<char*>(script.c_str())};
        for (std::string& a : args) argv.push_back(&a[0]);
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (std::string& e : env) envp.push_back(&e[0]);
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        if (own_group) {
            posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
            posix_spawnattr_setpgroup(&attributes, 0);
        }
        if (posix_spawn(&pid_, "/bin/sh", &actions, &attributes, argv.data(), envp.data()) != 0) pid_ = -1;
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);
    }
    ~ToolProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            wait();
        }
    }

    // What it has written to stderr so far.
    std::string err_so_far() const { return read_file(err_); }
    // `sig` to the tool, or with `group` to its process group (the tool and its children),
    // as Ctrl-C on a terminal does.
    void signal(int sig, bool group = false) const {
        if (pid_ > 0) kill(group ? -pid_ : pid_, sig);
    }
    ToolRun wait() {
        ToolRun r;
        if (pid_ > 0) {
            int status = 0;
            waitpid(pid_, &status, 0);
            r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            pid_ = -1;
        }
        r.out = read_file(out_);
        r.err = read_file(err_);
        std::remove(out_.c_str());
        std::remove(err_.c_str());
        return r;
    }

private:
    std::string out_, err_;
    pid_t pid_ = -1;
};

// Bad input as the tool reports it: status 2, exactly one line on stderr naming the tool
// and saying `says`, nothing on stdout.
inline ::testing::AssertionResult refused_in_one_line(const ToolRun& r, const std::string& says) {
    const std::vector<std::string> lines = r.err_lines();
    if (r.status != 2) return ::testing::AssertionFailure() << "status " << r.status << "\n" << r.err;
    if (lines.size() != 1) return ::testing::AssertionFailure() << lines.size() << " lines:\n" << r.err;
    if (lines[0].compare(0, 14, "tiver-render: ") != 0 || lines[0].find(says) == std::string::npos)
        return ::testing::AssertionFailure() << "says: " << lines[0];
    if (!r.out.empty()) return ::testing::AssertionFailure() << "stdout: " << r.out;
    return ::testing::AssertionSuccess();
}

inline ToolRun run_tool(const std::string& dir, const std::vector<std::string>& args, const std::string& path = "") {
    return ToolProcess(dir, args, path).wait();
}

// A shell command's standard output, read through a pipe (ffmpeg and ffprobe decode and
// report through here). The command's status goes to `status` when given.
inline std::string command_output(const std::string& command, int* status = nullptr) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return out;
    char buffer[1 << 16];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
    const int s = pclose(p);
    if (status) *status = WIFEXITED(s) ? WEXITSTATUS(s) : -1;
    return out;
}

// A test's own folder under /tmp, removed with everything in it.
class TempFolder {
public:
    TempFolder() {
        char pattern[] = "/tmp/tiver-song-test-XXXXXX";
        if (mkdtemp(pattern)) path_ = pattern;
    }
    ~TempFolder() {
        if (!path_.empty()) std::system(("rm -rf '" + path_ + "'").c_str());
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Pixels of `picture` from column x0 on that differ from `alone` (which is as high as the
// picture and as wide as the column).
inline int64_t column_differences(TESS_IBitmap* picture, int32_t x0, TESS_IBitmap* alone) {
    int64_t differ = 0;
    for (int32_t y = 0; y < alone->height(); ++y)
        for (int32_t x = 0; x < alone->width(); ++x)
            differ += picture->bits()[y * picture->rowSpan() + x0 + x] != alone->bits()[y * alone->rowSpan() + x];
    return differ;
}

// A test with a private folder that the tool runs in.
class ToolTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tiver-tool-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override {
        const std::string cmd = "rm -rf '" + dir + "'";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
    }

    // Runs the tool with `args` inside the folder; `path` replaces PATH when given.
    ToolRun run(const std::vector<std::string>& args, const char* path = nullptr) {
        return run_tool(dir, args, path ? path : "");
    }

    // A PNG the tool wrote into the folder, or null.
    std::unique_ptr<TESS_IBitmap> load(const std::string& name) {
        return std::unique_ptr<TESS_IBitmap>(TESS_LoadPNG((dir + "/" + name).c_str(), nullptr));
    }

    std::string dir;
};

}  // namespace tool_test
