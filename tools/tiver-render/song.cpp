#include "tools/tiver-render/song.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/tempo_map.h"
#include "platform/platform.h"
#include "tools/tiver-render/os.h"

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

int32_t mode_for_track(const SmfFile& song, int32_t track) {
    std::string name = song.tracks[static_cast<size_t>(track)].name;
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return name.find("DRUM") != std::string::npos ? 1 : name.find("KEYS") != std::string::npos ? 3 : 0;
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
