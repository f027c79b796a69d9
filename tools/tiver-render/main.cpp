// tiver-render: renders what the plug-in's editor shows while a chart file or a song
// folder plays, as one PNG, numbered PNGs or an MP4 with the song's audio, for one track or
// several side by side, with a caption if asked. A pipeline: options, song, plan, session,
// frame, sink. Exit status 0 on success, 2 on bad input, 1 when an output could not be
// written, 130 when interrupted. Started from Explorer with a song folder dropped on it, it
// makes the song's review video and waits for Enter before its window closes.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "display/editor_logic.h"
#include "songfile/smf.h"
#include "platform/platform.h"
#include "tools/tiver-render/audio.h"
#include "tools/tiver-render/caption.h"
#include "tools/tiver-render/frame.h"
#include "tools/tiver-render/interrupt.h"
#include "tools/tiver-render/options.h"
#include "tools/tiver-render/os.h"
#include "tools/tiver-render/output.h"
#include "tools/tiver-render/plan.h"
#include "tools/tiver-render/process.h"
#include "tools/tiver-render/progress.h"
#include "tools/tiver-render/session.h"
#include "tools/tiver-render/song.h"

namespace {

constexpr int EXIT_BAD_INPUT = 2;
constexpr int EXIT_FAILED = 1;
constexpr int EXIT_INTERRUPTED = 130;
// A caption beside the control strip starts a row below it.
constexpr int32_t CONTROL_STRIP_ROWS = CONTROL_STRIP_HEIGHT + 1;

int complain(int status, const std::string& message) {
    std::fprintf(stderr, "tiver-render: %s\n", message.c_str());
    return status;
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

// The work folder, and the skin: the asset set reads "<folder of the module>/tolvan/". The
// module is this program, so the default skin is the tolvan/ beside it; another skin is
// reached through a link named tolvan in the work folder, with the module name pointed there.
int prepare_work(const RenderOptions& o, const std::string& here, WorkFolder* work) {
    std::string error;
    if (!make_work_folder(&work->path, &error)) return complain(EXIT_FAILED, error);
    work->ini = work->path + "/host.ini";
    if (!o.skin.empty()) {
        if (!is_directory(o.skin)) return complain(EXIT_BAD_INPUT, "--skin " + o.skin + ": not a folder");
        work->link = work->path + "/tolvan";
        if (!link_folder(absolute_path(o.skin), work->link, &error)) return complain(EXIT_FAILED, error);
        platform_override_module_file_name((work->path + "/tiver-render").c_str());
    } else if (!is_directory(here + "/tolvan")) {
        std::fprintf(stderr, "tiver-render: warning: no default skin at %s/tolvan; drawing placeholders\n",
                     here.c_str());
    }
    return 0;
}

std::unique_ptr<FrameOutput> open_output(const RenderOptions& o, const RenderPlan& plan, const SongSource& source,
                                         const std::vector<AudioStem>& stems) {
    if (plan.kind == OutputKind::Picture) return png_output(plan.output);
    if (plan.kind == OutputKind::Frames) return png_sequence_output(plan.output);
    Mp4Settings m;
    m.ffmpeg = plan.ffmpeg;
    m.path = plan.output;
    m.width = o.width;
    m.height = o.height;
    m.fps = o.fps;
    m.frames = plan.count;
    m.from = plan.first;
    m.audio = stems;
    m.title = source.ini.name;
    m.artist = source.ini.artist;
    if (!source.ini.charter.empty()) m.comment = "charter: " + source.ini.charter;
    return mp4_output(m);
}

void report(const RenderOptions& o, const RenderPlan& plan, const FrameOutput& out, size_t stems) {
    const std::string sound = plan.kind != OutputKind::Video ? "" : stems == 0 ? ", no audio"
                              : stems == 1 ? ", 1 audio file" : ", " + std::to_string(stems) + " audio files mixed";
    if (plan.range)
        std::printf("tiver-render: wrote %s (%dx%d, %.3f s to %.3f s at %g fps%s)\n", out.describe().c_str(),
                    o.width, o.height, plan.from, plan.first + static_cast<double>(plan.count - 1) / o.fps, o.fps,
                    sound.c_str());
    else
        std::printf("tiver-render: wrote %s (%dx%d, %.3f s)\n", out.describe().c_str(), o.width, o.height, plan.first);
}

int render(std::vector<std::string> args, bool dropped) {
    // Options.
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
    if (dropped) apply_drop_defaults(&o);
    catch_interrupts();

    // The song: a MIDI file, or a song folder with its song.ini and stems. The Windows
    // release ships no demo song.
    const std::string here = program_directory();
    const std::string demo = here + "/demo/song";
    if (o.chart.empty() && !is_directory(demo))
        return complain(EXIT_BAD_INPUT, "no chart given: name a song folder or a chart file (see --help)");
    SongSource source;
    SmfFile song;
    if (!open_song_source(o.chart.empty() ? demo : o.chart, o.chart_name, &source, &error) ||
        !load_song(&source, &song, &error))
        return complain(EXIT_BAD_INPUT, o.chart.empty() ? "no chart given, and the demo song cannot be read: " + error : error);
    apply_song_ini(source.ini, song.division, &o);
    if (o.list_tracks) {
        list_tracks(song, source.ini);
        return 0;
    }
    std::vector<ViewSettings> views;
    std::vector<std::string> audio_files;
    if (!plan_views(o, song, source.chart, source.ini.pro_drums, &views, &error) ||
        !choose_audio(o, source, &audio_files, &error))
        return complain(EXIT_BAD_INPUT, error);
    fit_song_to_views(source, &song, &views);

    // The plan: the output, checked before anything is rendered, then the audio's lengths
    // and the moments.
    if (dropped && (o.output = drop_output(source)).empty())
        return complain(EXIT_FAILED, "no free name for the video beside " + source.chart);
    RenderPlan plan;
    if (!plan_output(o, find_program("ffmpeg", here), &plan, &error)) return complain(EXIT_BAD_INPUT, error);
    WorkFolder work;
    if (const int status = prepare_work(o, here, &work)) return status;
    std::vector<AudioStem> stems;
    const AudioNeed need = plan_audio_need(o, plan);
    if (!audio_files.empty() && need != AudioNeed::None &&
        !probe_audio_files(plan.ffmpeg, audio_files, work.path + "/probe.txt", &stems, &error)) {
        if (interrupted()) return complain(EXIT_INTERRUPTED, "interrupted; nothing written");
        if (need == AudioNeed::Required) return complain(EXIT_BAD_INPUT, error);
        std::fprintf(stderr, "tiver-render: warning: %s; the caption's length is the chart's\n", error.c_str());
        stems.clear();
    }
    if (!plan_moments(o, song, views, source.ini, stems, &plan, &error)) return complain(EXIT_BAD_INPUT, error);

    // The frame: the views side by side, the caption over them.
    Caption caption;
    if (o.caption) {
        std::vector<std::string> labels;
        for (const ViewSettings& v : views) labels.push_back(view_label(song, v));
        const CaptionSong about = {song_title(source), source.ini.artist, source.ini.charter, plan.song_end};
        caption.init(about, labels, chart_sections(song, o.offset_ms), views, o.width, o.height,
                     o.no_controls ? 0 : CONTROL_STRIP_ROWS);
    }
    SideBySide picture;
    if (!picture.init(views, o.width, o.height, o.caption ? &caption : nullptr))
        return complain(EXIT_FAILED, "out of memory for the picture");

    // The session painting into the sink.
    std::unique_ptr<FrameOutput> out = open_output(o, plan, source, stems);
    SessionSettings s;
    s.views = views;
    s.hopo = o.hopo;
    s.offset_ms = o.offset_ms;
    s.paint_rate = o.fps;
    s.ini_path = work.ini;
    s.controls = !o.no_controls;
    // A lone view's frame is the picture: its caption is drawn on the editor's own bitmap.
    if (o.caption && views.size() == 1) s.drawn_rows = caption.layout().bottom;
    if (!out->begin(&error)) return complain(EXIT_FAILED, error);
    Progress progress(plan.count, stderr_is_terminal());
    std::string write_error;
    const bool rendered = render_session(
        std::move(song), s, plan.first, plan.count, o.fps,
        [&](int64_t index, double seconds, TESS_IBitmap* const* frames) {
            if (interrupted()) return false;
            TESS_IBitmap* frame = picture.assemble(frames, seconds);
            if (!frame) {
                write_error = "a view's frame does not fit its column";
                return false;
            }
            if (!out->write(index, frame, &write_error)) return false;
            if (plan.range) progress.frame(index + 1);
            return true;
        },
        &error);
    if (!rendered || interrupted() || !out->commit(&write_error)) {
        out->abandon();
        progress.finish();
        if (interrupted()) return complain(EXIT_INTERRUPTED, "interrupted; nothing written");
        return complain(EXIT_FAILED, !write_error.empty() ? write_error : error);
    }
    report(o, plan, *out, stems.size());
    return 0;
}

// Started from Explorer without a song: what to do instead.
int explain_drop() {
    std::fputs("tiver-render makes a video of a chart played with its song's audio.\n"
               "\n"
               "Drop a song folder (notes.mid or a .chart, song.ini and the audio files) or a chart\n"
               "file onto tiver-render.exe. It writes \"<artist> - <name>.mp4\" beside the chart,\n"
               "with the song's name, the part, the sections and the time over the highway. It needs\n"
               "ffmpeg.exe beside tiver-render.exe or on PATH.\n"
               "\n"
               "For everything else (pictures, parts of a song, several instruments side by side)\n"
               "run it from a terminal: tiver-render.exe --help\n",
               stdout);
    return EXIT_BAD_INPUT;
}

// Keeps a window that closes with the program open until its user has read it.
void wait_for_enter() {
    std::fputs("\nPress Enter to close this window.\n", stdout);
    std::fflush(stdout);
    for (int c = std::getchar(); c != EOF && c != '\n'; c = std::getchar()) {
    }
}

}  // namespace

int main(int argc, char** argv) {
    use_utf8_terminal();
    const std::vector<std::string> args = program_arguments(argc, argv);
    const Launch launch = launch_kind(owns_console(), args);
    const int status = launch == Launch::Bare ? explain_drop() : render(args, launch == Launch::Dropped);
    if (launch != Launch::Terminal) wait_for_enter();
    return status;
}
