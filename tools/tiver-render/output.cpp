#include "tools/tiver-render/output.h"

#include <cerrno>
#include <cmath>
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
        written_ = write_png(frame, path_, error);
        return written_;
    }
    bool commit(std::string*) override { return true; }
    void abandon() override {
        if (written_) remove_path(path_);
        written_ = false;
    }
    std::string describe() const override { return path_; }

private:
    std::string path_;
    bool written_ = false;
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

// Audio frames per second of the MP4's AAC track.
constexpr int64_t AUDIO_RATE = 48000;
// The pipe to ffmpeg holds this much (where the system allows), so that a frame goes in a
// few large steps rather than sixteen-page ones.
constexpr size_t PIPE_BYTES = 1 << 20;

std::string number(double v) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.10g", v);
    return buffer;
}

// A name ffmpeg takes as a file whatever characters it holds (not as a protocol such as
// "pipe:" or "concat:").
std::string as_file(const std::string& path) { return "file:" + path; }

// The MP4 through ffmpeg. Each frame goes into the pipe straight from the painted bitmap,
// in one write of the whole picture when its rows are contiguous (the usual case). There is
// no copy and no thread of ours: ffmpeg reads the pipe into a queue of its own and its
// encoder threads work through that queue while the next frame is painted, so painting
// already overlaps encoding, and a copy would only add work on a machine the encoder keeps
// busy. Nothing is allocated per frame.
class Mp4File : public FrameOutput {
public:
    explicit Mp4File(const Mp4Settings& s) : s_(s), temp_(temp_beside(s.path)) {}
    ~Mp4File() override { abandon(); }

    // ffmpeg loads, opens the audio and waits for frames while the session starts.
    bool begin(std::string* error) override { return encoder_ || start(error); }

    bool write(int64_t, TESS_IBitmap* frame, std::string* error) override {
        if (!encoder_ && !start(error)) return false;
        if (!frame || frame->width() != s_.width || frame->height() != s_.height || !frame->bits() ||
            frame->rowSpan() < frame->width()) {
            *error = "frame of the wrong size";
            return false;
        }
        const size_t row_bytes = static_cast<size_t>(s_.width) * 4;
        bool written = true;
        if (frame->rowSpan() == frame->width()) {
            written = encoder_->write(frame->bits(), row_bytes * static_cast<size_t>(s_.height));
        } else {
            for (int32_t y = 0; written && y < s_.height; ++y)
                written = encoder_->write(frame->bits() + static_cast<ptrdiff_t>(y) * frame->rowSpan(), row_bytes);
        }
        if (!written) *error = "ffmpeg stopped taking frames";
        return written;
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
            *error = "ffmpeg failed to encode " + s_.path;
            return false;
        }
        if (!rename_path(temp_, s_.path, error)) {
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

    std::string describe() const override { return s_.path; }

private:
    bool start(std::string* error) {
        std::vector<std::string> args = mp4_encoder_args(s_, "pipe:0", temp_);
        args.insert(args.begin(), s_.ffmpeg);
        encoder_ = start_child(args, PIPE_BYTES, error);
        return encoder_ != nullptr;
    }

    Mp4Settings s_;
    std::string temp_;
    std::unique_ptr<ChildProcess> encoder_;
};

}  // namespace

std::unique_ptr<FrameOutput> png_output(const std::string& path) {
    return std::unique_ptr<FrameOutput>(new PngFile(path));
}

std::unique_ptr<FrameOutput> png_sequence_output(const std::string& pattern) {
    return std::unique_ptr<FrameOutput>(new PngSequence(pattern));
}

std::unique_ptr<FrameOutput> mp4_output(const Mp4Settings& settings) {
    return std::unique_ptr<FrameOutput>(new Mp4File(settings));
}

std::vector<std::string> mp4_encoder_args(const Mp4Settings& s, const std::string& video,
                                          const std::string& output) {
    // -nostdin: no keyboard commands; the frames still come through fd 0, the pipe.
    std::vector<std::string> a = {"-hide_banner", "-loglevel", "error", "-nostdin", "-y",
                                  "-f", "rawvideo", "-pix_fmt", "bgra",
                                  "-video_size", std::to_string(s.width) + "x" + std::to_string(s.height),
                                  "-framerate", number(s.fps), "-i", video};
    for (const AudioStem& stem : s.audio) {
        a.push_back("-i");
        a.push_back(as_file(stem.path));
    }
    // H.264 in 4:2:0 needs even sides: an odd one gets a row or column of padding.
    std::string graph = "[0:v]";
    graph += s.width % 2 || s.height % 2 ? "pad=ceil(iw/2)*2:ceil(ih/2)*2,format=yuv420p[v]" : "format=yuv420p[v]";
    if (!s.audio.empty()) {
        // Each stem from its first decoded sample on, whatever time stamps its container
        // gives (a game plays it so), as 48 kHz stereo; a mono stem goes to both sides at
        // full level. The sum then starts at the first frame's moment and lasts exactly
        // as long as the frames: silence pads it, the rest is cut.
        const int64_t first = std::llround(s.from * AUDIO_RATE);
        const int64_t length = std::llround(static_cast<double>(s.frames) / s.fps * AUDIO_RATE);
        std::string mix;
        for (size_t i = 0; i < s.audio.size(); ++i) {
            const std::string in = "[" + std::to_string(i + 1) + ":a:0]";
            const std::string label = "[s" + std::to_string(i) + "]";
            graph += ";" + in + "asetpts=N/SR/TB," +
                     (s.audio[i].channels == 1 ? "pan=stereo|c0=c0|c1=c0," : "") +
                     "aresample=" + std::to_string(AUDIO_RATE) +
                     ",aformat=sample_fmts=fltp:channel_layouts=stereo" + label;
            mix += label;
        }
        graph += ";" + mix;
        if (s.audio.size() > 1)
            graph += "amix=inputs=" + std::to_string(s.audio.size()) + ":duration=longest:normalize=0,";
        graph += "atrim=start_sample=" + std::to_string(first) + ",asetpts=N/SR/TB,apad=whole_len=" +
                 std::to_string(length) + ",atrim=end_sample=" + std::to_string(length) + "[a]";
    }
    a.insert(a.end(), {"-filter_complex", graph, "-map", "[v]"});
    if (!s.audio.empty()) a.insert(a.end(), {"-map", "[a]", "-c:a", "aac", "-b:a", "192k"});
    a.insert(a.end(), {"-c:v", "libx264", "-preset", "veryfast", "-crf", "20"});
    if (!s.title.empty()) a.insert(a.end(), {"-metadata", "title=" + s.title});
    if (!s.artist.empty()) a.insert(a.end(), {"-metadata", "artist=" + s.artist});
    if (!s.comment.empty()) a.insert(a.end(), {"-metadata", "comment=" + s.comment});
    a.insert(a.end(), {"-movflags", "+faststart", "-f", "mp4", as_file(output)});
    return a;
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
