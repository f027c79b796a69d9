#include "plugin/host_api.h"

HostApi g_host_api = {};

namespace {

void* fetch(audioMasterCallback host, const char* name) {
    return reinterpret_cast<void*>(
        host(nullptr, HOST_EXT_OPCODE, HOST_EXT_FUNCTION_INDEX, 0, const_cast<char*>(name), 0.0f));
}

}  // namespace

void fetch_host_api(audioMasterCallback host, HostApi* api) {
    if (!host || !api) return;
    api->get_ini_file = reinterpret_cast<GetIniFileFn>(fetch(host, "get_ini_file"));
    api->Track_GetRawMIDI = reinterpret_cast<TrackGetRawMidiFn>(fetch(host, "Track_GetRawMIDI"));
    api->TimeMap2_timeToQN = reinterpret_cast<TimeMapTimeToQNFn>(fetch(host, "TimeMap2_timeToQN"));
    api->TimeMap2_beatsToTime =
        reinterpret_cast<TimeMapBeatsToTimeFn>(fetch(host, "TimeMap2_beatsToTime"));
    api->TimeMap2_timeToBeats =
        reinterpret_cast<TimeMapTimeToBeatsFn>(fetch(host, "TimeMap2_timeToBeats"));
}

void* host_track_handle(audioMasterCallback host, AEffect* effect) {
    if (!host) return nullptr;
    return reinterpret_cast<void*>(
        host(effect, HOST_EXT_OPCODE, HOST_EXT_HANDLE_INDEX, HOST_HANDLE_TRACK, nullptr, 0.0f));
}

void* host_timemap_handle(audioMasterCallback host, AEffect* effect) {
    if (!host) return nullptr;
    return reinterpret_cast<void*>(
        host(effect, HOST_EXT_OPCODE, HOST_EXT_HANDLE_INDEX, HOST_HANDLE_TIMEMAP, nullptr, 0.0f));
}
