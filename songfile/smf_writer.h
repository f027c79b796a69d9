// Writing Standard MIDI Files (format 1): tracks of events at absolute ticks, serialised
// with delta times and running status. Used by the demo chart generator and by tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct SmfWriterEvent {
    int64_t tick;
    int64_t order;  // insertion order, keeps equal ticks in the order they were added
    std::vector<uint8_t> bytes;  // status and data, or 0xFF type len data, or 0xF0 len data
};

struct SmfWriterTrack {
    std::vector<SmfWriterEvent> events;
    int64_t next_order = 0;

    void raw(int64_t tick, std::vector<uint8_t> bytes);
    void note_on(int64_t tick, int note, int velocity = 100, int channel = 0);
    void note_off(int64_t tick, int note, int channel = 0);
    // A note-on and its note-off `length` ticks later.
    void note(int64_t tick, int64_t length, int note, int velocity = 100, int channel = 0);
    void controller(int64_t tick, int number, int value, int channel = 0);
    void meta(int64_t tick, int type, const std::string& data);
    void text(int64_t tick, const std::string& text) { meta(tick, 0x01, text); }
    void name(const std::string& name) { meta(0, 0x03, name); }
    void tempo_bpm(int64_t tick, double bpm);
    void time_signature(int64_t tick, int numerator, int denominator);
};

struct SmfWriter {
    int32_t division = 480;
    std::vector<SmfWriterTrack> tracks;

    SmfWriterTrack& add_track() {
        tracks.emplace_back();
        return tracks.back();
    }
    // The whole file: header, then every track sorted by tick with an end-of-track
    // marker after its last event.
    std::vector<uint8_t> bytes() const;
};

// Appends a variable-length number.
void smf_put_vlq(std::vector<uint8_t>& out, uint32_t value);
