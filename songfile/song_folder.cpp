#include "songfile/song_folder.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/platform.h"
#include "songfile/files.h"
#include "songfile/text.h"

namespace {

const char* const STEMS[] = {"song",    "guitar",  "rhythm",  "bass",   "keys",     "drums",
                             "drums_1", "drums_2", "drums_3", "drums_4", "vocals", "vocals_1",
                             "vocals_2", "crowd"};
const char* const AUDIO_EXTENSIONS[] = {".ogg", ".opus", ".mp3", ".wav", ".flac"};

// A song.ini longer than this is read only up to here: real ones are a few hundred bytes.
constexpr size_t MAX_INI_BYTES = 1 << 20;

// The first of `names` equal to `wanted` (lower case) without regard to case; empty if none.
std::string find_name(const std::vector<std::string>& names, const std::string& wanted) {
    std::string found;
    for (const std::string& n : names)
        if (lower_ascii(n) == wanted && (found.empty() || n < found)) found = n;
    return found;
}

bool read_ini(const std::string& path, std::string* text, std::vector<std::string>* warnings) {
    bool longer = false;
    std::string why;
    if (!read_file_start(path, MAX_INI_BYTES, text, &longer, &why)) {
        warnings->push_back(why == "cannot be read" ? "cannot be read; ignored" : "cannot be read (" + why + "); ignored");
        return false;
    }
    if (longer) warnings->push_back("is longer than 1 MB; only its first megabyte is read");
    return true;
}

}  // namespace

std::vector<std::string> find_stems(const std::vector<std::string>& names) {
    std::vector<std::string> stems;
    for (const char* stem : STEMS) {
        for (const char* ext : AUDIO_EXTENSIONS) {
            const std::string name = find_name(names, std::string(stem) + ext);
            if (!name.empty()) {
                stems.push_back(name);
                break;
            }
        }
    }
    return stems;
}

bool is_chart_name(const std::string& name) {
    return name.size() > 6 && lower_ascii(name.substr(name.size() - 6)) == ".chart";
}

bool open_song_folder(const std::string& dir, const std::string& chart_name, SongFolder* out,
                      std::vector<std::string>* warnings, std::string* error) {
    std::vector<std::string> entries, names;
    if (!list_folder(dir, &entries)) {
        *error = dir + ": cannot read the folder: " + std::strerror(errno);
        return false;
    }
    const std::string prefix = dir.empty() || dir.back() == '/' || dir.back() == '\\' ? dir : dir + "/";
    for (const std::string& e : entries)
        if (is_regular_file(prefix + e)) names.push_back(e);
    std::sort(names.begin(), names.end());
    SongFolder f;
    f.path = prefix;
    f.names = names;
    std::vector<std::string> charts;
    for (const std::string& n : names)
        if (is_chart_name(n)) charts.push_back(n);
    std::string chart = chart_name.empty() ? find_name(names, "notes.mid") : find_name(names, lower_ascii(chart_name));
    if (!chart_name.empty() && chart.empty()) {
        *error = dir + ": no file " + chart_name + " in this folder (--chart names one of its files)";
        return false;
    }
    if (chart.empty() && !charts.empty()) {
        // notes.chart, else a name marked for forced notes, else the first.
        chart = find_name(charts, "notes.chart");
        for (const std::string& c : charts) {
            const std::string mark = lower_ascii(c.substr(0, c.size() - 6));
            if (chart.empty() && mark.size() >= 3 && (mark[mark.size() - 3] == '[' || mark[mark.size() - 3] == '(') &&
                (mark[mark.size() - 2] == 'y' || mark[mark.size() - 2] == 'f') &&
                (mark.back() == ']' || mark.back() == ')'))
                chart = c;
        }
        if (chart.empty()) chart = charts.front();
    }
    if (chart.empty()) {
        *error = dir + ": no notes.mid or .chart file in this folder";
        return false;
    }
    if (chart_name.empty() && !charts.empty() && (charts.size() > 1 || !is_chart_name(chart))) {
        const std::string other = charts.front() == chart ? charts.back() : charts.front();
        warnings->push_back(dir + ": holds " + (is_chart_name(chart) ? std::to_string(charts.size()) + " .chart files"
                                                                     : chart + " and " + std::to_string(charts.size()) +
                                                                           " .chart file" + (charts.size() > 1 ? "s" : "")) +
                            "; " + chart + " is read (--chart " + other + " reads another)");
    }
    f.chart = prefix + chart;
    const std::string ini = find_name(names, "song.ini");
    if (!ini.empty()) {
        f.ini_path = prefix + ini;
        std::string text;
        std::vector<std::string> found;
        if (read_ini(f.ini_path, &text, &found)) f.ini = parse_song_ini(text, &found);
        for (const std::string& w : found) warnings->push_back(f.ini_path + ": " + w);
    }
    for (const std::string& stem : find_stems(names)) f.stems.push_back(prefix + stem);
    *out = f;
    return true;
}

void add_stream_stems(SongFolder* f, const std::vector<ChartStream>& streams, std::vector<std::string>* warnings) {
    // Each key's stem among the reserved names; DrumStream is the kick or the whole kit.
    static const char* const KEYS[][3] = {
        {"musicstream", "song", ""},       {"guitarstream", "guitar", ""}, {"rhythmstream", "rhythm", ""},
        {"bassstream", "bass", ""},        {"keysstream", "keys", ""},     {"drumstream", "drums", "drums_1"},
        {"drum2stream", "drums_2", ""},    {"drum3stream", "drums_3", ""}, {"drum4stream", "drums_4", ""},
        {"vocalstream", "vocals", ""},     {"crowdstream", "crowd", ""}};
    const std::string& prefix = f->path;
    std::vector<std::string> taken;  // lower-case names of the stems so far
    for (const std::string& s : f->stems) taken.push_back(lower_ascii(s.substr(prefix.size())));
    const auto reserved = [&](const char* stem) {
        for (const std::string& t : taken)
            if (*stem && t.compare(0, t.find('.'), stem) == 0) return true;
        return false;
    };
    for (const ChartStream& s : streams) {
        const std::string key = lower_ascii(s.key);
        bool given = false;
        for (const auto& k : KEYS)
            if (key == k[0]) given = reserved(k[1]) || reserved(k[2]);
        if (given || s.file.empty()) continue;
        const std::string what = "[Song] " + s.key + " " + quoted_text(s.file);
        if (s.file.find_first_of("/\\:") != std::string::npos) {
            warnings->push_back(f->chart + ": " + what + " names a path, not a file of the song folder; skipped");
            continue;
        }
        const std::string name = find_name(f->names, lower_ascii(s.file));
        bool audio = false;
        for (const char* ext : AUDIO_EXTENSIONS)
            audio = audio || (name.size() > std::strlen(ext) && lower_ascii(name.substr(name.size() - std::strlen(ext))) == ext);
        if (name.empty()) {
            warnings->push_back(f->chart + ": " + what + ": no such file in the song folder; skipped");
        } else if (!audio) {
            warnings->push_back(f->chart + ": " + what + " is not an .ogg, .opus, .mp3, .wav or .flac file; skipped");
        } else if (std::find(taken.begin(), taken.end(), lower_ascii(name)) == taken.end()) {
            f->stems.push_back(prefix + name);
            taken.push_back(lower_ascii(name));
        }
    }
}
