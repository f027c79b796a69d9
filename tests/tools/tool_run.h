// Running the built tiver-render as a user does, for the tool's tests: in a fresh folder of
// its own, with its status, standard output and error kept, and its PNGs read back.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "raster/tess.h"

extern char** environ;

namespace tool_run {

inline const std::string& tool() {
    static const std::string path = std::string(TIVER_BINARY_DIR) + "/tiver-render";
    return path;
}
inline const std::string& demo_chart() {
    static const std::string path = std::string(TIVER_BINARY_DIR) + "/demo/demo_chart.mid";
    return path;
}

struct Result {
    int status = -1;
    std::string out, err;
};

inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
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
    Result run(std::vector<std::string> args, const char* path = nullptr) {
        args.insert(args.begin(), tool());
        const std::string out = dir + "/.stdout", err = dir + "/.stderr";
        std::vector<std::string> env_text;
        for (char** e = environ; *e; ++e)
            if (!path || std::string(*e).compare(0, 5, "PATH=") != 0) env_text.push_back(*e);
        if (path) env_text.push_back(std::string("PATH=") + path);
        std::vector<char*> envp;
        for (std::string& e : env_text) envp.push_back(&e[0]);
        envp.push_back(nullptr);
        const std::string script = "cd '" + dir + "' && exec \"$0\" \"$@\"";
        std::vector<char*> argv = {const_cast<char*>("/bin/sh"), const_cast<char*>("-c"),
                                   const_cast<char*>(script.c_str())};
        for (std::string& a : args) argv.push_back(&a[0]);
        argv.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        pid_t pid = -1;
        Result r;
        if (posix_spawn(&pid, "/bin/sh", &actions, nullptr, argv.data(), envp.data()) == 0) {
            int status = 0;
            waitpid(pid, &status, 0);
            r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        posix_spawn_file_actions_destroy(&actions);
        r.out = read_file(out);
        r.err = read_file(err);
        std::remove(out.c_str());
        std::remove(err.c_str());
        return r;
    }

    // A PNG the tool wrote into the folder, or null.
    std::unique_ptr<TESS_IBitmap> load(const std::string& name) {
        return std::unique_ptr<TESS_IBitmap>(TESS_LoadPNG((dir + "/" + name).c_str(), nullptr));
    }

    std::string dir;
};

}  // namespace tool_run
