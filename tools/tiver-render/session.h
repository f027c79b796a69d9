// One rendering session: the plug-in created through VSTPluginMain inside the simulated
// host, set up and played the way a DAW does it, with its headless editor painted at the
// moments asked for. Used by tiver-render's main.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "host/sim_host.h"
#include "host/smf.h"

class TESS_IBitmap;

struct SessionSettings {
    int32_t track = -1;
    int32_t difficulty = 3;
    int32_t mode = 0;
    int32_t hopo = 170;
    int32_t offset_ms = 0;
    int32_t width = 1280;
    int32_t height = 720;
    double paint_rate = 60.0;  // paints per second of chart time while playing
    std::string ini_path;      // the host's INI file (holds the time offset)
};

// Receives each painted frame; false stops the session.
using FrameSink = std::function<bool(int64_t index, double seconds, TESS_IBitmap* frame)>;

// Plays `song` from a little before `first` (early enough that every note sounding at
// `first` has been read) and calls `sink` for the frames at first + i / frame_rate, i from 0
// to count - 1. False with a one-line reason when the plug-in could not be set up or a
// frame could not be painted, or when the sink stopped.
bool render_session(SmfFile song, const SessionSettings& settings, double first, int64_t count,
                    double frame_rate, const FrameSink& sink, std::string* error);

// Seconds at which the session starts playing to show `first` as a continuous render
// would: 31 paints before it (a smash lasts 30), or earlier when a note still sounding at
// `first` (a sustain or a phrase) or the latest drum mix event (which swaps lanes until the
// next) came before that; at most a minute before.
double preroll_start(const SmfFile& song, int32_t track, double first, double paint_rate);
