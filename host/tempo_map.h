// The simulated host's time map: seconds <-> ticks and quarter notes through every tempo
// change, and beats and measures through the time signatures. Built from a MIDI file or
// as the default 120 BPM 4/4 map; read by the host's TimeMap2_* and Track_GetRawMIDI.
#pragma once

#include <cstdint>
#include <vector>

#include "songfile/smf.h"

struct TempoSegment {
    int64_t tick;             // where this tempo starts
    double seconds;           // time at `tick`
    double seconds_per_tick;
};

// A time signature in force from `quarter` on. A signature always starts a new measure;
// a measure cut short by the next signature still counts as one.
struct SignatureSegment {
    double quarter;     // quarter notes from time 0
    double beats;       // full beats from time 0 at `quarter`
    int64_t measure;    // index of the measure starting at `quarter`
    int32_t numerator;  // beats per measure
    int32_t denominator;
};

struct TempoMap {
    int32_t division = 480;
    std::vector<TempoSegment> tempo;          // first at tick 0
    std::vector<SignatureSegment> signatures;  // first at quarter 0
};

// 120 BPM, 4/4, 480 ticks per quarter note.
TempoMap tempo_map_default();
TempoMap tempo_map_from(const SmfFile& file);

double tempo_ticks_to_seconds(const TempoMap& map, double ticks);
double tempo_seconds_to_ticks(const TempoMap& map, double seconds);
double tempo_seconds_to_quarters(const TempoMap& map, double seconds);
double tempo_quarters_to_seconds(const TempoMap& map, double quarters);

// Beats are counted in the signature's denominator unit (in 6/8 a beat is an eighth).
// Returns the beat within the measure; writes the measure index, the measure's beat
// count, the beats from time 0 and the denominator (any output may be null).
double tempo_time_to_beats(const TempoMap& map, double seconds, int* measure,
                           int* beats_per_measure, double* full_beats, int* denominator);

// Seconds at `full_beats` beats from time 0, or, with a measure given, beats counted from
// the start of that measure.
double tempo_beats_to_time(const TempoMap& map, double full_beats, const int* measure);
