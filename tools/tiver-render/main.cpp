// tiver-render: renders what the plug-in's editor shows while a chart MIDI file or a song
// folder plays, as one PNG, numbered PNGs or an MP4 with the song's audio, for one track or
// several side by side. Exit status 0 on success, 2 on bad input, 1 when an output could
// not be written, 130 when interrupted.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "songfile/smf.h"
#include "platform/platform.h"
#include "tools/tiver-render/audio.h"
#include "tools/tiver-render/frame.h"
#include "tools/tiver-render/interrupt.h"
#include "tools/tiver-render/options.h"
#include "tools/tiver-render/os.h"
#include "tools/tiver-render/output.h"
#include "tools/tiver-render/process.h"
#include "tools/tiver-render/progress.h"
#include "tools/tiver-render/session.h"
#include "tools/tiver-render/song.h"

namespace {

constexpr int EXIT_BAD_INPUT = 2;
constexpr int EXIT_FAILED = 1;
constexpr int EXIT_INTERRUPTED = 130;

int complain(int status, const std::string& message) {
    std::fprintf(stderr, "tiver-render: %s\n", message.c_str());
    return status;
}

bool ends_with(const std::string& s, const char* tail) {
    const size_t n = std::strlen(tail);
    if (s.size() < n) return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(s[s.size() - n + i])) != tail[i]) return false;
    return true;
}

// A private folder for the session's INI file and the skin link, removed at exit.
struct WorkFolder {
    std::string path;
    std::string link;
    std::string ini;
    ~WorkFolder() {
        if (!ini.empty()) remove_path(ini);
        if (!link.empty()) remove_path(link);
        if (!path.empty()) remove_path(path);
    }
};

}  // namespace

int main(int argc, char** argv) {
    use_utf8_terminal();
    std::vector<std::string> args = program_arguments(argc, argv);
    std::vector<char*> arg_pointers;
    for (std::string& a : args) arg_pointers.push_back(&a[0]);
    arg_pointers.push_back(nullptr);
    RenderOptions o;
    std::string error;
    if (!parse_options(static_cast<int>(args.size()), arg_pointers.data(), &o, &error))
        return complain(EXIT_BAD_INPUT, error);
    if (o.help) {
        std::fputs(usage_text(), stdout);
        return 0;
    }
    catch_interrupts();

    // The song: a MIDI file, or a song folder with its song.ini and stems.
    const std::string here = program_directory();
    const std::string demo = here + "/demo/song";
    // The Windows release ships no demo song.
    if (o.chart.empty() && !is_directory(demo))
        return complain(EXIT_BAD_INPUT, "no chart given: name a song folder or a chart MIDI file (see --help)");
    SongSource source;
    SmfFile song;
    if (!open_song_source(o.chart.empty() ? demo : o.chart, o.chart_name, &source, &error) ||
        !load_song(&source, &song, &error))
        return complain(EXIT_BAD_INPUT, o.chart.empty() ? "no chart given, and the demo song cannot be read: " + error : error);
    const std::string chart = source.chart;
    apply_song_ini(source.ini, song.division, &o);
    if (o.list_tracks) {
        list_tracks(song, source.ini);
        return 0;
    }

    std::vector<ViewSettings> views;
    if (!plan_views(o, song, chart, source.ini.pro_drums, &views, &error)) return complain(EXIT_BAD_INPUT, error);
    fit_song_to_views(source, &song, &views);
    std::vector<std::string> audio_files;
    if (!choose_audio(o, source, &audio_files, &error)) return complain(EXIT_BAD_INPUT, error);

    // Where the frames go, checked before anything is rendered. An MP4 or a %d pattern
    // without --at, --from or --to covers the whole song.
    const bool mp4 = !o.output.empty() && ends_with(o.output, ".mp4");
    const bool whole_song =
        !o.range() && o.at < 0.0 && (mp4 || (!o.output.empty() && valid_frame_pattern(o.output)));
    const bool range = o.range() || whole_song;
    std::string output = o.output;
    std::string ffmpeg = o.ffmpeg.empty() ? find_on_path("ffmpeg") : o.ffmpeg;
    if (mp4 && !range)
        return complain(EXIT_BAD_INPUT, "an MP4 needs a range: give --from and --to, or neither for the whole song");
    if (!o.ffmpeg.empty() && !is_regular_file(ffmpeg))
        return complain(EXIT_BAD_INPUT, "--ffmpeg " + ffmpeg + ": no such program");
    if (mp4 && ffmpeg.empty())
        return complain(EXIT_BAD_INPUT, "ffmpeg is not on PATH, so " + output +
                                            " cannot be made: install ffmpeg (apt install ffmpeg) or give "
                                            "--ffmpeg PATH, or write PNG frames instead");
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
    if (!make_work_folder(&work.path, &error)) return complain(EXIT_FAILED, error);
    work.ini = work.path + "/host.ini";

    // The asset set reads "<folder of the module>/tolvan/". The module is this program, so
    // the default skin is the tolvan/ beside it; another skin is reached through a link
    // named tolvan in the work folder, with the module name pointed there.
    if (!o.skin.empty()) {
        if (!is_directory(o.skin)) return complain(EXIT_BAD_INPUT, "--skin " + o.skin + ": not a folder");
        work.link = work.path + "/tolvan";
        if (!link_folder(absolute_path(o.skin), work.link, &error)) return complain(EXIT_FAILED, error);
        platform_override_module_file_name((work.path + "/tiver-render").c_str());
    } else if (!is_directory(here + "/tolvan")) {
        std::fprintf(stderr, "tiver-render: warning: no default skin at %s/tolvan; drawing placeholders\n",
                     here.c_str());
    }

    // The audio, each file probed before anything is rendered: mixed into an MP4, and the
    // whole song's length.
    std::vector<AudioStem> stems;
    if (!audio_files.empty() && (mp4 || whole_song) &&
        !probe_audio_files(ffmpeg, audio_files, work.path + "/probe.txt", &stems, &error))
        return interrupted() ? complain(EXIT_INTERRUPTED, "interrupted; nothing written") : complain(EXIT_BAD_INPUT, error);
    double from = o.from, to = o.to;
    if (whole_song) {
        from = 0.0;
        to = 0.0;
        for (const ViewSettings& v : views)
            to = std::max(to, whole_song_end(song, v.track, o.offset_ms, audio_end_seconds(stems)));
        if ((to - from) * o.fps + 1.0 > MAX_RANGE_FRAMES) {
            char why[160];
            std::snprintf(why, sizeof why, "the whole song (%.1f s) is more than %.0f frames at %g fps: give --from and "
                          "--to, or a lower --fps", to, MAX_RANGE_FRAMES, o.fps);
            return complain(EXIT_BAD_INPUT, why);
        }
    }

    const double first = range ? from
                               : o.at >= 0.0 ? o.at
                                             : std::max(0.0, default_views_moment(song, views) + o.offset_ms / 1000.0);
    const int64_t count = range ? static_cast<int64_t>(std::floor((to - from) * o.fps + 1e-9)) + 1 : 1;

    std::unique_ptr<FrameOutput> out;
    if (mp4) {
        Mp4Settings m;
        m.ffmpeg = ffmpeg;
        m.path = output;
        m.width = o.width;
        m.height = o.height;
        m.fps = o.fps;
        m.frames = count;
        m.from = first;
        m.audio = stems;
        m.title = source.ini.name;
        m.artist = source.ini.artist;
        if (!source.ini.charter.empty()) m.comment = "charter: " + source.ini.charter;
        out = mp4_output(m);
    } else {
        out = range ? png_sequence_output(output) : png_output(output);
    }
    SideBySide picture;
    if (!picture.init(views, o.width, o.height)) return complain(EXIT_FAILED, "out of memory for the picture");
    SessionSettings s;
    s.views = views;
    s.hopo = o.hopo;
    s.offset_ms = o.offset_ms;
    s.paint_rate = o.fps;
    s.ini_path = work.ini;

    if (!out->begin(&error)) return complain(EXIT_FAILED, error);
    Progress progress(count, stderr_is_terminal());
    std::string write_error;
    const bool rendered = render_session(
        std::move(song), s, first, count, o.fps,
        [&](int64_t index, double, TESS_IBitmap* const* frames) {
            if (interrupted()) return false;
            TESS_IBitmap* frame = picture.assemble(frames);
            if (!frame) {
                write_error = "a view's frame does not fit its column";
                return false;
            }
            if (!out->write(index, frame, &write_error)) return false;
            if (range) progress.frame(index + 1);
            return true;
        },
        &error);
    if (!rendered || interrupted() || !out->commit(&write_error)) {
        out->abandon();
        progress.finish();
        if (interrupted()) return complain(EXIT_INTERRUPTED, "interrupted; nothing written");
        return complain(EXIT_FAILED, !write_error.empty() ? write_error : error);
    }
    const std::string sound = !mp4 ? "" : stems.empty() ? ", no audio" : stems.size() == 1 ? ", 1 audio file"
                                     : ", " + std::to_string(stems.size()) + " audio files mixed";
    if (range)
        std::printf("tiver-render: wrote %s (%dx%d, %.3f s to %.3f s at %g fps%s)\n", out->describe().c_str(),
                    o.width, o.height, from, first + static_cast<double>(count - 1) / o.fps, o.fps, sound.c_str());
    else
        std::printf("tiver-render: wrote %s (%dx%d, %.3f s)\n", out->describe().c_str(), o.width, o.height,
                    first);
    return 0;
}
