#include "tools/tiver-render/plan.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "tools/tiver-render/frame.h"
#include "tools/tiver-render/os.h"
#include "tools/tiver-render/output.h"

namespace {

// A preview without an end in song.ini lasts this long.
constexpr double PREVIEW_SECONDS = 30.0;
constexpr size_t MAX_STEM_BYTES = 120;
constexpr int MAX_NUMBERED = 9999;

bool ends_with(const std::string& s, const char* tail) {
    const size_t n = std::strlen(tail);
    if (s.size() < n) return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(s[s.size() - n + i])) != tail[i]) return false;
    return true;
}

bool is_separator(char c) { return c == '/' || c == '\\'; }

std::string without_trailing_separators(std::string path) {
    while (path.size() > 1 && is_separator(path.back())) path.pop_back();
    return path;
}

// The last part of a path.
std::string base_name(const std::string& path) {
    const std::string p = without_trailing_separators(path);
    const size_t cut = p.find_last_of("/\\");
    return cut == std::string::npos ? p : p.substr(cut + 1);
}

// Windows keeps these names for devices, with any extension.
bool is_device_name(const std::string& stem) {
    std::string head = stem.substr(0, stem.find('.'));
    while (!head.empty() && head.back() == ' ') head.pop_back();
    for (char& c : head) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    static const char* const fixed[] = {"CON", "PRN", "AUX", "NUL"};
    for (const char* f : fixed)
        if (head == f) return true;
    return head.size() == 4 && (head.compare(0, 3, "COM") == 0 || head.compare(0, 3, "LPT") == 0) &&
           head[3] >= '1' && head[3] <= '9';
}

void trim_end(std::string* s) {
    while (!s->empty() && (s->back() == ' ' || s->back() == '.')) s->pop_back();
}

}  // namespace

Launch launch_kind(bool owns_console, const std::vector<std::string>& args) {
    if (!owns_console) return Launch::Terminal;
    if (args.size() <= 1) return Launch::Bare;
    if (args.size() == 2 && !args[1].empty() && args[1][0] != '-') return Launch::Dropped;
    return Launch::Console;
}

void apply_drop_defaults(RenderOptions* o) {
    o->caption = true;
    o->no_controls = true;
}

std::string song_title(const SongSource& source) {
    if (!source.ini.name.empty()) return source.ini.name;
    if (!source.folder.empty()) return base_name(source.folder);
    const std::string file = base_name(source.chart);
    const size_t dot = file.rfind('.');
    return dot == std::string::npos || dot == 0 ? file : file.substr(0, dot);
}

std::string song_file_stem(const std::string& artist, const std::string& title) {
    const std::string whole = artist.empty() ? title : artist + " - " + title;
    std::string stem;
    for (const char c : whole) {
        const unsigned char u = static_cast<unsigned char>(c);
        stem += u < 0x20 || u == 0x7F || std::strchr("<>:\"/\\|?*", c) ? '_' : c;
    }
    if (stem.size() > MAX_STEM_BYTES) {
        size_t cut = MAX_STEM_BYTES;
        while (cut > 0 && (static_cast<unsigned char>(stem[cut]) & 0xC0) == 0x80) --cut;  // not inside a character
        stem.resize(cut);
    }
    trim_end(&stem);
    const size_t start = stem.find_first_not_of(' ');
    stem = start == std::string::npos ? "" : stem.substr(start);
    if (stem.empty()) return "song";
    return is_device_name(stem) ? "_" + stem : stem;
}

std::string folder_of(const std::string& path) {
    const size_t cut = path.find_last_of("/\\");
    if (cut == std::string::npos) return "";
    return cut == 0 ? path.substr(0, 1) : path.substr(0, cut);
}

std::string unused_path(const std::string& folder, const std::string& stem, const std::string& extension) {
    std::string prefix;
    if (!folder.empty()) {
        const size_t last = folder.find_last_of("/\\");
        const char separator = last != std::string::npos && folder[last] == '\\' ? '\\' : '/';
        prefix = is_separator(folder.back()) ? folder : folder + separator;
    }
    for (int n = 1; n <= MAX_NUMBERED; ++n) {
        const std::string path = prefix + stem + (n == 1 ? "" : " (" + std::to_string(n) + ")") + extension;
        if (!is_regular_file(path) && !is_directory(path)) return path;
    }
    return "";
}

std::string drop_output(const SongSource& source) {
    return unused_path(folder_of(source.chart), song_file_stem(source.ini.artist, song_title(source)), ".mp4");
}

bool plan_output(const RenderOptions& o, const std::string& ffmpeg_on_path, RenderPlan* out, std::string* error) {
    RenderPlan p;
    const bool mp4 = !o.output.empty() && ends_with(o.output, ".mp4");
    p.whole_song = !o.range() && !o.preview && o.at < 0.0 &&
                   (mp4 || (!o.output.empty() && valid_frame_pattern(o.output)));
    p.range = o.range() || o.preview || p.whole_song;
    p.kind = mp4 ? OutputKind::Video : p.range ? OutputKind::Frames : OutputKind::Picture;
    p.ffmpeg = o.ffmpeg.empty() ? ffmpeg_on_path : o.ffmpeg;
    p.output = o.output;
    const auto fail = [&](const std::string& why) {
        *error = why;
        return false;
    };
    if (mp4 && !p.range)
        return fail("an MP4 needs a range: give --from and --to, or neither for the whole song");
    if (!o.ffmpeg.empty() && !is_regular_file(p.ffmpeg)) return fail("--ffmpeg " + p.ffmpeg + ": no such program");
    if (mp4 && p.ffmpeg.empty())
        return fail("ffmpeg is not on PATH, so " + p.output +
                    " cannot be made: install ffmpeg (apt install ffmpeg) or give --ffmpeg PATH, or write PNG "
                    "frames instead");
    if (p.kind == OutputKind::Frames) {
        if (p.output.empty())
            p.output = "highway_%05d.png";
        else if (p.output.find('%') == std::string::npos)
            p.output = (ends_with(p.output, ".png") ? p.output.substr(0, p.output.size() - 4) : p.output) + "_%05d.png";
        if (!valid_frame_pattern(p.output))
            return fail("-o " + p.output + ": a frame name needs exactly one %d (such as %05d)");
    }
    if (p.kind == OutputKind::Picture && p.output.empty()) p.output = "highway.png";
    if (!can_create(p.kind == OutputKind::Frames ? frame_name(p.output, 0) : p.output, error)) return false;
    *out = p;
    return true;
}

AudioNeed plan_audio_need(const RenderOptions& o, const RenderPlan& p) {
    if (p.kind == OutputKind::Video || p.whole_song || o.preview) return AudioNeed::Required;
    return o.caption ? AudioNeed::Wanted : AudioNeed::None;
}

void preview_range(const SongIni& ini, double song_end, double* from, double* to) {
    double start = static_cast<double>(ini.preview_start_ms) / 1000.0;
    double end = static_cast<double>(ini.preview_end_ms) / 1000.0;
    if (!(start > 0.0) || start >= song_end) {  // the end belongs with the start it was given for
        start = song_end / 3.0;
        end = 0.0;
    }
    if (!(end > start)) end = start + PREVIEW_SECONDS;
    *from = start;
    *to = std::min(end, std::max(song_end, start + 1.0));
}

bool plan_moments(const RenderOptions& o, const SmfFile& song, const std::vector<ViewSettings>& views,
                  const SongIni& ini, const std::vector<AudioStem>& stems, RenderPlan* p, std::string* error) {
    p->song_end = 0.0;
    for (const ViewSettings& v : views)
        p->song_end = std::max(p->song_end, whole_song_end(song, v.track, o.offset_ms, audio_end_seconds(stems)));
    p->from = o.from;
    p->to = o.to;
    if (p->whole_song) {
        p->from = 0.0;
        p->to = p->song_end;
    } else if (o.preview) {
        preview_range(ini, p->song_end, &p->from, &p->to);
    }
    if (p->range && (p->to - p->from) * o.fps + 1.0 > MAX_RANGE_FRAMES) {
        char why[200];
        std::snprintf(why, sizeof why,
                      "the %s (%.1f s) is more than %.0f frames at %g fps: give --from and --to, or a lower --fps",
                      p->whole_song ? "whole song" : "preview", p->to - p->from, MAX_RANGE_FRAMES, o.fps);
        *error = why;
        return false;
    }
    p->first = p->range ? p->from
               : o.at >= 0.0 ? o.at
                             : std::max(0.0, default_views_moment(song, views) + o.offset_ms / 1000.0);
    p->count = p->range ? static_cast<int64_t>(std::floor((p->to - p->from) * o.fps + 1e-9)) + 1 : 1;
    return true;
}
