// The plug-in's implementation of the host's MIDI_eventlist: records stored back to back
// in a HeapBuffer. Filled by the host inside Track_GetRawMIDI, read by the intake, both
// on the audio thread under the instance lock.
#pragma once

#include <cstdint>

#include "chart/heap_buffer.h"
#include "plugin/host_api.h"

class midi_List final : public MIDI_eventlist {
public:
    midi_List();
    ~midi_List();
    midi_List(const midi_List&) = delete;
    midi_List& operator=(const midi_List&) = delete;

    void add_event(HostMidiEvent* event) override;
    HostMidiEvent* enum_events(int* byte_position) override;
    void delete_event(int byte_position) override;
    int byte_size() override;
    void clear() override;

    // Bytes one record of `message_size` bytes occupies: 8 + size rounded up to 4, at least 12.
    static int32_t record_length(int32_t message_size);

    int32_t used = 0;
    HeapBuffer storage{1024};
};
