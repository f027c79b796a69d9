// One rendering session: the simulated host with the song as its project and one plug-in
// instance per view, each created through VSTPluginMain on its own track as a DAW holds
// them, set up and played the way a DAW does it, with their headless editors painted at
// the moments asked for. Used by tiver-render's main.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/sim_host.h"
#include "songfile/smf.h"

class TESS_IBitmap;

// What one instance shows: its track, the settings its state chunk carries, and the size
// its editor is painted at.
struct ViewSettings {
    int32_t track = -1;
    int32_t difficulty = 3;
    int32_t mode = 0;
    int32_t width = 1280;
    int32_t height = 720;
};

constexpr size_t MAX_SESSION_VIEWS = 4;

struct SessionSettings {
    std::vector<ViewSettings> views;  // 1 to MAX_SESSION_VIEWS instances, in picture order
    int32_t hopo = 170;               // every instance's HOPO threshold
    int32_t offset_ms = 0;            // the host's time offset, shared by every instance
    double paint_rate = 60.0;         // paints per second of chart time while playing
    std::string ini_path;             // the host's INI file (holds the time offset)
    bool controls = true;             // the editors paint their control strips
    int32_t drawn_rows = 0;           // rows at the top of each view's frame the sink draws on
};

// Receives each painted frame: `frames[i]` is view i's editor bitmap, one per view.
// False stops the session.
using FrameSink = std::function<bool(int64_t index, double seconds, TESS_IBitmap* const* frames)>;

// Plays `song` from a little before `first` (early enough that every note sounding at
// `first` on a view's track has been read) and calls `sink` for the frames at
// first + i / frame_rate, i from 0 to count - 1. Every instance gets every audio block and
// is painted at every tick of one paint clock, whose ticks fall at first + k / paint_rate
// wherever play began: an instance is painted at the same moments as it would be alone.
// False with a one-line reason when the plug-in could not be set up or a frame could not
// be painted, or when the sink stopped (then with an empty reason).
bool render_session(SmfFile song, const SessionSettings& settings, double first, int64_t count,
                    double frame_rate, const FrameSink& sink, std::string* error);

// Seconds at which the session starts playing to show `first` as a continuous render
// would: 31 paints before it (a smash lasts 30), or earlier when a note of one of `tracks`
// still sounding at `first` (a sustain or a phrase) or the latest drum mix event of one
// (which swaps lanes until the next) came before that; at most a minute before.
double preroll_start(const SmfFile& song, const std::vector<int32_t>& tracks, double first,
                     double paint_rate);
