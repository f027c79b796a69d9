// Visible gem window: once per painted frame, turns the chart event list into the gems and
// lines between the strike line and the far end of the highway, advancing smash
// animations and dropping what lies wholly behind the display position.
#include <cmath>
#include <utility>

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
    // With the end sample: a tap phrase from SysEx covers the gem on its end.
    bool covers_through(int64_t p) const { return p >= start && p <= end; }
};

constexpr int32_t IMAGE_SMASH = 27;  // ten smash pictures, three paints each
constexpr int32_t IMAGE_KICK_FLASH = 37;  // seven kick-flash pictures
constexpr int32_t SMASH_PAINTS = 30;
constexpr int32_t KICK_SMASH_PAINTS = 21;

struct Phrases {
    Range style, forced_hopo, forced_strum, tom[3];
    Range open, tap, tap_note;  // SysEx open and tap phrases; note-104 taps
};

// Flags of the gems at one position, found by scanning the events listed after the first
// of them.
struct ChordState {
    int64_t position = -1;
    bool style = false, chord = false, swap = false;
    bool tom[3] = {false, false, false};
    int32_t open_record = -1;  // the visible record of an open at this position
};

// What the walk knows of the chart's shape for this call.
struct Lanes {
    int32_t base;        // the difficulty's first gem note
    bool drums;
    bool five;           // Guitar/Bass: opens and taps
    bool opens;          // Guitar/Bass with note base - 1 as the open lane
    bool expert;

    // The lane of a gem of this difficulty (0..4, OPEN_LANE for an open; the Expert+ kick
    // is a kick, lane 0), or -1 when `kind` is no gem of it.
    int32_t of(int32_t kind) const {
        if (kind >= base && kind <= base + 4) return kind - base;
        if (opens && kind == base - 1) return OPEN_LANE;
        if (drums && expert && kind == NOTE_EXPERT_PLUS_KICK) return 0;
        return -1;
    }
};

// The five-lane phrases an event may start: forced HOPO and strum, opens and taps. False
// when it starts none of them.
bool set_five_lane_phrase(Phrases& phrases, int32_t base, const ChartEvent& e) {
    Range* range;
    if (e.kind == base + 5) range = &phrases.forced_hopo;
    else if (e.kind == base + 6) range = &phrases.forced_strum;
    else if (e.kind == KIND_OPEN_PHRASE) range = &phrases.open;
    else if (e.kind == KIND_TAP_PHRASE) range = &phrases.tap;
    else if (e.kind == NOTE_TAP) range = &phrases.tap_note;
    else return false;
    range->set(e.position, e.length);
    return true;
}

// A lane phrase (tremolo, trill, roll) shows at Expert, and lower as its velocity says:
// 41..50 from Hard, 31..40 from Medium, 21..30 on every difficulty.
bool lane_phrase_shows(int32_t difficulty, uint8_t velocity) {
    if (difficulty >= 3) return true;
    static const int32_t highest[3] = {30, 40, 50};
    return velocity >= 21 && velocity <= highest[difficulty];
}

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

bool in_open_phrase(const ChartEvent* ev, int32_t n, int64_t p) {
    for (int32_t i = 0; i < n; ++i)
        if (ev[i].kind == KIND_OPEN_PHRASE && p >= ev[i].position && p < ev[i].position + ev[i].length)
            return true;
    return false;
}

// Bit i set for every lane i (after the lane swap, kicks left out) in which a gem of the
// difficulty lies in [start, end), among the n events of the list.
uint32_t covered_lanes(const ChartPreview& self, const Lanes& lanes, bool pro, const ChartEvent* ev,
                       int32_t n, int64_t start, int64_t end) {
    uint32_t mask = 0;
    for (int32_t i = 0; i < n; ++i) {
        const int64_t q = ev[i].position;
        if (q < start || q >= end) continue;
        int32_t lane = lanes.of(ev[i].kind);
        if (lane < 0 || (lanes.drums && lane == 0)) continue;
        if (lanes.drums) {
            if (pro && (lane == 1 || lane == 2) && swapped_at(self, q)) lane = 3 - lane;
        } else if (lanes.five && lane != OPEN_LANE && in_open_phrase(ev, n, q)) {
            // Under a SysEx open phrase the green gem is the open and the others hide.
            if (lane != 0) continue;
            lane = OPEN_LANE;
        }
        mask |= 1u << lane;
    }
    return mask;
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
    const bool five = !drums && !keys;
    const Lanes lanes{base, drums, five, five && enhanced_opens != 0, d == 3};
    const int64_t now = static_cast<int64_t>(display_position);

    Phrases phrases;
    ChordState chord;
    int32_t written = 0;
    const int32_t record = static_cast<int32_t>(sizeof(VisibleGem));
    const auto output = [&](const VisibleGem& v) {
        const int32_t want = (written + 1) * record;
        visible.resize(want, false);
        if (visible.size != want) return false;
        visible.records<VisibleGem>()[written++] = v;
        return true;
    };
    bool lane_phrases = false;

    ChartEvent* ev = events.records<ChartEvent>();
    const int32_t n = events.count<ChartEvent>();
    int32_t kept = 0;
    for (int32_t i = 0; i < n; ++i) {
        ChartEvent& e = ev[i];
        const int64_t p = e.position;
        const int32_t k = e.kind;
        const double distance = static_cast<double>(p - now) / rate;

        if (k == NOTE_STYLE) {
            phrases.style.set(p, e.length);
        } else if (drums) {
            if (k == KIND_MIX_SWAP)
                add_swap_switch(p, true);
            else if (k == KIND_MIX_PLAIN || k == KIND_DRUMS_TEXT)
                add_swap_switch(p, false);
            else if (k >= 110 && k <= 112)
                phrases.tom[k - 110].set(p, e.length);
        } else {
            set_five_lane_phrase(phrases, base, e);
        }

        int32_t lane = lanes.of(k);
        const bool gem = lane >= 0;
        const bool kick = drums && lane == 0;
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

        if (x < span && k < 0 && k >= KIND_DRUMS_TEXT) {
            VisibleGem v{};
            v.lane = -1;
            v.image = k;
            v.near = x / span;
            v.tail = tail / span;
            output(v);
        } else if (x < span && gem) {
            VisibleGem v{};
            v.lane = lane;
            v.image = smash_image(lane, e.smash_frame, kick);

            if (p != chord.position) {
                chord = ChordState{};
                chord.position = p;
                for (int32_t j = i + 1; j < n && ev[j].position == p; ++j) {
                    const int32_t f = ev[j].kind;
                    if (f == NOTE_STYLE) {
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
                    } else if (!set_five_lane_phrase(phrases, base, ev[j]) && lanes.of(f) >= 0) {
                        chord.chord = true;
                    }
                }
            }

            // Under a SysEx open phrase the green gem is the open; the other lanes' gems
            // there are not drawn, as the games show one open for a covered chord.
            bool hidden = false;
            if (five && lane != OPEN_LANE && phrases.open.covers(p)) {
                if (lane == 0) {
                    lane = OPEN_LANE;
                    v.lane = lane;
                    v.image = smash_image(lane, e.smash_frame, false);
                } else {
                    hidden = true;
                }
            }

            if (e.styled || chord.style || phrases.style.covers(p)) {
                v.styled = 1;
                e.styled = 1;  // outlives the phrase's own event
            }

            if (drums) {
                if (lane >= 2)
                    v.variant = chord.tom[lane - 2] || phrases.tom[lane - 2].covers(p) ? 1 : 0;
                if (k == NOTE_EXPERT_PLUS_KICK) v.variant = 2;
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
            } else if (five) {
                const uint8_t automatic = chord.chord ? 0 : e.auto_hopo;
                if (phrases.forced_hopo.covers(p))
                    v.variant = 1;
                else if (phrases.forced_strum.covers(p))
                    v.variant = 0;
                else
                    v.variant = automatic;
                // A tap beats every other state; an open under a tap is a HOPO open.
                if (phrases.tap.covers_through(p) || phrases.tap_note.covers(p))
                    v.variant = lane == OPEN_LANE ? 1 : 2;
            }
            v.near = x / span;
            v.tail = tail / span;
            if (!hidden && output(v)) {
                // An open lies under the frets of its chord: it is kept after them in the
                // list, which the renderer walks from the last record to the first.
                VisibleGem* out = visible.records<VisibleGem>();
                if (lane == OPEN_LANE) {
                    chord.open_record = written - 1;
                } else if (chord.open_record >= 0) {
                    std::swap(out[chord.open_record], out[written - 1]);
                    chord.open_record = written - 1;
                }
            }
        } else if (x < span && (k == NOTE_SOLO || (drums && k == NOTE_FILL))) {
            VisibleGem v{};
            v.lane = -1;
            v.image = k == NOTE_SOLO ? IMAGE_SOLO_STRIP : IMAGE_FILL_STRIP;
            v.near = x / span;
            v.tail = tail / span;
            output(v);
        } else if (x < span && (k == NOTE_TREMOLO_LANE || k == NOTE_TRILL_LANE) &&
                   lane_phrase_shows(d, e.velocity)) {
            lane_phrases = true;  // output once the switch table holds the whole list's points
        }

        if (kept != i) ev[kept] = e;
        ++kept;
    }
    events.resize(kept * static_cast<int32_t>(sizeof(ChartEvent)), false);

    // A lane phrase shows as one strip per lane its gems use, after the other records.
    for (int32_t i = 0; lane_phrases && i < kept; ++i) {
        const ChartEvent& e = ev[i];
        if (e.kind != NOTE_TREMOLO_LANE && e.kind != NOTE_TRILL_LANE) continue;
        const double distance = static_cast<double>(e.position - now) / rate;
        if (!(distance < span) || !lane_phrase_shows(d, e.velocity)) continue;
        const uint32_t mask =
            covered_lanes(*this, lanes, pro, ev, kept, e.position, e.position + e.length);
        for (int32_t lane = 0; lane <= OPEN_LANE; ++lane) {
            if (!(mask & (1u << lane))) continue;
            VisibleGem v{};
            v.lane = lane;
            v.image = IMAGE_LANE_STRIP;
            v.near = distance / span;
            v.tail = static_cast<double>(e.length) / rate / span;
            output(v);
        }
    }
    return written;
}
