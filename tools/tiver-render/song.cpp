#include "tools/tiver-render/song.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/tempo_map.h"
#include "platform/platform.h"
#include "tools/tiver-render/os.h"
#include "songfile/song_folder.h"

namespace {

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

}  // namespace

bool open_song_source(const std::string& path, SongSource* out, std::string* error) {
    SongSource s;
    if (!is_directory(path)) {
        s.chart = path;
        *out = s;
        return true;
    }
    SongFolder folder;
    std::vector<std::string> warnings;
    const bool opened = open_song_folder(path, &folder, &warnings, error);
    for (const std::string& w : warnings) std::fprintf(stderr, "tiver-render: warning: %s\n", w.c_str());
    if (!opened) return false;
    s.chart = folder.chart;
    s.folder = path;
    s.ini = folder.ini;
    s.stems = folder.stems;
    *out = s;
    return true;
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

bool load_chart(const std::string& path, SmfFile* song, std::string* error) {
    if (is_directory(path)) {
        *error = path + ": is a folder, not a MIDI file";
        return false;
    }
    FILE* probe = platform_fopen_utf8(path.c_str(), "rb");
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
