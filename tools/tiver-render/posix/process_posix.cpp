#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "tools/tiver-render/interrupt.h"
#include "tools/tiver-render/process.h"

extern char** environ;

namespace {

class PosixChild : public ChildProcess {
public:
    PosixChild(pid_t pid, int input) : pid_(pid), input_(input) {}
    ~PosixChild() override { terminate(); }

    bool write(const void* data, size_t size) override {
        const char* p = static_cast<const char*>(data);
        while (size > 0 && input_ >= 0) {
            const ssize_t n = ::write(input_, p, size);
            // A signal asking us to stop ends a write the child is slow to take.
            if (n < 0 && errno == EINTR && !interrupted()) continue;
            if (n <= 0) return false;
            p += n;
            size -= static_cast<size_t>(n);
        }
        return size == 0;
    }

    bool finish() override {
        const int status = wait_for_exit();
        return status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

    void terminate() override {
        if (pid_ > 0) kill(pid_, SIGTERM);
        wait_for_exit();
    }

private:
    int wait_for_exit() {
        if (input_ >= 0) close(input_);
        input_ = -1;
        int status = -1;
        while (pid_ > 0 && waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
        return status;
    }

    pid_t pid_;
    int input_;
};

}  // namespace

std::unique_ptr<ChildProcess> start_child(const std::vector<std::string>& args, size_t pipe_bytes,
                                          std::string* error) {
    if (args.empty()) {
        *error = "no program to start";
        return nullptr;
    }
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        *error = "cannot start " + args[0] + ": " + std::strerror(errno);
        return nullptr;
    }
#ifdef F_SETPIPE_SZ
    // A larger pipe lets whole frames wait for the child; refused sizes keep the default.
    if (pipe_bytes > 0) fcntl(fds[1], F_SETPIPE_SZ, static_cast<int>(pipe_bytes));
#else
    (void)pipe_bytes;
#endif
    // A child that stops reading must not kill us with SIGPIPE: writes then fail instead.
    signal(SIGPIPE, SIG_IGN);

    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, args[0].c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[0]);
    if (rc != 0) {
        close(fds[1]);
        *error = "cannot start " + args[0] + ": " + std::strerror(rc);
        return nullptr;
    }
    return std::unique_ptr<ChildProcess>(new PosixChild(pid, fds[1]));
}

namespace {

bool is_program(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

}  // namespace

std::string find_on_path(const char* program) {
    const char* path = std::getenv("PATH");
    if (!path) return "";
    const std::string dirs = path;
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        std::string dir = dirs.substr(start, end - start);
        if (dir.empty()) dir = ".";
        const std::string candidate = dir + "/" + program;
        if (is_program(candidate)) return candidate;
        start = end + 1;
    }
    return "";
}

std::string find_program(const char* program, const std::string& folder) {
    const std::string beside = folder + "/" + program;
    return !folder.empty() && is_program(beside) ? beside : find_on_path(program);
}
