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
    // Five-lane modifier phrases, read from SysEx messages: every gem they cover is an open
    // (a green gem; other lanes hide) or a tap. Never output themselves.
    KIND_OPEN_PHRASE = -7,
    KIND_TAP_PHRASE = -8,
};

// Image kinds of the visible list's strips: bands along the highway under the gems.
enum : int32_t {
    IMAGE_SOLO_STRIP = -10,
    IMAGE_FILL_STRIP = -11,
    IMAGE_LANE_STRIP = -12,
};

// Chart notes beyond the five gem lanes of a difficulty's base note b.
enum : int32_t {
    NOTE_EXPERT_PLUS_KICK = 95,  // drums: the second pedal's kick, Expert only
    NOTE_SOLO = 103,
    NOTE_TAP = 104,              // five-lane: a tap phrase of every difficulty
    NOTE_STYLE = 116,
    NOTE_FILL = 120,             // drums: a fill, one for every difficulty
    NOTE_TREMOLO_LANE = 126,     // five-lane tremolo or drum roll
    NOTE_TRILL_LANE = 127,       // five-lane trill or two-pad roll
};

// The lane of an open gem in the visible list: the bar across the five lanes.
constexpr int32_t OPEN_LANE = 5;

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
    uint8_t velocity;  // of the note-on; a lane phrase's velocity says its difficulties
    uint8_t pad[5];
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
