// The simulated host: plays the DAW for the plug-in in unit tests, in the renderer tool and,
// built for Windows, in the Wine test host that loads the real DLL. One host per process
// at a time (the audioMaster callback carries no context of its own beyond the calling
// instance's record, by which the host tells the instances on its tracks apart).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "songfile/smf.h"
#include "host/tempo_map.h"
#include "plugin/host_api.h"
#include "plugin/vst_abi.h"

struct SimHost {
    // Extension functions the host pretends not to have (by name, e.g. "get_ini_file").
    std::vector<std::string> withheld;
    // Every name the plug-in asked for through the function fetch, in order.
    std::vector<std::string> fetch_log;

    std::string ini_path;          // what get_ini_file returns
    double sample_rate = 44100.0;
    double sample_pos = 0.0;       // transport position, samples
    bool playing = false;
    bool time_info_available = true;
    int32_t output_latency = 0;    // samples
    void* track_handle = nullptr;  // null: the plug-in gets no track
    void* timemap_handle = nullptr;
    // Instances placed on tracks of their own, as a DAW holds one per track: each is
    // answered with its track's handle. Any other caller gets track_handle.
    std::vector<std::pair<const AEffect*, void*>> placed;

    VstTimeInfo time_info{};

    // The project: a MIDI file's tracks and its time map (120 BPM 4/4 until one is loaded).
    SmfFile song;
    TempoMap tempo = tempo_map_default();
    // Per track, the time of each event in seconds (parallel to song.tracks[t].events).
    std::vector<std::vector<double>> event_seconds;

    int64_t raw_midi_calls = 0;    // Track_GetRawMIDI calls answered, for tests
};

// Makes `host` the current host (null: none) and returns its audioMaster.
audioMasterCallback sim_host_install(SimHost* host);
SimHost* sim_host_current();

// Takes the file as the project: its tempo map and tracks. Selects track `track` as the
// one holding the plug-in (-1: none) and points timemap_handle at the host's map.
void sim_host_load(SimHost* host, SmfFile file, int32_t track);
// Selects a track of the loaded file (-1 or out of range: no track, a null handle).
void sim_host_select_track(SimHost* host, int32_t track);
// The handle Track_GetRawMIDI accepts for track `track`, or null.
void* sim_host_track(SimHost* host, int32_t track);
// Puts the instance behind `effect` on track `track` of the loaded file (-1 or out of
// range: no track, a null handle); a later call moves it. The host then answers that
// instance's track-handle request with its own track, whatever track is selected.
void sim_host_place(SimHost* host, const AEffect* effect, int32_t track);

// Transport.
void sim_host_play(SimHost* host);
void sim_host_stop(SimHost* host);
void sim_host_jump_seconds(SimHost* host, double seconds);

// The host's extension functions, callable directly by tests and tools.
int sim_track_get_raw_midi(void* track, MidiTransferBlock* block);
double sim_time_to_qn(void* timemap, double seconds);
double sim_time_to_beats(void* timemap, double seconds, int* measure, int* beats_per_measure,
                         double* full_beats, int* denominator);
double sim_beats_to_time(void* timemap, double full_beats, const int* measure);

// Drives plug-ins like a DAW: audio blocks through processReplacing, to every plug-in of
// the project in turn before the transport advances (while playing), and paints at a rate
// counted in audio time.
struct SimDriver {
    SimHost* host = nullptr;
    AEffect* effect = nullptr;
    std::vector<AEffect*> more_effects;  // the other plug-ins, processed after `effect`
    int32_t block_frames = 512;
    double paints_per_second = 0.0;  // 0: never paints
    void (*paint)(void* context) = nullptr;
    void* paint_context = nullptr;

    // Output channels handed to processReplacing; filled with 1.0 before every plug-in's
    // block so that a test can see whether the plug-in cleared them (the last plug-in's
    // outputs stay).
    std::vector<float> left, right;
    double frames_since_paint = 0.0;
    int64_t blocks = 0;
    int64_t paints = 0;
};

void sim_driver_init(SimDriver* driver, SimHost* host, AEffect* effect, int32_t block_frames);
// Another plug-in (on another track) that gets the same blocks.
void sim_driver_add_effect(SimDriver* driver, AEffect* effect);
// Tells the plug-ins the rate through effSetSampleRate and keeps it as the host's.
void sim_driver_set_sample_rate(SimDriver* driver, double rate);
// One audio block to every plug-in, then the transport moves on (if playing) and due
// paints run.
void sim_driver_block(SimDriver* driver);
void sim_driver_run_blocks(SimDriver* driver, int64_t count);
// As many blocks as cover `seconds` of audio (at least one).
void sim_driver_run_seconds(SimDriver* driver, double seconds);
