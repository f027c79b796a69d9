// The renderer tool's command line: what to render and where, checked in full before
// anything is read or written. Used by tiver-render's main.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "songfile/song_ini.h"

// One --view: a track (name or index) with its difficulty and mode.
struct ViewOption {
    std::string track;
    int32_t difficulty = 3;
    int32_t mode = -1;        // -1: from the track's name
};

struct RenderOptions {
    std::string chart;        // empty: the demo chart beside the program
    std::string chart_name;   // --chart: the song folder's chart file; empty: notes.mid, else a .chart
    std::string output;       // empty: a default name by kind
    std::string track;        // empty: the first track with chart notes
    int32_t difficulty = 3;
    int32_t mode = -1;        // -1: from the track's name
    int32_t hopo = 170;
    bool hopo_given = false;
    int32_t offset_ms = 0;
    bool offset_given = false;
    int32_t width = 1280;
    int32_t height = 720;
    double at = -1.0;         // < 0: not given
    double from = -1.0, to = -1.0;
    double fps = 60.0;
    bool fps_given = false;
    std::string skin;         // empty: the default skin beside the program
    std::string ffmpeg;       // empty: ffmpeg beside the program or through PATH
    std::vector<std::string> audio;  // --audio files, in the order given
    bool no_audio = false;
    std::vector<ViewOption> views;   // empty: one view from --track, --difficulty, --mode
    bool list_tracks = false;
    bool help = false;
    bool caption = false;      // the song, parts, section and time drawn over the picture
    bool no_controls = false;  // the picture without the control strip
    bool preview = false;      // song.ini's preview range

    bool range() const { return from >= 0.0 || to >= 0.0; }
};

// Limits of the numbers the tool takes.
constexpr int32_t MIN_SIDE = 64, MAX_WIDTH = 7680, MAX_HEIGHT = 4320;
constexpr double MAX_SECONDS = 86400.0;
constexpr double MIN_FPS = 1.0, MAX_FPS = 240.0;
constexpr double MAX_RANGE_FRAMES = 100000.0;
constexpr size_t MAX_VIEWS = 4;

// Parses argv. False with a one-line reason (no program name, no newline) on bad input.
bool parse_options(int argc, char** argv, RenderOptions* out, std::string* error);

// The --help text.
const char* usage_text();
