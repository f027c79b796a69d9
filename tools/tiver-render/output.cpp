#include "tools/tiver-render/output.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "raster/tess_bitmap.h"
#include "tools/make-skin/png_write.h"

extern char** environ;

namespace {

std::string temp_beside(const std::string& path) {
    return path + ".part" + std::to_string(static_cast<long>(getpid()));
}

class PngFile : public FrameOutput {
public:
    explicit PngFile(std::string path) : path_(std::move(path)) {}
    bool write(int64_t, TESS_IBitmap* frame, std::string* error) override {
        return write_png_file(frame, path_, PngKind::Screen, error);
    }
    bool commit(std::string*) override { return true; }
    void abandon() override {}
    std::string describe() const override { return path_; }

private:
    std::string path_;
};

class PngSequence : public FrameOutput {
public:
    explicit PngSequence(std::string pattern) : pattern_(std::move(pattern)) {}
    bool write(int64_t index, TESS_IBitmap* frame, std::string* error) override {
        const std::string name = frame_name(pattern_, index);
        if (!write_png_file(frame, name, PngKind::Screen, error)) return false;
        written_.push_back(name);
        return true;
    }
    bool commit(std::string*) override { return true; }
    void abandon() override {
        for (const std::string& name : written_) std::remove(name.c_str());
        written_.clear();
    }
    std::string describe() const override {
        if (written_.empty()) return pattern_;
        return std::to_string(written_.size()) + " frames, " + written_.front() + " .. " + written_.back();
    }

private:
    std::string pattern_;
    std::vector<std::string> written_;
};

class Mp4File : public FrameOutput {
public:
    Mp4File(std::string ffmpeg, std::string path, int32_t w, int32_t h, double fps)
        : ffmpeg_(std::move(ffmpeg)), path_(std::move(path)), temp_(temp_beside(path_)), w_(w), h_(h),
          fps_(fps) {}
    ~Mp4File() override { abandon(); }

    bool write(int64_t, TESS_IBitmap* frame, std::string* error) override {
        if (pid_ < 0 && !start(error)) return false;
        if (!frame || frame->width() != w_ || frame->height() != h_ || !frame->bits()) {
            *error = "frame of the wrong size";
            return false;
        }
        for (int32_t y = 0; y < h_; ++y) {
            const char* row = reinterpret_cast<const char*>(frame->bits() + static_cast<ptrdiff_t>(y) * frame->rowSpan());
            size_t left = static_cast<size_t>(w_) * 4;
            while (left > 0) {
                const ssize_t n = ::write(pipe_, row, left);
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) {
                    *error = "ffmpeg stopped taking frames";
                    return false;
                }
                row += n;
                left -= static_cast<size_t>(n);
            }
        }
        return true;
    }

    bool commit(std::string* error) override {
        if (pid_ < 0) {
            *error = "no frames to encode";
            return false;
        }
        const int status = finish();
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::remove(temp_.c_str());
            *error = "ffmpeg failed to encode " + path_;
            return false;
        }
        if (std::rename(temp_.c_str(), path_.c_str()) != 0) {
            *error = "cannot write " + path_ + ": " + std::strerror(errno);
            std::remove(temp_.c_str());
            return false;
        }
        return true;
    }

    void abandon() override {
        if (pid_ >= 0) {
            kill(pid_, SIGTERM);
            finish();
        }
        std::remove(temp_.c_str());
    }

    std::string describe() const override { return path_; }

private:
    bool start(std::string* error) {
        int fds[2];
        if (pipe(fds) != 0) {
            *error = std::string("cannot start ffmpeg: ") + std::strerror(errno);
            return false;
        }
        char size[32], rate[32];
        std::snprintf(size, sizeof size, "%dx%d", w_, h_);
        std::snprintf(rate, sizeof rate, "%g", fps_);
        // -nostdin: no keyboard commands; the frames still come through fd 0, the pipe.
        std::vector<std::string> args = {ffmpeg_, "-hide_banner", "-loglevel", "error", "-nostdin", "-y",
                                         "-f", "rawvideo", "-pix_fmt", "bgra", "-video_size", size,
                                         "-framerate", rate, "-i", "pipe:0",
                                         "-vf", "pad=ceil(iw/2)*2:ceil(ih/2)*2",
                                         "-c:v", "libx264", "-preset", "veryfast", "-crf", "20",
                                         "-pix_fmt", "yuv420p", "-movflags", "+faststart",
                                         "-f", "mp4", temp_};
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(&a[0]);
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
        posix_spawn_file_actions_addclose(&actions, fds[1]);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        pid_t pid = -1;
        const int rc = posix_spawn(&pid, ffmpeg_.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[0]);
        if (rc != 0) {
            close(fds[1]);
            *error = std::string("cannot start ffmpeg: ") + std::strerror(rc);
            return false;
        }
        pid_ = pid;
        pipe_ = fds[1];
        return true;
    }

    int finish() {
        if (pipe_ >= 0) close(pipe_);
        pipe_ = -1;
        int status = 0;
        while (pid_ >= 0 && waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
        return status;
    }

    std::string ffmpeg_, path_, temp_;
    int32_t w_, h_;
    double fps_;
    pid_t pid_ = -1;
    int pipe_ = -1;
};

}  // namespace

std::unique_ptr<FrameOutput> png_output(const std::string& path) {
    return std::unique_ptr<FrameOutput>(new PngFile(path));
}

std::unique_ptr<FrameOutput> png_sequence_output(const std::string& pattern) {
    return std::unique_ptr<FrameOutput>(new PngSequence(pattern));
}

std::unique_ptr<FrameOutput> mp4_output(const std::string& ffmpeg, const std::string& path,
                                        int32_t width, int32_t height, double fps) {
    return std::unique_ptr<FrameOutput>(new Mp4File(ffmpeg, path, width, height, fps));
}

bool valid_frame_pattern(const std::string& pattern) {
    int conversions = 0;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%') continue;
        if (i + 1 < pattern.size() && pattern[i + 1] == '%') {
            ++i;
            continue;
        }
        size_t j = i + 1;
        if (j < pattern.size() && pattern[j] == '0') ++j;
        size_t digits = 0;
        while (j < pattern.size() && pattern[j] >= '0' && pattern[j] <= '9') ++j, ++digits;
        if (digits > 2 || j >= pattern.size() || pattern[j] != 'd') return false;
        ++conversions;
        i = j;
    }
    return conversions == 1;
}

std::string frame_name(const std::string& pattern, int64_t index) {
    std::string out;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%') {
            out += pattern[i];
            continue;
        }
        if (i + 1 < pattern.size() && pattern[i + 1] == '%') {
            out += '%';
            ++i;
            continue;
        }
        size_t j = i + 1;
        while (j < pattern.size() && pattern[j] != 'd') ++j;
        const std::string spec = pattern.substr(i, j - i) + "lld";
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, spec.c_str(), static_cast<long long>(index));
        out += buffer;
        i = j;
    }
    return out;
}

std::string find_on_path(const char* program) {
    const char* path = std::getenv("PATH");
    if (!path) return "";
    std::string dirs = path;
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        std::string dir = dirs.substr(start, end - start);
        if (dir.empty()) dir = ".";
        const std::string candidate = dir + "/" + program;
        struct stat st;
        if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return "";
}

bool can_create(const std::string& path, std::string* error) {
    const std::string probe = temp_beside(path);
    const int fd = open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0) {
        *error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    close(fd);
    std::remove(probe.c_str());
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        *error = "cannot write " + path + ": it is a folder";
        return false;
    }
    return true;
}
