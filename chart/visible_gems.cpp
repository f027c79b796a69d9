// Visible gem window: once per painted frame, turns the chart event list into the gems and
// lines between the strike line and the far end of the highway, advancing smash
// animations and dropping what lies wholly behind the display position.
#include <cmath>

#include "chart/intake.h"
#include "plugin/chart_preview.h"

namespace {

// Samples [start, end) covered by a phrase; empty is start 1, end 0.
struct Range {
    int64_t start = 1;
    int64_t end = 0;

    void set(int64_t p, int64_t length) {
        start = p;
        end = p + length;
    }
    bool covers(int64_t p) const { return p >= start && p < end; }
};

constexpr int32_t IMAGE_SMASH = 27;  // ten smash pictures, three paints each
constexpr int32_t IMAGE_KICK_FLASH = 37;  // seven kick-flash pictures
constexpr int32_t SMASH_PAINTS = 30;
constexpr int32_t KICK_SMASH_PAINTS = 21;

struct Phrases {
    Range style, forced_hopo, forced_strum, tom[3];
};

// Flags of the gems at one position, found by scanning the events listed after the first
// of them.
struct ChordState {
    int64_t position = -1;
    bool style = false, chord = false, swap = false;
    bool tom[3] = {false, false, false};
};

// The last switch point at or before p is on (none: off).
bool swapped_at(const ChartPreview& self, int64_t p) {
    int32_t lo = 0, hi = self.swap_count;  // first switch point after p
    while (lo < hi) {
        const int32_t mid = (lo + hi) / 2;
        if (self.swap_switches[mid].position <= p)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo > 0 && self.swap_switches[lo - 1].on != 0;
}

int32_t smash_image(int32_t lane, int32_t smash_frame, bool kick) {
    if (smash_frame <= 0) return lane;
    return (kick ? IMAGE_KICK_FLASH : IMAGE_SMASH) + (smash_frame - 1) / 3;
}

}  // namespace

void ChartPreview::add_swap_switch(int64_t position, bool on) {
    if (swap_count > 0 && position <= swap_switches[swap_count - 1].position) return;
    if (swap_count >= SWAP_SWITCH_CAPACITY) return;
    swap_switches[swap_count].position = position;
    swap_switches[swap_count].on = on ? 1 : 0;
    ++swap_count;
}

int32_t ChartPreview::compute_visible_gems(bool drums) {
    ScopedLock hold(lock);
    const double rate = sample_rate;
    if (!usable_sample_rate(rate)) return 0;
    if (!(display_position >= 0.0 && display_position <= MAX_SAMPLE_POSITION)) return 0;

    const int32_t d = clamp_difficulty(difficulty);
    const int32_t base = 60 + 12 * d;
    const double span = HIGHWAY_SPAN_SECONDS[d];
    const bool keys = mode == 3;
    const bool pro = mode == 1;
    const int64_t now = static_cast<int64_t>(display_position);

    Phrases phrases;
    ChordState chord;
    int32_t written = 0;
    const int32_t record = static_cast<int32_t>(sizeof(VisibleGem));

    ChartEvent* ev = events.records<ChartEvent>();
    const int32_t n = events.count<ChartEvent>();
    int32_t kept = 0;
    for (int32_t i = 0; i < n; ++i) {
        ChartEvent& e = ev[i];
        const int64_t p = e.position;
        const int32_t k = e.kind;
        const double distance = static_cast<double>(p - now) / rate;

        if (k == 116) {
            phrases.style.set(p, e.length);
        } else if (drums) {
            if (k == KIND_MIX_SWAP)
                add_swap_switch(p, true);
            else if (k == KIND_MIX_PLAIN || k == KIND_DRUMS_TEXT)
                add_swap_switch(p, false);
            else if (k >= 110 && k <= 112)
                phrases.tom[k - 110].set(p, e.length);
        } else if (k == base + 5) {
            phrases.forced_hopo.set(p, e.length);
        } else if (k == base + 6) {
            phrases.forced_strum.set(p, e.length);
        }

        const bool gem = k >= base && k <= base + 4;
        const bool kick = drums && k == base;
        double x = distance;
        if (distance <= 0.0 && gem) {
            if (e.smash_frame < (kick ? KICK_SMASH_PAINTS : SMASH_PAINTS)) {
                ++e.smash_frame;
                x = 0.0;  // held on the strike line while the smash plays
            }
        }
        const double tail = static_cast<double>(e.length) / rate + distance - x;
        double sustain = tail < 0.0 ? 0.0 : tail;
        if (kick) sustain = 0.0;
        if (sustain + x < 0.0) continue;  // wholly behind the display position: removed

        if (x < span && (k < 0 || gem)) {
            VisibleGem v{};
            v.variant = 0;
            if (k < 0) {
                v.lane = -1;
                v.styled = 0;
                v.image = k;
            } else {
                int32_t lane = k - base;
                v.lane = lane;
                v.image = smash_image(lane, e.smash_frame, kick);

                if (p != chord.position) {
                    chord = ChordState{};
                    chord.position = p;
                    for (int32_t j = i + 1; j < n && ev[j].position == p; ++j) {
                        const int32_t f = ev[j].kind;
                        if (f == 116) {
                            chord.style = true;
                        } else if (drums) {
                            if (f == KIND_MIX_SWAP) {
                                add_swap_switch(p, true);
                                chord.swap = true;
                            } else if (f == KIND_MIX_PLAIN || f == KIND_DRUMS_TEXT) {
                                add_swap_switch(p, false);
                            } else if (f >= 110 && f <= 112) {
                                chord.tom[f - 110] = true;
                            }
                        } else if (f == base + 5) {
                            phrases.forced_hopo.set(p, ev[j].length);
                        } else if (f == base + 6) {
                            phrases.forced_strum.set(p, ev[j].length);
                        } else if (f >= base && f <= base + 4) {
                            chord.chord = true;
                        }
                    }
                }

                if (e.styled || chord.style || phrases.style.covers(p)) {
                    v.styled = 1;
                    e.styled = 1;  // outlives the phrase's own event
                }

                if (drums) {
                    if (lane >= 2)
                        v.variant = chord.tom[lane - 2] || phrases.tom[lane - 2].covers(p) ? 1 : 0;
                    if (pro && (chord.swap || swapped_at(*this, p))) {
                        chord.swap = true;
                        if (lane == 1 || lane == 2) {
                            // Red and yellow trade lanes: lane 1 becomes a lane-2 cymbal,
                            // lane 2 a lane-1 gem marked as moved.
                            lane = lane == 1 ? 2 : 1;
                            v.variant = lane == 1 ? 1 : 0;
                            v.lane = lane;
                            v.image = smash_image(lane, e.smash_frame, false);
                        }
                    }
                } else if (!keys) {
                    const uint8_t automatic = chord.chord ? 0 : e.auto_hopo;
                    if (phrases.forced_hopo.covers(p))
                        v.variant = 1;
                    else if (phrases.forced_strum.covers(p))
                        v.variant = 0;
                    else
                        v.variant = automatic;
                }
            }
            v.near = x / span;
            v.tail = tail / span;

            const int32_t want = (written + 1) * record;
            visible.resize(want, false);
            if (visible.size == want) visible.records<VisibleGem>()[written++] = v;
        }

        if (kept != i) ev[kept] = e;
        ++kept;
    }
    events.resize(kept * static_cast<int32_t>(sizeof(ChartEvent)), false);
    return written;
}
