// A song folder's song.ini: the few keys of its [song] section that change what the tool
// renders, read leniently (a bad line is skipped with a warning, never fatal). Used by the
// song folder, the renderer tool's options and the fuzz target.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The HOPO thresholds (480-tick quarter notes) and time offsets (ms) a song or the
// command line may ask for.
constexpr int32_t MIN_HOPO = 32, MAX_HOPO = 1920;
constexpr int32_t MAX_OFFSET_MS = 60000;
// A preview clip lies within a day of song.
constexpr double MAX_PREVIEW_MS = 86400000.0;

struct SongIni {
    bool has_delay = false;
    int32_t delay_ms = 0;           // the chart sounds this much later against the audio
    bool has_hopo_frequency = false;
    int64_t hopo_frequency = 0;     // in ticks of the chart file's own resolution
    bool has_eighthnote_hopo = false;
    bool eighthnote_hopo = false;
    bool has_pro_drums = false;
    bool pro_drums = true;
    bool has_five_lane_drums = false;
    bool five_lane_drums = false;
    int64_t preview_start_ms = 0;   // the preview clip's start and end; 0: not given
    int64_t preview_end_ms = 0;
    std::string name, artist, charter;  // valid UTF-8, empty when not given
};

// Reads song.ini text (UTF-8, with or without a byte-order mark; any line ending). Section
// and key names match without regard to case; only [song] is read. Every line that cannot
// be used adds one warning ("line N: ...") to `warnings`; the rest still counts.
SongIni parse_song_ini(const std::string& text, std::vector<std::string>* warnings);

// The HOPO threshold in 480-tick quarter notes that the ini asks for, given the chart's
// resolution (ticks per quarter note): hopo_frequency converted and rounded, else half a
// quarter note for eighthnote_hopo, else `fallback`; always within 32..1920.
int32_t song_ini_hopo_threshold(const SongIni& ini, int32_t resolution, int32_t fallback);
