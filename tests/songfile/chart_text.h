// Small .chart files for the reader's tests: parsed from text, and the MIDI the conversion
// writes, read back as notes with their lengths and as text events.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "songfile/chart_file.h"
#include "songfile/chart_song.h"

namespace chart_test {

// Parses `text`; fails the test when it is refused.
inline ChartFile parse(const std::string& text, std::vector<std::string>* warnings = nullptr) {
    ChartFile chart;
    std::vector<std::string> w;
    std::string error;
    EXPECT_TRUE(chart_parse(reinterpret_cast<const uint8_t*>(text.data()), text.size(), &chart,
                            warnings ? warnings : &w, &error))
        << error;
    return chart;
}

// A chart of resolution `resolution` with the sections given as "[Name]" and their lines.
inline std::string chart_text(const std::vector<std::pair<std::string, std::string>>& sections,
                              int32_t resolution = 192) {
    std::string text = "[Song]\n{\n  Resolution = " + std::to_string(resolution) + "\n}\n";
    for (const auto& s : sections) text += "[" + s.first + "]\n{\n" + s.second + "}\n";
    return text;
}

struct Note {
    int64_t tick;
    int note;
    int64_t length;
    int velocity;
    bool operator==(const Note& o) const {
        return tick == o.tick && note == o.note && length == o.length && velocity == o.velocity;
    }
};

inline std::ostream& operator<<(std::ostream& out, const Note& n) {
    return out << "{" << n.tick << ", " << n.note << ", " << n.length << ", " << n.velocity << "}";
}

// The track's notes of numbers lo..hi in the order of their note-ons, each with the
// distance to its note-off. A note-on that never ends has length -1.
inline std::vector<Note> notes(const SmfTrack& t, int lo = 0, int hi = 127) {
    std::vector<Note> out;
    std::map<int, std::vector<size_t>> open;
    for (const SmfEvent& e : t.events) {
        const uint8_t* m = t.message(e);
        if (e.size != 3 || m[1] < lo || m[1] > hi) continue;
        const bool on = (m[0] & 0xF0) == 0x90 && m[2] > 0;
        const bool off = (m[0] & 0xF0) == 0x80 || ((m[0] & 0xF0) == 0x90 && m[2] == 0);
        if (on) {
            open[m[1]].push_back(out.size());
            out.push_back(Note{e.tick, m[1], -1, m[2]});
        } else if (off && !open[m[1]].empty()) {
            Note& n = out[open[m[1]].front()];
            n.length = e.tick - n.tick;
            open[m[1]].erase(open[m[1]].begin());
        }
    }
    return out;
}

// The track's meta events of `type` (1: text, 5: lyric) with their ticks.
inline std::vector<std::pair<int64_t, std::string>> texts(const SmfTrack& t, uint8_t type = 0x01) {
    std::vector<std::pair<int64_t, std::string>> out;
    for (const SmfEvent& e : t.events) {
        const uint8_t* m = t.message(e);
        if (e.size < 3 || m[0] != 0xFF || m[1] != type) continue;
        size_t at = 2;
        uint32_t length = 0;
        while (at < e.size && (m[at] & 0x80)) length = length << 7 | (m[at++] & 0x7F);
        length = length << 7 | (m[at++] & 0x7F);
        out.emplace_back(e.tick, std::string(reinterpret_cast<const char*>(m + at), length));
    }
    return out;
}

// The song's track named `name`, or a failure.
inline const SmfTrack* track(const SmfFile& song, const std::string& name) {
    for (const SmfTrack& t : song.tracks)
        if (t.name == name) return &t;
    ADD_FAILURE() << "no track " << name;
    return nullptr;
}

}  // namespace chart_test
