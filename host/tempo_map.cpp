#include "host/tempo_map.h"

#include <algorithm>
#include <cmath>

namespace {

// Musical values land on exact fractions (a half beat, a quarter note), but a round trip
// through samples leaves them an ulp or two off. Such results are snapped back so that a
// caller testing "b >= 4" at a measure line gets the answer a DAW would give.
double snap(double v) {
    const double grid = 1048576.0;  // 2^20 steps per unit
    const double s = std::round(v * grid) / grid;
    return std::fabs(v - s) < 1e-9 ? s : v;
}

const TempoSegment& tempo_at_tick(const TempoMap& map, double ticks) {
    auto it = std::upper_bound(map.tempo.begin() + 1, map.tempo.end(), ticks,
                               [](double t, const TempoSegment& s) { return t < double(s.tick); });
    return *(it - 1);
}

const TempoSegment& tempo_at_seconds(const TempoMap& map, double seconds) {
    auto it = std::upper_bound(map.tempo.begin() + 1, map.tempo.end(), seconds,
                               [](double t, const TempoSegment& s) { return t < s.seconds; });
    return *(it - 1);
}

const SignatureSegment& signature_at_quarter(const TempoMap& map, double quarters) {
    auto it = std::upper_bound(
        map.signatures.begin() + 1, map.signatures.end(), quarters,
        [](double q, const SignatureSegment& s) { return q < s.quarter; });
    return *(it - 1);
}

const SignatureSegment& signature_at_beats(const TempoMap& map, double beats) {
    auto it = std::upper_bound(map.signatures.begin() + 1, map.signatures.end(), beats,
                               [](double b, const SignatureSegment& s) { return b < s.beats; });
    return *(it - 1);
}

void add_signature(TempoMap& map, double quarter, int32_t numerator, int32_t denominator) {
    if (!map.signatures.empty()) {
        SignatureSegment& last = map.signatures.back();
        if (quarter <= last.quarter) {  // same position: the later one wins
            last.numerator = numerator;
            last.denominator = denominator;
            return;
        }
        const double beats = (quarter - last.quarter) * last.denominator / 4.0;
        // Measures begun in the previous signature, a cut-short last one included.
        const double measures = std::ceil(beats / last.numerator - 1e-9);
        SignatureSegment s{quarter, snap(last.beats + beats),
                           last.measure + static_cast<int64_t>(measures), numerator, denominator};
        map.signatures.push_back(s);
        return;
    }
    map.signatures.push_back(SignatureSegment{0.0, 0.0, 0, numerator, denominator});
}

}  // namespace

TempoMap tempo_map_default() {
    TempoMap map;
    map.division = 480;
    map.tempo.push_back(TempoSegment{0, 0.0, 0.5 / 480.0});
    map.signatures.push_back(SignatureSegment{0.0, 0.0, 0, 4, 4});
    return map;
}

TempoMap tempo_map_from(const SmfFile& file) {
    TempoMap map;
    map.division = file.division > 0 ? file.division : 480;
    const double per_tick_us = 1.0 / (1e6 * map.division);
    map.tempo.push_back(TempoSegment{0, 0.0, 500000.0 * per_tick_us});
    for (const SmfTempo& t : file.tempos) {
        TempoSegment& last = map.tempo.back();
        const double spt = t.us_per_quarter * per_tick_us;
        if (t.tick <= last.tick) {
            last.seconds_per_tick = spt;
            continue;
        }
        const double seconds = last.seconds + double(t.tick - last.tick) * last.seconds_per_tick;
        map.tempo.push_back(TempoSegment{t.tick, seconds, spt});
    }
    map.signatures.push_back(SignatureSegment{0.0, 0.0, 0, 4, 4});
    for (const SmfTimeSignature& s : file.signatures)
        add_signature(map, double(s.tick) / map.division, s.numerator, s.denominator);
    return map;
}

double tempo_ticks_to_seconds(const TempoMap& map, double ticks) {
    const TempoSegment& s = tempo_at_tick(map, ticks);
    return s.seconds + (ticks - double(s.tick)) * s.seconds_per_tick;
}

double tempo_seconds_to_ticks(const TempoMap& map, double seconds) {
    const TempoSegment& s = tempo_at_seconds(map, seconds);
    return double(s.tick) + (seconds - s.seconds) / s.seconds_per_tick;
}

double tempo_seconds_to_quarters(const TempoMap& map, double seconds) {
    return snap(tempo_seconds_to_ticks(map, seconds) / map.division);
}

double tempo_quarters_to_seconds(const TempoMap& map, double quarters) {
    return tempo_ticks_to_seconds(map, quarters * map.division);
}

double tempo_time_to_beats(const TempoMap& map, double seconds, int* measure,
                           int* beats_per_measure, double* full_beats, int* denominator) {
    const double q = tempo_seconds_to_ticks(map, seconds) / map.division;
    const SignatureSegment& s = signature_at_quarter(map, q);
    const double in_segment = snap((q - s.quarter) * s.denominator / 4.0);
    const double whole = std::floor(in_segment / s.numerator);
    const double beat = in_segment - whole * s.numerator;
    if (measure) {
        double m = double(s.measure) + whole;
        if (!(m > -2e9)) m = -2e9;  // also NaN
        if (m > 2e9) m = 2e9;
        *measure = static_cast<int>(m);
    }
    if (beats_per_measure) *beats_per_measure = s.numerator;
    if (full_beats) *full_beats = snap(s.beats + in_segment);
    if (denominator) *denominator = s.denominator;
    return beat;
}

double tempo_beats_to_time(const TempoMap& map, double full_beats, const int* measure) {
    double beats = full_beats;
    if (measure) {
        // Start of the given measure: find the signature segment that holds it.
        const int64_t m = *measure;
        auto it = std::upper_bound(
            map.signatures.begin() + 1, map.signatures.end(), m,
            [](int64_t v, const SignatureSegment& s) { return v < s.measure; });
        const SignatureSegment& s = *(it - 1);
        beats += s.beats + double(m - s.measure) * s.numerator;
    }
    const SignatureSegment& s = signature_at_beats(map, beats);
    const double q = s.quarter + (beats - s.beats) * 4.0 / s.denominator;
    return tempo_quarters_to_seconds(map, q);
}
