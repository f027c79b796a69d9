// What must hold of an instance's chart lists after any block or paint, whatever the host
// sent. Shared by the chart tests and the intake fuzzer; returns the first broken rule.
#pragma once

#include <cmath>
#include <cstdint>

#include "plugin/chart_preview.h"

// `max_frames`: the largest block size used so far (markers of a step follow its MIDI).
inline const char* chart_invariant_broken(const ChartPreview& p, int32_t max_frames) {
    if (p.events.size < 0 || p.events.size % static_cast<int32_t>(sizeof(ChartEvent)) != 0)
        return "event list size is not whole records";
    if (p.events.size > p.events.allocated) return "event list beyond its block";
    const ChartEvent* e = p.events.records<ChartEvent>();
    const int32_t n = p.events.count<ChartEvent>();
    int64_t latest = INT64_MIN;
    for (int32_t i = 0; i < n; ++i) {
        if (e[i].kind < KIND_TAP_PHRASE || e[i].kind > 127) return "kind out of range";
        if (e[i].length < 0 || e[i].length > OPEN_NOTE_LENGTH) return "length out of range";
        if (e[i].kind < 0 && e[i].kind >= KIND_DRUMS_TEXT && e[i].length != 0) return "marker with a length";
        if (e[i].smash_frame < 0 || e[i].smash_frame > 30) return "smash frame out of range";
        if (e[i].auto_hopo > 1 || e[i].styled > 1) return "flag not 0 or 1";
        if (static_cast<double>(e[i].position) > p.read_horizon) return "event beyond the read horizon";
        if (latest != INT64_MIN && e[i].position < latest - max_frames) return "events out of reading order";
        if (e[i].position > latest) latest = e[i].position;
    }
    if (p.swap_count < 0 || p.swap_count > SWAP_SWITCH_CAPACITY) return "swap count out of range";
    for (int32_t i = 1; i < p.swap_count; ++i)
        if (p.swap_switches[i].position <= p.swap_switches[i - 1].position)
            return "switch points not increasing";
    return nullptr;
}

inline const char* visible_invariant_broken(const ChartPreview& p, int32_t count) {
    if (count < 0 || count > p.visible.count<VisibleGem>()) return "count beyond the visible list";
    const VisibleGem* v = static_cast<const VisibleGem*>(p.visible.data);
    for (int32_t i = 0; i < count; ++i) {
        const VisibleGem& g = v[i];
        if (g.lane < -1 || g.lane > OPEN_LANE) return "lane out of range";
        // A smash counter never passes 30, so an animation slot lies in 27..46. Slots above
        // 43 occur when a lane-0 gem smashing in a five-lane mode becomes a kick (MODE changed
        // to drums) after its 21st paint; the renderer draws nothing for them.
        const bool gem_image = (g.image >= 0 && g.image <= OPEN_LANE) || (g.image >= 27 && g.image <= 46);
        if (g.lane == -1 ? !((g.image >= KIND_DRUMS_TEXT && g.image <= KIND_BEAT) ||
                             g.image == IMAGE_SOLO_STRIP || g.image == IMAGE_FILL_STRIP)
                         : !(gem_image || g.image == IMAGE_LANE_STRIP))
            return "image out of range";
        if (g.image == OPEN_LANE && g.lane != OPEN_LANE) return "open picture in another lane";
        if (g.variant > 2 || g.styled > 1) return "flag out of range";
        if (!(g.near < 1.0) || !std::isfinite(g.near) || !std::isfinite(g.tail))
            return "gem beyond the far end";
    }
    return nullptr;
}
