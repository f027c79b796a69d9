// Reading a .chart file, the text chart format of the common chart editor: its [Song]
// values, tempo map, global events and the difficulty sections of the five-lane
// instruments, read leniently (what cannot be read is skipped and summed up in warnings).
// Used by the .chart conversion (chart_song.h), the song step and the fuzz target.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "songfile/smf.h"

// One `tick = N type length` or `tick = S type length` line.
struct ChartItem {
    int64_t tick;
    int32_t type;
    int64_t length;
};

// One `tick = E text` line, the text without its quotes.
struct ChartText {
    int64_t tick;
    std::string text;
};

// One difficulty section of an instrument. Each list is in tick order (file order among
// equal ticks); a note or phrase given twice on a tick is kept once, with the longest length.
struct ChartDifficulty {
    bool present = false;
    std::vector<ChartItem> notes;    // N
    std::vector<ChartItem> phrases;  // S
    std::vector<ChartText> texts;    // E
};

// The instruments read, in the order their MIDI tracks are written.
enum ChartInstrument : int32_t {
    CHART_SINGLE,
    CHART_DOUBLE_GUITAR,
    CHART_DOUBLE_BASS,
    CHART_DOUBLE_RHYTHM,
    CHART_KEYBOARD,
    CHART_DRUMS,
    CHART_INSTRUMENTS
};

// A [Song] key naming an audio file (MusicStream, GuitarStream, ...), its value unquoted.
struct ChartStream {
    std::string key;
    std::string file;
};

struct ChartFile {
    int32_t resolution = 192;  // ticks per quarter note
    std::string name, artist, charter;  // from [Song], UTF-8, as written
    bool has_offset = false;
    int32_t offset_ms = 0;  // [Song] Offset: the chart sounds this much later against the audio
    std::vector<ChartStream> streams;
    // Tempo changes (the last of a tick) and time signatures by tick, each starting at tick
    // 0 (120 BPM and 4/4 when the file gives none there).
    std::vector<SmfTempo> tempos;
    std::vector<SmfTimeSignature> signatures;
    std::vector<ChartText> events;  // [Events]
    ChartDifficulty parts[CHART_INSTRUMENTS][4];  // Easy, Medium, Hard, Expert
};

// Largest .chart file read; real ones are well under a megabyte.
constexpr size_t MAX_CHART_BYTES = 64u << 20;

// Reads a whole .chart file image (any of the encodings decode_to_utf8 knows; LF or CRLF).
// False with a one-line reason in *error when nothing of a chart is in it (no section), or
// for what no render can use: a tempo of 0 beats per minute, a time signature of 0 beats, a
// Resolution of 0. Everything else that cannot be read adds to `warnings` (a few lines at
// most, each naming what was skipped).
bool chart_parse(const uint8_t* data, size_t size, ChartFile* out, std::vector<std::string>* warnings,
                 std::string* error);

// Reads and parses a file named in UTF-8; the reasons as chart_parse's, or why the file
// cannot be read.
bool chart_load(const std::string& path, ChartFile* out, std::vector<std::string>* warnings, std::string* error);
