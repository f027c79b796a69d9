#include "tools/tiver-render/song.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <utility>

#include "host/tempo_map.h"
#include "platform/platform.h"
#include "songfile/text.h"
#include "tools/tiver-render/os.h"

namespace {

void print_warnings(const std::vector<std::string>& warnings) {
    for (const std::string& w : warnings) std::fprintf(stderr, "tiver-render: warning: %s\n", w.c_str());
}

bool is_text_event(const SmfTrack& t, const SmfEvent& e, const char* text) {
    const uint8_t* m = t.message(e);
    const size_t n = std::strlen(text);
    return e.size == 3 + n && m[0] == 0xFF && m[1] == 0x01 && m[2] == n && std::memcmp(m + 3, text, n) == 0;
}

// Note-ons of the gems of each difficulty: the five lanes, the open note below them when
// the track says [ENHANCED_OPENS], and on drums Expert's second kick (95).
void count_gems(const SmfTrack& t, int counts[4]) {
    for (int d = 0; d < 4; ++d) counts[d] = 0;
    bool opens = false;
    for (const SmfEvent& e : t.events)
        opens = opens || is_text_event(t, e, "[ENHANCED_OPENS]") || is_text_event(t, e, "ENHANCED_OPENS");
    std::string name = t.name;
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const bool drums = name.find("DRUM") != std::string::npos;
    for (const SmfEvent& e : t.events) {
        const uint8_t* m = t.message(e);
        if (e.size != 3 || (m[0] & 0xF0) != 0x90 || m[2] == 0) continue;
        for (int d = 0; d < 4; ++d) {
            const int base = 60 + 12 * d;
            if ((m[1] >= base && m[1] <= base + 4) || (m[1] == base - 1 && (opens || (drums && d == 3)))) ++counts[d];
        }
    }
}

// Reads the MIDI file at `path`; false with a one-line reason naming the file.
bool load_midi(const std::string& path, SmfFile* song, std::string* error) {
    std::string why;
    if (!smf_load(path.c_str(), song, &why)) {
        *error = path + ": " + why;
        return false;
    }
    return true;
}

// Reads the .chart at `path` into the source, and fills in what song.ini leaves open.
bool load_chart_text(SongSource* s, SmfFile* song, std::string* error) {
    std::vector<std::string> warnings;
    std::string why;
    if (!chart_load(s->chart, &s->chart_file, &warnings, &why)) {
        *error = s->chart + ": " + why;
        return false;
    }
    for (std::string& w : warnings) w = s->chart + ": " + w;
    const ChartFile& c = s->chart_file;
    SongIni& ini = s->ini;
    if (ini.name.empty()) ini.name = printable_text(c.name);
    if (ini.artist.empty()) ini.artist = printable_text(c.artist);
    if (ini.charter.empty()) ini.charter = printable_text(c.charter);
    if (c.has_offset && !(ini.has_delay && ini.delay_ms != 0)) {
        ini.has_delay = true;
        ini.delay_ms = c.offset_ms;
    }
    s->conversion = chart_conversion(c, ini);
    ini.has_pro_drums = true;
    ini.pro_drums = s->conversion.drums != ChartDrums::FOUR_LANE;
    if (!s->folder.empty()) {
        add_stream_stems(&s->contents, c.streams, &warnings);
        s->stems = s->contents.stems;
    }
    print_warnings(warnings);
    *song = chart_to_smf(c, s->conversion);
    return true;
}

}  // namespace

bool open_song_source(const std::string& path, const std::string& chart_name, SongSource* out,
                      std::string* error) {
    SongSource s;
    if (!is_directory(path)) {
        if (!chart_name.empty()) {
            *error = "--chart " + chart_name + " picks the chart of a song folder, but " + path + " is a file";
            return false;
        }
        s.chart = path;
        s.chart_text = is_chart_name(path);
        *out = s;
        return true;
    }
    std::vector<std::string> warnings;
    const bool opened = open_song_folder(path, chart_name, &s.contents, &warnings, error);
    print_warnings(warnings);
    if (!opened) return false;
    s.chart = s.contents.chart;
    s.chart_text = is_chart_name(s.chart);
    s.folder = path;
    s.ini = s.contents.ini;
    s.stems = s.contents.stems;
    *out = s;
    return true;
}

bool load_song(SongSource* source, SmfFile* song, std::string* error) {
    const std::string& path = source->chart;
    if (is_directory(path)) {
        *error = path + ": is a folder, not a chart file";
        return false;
    }
    FILE* probe = platform_fopen_utf8(path.c_str(), "rb");
    if (!probe) {
        *error = path + ": " + std::strerror(errno);
        return false;
    }
    std::fclose(probe);
    return source->chart_text ? load_chart_text(source, song, error) : load_midi(path, song, error);
}

void fit_song_to_views(const SongSource& source, SmfFile* song, std::vector<ViewSettings>* views) {
    if (!source.chart_text) return;
    std::map<std::pair<int32_t, int32_t>, int32_t> made;  // (instrument, difficulty): its track
    std::set<int32_t> taken;                              // tracks a view has kept or remade
    for (ViewSettings& v : *views) {
        const int32_t instrument = chart_instrument_named(song->tracks[static_cast<size_t>(v.track)].name);
        if (instrument < 0) continue;
        const std::pair<int32_t, int32_t> key(instrument, v.difficulty);
        const auto found = made.find(key);
        if (found != made.end()) {
            v.track = found->second;
            continue;
        }
        SmfTrack track = chart_instrument_track(source.chart_file, instrument, source.conversion, v.difficulty);
        if (!taken.count(v.track)) {
            // chart_to_smf made it from Expert.
            if (v.difficulty != 3) song->tracks[static_cast<size_t>(v.track)] = std::move(track);
        } else {
            song->tracks.push_back(std::move(track));
            v.track = static_cast<int32_t>(song->tracks.size() - 1);
        }
        taken.insert(v.track);
        made[key] = v.track;
    }
}

void apply_song_ini(const SongIni& ini, int32_t resolution, RenderOptions* o) {
    if (!o->offset_given && ini.has_delay) o->offset_ms = ini.delay_ms;
    if (!o->hopo_given) o->hopo = song_ini_hopo_threshold(ini, resolution, o->hopo);
}

bool choose_audio(const RenderOptions& o, const SongSource& source, std::vector<std::string>* files,
                  std::string* error) {
    files->clear();
    if (o.no_audio) return true;
    if (o.audio.empty()) {
        *files = source.stems;
        return true;
    }
    for (const std::string& a : o.audio) {
        if (!is_regular_file(a)) {
            *error = "--audio " + a + ": " + (is_directory(a) ? "is a folder, not an audio file" : "no such file");
            return false;
        }
    }
    *files = o.audio;
    return true;
}

void list_tracks(const SmfFile& song, const SongIni& ini) {
    if (!ini.name.empty()) std::printf("name:    %s\n", ini.name.c_str());
    if (!ini.artist.empty()) std::printf("artist:  %s\n", ini.artist.c_str());
    if (!ini.charter.empty()) std::printf("charter: %s\n", ini.charter.c_str());
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

int32_t mode_for_track(const SmfFile& song, int32_t track, bool pro_drums) {
    std::string name = song.tracks[static_cast<size_t>(track)].name;
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (name.find("DRUM") != std::string::npos) return pro_drums ? 1 : 2;
    return name.find("KEYS") != std::string::npos ? 3 : 0;
}

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

double chart_end_seconds(const SmfFile& song, int32_t track) {
    if (track < 0 || track >= static_cast<int32_t>(song.tracks.size())) return 0.0;
    const SmfTrack& t = song.tracks[static_cast<size_t>(track)];
    int64_t last = 0;
    for (const SmfEvent& e : t.events) last = e.tick > last ? e.tick : last;
    return tempo_ticks_to_seconds(tempo_map_from(song), static_cast<double>(last));
}

double whole_song_end(const SmfFile& song, int32_t track, int32_t offset_ms, double audio_end) {
    if (audio_end > 0.0) return audio_end;
    const double end = chart_end_seconds(song, track) + offset_ms / 1000.0;
    return (end > 0.0 ? end : 0.0) + 2.0;
}
