// Small song folders for the tool tests: a chart (MIDI or .chart) at any resolution with
// gems at chosen moments, and WAV stems with a click at chosen moments.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "songfile/smf_writer.h"

namespace tool_test {

// Seconds per quarter note of the test charts (120 BPM).
constexpr double QUARTER_SECONDS = 0.5;

// Text events of an EVENTS track: each text at its moment in seconds.
using TextEvents = std::vector<std::pair<double, std::string>>;

// A chart of `division` ticks per quarter note at 120 BPM in 4/4: PART GUITAR and PART
// DRUMS each with an Expert gem (lanes in turn) at every moment of `gems` (seconds), an
// eighth of a quarter long, and nothing after `end` seconds, where the guitar part's last
// event lies: the end of a style phrase from 0 s, or with `phrase` false, a marker note.
// With `events`, a third track named EVENTS holds them.
inline std::string chart_bytes(int32_t division, const std::vector<double>& gems, double end, bool phrase = true,
                               const TextEvents& events = {}) {
    SmfWriter w;
    w.division = division;
    const auto tick = [&](double seconds) { return static_cast<int64_t>(std::llround(seconds / QUARTER_SECONDS * division)); };
    w.tracks.resize(3);
    SmfWriterTrack& tempo = w.tracks[0];
    tempo.name("test song");
    tempo.time_signature(0, 4, 4);
    tempo.tempo_bpm(0, 120.0);
    SmfWriterTrack& guitar = w.tracks[1];
    guitar.name("PART GUITAR");
    SmfWriterTrack& drums = w.tracks[2];
    drums.name("PART DRUMS");
    for (size_t i = 0; i < gems.size(); ++i) {
        guitar.note(tick(gems[i]), division / 8, 96 + static_cast<int>(i % 5), 100);
        drums.note(tick(gems[i]), division / 8, 96 + static_cast<int>(i % 5), 100);
    }
    if (phrase)
        guitar.note(0, tick(end), 116, 100);
    else
        guitar.note(tick(end) - division / 8, division / 8, 116, 100);
    if (!events.empty()) {
        SmfWriterTrack& t = w.add_track();
        t.name("EVENTS");
        for (const auto& e : events) t.text(tick(e.first), e.second);
    }
    const std::vector<uint8_t> bytes = w.bytes();
    return std::string(bytes.begin(), bytes.end());
}

// The same chart as a .chart file: PART GUITAR as ExpertSingle, PART DRUMS as plain
// ExpertDrums, and [Song] with `song_lines` (such as "Offset = 0.04\n").
inline std::string chart_text_bytes(int32_t division, const std::vector<double>& gems, double end,
                                    const std::string& song_lines = "") {
    const auto tick = [&](double seconds) { return static_cast<long long>(std::llround(seconds / QUARTER_SECONDS * division)); };
    std::string guitar, drums;
    for (size_t i = 0; i < gems.size(); ++i) {
        const std::string line = "  " + std::to_string(tick(gems[i])) + " = N " + std::to_string(i % 5) + " " +
                                 std::to_string(division / 8) + "\n";
        guitar += line;
        drums += line;
    }
    guitar += "  0 = S 2 " + std::to_string(tick(end)) + "\n";
    return "[Song]\n{\n  Name = \"test song\"\n  Resolution = " + std::to_string(division) + "\n" + song_lines +
           "}\n[SyncTrack]\n{\n  0 = TS 4\n  0 = B 120000\n}\n[ExpertSingle]\n{\n" + guitar +
           "}\n[ExpertDrums]\n{\n" + drums + "}\n";
}

// A 16-bit PCM WAV of `seconds` at `rate` with `channels` channels: silence with a click
// of amplitude `level` (of full scale) at each of `clicks` seconds, starting on the first
// sample at or after it: 10 ms of 1 kHz dying away, the same on every channel.
inline std::string click_wav(double seconds, const std::vector<double>& clicks, double level = 0.5,
                             int rate = 44100, int channels = 1) {
    const size_t frames = static_cast<size_t>(seconds * rate);
    std::vector<int16_t> mono(frames, 0);
    for (double c : clicks) {
        const size_t at = static_cast<size_t>(std::ceil(c * rate - 1e-9));
        for (size_t i = 0; i < static_cast<size_t>(rate / 100) && at + i < frames; ++i) {
            const double t = static_cast<double>(i) / rate;
            mono[at + i] = static_cast<int16_t>(std::lround(level * 32767.0 * std::sin(2.0 * M_PI * 1000.0 * t + 0.5) *
                                                            std::exp(-t / 0.004)));
        }
    }
    std::string out;
    const auto u32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) out += static_cast<char>(v >> (8 * i));
    };
    const auto u16 = [&](uint32_t v) {
        out += static_cast<char>(v);
        out += static_cast<char>(v >> 8);
    };
    const uint32_t data = static_cast<uint32_t>(frames * 2 * channels);
    out += "RIFF";
    u32(36 + data);
    out += "WAVEfmt ";
    u32(16);
    u16(1);
    u16(channels);
    u32(rate);
    u32(rate * 2 * channels);
    u16(2 * channels);
    u16(16);
    out += "data";
    u32(data);
    for (int16_t s : mono)
        for (int c = 0; c < channels; ++c) u16(static_cast<uint16_t>(s));
    return out;
}

}  // namespace tool_test
