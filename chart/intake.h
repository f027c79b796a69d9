// Limits of the chart model on what it takes from the host: which sample rates and
// transport positions it works with. Shared by the intake (audio thread) and the visible
// gem window (UI thread); anything outside them leaves the chart untouched.
#pragma once

// Beyond 10 MHz no audio interface exists, and the read-ahead (several seconds of
// samples, in blocks) would no longer end within a block.
constexpr double MAX_SAMPLE_RATE = 1.0e7;

// Sample positions are whole numbers in a double only up to 2^53.
constexpr double MAX_SAMPLE_POSITION = 9007199254740992.0;

// True for a positive, finite rate the chart model can divide by (NaN is false).
inline bool usable_sample_rate(double rate) { return rate > 0.0 && rate <= MAX_SAMPLE_RATE; }

inline bool usable_position(double position) {
    return position >= -MAX_SAMPLE_POSITION && position <= MAX_SAMPLE_POSITION;
}
