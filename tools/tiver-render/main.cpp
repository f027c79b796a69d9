// tiver-render: renders what the plug-in's editor shows while a chart MIDI file plays, as
// one PNG, numbered PNGs or an MP4. Exit status 0 on success, 2 on bad input, 1 when an
// output could not be written.
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/smf.h"
#include "host/tempo_map.h"
#include "platform/platform.h"
#include "tools/tiver-render/options.h"
#include "tools/tiver-render/output.h"
#include "tools/tiver-render/session.h"

namespace {

constexpr int EXIT_BAD_INPUT = 2;
constexpr int EXIT_FAILED = 1;

int complain(int status, const std::string& message) {
    std::fprintf(stderr, "tiver-render: %s\n", message.c_str());
    return status;
}

std::string program_directory() {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return ".";
    std::string p(path, static_cast<size_t>(n));
    const size_t slash = p.rfind('/');
    return slash == std::string::npos ? "." : p.substr(0, slash);
}

std::string absolute(const std::string& path) {
    char resolved[4096];
    if (realpath(path.c_str(), resolved)) return resolved;
    return path;
}

bool is_directory(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ends_with(const std::string& s, const char* tail) {
    const size_t n = std::strlen(tail);
    if (s.size() < n) return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(s[s.size() - n + i])) != tail[i]) return false;
    return true;
}

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// A private folder for the session's INI file and the skin link, removed at exit.
struct WorkFolder {
    std::string path;
    std::string link;
    std::string ini;
    ~WorkFolder() {
        if (!ini.empty()) std::remove(ini.c_str());
        if (!link.empty()) unlink(link.c_str());
        if (!path.empty()) rmdir(path.c_str());
    }
};

// Reads the chart, with the reasons a user can act on.
bool load_chart(const std::string& path, SmfFile* song, std::string* error) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        *error = path + ": " + std::strerror(errno);
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        *error = path + ": is a folder, not a MIDI file";
        return false;
    }
    FILE* probe = std::fopen(path.c_str(), "rb");
    if (!probe) {
        *error = path + ": " + std::strerror(errno);
        return false;
    }
    std::fclose(probe);
    std::string why;
    if (!smf_load(path.c_str(), song, &why)) {
        *error = path + ": " + why;
        return false;
    }
    return true;
}

// Note-ons of the five gem lanes of each difficulty.
void count_gems(const SmfTrack& t, int counts[4]) {
    for (int d = 0; d < 4; ++d) counts[d] = 0;
    for (const SmfEvent& e : t.events) {
        const uint8_t* m = t.message(e);
        if (e.size != 3 || (m[0] & 0xF0) != 0x90 || m[2] == 0) continue;
        for (int d = 0; d < 4; ++d)
            if (m[1] >= 60 + 12 * d && m[1] <= 64 + 12 * d) ++counts[d];
    }
}

void list_tracks(const SmfFile& song) {
    std::printf("%5s  %-28s %s\n", "track", "name", "gems easy/medium/hard/expert");
    for (size_t i = 0; i < song.tracks.size(); ++i) {
        int counts[4];
        count_gems(song.tracks[i], counts);
        const std::string name = song.tracks[i].name.empty() ? "(unnamed)" : song.tracks[i].name;
        if (counts[0] + counts[1] + counts[2] + counts[3] == 0)
            std::printf("%5zu  %-28s -\n", i, name.c_str());
        else
            std::printf("%5zu  %-28s %d/%d/%d/%d\n", i, name.c_str(), counts[0], counts[1], counts[2],
                        counts[3]);
    }
}

// The track named `which`, or else the track of that index.
int32_t resolve_track(const SmfFile& song, const std::string& which) {
    const int32_t by_name = smf_find_track(song, which.c_str());
    if (by_name >= 0) return by_name;
    char* end = nullptr;
    errno = 0;
    const long index = std::strtol(which.c_str(), &end, 10);
    if (errno || *end || end == which.c_str() || index < 0 ||
        index >= static_cast<long>(song.tracks.size()))
        return -1;
    return static_cast<int32_t>(index);
}

// One second after the first gem of the difficulty, so the picture shows notes arriving.
double default_moment(const SmfFile& song, int32_t track, int32_t difficulty) {
    const SmfTrack& t = song.tracks[static_cast<size_t>(track)];
    const TempoMap map = tempo_map_from(song);
    const int base = 60 + 12 * difficulty;
    for (const SmfEvent& e : t.events) {
        const uint8_t* m = t.message(e);
        if (e.size == 3 && (m[0] & 0xF0) == 0x90 && m[2] > 0 && m[1] >= base && m[1] <= base + 4)
            return tempo_ticks_to_seconds(map, static_cast<double>(e.tick)) + 1.0;
    }
    return 0.0;
}

// Progress of a range on stderr: a line updated in place on a terminal, else every tenth.
struct Progress {
    int64_t total;
    bool terminal = isatty(2) != 0;
    int last_tenth = -1;
    void frame(int64_t done) {
        if (terminal) {
            std::fprintf(stderr, "\rtiver-render: frame %lld of %lld", static_cast<long long>(done),
                         static_cast<long long>(total));
            if (done == total) std::fputc('\n', stderr);
        } else {
            const int tenth = static_cast<int>(done * 10 / total);
            if (tenth == last_tenth) return;
            last_tenth = tenth;
            std::fprintf(stderr, "tiver-render: %lld of %lld frames\n", static_cast<long long>(done),
                         static_cast<long long>(total));
        }
        std::fflush(stderr);
    }
};

}  // namespace

int main(int argc, char** argv) {
    RenderOptions o;
    std::string error;
    if (!parse_options(argc, argv, &o, &error)) return complain(EXIT_BAD_INPUT, error);
    if (o.help) {
        std::fputs(usage_text(), stdout);
        return 0;
    }

    const std::string here = program_directory();
    const std::string chart = o.chart.empty() ? here + "/demo/demo_chart.mid" : o.chart;
    SmfFile song;
    if (!load_chart(chart, &song, &error))
        return complain(EXIT_BAD_INPUT, o.chart.empty() ? "no chart given, and the demo chart cannot be read: " + error : error);
    if (o.list_tracks) {
        list_tracks(song);
        return 0;
    }

    int32_t track = -1;
    if (o.track.empty()) {
        track = smf_first_chart_track(song);
        if (track < 0) return complain(EXIT_BAD_INPUT, chart + ": no track holds chart notes (choose one with --track)");
    } else {
        track = resolve_track(song, o.track);
        if (track < 0)
            return complain(EXIT_BAD_INPUT, chart + ": no track '" + o.track + "' (see --list-tracks)");
    }
    int32_t mode = o.mode;
    if (mode < 0) {
        const std::string name = upper(song.tracks[static_cast<size_t>(track)].name);
        mode = name.find("DRUM") != std::string::npos ? 1 : name.find("KEYS") != std::string::npos ? 3 : 0;
    }

    // Where the frames go, checked before anything is rendered.
    const bool range = o.range();
    const bool mp4 = !o.output.empty() && ends_with(o.output, ".mp4");
    std::string output = o.output;
    std::string ffmpeg;
    if (mp4 && !range) return complain(EXIT_BAD_INPUT, "an MP4 needs a range: give --from and --to");
    if (mp4) {
        ffmpeg = find_on_path("ffmpeg");
        if (ffmpeg.empty())
            return complain(EXIT_BAD_INPUT, "ffmpeg is not on PATH, so " + output +
                                                " cannot be made; write PNG frames instead");
    }
    if (range && !mp4) {
        if (output.empty()) output = "highway_%05d.png";
        else if (output.find('%') == std::string::npos)
            output = (ends_with(output, ".png") ? output.substr(0, output.size() - 4) : output) + "_%05d.png";
        if (!valid_frame_pattern(output))
            return complain(EXIT_BAD_INPUT, "-o " + output + ": a frame name needs exactly one %d (such as %05d)");
    }
    if (!range && output.empty()) output = "highway.png";
    if (!can_create(range && !mp4 ? frame_name(output, 0) : output, &error))
        return complain(EXIT_BAD_INPUT, error);

    WorkFolder work;
    char folder[] = "/tmp/tiver-render-XXXXXX";
    if (!mkdtemp(folder)) return complain(EXIT_FAILED, std::string("cannot make a work folder: ") + std::strerror(errno));
    work.path = folder;
    work.ini = work.path + "/host.ini";

    // The asset set reads "<folder of the module>/tolvan/". The module is this program, so
    // the default skin is the tolvan/ beside it; another skin is reached through a link
    // named tolvan in the work folder, with the module name pointed there.
    if (!o.skin.empty()) {
        if (!is_directory(o.skin)) return complain(EXIT_BAD_INPUT, "--skin " + o.skin + ": not a folder");
        work.link = work.path + "/tolvan";
        if (symlink(absolute(o.skin).c_str(), work.link.c_str()) != 0)
            return complain(EXIT_FAILED, "cannot link the skin: " + std::string(std::strerror(errno)));
        platform_override_module_file_name((work.path + "/tiver-render").c_str());
    } else if (!is_directory(here + "/tolvan")) {
        std::fprintf(stderr, "tiver-render: warning: no default skin at %s/tolvan; drawing placeholders\n",
                     here.c_str());
    }

    const double first = range ? o.from : (o.at >= 0.0 ? o.at : default_moment(song, track, o.difficulty));
    const int64_t count = range ? static_cast<int64_t>(std::floor((o.to - o.from) * o.fps + 1e-9)) + 1 : 1;

    std::unique_ptr<FrameOutput> out = mp4 ? mp4_output(ffmpeg, output, o.width, o.height, o.fps)
                                           : range ? png_sequence_output(output) : png_output(output);
    SessionSettings s;
    s.track = track;
    s.difficulty = o.difficulty;
    s.mode = mode;
    s.hopo = o.hopo;
    s.offset_ms = o.offset_ms;
    s.width = o.width;
    s.height = o.height;
    s.paint_rate = o.fps;
    s.ini_path = work.ini;

    Progress progress{count};
    std::string write_error;
    const bool rendered = render_session(
        std::move(song), s, first, count, o.fps,
        [&](int64_t index, double, TESS_IBitmap* frame) {
            if (!out->write(index, frame, &write_error)) return false;
            if (range) progress.frame(index + 1);
            return true;
        },
        &error);
    if (!rendered || !out->commit(&write_error)) {
        out->abandon();
        return complain(EXIT_FAILED, !write_error.empty() ? write_error : error);
    }
    if (range)
        std::printf("tiver-render: wrote %s (%dx%d, %.3f s to %.3f s at %g fps)\n", out->describe().c_str(),
                    o.width, o.height, o.from, o.to, o.fps);
    else
        std::printf("tiver-render: wrote %s (%dx%d, %.3f s)\n", out->describe().c_str(), o.width, o.height,
                    first);
    return 0;
}
