#include <new>

#include "platform/platform.h"
#include "plugin/chart_preview.h"
#include "plugin/host_api.h"

// Entry of the plug-in: one call per instance the host wants. The host functions are
// fetched until get_ini_file resolves; after that a missing one is never asked again.
extern "C" AEffect* VSTPluginMain(audioMasterCallback host) {
    if (!host) return nullptr;
    if (!g_host_api.get_ini_file) {
        fetch_host_api(host, &g_host_api);
        if (!g_host_api.get_ini_file) return nullptr;
        time_offset_ms =
            platform_ini_read_int("tolvan", "timeoffs", 0, g_host_api.get_ini_file());
    }
    if (!g_host_api.Track_GetRawMIDI || !g_host_api.TimeMap2_timeToQN ||
        !g_host_api.TimeMap2_beatsToTime || !g_host_api.TimeMap2_timeToBeats)
        return nullptr;
    ChartPreview* instance = new (std::nothrow) ChartPreview(host);
    if (!instance) return nullptr;
    return &instance->vst;
}
