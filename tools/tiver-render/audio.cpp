#include "tools/tiver-render/audio.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "tools/tiver-render/os.h"
#include "tools/tiver-render/process.h"

namespace {

bool ends_with(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

std::string read_text(const std::string& path) {
    std::string text;
    if (FILE* f = platform_fopen_utf8(path.c_str(), "rb")) {
        char buffer[4096];
        size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0 && text.size() < (1 << 20)) text.append(buffer, n);
        std::fclose(f);
    }
    return text;
}

// The value of `key` in ffprobe's flat report ("key=value" lines, strings quoted).
std::string flat_value(const std::string& report, const std::string& key) {
    size_t at = 0;
    while ((at = report.find(key + "=", at)) != std::string::npos) {
        if (at == 0 || report[at - 1] == '\n') {
            const size_t start = at + key.size() + 1;
            size_t end = report.find('\n', start);
            if (end == std::string::npos) end = report.size();
            std::string v = report.substr(start, end - start);
            if (!v.empty() && v.back() == '\r') v.pop_back();
            if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
            return v;
        }
        at += key.size();
    }
    return "";
}

}  // namespace

std::string find_ffprobe(const std::string& ffmpeg) {
    const size_t slash = ffmpeg.find_last_of("/\\");
    if (slash != std::string::npos) {
        const std::string beside =
            ffmpeg.substr(0, slash + 1) + (ends_with(ffmpeg, ".exe") ? "ffprobe.exe" : "ffprobe");
        if (is_regular_file(beside)) return beside;
    }
    return find_on_path("ffprobe");
}

namespace {

// ffprobe started on `path`, its report going to `scratch`: the first audio stream, its
// first packets decoded (a file whose header parses but whose codec cannot be decoded is
// caught here, not half-way through the render).
std::unique_ptr<ChildProcess> start_probe(const std::string& ffprobe, const std::string& path,
                                          const std::string& scratch, std::string* error) {
    const std::vector<std::string> args = {ffprobe, "-v", "quiet", "-show_error", "-select_streams", "a:0",
                                           "-read_intervals", "%+#8",
                                           "-show_entries",
                                           "stream=codec_type,channels,duration:format=duration:"
                                           "frame=nb_samples:error=string",
                                           "-of", "flat", "-o", "file:" + scratch, "-i", "file:" + path};
    return start_child(args, 0, error);
}

// Waits for a probe and reads its report.
bool read_probe(ChildProcess* probe, const std::string& path, const std::string& scratch, AudioStem* out,
                std::string* error) {
    const bool ran = probe->finish();
    const std::string report = read_text(scratch);
    remove_path(scratch);

    const std::string failure = flat_value(report, "error.string");
    if (!ran || !failure.empty()) {
        *error = path + ": ffmpeg cannot decode it (" + (failure.empty() ? "ffprobe failed" : failure) + ")";
        return false;
    }
    if (flat_value(report, "streams.stream.0.codec_type") != "audio") {
        *error = path + ": ffmpeg finds no audio in it";
        return false;
    }
    if (std::atoi(flat_value(report, "frames.frame.0.nb_samples").c_str()) <= 0) {
        *error = path + ": ffmpeg cannot decode its audio";
        return false;
    }
    AudioStem s;
    s.path = path;
    s.channels = std::atoi(flat_value(report, "streams.stream.0.channels").c_str());
    std::string length = flat_value(report, "streams.stream.0.duration");
    if (length.empty() || length == "N/A") length = flat_value(report, "format.duration");
    s.seconds = std::strtod(length.c_str(), nullptr);
    if (s.channels <= 0 || !(s.seconds > 0.0) || s.seconds > 86400.0) {
        *error = path + ": ffmpeg cannot tell how long its audio is";
        return false;
    }
    *out = s;
    return true;
}

// Probes running at once: a song folder's stems are probed together, not one by one.
constexpr size_t PROBES_AT_ONCE = 8;

}  // namespace

bool probe_audio(const std::string& ffprobe, const std::string& path, const std::string& scratch,
                 AudioStem* out, std::string* error) {
    std::unique_ptr<ChildProcess> probe = start_probe(ffprobe, path, scratch, error);
    return probe && read_probe(probe.get(), path, scratch, out, error);
}

bool probe_audio_files(const std::string& ffmpeg, const std::vector<std::string>& files,
                       const std::string& scratch, std::vector<AudioStem>* out, std::string* error) {
    const std::string ffprobe = find_ffprobe(ffmpeg);
    if (ffprobe.empty()) {
        *error = "reading the song's audio needs ffprobe, which comes with ffmpeg: install ffmpeg (apt install "
                 "ffmpeg), or give --no-audio";
        return false;
    }
    out->clear();
    for (size_t first = 0; first < files.size(); first += PROBES_AT_ONCE) {
        const size_t last = std::min(files.size(), first + PROBES_AT_ONCE);
        std::vector<std::unique_ptr<ChildProcess>> probes;
        // After a failure: the probes still running stopped, their reports removed.
        const auto stop_from = [&](size_t i) {
            for (size_t j = i; j < first + probes.size(); ++j) {
                if (probes[j - first]) probes[j - first]->terminate();
                remove_path(scratch + std::to_string(j));
            }
            return false;
        };
        for (size_t i = first; i < last; ++i) {
            probes.push_back(start_probe(ffprobe, files[i], scratch + std::to_string(i), error));
            if (!probes.back()) return stop_from(first);
        }
        for (size_t i = first; i < last; ++i) {
            AudioStem stem;
            if (!read_probe(probes[i - first].get(), files[i], scratch + std::to_string(i), &stem, error))
                return stop_from(i + 1);
            out->push_back(stem);
        }
    }
    return true;
}

double audio_end_seconds(const std::vector<AudioStem>& stems) {
    double end = 0.0;
    for (const AudioStem& s : stems) end = s.seconds > end ? s.seconds : end;
    return end;
}
