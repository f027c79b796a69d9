// The simulated host: plays the DAW for the plug-in in unit tests, in the renderer tool and,
// built for Windows, in the Wine test host that loads the real DLL. One host per process
// at a time (the audioMaster callback carries no context of its own).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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

    VstTimeInfo time_info{};
};

// Makes `host` the current host (null: none) and returns its audioMaster.
audioMasterCallback sim_host_install(SimHost* host);
SimHost* sim_host_current();
