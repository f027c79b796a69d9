// The host's extension interface: the functions fetched by name into HostApi, the MIDI
// transfer block and the host-defined event list that the plug-in implements.
// Fetched by VSTPluginMain (main thread); called from the audio and UI threads.
#pragma once

#include <cstddef>
#include <cstdint>

#include "plugin/vst_abi.h"

// One MIDI event as the host writes it: the record is extended in place past `message`.
struct HostMidiEvent {
    int32_t frame_offset;
    int32_t size;
    uint8_t message[4];
};

// Host-defined interface. Exactly these five virtual slots, in this order, so that a
// host compiled by another compiler calls the right ones; the destructor is protected
// and non-virtual so it takes no slot.
class MIDI_eventlist {
public:
    virtual void add_event(HostMidiEvent* event) = 0;
    virtual HostMidiEvent* enum_events(int* byte_position) = 0;
    virtual void delete_event(int byte_position) = 0;
    virtual int byte_size() = 0;
    virtual void clear() = 0;

protected:
    MIDI_eventlist() = default;
    ~MIDI_eventlist() = default;
};

struct MidiTransferBlock {
    double start_seconds;
    double sample_rate;
    int32_t one;
    int32_t frame_count;
    void* reserved_pointer;
    int32_t reserved_zero;
    int32_t unwritten;  // bytes 36..39: never written by the plug-in
    MIDI_eventlist* list;
    double reserved_doubles[3];
};

static_assert(sizeof(MidiTransferBlock) == 72, "MidiTransferBlock layout");
static_assert(offsetof(MidiTransferBlock, start_seconds) == 0, "MidiTransferBlock layout");
static_assert(offsetof(MidiTransferBlock, sample_rate) == 8, "MidiTransferBlock layout");
static_assert(offsetof(MidiTransferBlock, one) == 16, "MidiTransferBlock layout");
static_assert(offsetof(MidiTransferBlock, frame_count) == 20, "MidiTransferBlock layout");
static_assert(offsetof(MidiTransferBlock, reserved_pointer) == 24, "MidiTransferBlock layout");
static_assert(offsetof(MidiTransferBlock, reserved_zero) == 32, "MidiTransferBlock layout");
static_assert(offsetof(MidiTransferBlock, list) == 40, "MidiTransferBlock layout");
static_assert(offsetof(MidiTransferBlock, reserved_doubles) == 48, "MidiTransferBlock layout");
static_assert(offsetof(HostMidiEvent, message) == 8, "HostMidiEvent layout");

typedef const char* (*GetIniFileFn)();
typedef int (*TrackGetRawMidiFn)(void* track, MidiTransferBlock* block);
typedef double (*TimeMapTimeToQNFn)(void* timemap, double seconds);
typedef double (*TimeMapTimeToBeatsFn)(void* timemap, double seconds, int* measure_out,
                                       int* beats_per_measure_out, double* full_beats_out,
                                       int* denominator_out);
typedef double (*TimeMapBeatsToTimeFn)(void* timemap, double full_beats, const int* measure_in);

struct HostApi {
    GetIniFileFn get_ini_file;
    TrackGetRawMidiFn Track_GetRawMIDI;
    TimeMapTimeToQNFn TimeMap2_timeToQN;
    TimeMapTimeToBeatsFn TimeMap2_timeToBeats;
    TimeMapBeatsToTimeFn TimeMap2_beatsToTime;
};

// Process-wide; filled by VSTPluginMain.
extern HostApi g_host_api;

// Asks the host for the five functions, in the order get_ini_file, Track_GetRawMIDI,
// TimeMap2_timeToQN, TimeMap2_beatsToTime, TimeMap2_timeToBeats.
void fetch_host_api(audioMasterCallback host, HostApi* api);

// Context handles, asked with the instance's own record.
void* host_track_handle(audioMasterCallback host, AEffect* effect);
void* host_timemap_handle(audioMasterCallback host, AEffect* effect);
