#include "tools/tiver-render/options.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

std::string lower(const std::string& s) {
    std::string out = s;
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// A whole decimal integer within [lo, hi].
bool parse_int(const std::string& text, long lo, long hi, long* out) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno || *end || end == text.c_str() || v < lo || v > hi) return false;
    *out = v;
    return true;
}

// A whole finite decimal number within [lo, hi].
bool parse_real(const std::string& text, double lo, double hi, double* out) {
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return false;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (errno || *end || end == text.c_str() || !std::isfinite(v) || v < lo || v > hi) return false;
    *out = v;
    return true;
}

bool parse_difficulty(const std::string& text, int32_t* out) {
    static const char* const names[4] = {"easy", "medium", "hard", "expert"};
    const std::string t = lower(text);
    for (int i = 0; i < 4; ++i)
        if (t == names[i] || t == std::to_string(i)) return *out = i, true;
    return false;
}

bool parse_mode(const std::string& text, int32_t* out) {
    const std::string t = lower(text);
    if (t == "0" || t == "guitar" || t == "bass" || t == "guitar/bass") return *out = 0, true;
    if (t == "1" || t == "pro-drums" || t == "drums") return *out = 1, true;
    if (t == "2" || t == "old-drums") return *out = 2, true;
    if (t == "3" || t == "keys") return *out = 3, true;
    return false;
}

bool parse_size(const std::string& text, int32_t* w, int32_t* h) {
    const size_t x = text.find_first_of("xX");
    if (x == std::string::npos) return false;
    long a = 0, b = 0;
    if (!parse_int(text.substr(0, x), MIN_SIDE, MAX_WIDTH, &a) ||
        !parse_int(text.substr(x + 1), MIN_SIDE, MAX_HEIGHT, &b))
        return false;
    *w = static_cast<int32_t>(a);
    *h = static_cast<int32_t>(b);
    return true;
}

// TRACK[:DIFFICULTY[:MODE]]; empty fields keep their defaults. A track name may itself hold
// colons: only the last two fields are taken as difficulty and mode.
bool parse_view(const std::string& text, ViewOption* out, std::string* why) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        const size_t colon = text.find(':', start);
        fields.push_back(text.substr(start, colon == std::string::npos ? std::string::npos : colon - start));
        if (colon == std::string::npos) break;
        start = colon + 1;
    }
    while (fields.size() > 3) {
        fields[0] += ":" + fields[1];
        fields.erase(fields.begin() + 1);
    }
    ViewOption v;
    v.track = fields[0];
    if (v.track.empty()) return *why = "--view " + text + ": no track given", false;
    if (fields.size() > 1 && !fields[1].empty() && !parse_difficulty(fields[1], &v.difficulty))
        return *why = "--view " + text + ": difficulty must be easy, medium, hard, expert or 0..3", false;
    if (fields.size() > 2 && !fields[2].empty() && !parse_mode(fields[2], &v.mode))
        return *why = "--view " + text + ": mode must be guitar, pro-drums, old-drums, keys or 0..3", false;
    *out = v;
    return true;
}

std::string fmt(double v) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", v);
    return buffer;
}

}  // namespace

bool parse_options(int argc, char** argv, RenderOptions* out, std::string* error) {
    RenderOptions o;
    const auto fail = [&](const std::string& why) {
        *error = why;
        return false;
    };
    bool only_files = false;
    bool single_view = false;  // --track, --difficulty or --mode given
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (only_files || arg.empty() || arg[0] != '-' || arg == "-") {
            if (!o.chart.empty()) return fail("more than one chart file given: " + o.chart + ", " + arg);
            o.chart = arg;
            continue;
        }
        if (arg == "--") {
            only_files = true;
            continue;
        }
        std::string name = arg, value;
        bool has_value = false;
        const size_t eq = arg.find('=');
        if (arg.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            has_value = true;
        }
        const auto take = [&](std::string* v) {
            if (has_value) return *v = value, true;
            if (i + 1 >= argc) return false;
            *v = argv[++i];
            return true;
        };
        const auto flag = [&]() { return !has_value; };

        if (name == "-h" || name == "--help") {
            if (!flag()) return fail(name + " takes no value");
            o.help = true;
            continue;
        }
        if (name == "--list-tracks") {
            if (!flag()) return fail(name + " takes no value");
            o.list_tracks = true;
            continue;
        }
        if (name == "--no-audio") {
            if (!flag()) return fail(name + " takes no value");
            o.no_audio = true;
            continue;
        }
        if (name == "--caption" || name == "--no-controls" || name == "--preview") {
            if (!flag()) return fail(name + " takes no value");
            (name == "--caption" ? o.caption : name == "--no-controls" ? o.no_controls : o.preview) = true;
            continue;
        }
        static const char* const valued[] = {"-o", "--output", "--track", "--difficulty", "--mode",
                                             "--hopo", "--offset", "--size", "--at", "--from",
                                             "--to", "--fps", "--skin", "--ffmpeg", "--audio",
                                             "--view", "--chart"};
        bool known = false;
        for (const char* v : valued) known = known || name == v;
        if (!known) return fail("unknown option " + name + " (see --help)");
        std::string v;
        if (!take(&v)) return fail(name + " needs a value");

        long n = 0;
        if (name == "-o" || name == "--output") {
            if (v.empty()) return fail(name + " needs a file name");
            o.output = v;
        } else if (name == "--track") {
            if (v.empty()) return fail("--track needs a track name or index");
            o.track = v;
            single_view = true;
        } else if (name == "--difficulty") {
            single_view = true;
            if (!parse_difficulty(v, &o.difficulty))
                return fail("--difficulty must be easy, medium, hard, expert or 0..3, not '" + v + "'");
        } else if (name == "--mode") {
            single_view = true;
            if (!parse_mode(v, &o.mode))
                return fail("--mode must be guitar, pro-drums, old-drums, keys or 0..3, not '" + v + "'");
        } else if (name == "--hopo") {
            if (!parse_int(v, MIN_HOPO, MAX_HOPO, &n))
                return fail("--hopo must be a whole number of ticks from " + std::to_string(MIN_HOPO) +
                            " to " + std::to_string(MAX_HOPO) + ", not '" + v + "'");
            o.hopo = static_cast<int32_t>(n);
            o.hopo_given = true;
        } else if (name == "--offset") {
            if (!parse_int(v, -MAX_OFFSET_MS, MAX_OFFSET_MS, &n))
                return fail("--offset must be whole milliseconds from " + std::to_string(-MAX_OFFSET_MS) +
                            " to " + std::to_string(MAX_OFFSET_MS) + ", not '" + v + "'");
            o.offset_ms = static_cast<int32_t>(n);
            o.offset_given = true;
        } else if (name == "--size") {
            if (!parse_size(v, &o.width, &o.height))
                return fail("--size must be WIDTHxHEIGHT from " + std::to_string(MIN_SIDE) + "x" +
                            std::to_string(MIN_SIDE) + " to " + std::to_string(MAX_WIDTH) + "x" +
                            std::to_string(MAX_HEIGHT) + ", not '" + v + "'");
        } else if (name == "--at" || name == "--from" || name == "--to") {
            double t = 0.0;
            if (!parse_real(v, 0.0, MAX_SECONDS, &t))
                return fail(name + " must be seconds from 0 to " + fmt(MAX_SECONDS) + ", not '" + v + "'");
            (name == "--at" ? o.at : name == "--from" ? o.from : o.to) = t;
        } else if (name == "--fps") {
            if (!parse_real(v, MIN_FPS, MAX_FPS, &o.fps))
                return fail("--fps must be from " + fmt(MIN_FPS) + " to " + fmt(MAX_FPS) + ", not '" + v + "'");
            o.fps_given = true;
        } else if (name == "--skin") {
            if (v.empty()) return fail("--skin needs a folder");
            o.skin = v;
        } else if (name == "--ffmpeg") {
            if (v.empty()) return fail("--ffmpeg needs the path of the ffmpeg program");
            o.ffmpeg = v;
        } else if (name == "--audio") {
            if (v.empty()) return fail("--audio needs a file name");
            o.audio.push_back(v);
        } else if (name == "--chart") {
            if (v.empty()) return fail("--chart needs the name of a chart file in the song folder");
            o.chart_name = v;
        } else if (name == "--view") {
            if (o.views.size() == MAX_VIEWS)
                return fail("--view " + v + ": at most " + std::to_string(MAX_VIEWS) + " views fit side by side");
            ViewOption view;
            std::string why;
            if (!parse_view(v, &view, &why)) return fail(why);
            o.views.push_back(view);
        }
    }

    if (single_view && !o.views.empty())
        return fail("--view cannot be combined with --track, --difficulty or --mode; give each view as "
                    "--view TRACK:DIFFICULTY:MODE");
    if (o.no_audio && !o.audio.empty()) return fail("--no-audio cannot be combined with --audio");
    if (o.at >= 0.0 && o.range()) return fail("--at cannot be combined with --from/--to");
    if (o.preview && (o.at >= 0.0 || o.range())) return fail("--preview cannot be combined with --at, --from or --to");
    if (o.range()) {
        if (o.from < 0.0 || o.to < 0.0) return fail("a range needs both --from and --to");
        if (!(o.to > o.from)) return fail("--to (" + fmt(o.to) + ") must be later than --from (" + fmt(o.from) + ")");
        if ((o.to - o.from) * o.fps + 1.0 > MAX_RANGE_FRAMES)
            return fail("the range holds more than " + fmt(MAX_RANGE_FRAMES) + " frames");
    }
    *out = o;
    return true;
}

const char* usage_text() {
    return "usage: tiver-render [SONG_FOLDER | CHART.mid | CHART.chart] [options]\n"
           "\n"
           "Renders what the Tiver Preview editor shows while a chart plays: the note highway\n"
           "and its control strip. A song folder holds notes.mid or a .chart, perhaps song.ini\n"
           "(delay, hopo_frequency, eighthnote_hopo, pro_drums, five_lane_drums, name, artist,\n"
           "charter, preview_start_time, preview_end_time; options given here win) and audio\n"
           "stems (song, guitar, bass, drums_1 ... .ogg/.opus/.mp3/.wav/.flac), mixed into an MP4.\n"
           "Without either, renders the demo song with the default skin. On Windows, a song\n"
           "folder dropped onto tiver-render.exe becomes \"<artist> - <name>.mp4\" beside its chart\n"
           "(the whole song, --caption --no-controls; an existing file gets a number added).\n"
           "\n"
           "  --chart NAME          the song folder's chart file to read (default: notes.mid,\n"
           "                        else its .chart, notes.chart first)\n"
           "  -o, --output FILE     where to write (default highway.png). FILE.mp4: a video with\n"
           "                        the audio (needs ffmpeg); a name with %d, such as f%05d.png:\n"
           "                        numbered PNGs. Both cover the whole song unless --from/--to.\n"
           "  --track NAME|INDEX    the track holding the plug-in (default: the first with chart\n"
           "                        notes; see --list-tracks)\n"
           "  --difficulty D        easy, medium, hard or expert, or 0..3 (default expert)\n"
           "  --mode M              guitar, pro-drums, old-drums or keys, or 0..3 (default: drums\n"
           "                        for a track named like DRUMS, keys for KEYS, else guitar)\n"
           "  --view TRACK[:DIFFICULTY[:MODE]]\n"
           "                        up to 4 views side by side in equal columns, left to right,\n"
           "                        each its own plug-in instance on its own track; empty fields\n"
           "                        take expert and the track's mode. Instead of --track,\n"
           "                        --difficulty and --mode.\n"
           "  --hopo TICKS          HOPO threshold in 480-tick quarter notes, 32..1920 (default:\n"
           "                        song.ini's hopo_frequency or eighthnote_hopo, else 170)\n"
           "  --offset MS           display time offset in milliseconds, -60000..60000 (default:\n"
           "                        song.ini's delay, else 0); the chart appears that much later\n"
           "  --size WxH            window size in pixels (default 1280x720)\n"
           "  --at SECONDS          one picture with the transport at this moment (default: one\n"
           "                        second after the first note of the difficulty)\n"
           "  --from S --to S       a range of moments, every 1/FPS seconds from S to S\n"
           "  --preview             song.ini's preview: preview_start_time (ms; 0 or none: a third\n"
           "                        of the song) to preview_end_time (none: 30 s later)\n"
           "  --fps N               frames per second of a range, 1..240 (default 60); also the\n"
           "                        rate at which the editor is painted while the chart plays\n"
           "  --caption             the song's name, artist and charter, each view's part and\n"
           "                        difficulty, the current section and the time, over the top\n"
           "                        of the picture where the highway never draws\n"
           "  --no-controls         leave out the control strip (the highway alone)\n"
           "  --audio FILE          audio for the MP4 (repeat to mix several); replaces the stems\n"
           "  --no-audio            an MP4 without sound; the whole song ends with the chart\n"
           "  --ffmpeg PATH         the ffmpeg program (default: ffmpeg beside this program, else on\n"
           "                        PATH; ffprobe beside it)\n"
           "  --skin DIR            take the images from DIR instead of the default skin\n"
           "  --list-tracks         list the song's name, artist, charter and tracks, and exit\n"
           "  -h, --help            this text\n"
           "\n"
           "Bad input ends the program with one line on stderr and exit status 2; no output\n"
           "file is left behind, nor after Ctrl-C.\n";
}
