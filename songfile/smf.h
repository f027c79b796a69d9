// Standard MIDI File reading (formats 0 and 1) into tracks of delivered-form events, with
// the file's tempo changes and time signatures. Used by the simulated host and its tools.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One event of a track, in file order. Its bytes are what a host hands a plug-in: a
// channel message with its full status byte (running status expanded), a meta event as in
// the file (0xFF, type, variable-length length, data), or a system-exclusive message (0xF0
// and its data, without the file's length). End-of-track markers and F7 packets are not kept.
struct SmfEvent {
    int64_t tick;
    uint32_t offset;  // into SmfTrack::bytes
    uint32_t size;
};

// Longest system-exclusive message kept (bytes, F0 included); longer ones are skipped.
constexpr uint32_t SMF_MAX_SYSEX_BYTES = 65536;

struct SmfTrack {
    std::string name;  // the first track-name meta event, or empty
    std::vector<SmfEvent> events;
    std::vector<uint8_t> bytes;

    const uint8_t* message(const SmfEvent& e) const { return bytes.data() + e.offset; }
};

struct SmfTempo {
    int64_t tick;
    uint32_t us_per_quarter;
};

struct SmfTimeSignature {
    int64_t tick;
    int32_t numerator;
    int32_t denominator;  // 1, 2, 4, ... 64
};

struct SmfFile {
    int32_t format = 1;
    int32_t division = 480;  // ticks per quarter note
    std::vector<SmfTrack> tracks;
    // From every track, ordered by tick (file order among equal ticks).
    std::vector<SmfTempo> tempos;
    std::vector<SmfTimeSignature> signatures;
};

// Parses a whole file image. On failure returns false with a one-line reason in *error
// (if given) and leaves *out empty; never reads outside [data, data + size).
bool smf_parse(const uint8_t* data, size_t size, SmfFile* out, std::string* error);

// Reads and parses a file named in UTF-8.
bool smf_load(const char* path, SmfFile* out, std::string* error);

// Index of the first track holding a note-on in the chart range 60..127, or -1.
int32_t smf_first_chart_track(const SmfFile& file);

// Index of the track with this exact name, or -1.
int32_t smf_find_track(const SmfFile& file, const char* name);
