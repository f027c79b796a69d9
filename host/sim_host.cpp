#include "host/sim_host.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

SimHost* g_current = nullptr;

const char* host_get_ini_file() { return g_current ? g_current->ini_path.c_str() : ""; }

// Until a chart is loaded the host has an empty track and a 120 BPM 4/4 time map.
int host_track_get_raw_midi(void*, MidiTransferBlock*) { return 0; }

double host_time_to_qn(void*, double seconds) { return seconds * 2.0; }

double host_time_to_beats(void*, double seconds, int* measure, int* beats_per_measure,
                          double* full_beats, int* denominator) {
    const double beats = seconds * 2.0;
    const double measure_index = std::floor(beats / 4.0);
    if (measure) *measure = static_cast<int>(measure_index);
    if (beats_per_measure) *beats_per_measure = 4;
    if (full_beats) *full_beats = beats;
    if (denominator) *denominator = 4;
    return beats - measure_index * 4.0;
}

double host_beats_to_time(void*, double full_beats, const int*) { return full_beats / 2.0; }

struct NamedFunction {
    const char* name;
    void* address;
};

const NamedFunction kFunctions[] = {
    {"get_ini_file", reinterpret_cast<void*>(&host_get_ini_file)},
    {"Track_GetRawMIDI", reinterpret_cast<void*>(&host_track_get_raw_midi)},
    {"TimeMap2_timeToQN", reinterpret_cast<void*>(&host_time_to_qn)},
    {"TimeMap2_timeToBeats", reinterpret_cast<void*>(&host_time_to_beats)},
    {"TimeMap2_beatsToTime", reinterpret_cast<void*>(&host_beats_to_time)},
};

intptr_t host_audio_master(AEffect*, int32_t opcode, int32_t index, intptr_t value, void* ptr,
                           float) {
    SimHost* host = g_current;
    if (!host) return 0;
    if (opcode == HOST_EXT_OPCODE && index == HOST_EXT_FUNCTION_INDEX) {
        if (!ptr) return 0;
        const char* name = static_cast<const char*>(ptr);
        host->fetch_log.emplace_back(name);
        if (std::find(host->withheld.begin(), host->withheld.end(), name) != host->withheld.end())
            return 0;
        for (const NamedFunction& f : kFunctions)
            if (std::strcmp(f.name, name) == 0) return reinterpret_cast<intptr_t>(f.address);
        return 0;
    }
    if (opcode == HOST_EXT_OPCODE && index == HOST_EXT_HANDLE_INDEX) {
        if (value == HOST_HANDLE_TRACK) return reinterpret_cast<intptr_t>(host->track_handle);
        if (value == HOST_HANDLE_TIMEMAP) return reinterpret_cast<intptr_t>(host->timemap_handle);
        return 0;
    }
    if (opcode == audioMasterGetTime) {
        if (!host->time_info_available) return 0;
        host->time_info = VstTimeInfo{};
        host->time_info.samplePos = host->sample_pos;
        host->time_info.sampleRate = host->sample_rate;
        host->time_info.flags = host->playing ? kVstTransportPlaying : 0;
        return reinterpret_cast<intptr_t>(&host->time_info);
    }
    if (opcode == audioMasterGetOutputLatency) return host->output_latency;
    return 0;
}

}  // namespace

audioMasterCallback sim_host_install(SimHost* host) {
    g_current = host;
    return &host_audio_master;
}

SimHost* sim_host_current() { return g_current; }
