#include "chart/midi_list.h"

#include <cstring>

midi_List::midi_List() { storage.resize(1024, true); }

midi_List::~midi_List() = default;

int32_t midi_List::record_length(int32_t message_size) {
    if (message_size < 0) message_size = 0;
    const int32_t r = (8 + message_size + 3) & ~3;
    return r < 12 ? 12 : r;
}

void midi_List::add_event(HostMidiEvent* event) {
    if (!event || event->size < 0) return;
    const int32_t r = record_length(event->size);
    if (used > INT32_MAX - r) return;
    storage.resize(used + r, false);
    if (storage.size < used + r) return;  // no memory: the event is dropped
    uint8_t* at = static_cast<uint8_t*>(storage.data) + used;
    std::memcpy(at, &event->frame_offset, 4);
    std::memcpy(at + 4, &event->size, 4);
    std::memcpy(at + 8, event->message, static_cast<size_t>(event->size));
    used += r;
}

HostMidiEvent* midi_List::enum_events(int* byte_position) {
    if (!byte_position) return nullptr;
    const int p = *byte_position;
    if (p < 0 || p >= used - 8) return nullptr;
    uint8_t* at = static_cast<uint8_t*>(storage.data) + p;
    int32_t size;
    std::memcpy(&size, at + 4, 4);
    const int32_t r = record_length(size);
    if (size < 0 || p + r > used) return nullptr;
    *byte_position = p + r;
    return reinterpret_cast<HostMidiEvent*>(at);
}

void midi_List::delete_event(int p) {
    if (p < 0 || p >= used - 8) return;
    uint8_t* base = static_cast<uint8_t*>(storage.data);
    int32_t size;
    std::memcpy(&size, base + p + 4, 4);
    const int32_t r = record_length(size);
    if (size < 0 || p + r > used) return;
    std::memmove(base + p, base + p + r, static_cast<size_t>(used - p - r));
    used -= r;
}

int midi_List::byte_size() { return used; }

void midi_List::clear() { used = 0; }
