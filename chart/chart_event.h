// Records of the chart model: the event list built by the intake (audio thread) and the
// visible list built once per paint (UI thread), with their constants.
#pragma once

#include <cstdint>

enum : int32_t {
    KIND_BEAT = -1,
    KIND_HALF_BEAT = -2,
    KIND_MEASURE = -3,
    KIND_MIX_SWAP = -4,
    KIND_MIX_PLAIN = -5,
    KIND_DRUMS_TEXT = -6,
};

constexpr int64_t OPEN_NOTE_LENGTH = 48000000;

// Seconds of chart on the highway, Easy to Expert.
constexpr double HIGHWAY_SPAN_SECONDS[4] = {2.4, 2.0, 1.6, 1.2};

struct ChartEvent {
    int64_t position;
    int32_t kind;
    int32_t smash_frame;
    int64_t length;
    uint8_t auto_hopo;
    uint8_t styled;
    uint8_t pad[6];
};
static_assert(sizeof(ChartEvent) == 32, "ChartEvent layout");

struct VisibleGem {
    int32_t image;
    int32_t lane;
    double near;
    double tail;
    uint8_t styled;
    uint8_t variant;
    uint8_t pad[6];
};
static_assert(sizeof(VisibleGem) == 32, "VisibleGem layout");

struct SwapSwitch {
    int64_t position;
    uint8_t on;
};

constexpr int32_t SWAP_SWITCH_CAPACITY = 100;

inline int32_t clamp_difficulty(int32_t d) { return d < 0 ? 0 : (d > 3 ? 3 : d); }
