#include "tools/tiver-render/output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/platform.h"
#include "raster/tess_bitmap.h"
#include "tools/make-skin/png_write.h"
#include "tools/tiver-render/os.h"
#include "tools/tiver-render/process.h"

namespace {

std::string temp_beside(const std::string& path) {
    return path + ".part" + std::to_string(process_id());
}

// A frame as a PNG file at `path` (named in UTF-8), put in place only once it is whole.
bool write_png(TESS_IBitmap* frame, const std::string& path, std::string* error) {
    std::string bytes;
    if (!encode_png(frame, PngKind::Screen, &bytes, error)) return false;
    const std::string temp = temp_beside(path);
    FILE* f = platform_fopen_utf8(temp.c_str(), "wb");
    if (!f) {
        *error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    const int saved = errno;
    const bool closed = std::fclose(f) == 0;
    if (!written || !closed) {
        *error = "cannot write " + path + ": " + std::strerror(!written ? saved : errno);
        remove_path(temp);
        return false;
    }
    if (!rename_path(temp, path, error)) {
        remove_path(temp);
        return false;
    }
    return true;
}

class PngFile : public FrameOutput {
public:
    explicit PngFile(std::string path) : path_(std::move(path)) {}
    bool write(int64_t, TESS_IBitmap* frame, std::string* error) override {
        return write_png(frame, path_, error);
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
        if (!write_png(frame, name, error)) return false;
        written_.push_back(name);
        return true;
    }
    bool commit(std::string*) override { return true; }
    void abandon() override {
        for (const std::string& name : written_) remove_path(name);
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
        if (!encoder_ && !start(error)) return false;
        if (!frame || frame->width() != w_ || frame->height() != h_ || !frame->bits()) {
            *error = "frame of the wrong size";
            return false;
        }
        const size_t row_bytes = static_cast<size_t>(w_) * 4;
        for (int32_t y = 0; y < h_; ++y) {
            const uint32_t* row = frame->bits() + static_cast<ptrdiff_t>(y) * frame->rowSpan();
            if (!encoder_->write(row, row_bytes)) {
                *error = "ffmpeg stopped taking frames";
                return false;
            }
        }
        return true;
    }

    bool commit(std::string* error) override {
        if (!encoder_) {
            *error = "no frames to encode";
            return false;
        }
        const bool encoded = encoder_->finish();
        encoder_.reset();
        if (!encoded) {
            remove_path(temp_);
            *error = "ffmpeg failed to encode " + path_;
            return false;
        }
        if (!rename_path(temp_, path_, error)) {
            remove_path(temp_);
            return false;
        }
        return true;
    }

    void abandon() override {
        if (encoder_) encoder_->terminate();
        encoder_.reset();
        remove_path(temp_);
    }

    std::string describe() const override { return path_; }

private:
    bool start(std::string* error) {
        char size[32], rate[32];
        std::snprintf(size, sizeof size, "%dx%d", w_, h_);
        std::snprintf(rate, sizeof rate, "%g", fps_);
        // -nostdin: no keyboard commands; the frames still come through fd 0, the pipe.
        const std::vector<std::string> args = {ffmpeg_, "-hide_banner", "-loglevel", "error", "-nostdin", "-y",
                                               "-f", "rawvideo", "-pix_fmt", "bgra", "-video_size", size,
                                               "-framerate", rate, "-i", "pipe:0",
                                               "-vf", "pad=ceil(iw/2)*2:ceil(ih/2)*2",
                                               "-c:v", "libx264", "-preset", "veryfast", "-crf", "20",
                                               "-pix_fmt", "yuv420p", "-movflags", "+faststart",
                                               "-f", "mp4", temp_};
        encoder_ = start_child(args, 0, error);
        return encoder_ != nullptr;
    }

    std::string ffmpeg_, path_, temp_;
    int32_t w_, h_;
    double fps_;
    std::unique_ptr<ChildProcess> encoder_;
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

bool can_create(const std::string& path, std::string* error) {
    if (is_directory(path)) {
        *error = "cannot write " + path + ": it is a folder";
        return false;
    }
    std::string why;
    if (!probe_new_file(temp_beside(path), &why)) {
        *error = "cannot write " + path + ": " + why;
        return false;
    }
    return true;
}
