// tiver-render: renders what the plug-in's editor shows while a chart MIDI file plays, as
// one PNG, numbered PNGs or an MP4, for one track or several side by side. Exit status 0
// on success, 2 on bad input, 1 when an output could not be written.
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host/smf.h"
#include "platform/platform.h"
#include "tools/tiver-render/frame.h"
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
    if (!o.audio.empty() || o.no_audio)
        return complain(EXIT_BAD_INPUT, "--audio and --no-audio are not available in this version");

    const std::string here = program_directory();
    const std::string chart = o.chart.empty() ? here + "/demo/demo_chart.mid" : o.chart;
    // The Windows release ships no demo chart.
    if (o.chart.empty() && !is_regular_file(chart))
        return complain(EXIT_BAD_INPUT, "no chart given: name a chart MIDI file (see --help)");
    SmfFile song;
    if (!load_chart(chart, &song, &error))
        return complain(EXIT_BAD_INPUT, o.chart.empty() ? "no chart given, and the demo chart cannot be read: " + error : error);
    if (o.list_tracks) {
        list_tracks(song);
        return 0;
    }

    std::vector<ViewSettings> views;
    if (!plan_views(o, song, chart, &views, &error)) return complain(EXIT_BAD_INPUT, error);

    // Where the frames go, checked before anything is rendered.
    const bool range = o.range();
    const bool mp4 = !o.output.empty() && ends_with(o.output, ".mp4");
    std::string output = o.output;
    std::string ffmpeg;
    if (mp4 && !range) return complain(EXIT_BAD_INPUT, "an MP4 needs a range: give --from and --to");
    if (mp4) {
        ffmpeg = o.ffmpeg.empty() ? find_on_path("ffmpeg") : o.ffmpeg;
        if (ffmpeg.empty())
            return complain(EXIT_BAD_INPUT, "ffmpeg is not on PATH, so " + output +
                                                " cannot be made; write PNG frames instead");
        if (!is_regular_file(ffmpeg)) return complain(EXIT_BAD_INPUT, "--ffmpeg " + ffmpeg + ": no such program");
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

    const double first = range ? o.from : (o.at >= 0.0 ? o.at : default_views_moment(song, views));
    const int64_t count = range ? static_cast<int64_t>(std::floor((o.to - o.from) * o.fps + 1e-9)) + 1 : 1;

    std::unique_ptr<FrameOutput> out = mp4 ? mp4_output(ffmpeg, output, o.width, o.height, o.fps)
                                           : range ? png_sequence_output(output) : png_output(output);
    SideBySide picture;
    if (!picture.init(views, o.width, o.height)) return complain(EXIT_FAILED, "out of memory for the picture");
    SessionSettings s;
    s.views = views;
    s.hopo = o.hopo;
    s.offset_ms = o.offset_ms;
    s.paint_rate = o.fps;
    s.ini_path = work.ini;

    Progress progress(count);
    std::string write_error;
    const bool rendered = render_session(
        std::move(song), s, first, count, o.fps,
        [&](int64_t index, double, TESS_IBitmap* const* frames) {
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
