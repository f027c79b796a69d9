// make-demo-chart OUTPUT.mid [SONG_FOLDER]: writes the project's own demo chart, a fast song
// with guitar, drums and keys parts in all four difficulties. It is a test input of the
// chart model and the renderer tool's default song. With SONG_FOLDER it also writes a song
// folder as charters share them: the chart as notes.mid, a song.ini, and guitar.wav, a
// tone on every Expert guitar gem (pitched by lane) so that anyone can hear the sync.
// Deterministic: the same bytes on every run.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "songfile/smf.h"
#include "songfile/smf_writer.h"
#include "host/tempo_map.h"

namespace {

constexpr int64_t Q = 480;  // ticks per quarter note

// The song's form: 64 measures, 4/4 except a stretch of 7/8.
struct Measure {
    int64_t start;
    int64_t length;
};

std::vector<Measure> song_measures() {
    std::vector<Measure> m;
    int64_t at = 0;
    for (int i = 0; i < 64; ++i) {
        const bool seven_eight = i >= 24 && i < 28;
        const int64_t length = seven_eight ? 7 * Q / 2 : 4 * Q;
        m.push_back(Measure{at, length});
        at += length;
    }
    return m;
}

// Small deterministic generator, so the chart never changes between builds.
struct Lcg {
    uint32_t state = 0x7157u;
    uint32_t next() {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    }
    int below(int n) { return static_cast<int>(next() % static_cast<uint32_t>(n)); }
};

// One moment of a part: a chord of lanes (bit i = lane i, bit 5 the open) and how long its
// notes last.
struct Slot {
    int64_t tick;
    int lanes;
    int64_t length;
};

constexpr int OPEN_BIT = 1 << 5;

int lane_bits(int a) { return 1 << a; }
int chord_bits(int a, int b) { return (1 << a) | (1 << b); }

// Expert guitar (or keys) for one measure, by pattern.
void guitar_measure(std::vector<Slot>& out, const Measure& m, int pattern, Lcg& rng) {
    const int64_t s = m.start;
    switch (pattern) {
    case 0: {  // eighths walking, short notes
        int lane = rng.below(5);
        for (int64_t t = 0; t < m.length; t += Q / 2) {
            out.push_back(Slot{s + t, lane_bits(lane), Q / 4});
            lane = (lane + 1 + rng.below(3)) % 5;
        }
        break;
    }
    case 1: {  // sixteenth runs up and down: automatic HOPOs
        int lane = 0, dir = 1;
        for (int64_t t = 0; t < m.length; t += Q / 4) {
            out.push_back(Slot{s + t, lane_bits(lane), Q / 8});
            if (lane + dir < 0 || lane + dir > 4) dir = -dir;
            lane += dir;
        }
        break;
    }
    case 2: {  // sustained chords, long tails
        for (int64_t t = 0; t + 2 * Q <= m.length; t += 2 * Q) {
            const int a = rng.below(4);
            out.push_back(Slot{s + t, chord_bits(a, a + 1), 2 * Q - Q / 4});
        }
        if (m.length % (2 * Q)) out.push_back(Slot{s + m.length - Q / 2, lane_bits(2), Q / 4});
        break;
    }
    case 3: {  // chord, then eighths with short sustains, then a sixteenth pair
        out.push_back(Slot{s, chord_bits(0, 2), Q / 2});
        int lane = 1;
        for (int64_t t = Q; t + Q <= m.length; t += Q / 2) {
            out.push_back(Slot{s + t, lane_bits(lane), Q * 2 / 5});  // 0.4 quarter: keeps its tail
            lane = (lane + 2) % 5;
        }
        out.push_back(Slot{s + m.length - Q / 2, lane_bits(3), Q / 8});
        out.push_back(Slot{s + m.length - Q / 4, lane_bits(4), Q / 8});
        break;
    }
    case 4: {  // triplet eighths (160 ticks, under the HOPO threshold)
        int lane = 4;
        for (int64_t t = 0; t + Q / 3 <= m.length; t += Q / 3) {
            out.push_back(Slot{s + t, lane_bits(lane), Q / 8});
            lane = lane == 0 ? 4 : lane - 1;
        }
        break;
    }
    case 6: {  // an open riff: eighth opens, a fret pulled from an open (a HOPO) and back to
               // a HOPO open, and a held open chord
        out.push_back(Slot{s, OPEN_BIT, Q / 8});
        out.push_back(Slot{s + Q / 2, OPEN_BIT, Q / 8});
        out.push_back(Slot{s + Q / 2 + Q / 4, lane_bits(1 + rng.below(3)), Q / 8});
        out.push_back(Slot{s + Q, OPEN_BIT, Q / 8});
        out.push_back(Slot{s + Q + Q / 2, OPEN_BIT, Q / 8});
        out.push_back(Slot{s + 2 * Q, OPEN_BIT | lane_bits(2), Q + Q / 2});
        out.push_back(Slot{s + 3 * Q + Q / 2, OPEN_BIT, Q / 8});
        break;
    }
    default: {  // repeated sixteenths on one lane (never HOPOs), a three-note chord to end
        const int lane = rng.below(5);
        for (int64_t t = 0; t < m.length - Q; t += Q / 4)
            out.push_back(Slot{s + t, lane_bits(lane), Q / 8});
        out.push_back(Slot{s + m.length - Q, 0x7 << rng.below(3), Q / 2});
        break;
    }
    }
}

// A lower difficulty from the expert slots: only slots on the grid, chords thinned,
// lanes folded into the difficulty's reach.
std::vector<Slot> reduce(const std::vector<Slot>& expert, int64_t grid, int max_notes,
                         int lanes) {
    std::vector<Slot> out;
    for (const Slot& slot : expert) {
        if (slot.tick % grid) continue;
        int bits = 0, count = 0;
        for (int l = 0; l < 6 && count < max_notes; ++l) {
            if (!(slot.lanes & (1 << l))) continue;
            const int folded = l == 5 ? 5 : l % lanes;
            if (!(bits & (1 << folded))) {
                bits |= 1 << folded;
                ++count;
            }
        }
        // Expert notes end before the next expert slot, so dropping slots never overlaps two.
        out.push_back(Slot{slot.tick, bits, slot.length});
    }
    return out;
}

// Lanes 0..4 as notes base..base + 4; the open as base - 1 (the track says so at its start).
void write_slots(SmfWriterTrack& track, const std::vector<Slot>& slots, int base) {
    for (const Slot& slot : slots) {
        for (int l = 0; l < 5; ++l)
            if (slot.lanes & (1 << l)) track.note(slot.tick, slot.length, base + l, 100);
        if (slot.lanes & OPEN_BIT) track.note(slot.tick, slot.length, base - 1, 100);
    }
}

// A modifier phrase as SysEx: F0 length 50 53 00 00 difficulty code value F7.
void modifier(SmfWriterTrack& t, int64_t tick, uint8_t difficulty, uint8_t code, uint8_t value) {
    t.raw(tick, {0xF0, 0x08, 0x50, 0x53, 0x00, 0x00, difficulty, code, value, 0xF7});
}

void tempo_track(SmfWriterTrack& t, const std::vector<Measure>& m) {
    t.name("Tiver Demo");
    t.time_signature(0, 4, 4);
    t.tempo_bpm(0, 180.0);
    t.meta(0, 0x06, "intro");
    t.tempo_bpm(m[16].start, 200.0);
    t.meta(m[16].start, 0x06, "verse");
    t.time_signature(m[24].start, 7, 8);
    t.tempo_bpm(m[24].start, 190.0);
    t.time_signature(m[28].start, 4, 4);
    t.tempo_bpm(m[40].start, 160.0);
    t.meta(m[40].start, 0x05, "la");
    t.tempo_bpm(m[48].start, 205.0);
    t.meta(m[48].start, 0x06, "outro");
}

// Writes the guitar part; returns its Expert slots.
std::vector<Slot> guitar_track(SmfWriterTrack& t, const std::vector<Measure>& m, Lcg& rng) {
    t.name("PART GUITAR");
    t.text(0, "[ENHANCED_OPENS]");  // note base - 1 is the open lane
    std::vector<Slot> expert;
    static const int form[8] = {3, 1, 0, 1, 4, 2, 5, 1};
    const auto opens = [](size_t i) { return i == 13 || i == 14 || i == 45 || i == 46; };
    for (size_t i = 1; i < m.size() - 1; ++i)
        guitar_measure(expert, m[i], opens(i) ? 6 : form[(i + i / 8) % 8], rng);
    // A long final chord that controller 123 cuts short.
    const Measure& last = m.back();
    expert.push_back(Slot{last.start, chord_bits(0, 4), 4 * Q});

    write_slots(t, expert, 96);
    write_slots(t, reduce(expert, Q / 2, 2, 5), 84);
    write_slots(t, reduce(expert, Q, 2, 4), 72);
    write_slots(t, reduce(expert, Q, 1, 3), 60);

    // Forced-HOPO (base + 5) and forced-strum (base + 6) phrases, every difficulty.
    for (int base : {60, 72, 84, 96}) {
        for (int i : {3, 19, 35}) t.note(m[i].start, m[i].length, base + 5, 100);
        for (int i : {10, 26, 50}) t.note(m[i].start, m[i].length * 2, base + 6, 100);
    }
    // Style phrases.
    for (int i : {8, 30, 44}) t.note(m[i].start, m[i].length * 2, 116, 100);
    // Taps over two sixteenth runs: a note-104 phrase, and a SysEx phrase of every difficulty
    // that covers its end, the run's last note.
    t.note(m[21].start, m[21].length, 104, 100);
    modifier(t, m[37].start, 0xFF, 0x04, 1);
    modifier(t, m[37].start + m[37].length - Q / 4, 0xFF, 0x04, 0);
    // A solo, and tremolo lanes over two runs of repeated sixteenths (the first from Hard on).
    t.note(m[32].start, m[40].start - m[32].start, 103, 100);
    t.note(m[20].start, m[20].length - Q, 126, 45);
    t.note(m[34].start, m[34].length - Q, 126, 100);
    t.controller(last.start + 2 * Q, 123, 0);
    return expert;
}

void drums_track(SmfWriterTrack& t, const std::vector<Measure>& m, Lcg& rng) {
    t.name("PART DRUMS");
    // Mix events: plain at the start, with lane swap (…d) from measure 17 to 33.
    for (int d = 0; d < 4; ++d) {
        const std::string n = std::to_string(d);
        t.text(0, "[mix " + n + " drums0]");
        t.text(m[17].start, "[mix " + n + " drums0d]");
        t.text(m[33].start, d == 0 ? "[mix 0 drums1easy]" : "[mix " + n + " drums0]");
        t.text(m[49].start, "[drums" + n + " outro hits]");
    }
    struct Hit {
        int64_t tick;
        int lane;
        int min_difficulty;  // from which difficulty on it is charted
        bool second_pedal = false;  // an Expert+ kick (note 95)
    };
    std::vector<Hit> hits;
    for (size_t i = 1; i < m.size(); ++i) {
        const Measure& me = m[i];
        const bool fill = i % 4 == 0;
        for (int64_t e = 0; e < me.length; e += Q / 2) {
            const int64_t at = me.start + e;
            const bool beat = e % Q == 0;
            const int beat_index = static_cast<int>(e / Q);
            if (fill && e >= me.length - Q) break;
            if (e == 0) {
                hits.push_back({at, 0, 0});
                hits.push_back({at, 4, 1});  // crash
                continue;
            }
            if (beat && beat_index % 2 == 1) hits.push_back({at, 1, 0});  // snare
            if (beat && beat_index == 2) hits.push_back({at, 0, 0});
            // Off-beat kicks; in the second half of the song the second pedal's (Expert+).
            if (!beat && rng.below(4) == 0) hits.push_back({at, 0, 3, i >= 33});
            hits.push_back({at, 2, beat ? 0 : 2});  // hi-hat
        }
        if (fill) {  // tom fill over the last beat: sixteenths down the toms
            for (int s = 0; s < 4; ++s) {
                const int64_t at = me.start + me.length - Q + s * (Q / 4);
                hits.push_back({at, 2 + (s * 3) / 4, s % 2 == 0 ? 1 : 3});
            }
            hits.push_back({me.start + me.length - Q, 0, 0});
        }
        if (i == 56)  // a snare roll over the second and third beats, Expert only
            for (int64_t e = Q + Q / 4; e < 3 * Q; e += Q / 4) hits.push_back({me.start + e, 1, 3});
    }
    for (int d = 0; d < 4; ++d)
        for (const Hit& h : hits)
            if (h.min_difficulty <= d)
                t.note(h.tick, Q / 8, h.second_pedal ? 95 : 60 + 12 * d + h.lane, 100);
    t.note(m[56].start + Q, 2 * Q, 126, 100);
    // Fills (all five notes, as charts write them) over the second half of three measures,
    // and a solo.
    for (int i : {15, 31, 47})
        for (int n = 120; n <= 124; ++n) t.note(m[i].start + m[i].length / 2, m[i].length / 2, n, 100);
    t.note(m[56].start, m[59].start - m[56].start, 103, 100);
    // Tom phrases over every fill: yellow, blue and green toms.
    for (size_t i = 4; i < m.size(); i += 4) {
        const int64_t at = m[i].start + m[i].length - Q;
        t.note(at, Q / 2, 110, 100);
        t.note(at + Q / 4, Q / 2, 111, 100);
        t.note(at + Q / 2, Q / 2, 112, 100);
    }
}

void keys_track(SmfWriterTrack& t, const std::vector<Measure>& m, Lcg& rng) {
    t.name("PART KEYS");
    std::vector<Slot> expert;
    for (size_t i = 1; i < m.size(); ++i) {
        const Measure& me = m[i];
        if (i % 2) {  // a held three-note chord, then an arpeggio
            const int a = rng.below(3);
            expert.push_back(Slot{me.start, 0x7 << a, 2 * Q - Q / 8});
            int lane = 0;
            for (int64_t e = 2 * Q; e < me.length; e += Q / 4) {
                expert.push_back(Slot{me.start + e, lane_bits(lane), Q / 8});
                lane = (lane + 1) % 5;
            }
        } else {
            guitar_measure(expert, me, i % 3 == 0 ? 3 : 0, rng);
        }
    }
    write_slots(t, expert, 96);
    write_slots(t, reduce(expert, Q / 2, 3, 5), 84);
    write_slots(t, reduce(expert, Q, 2, 4), 72);
    write_slots(t, reduce(expert, Q, 1, 3), 60);
    for (int i : {12, 40}) t.note(m[i].start, m[i].length * 4, 116, 100);
}

// The song's sections, as charts name them on their EVENTS track.
void events_track(SmfWriterTrack& t, const std::vector<Measure>& m) {
    t.name("EVENTS");
    t.text(0, "[section Intro]");
    t.text(m[13].start, "[section Open riff]");
    t.text(m[16].start, "[section Verse 1]");
    t.text(m[24].start, "[prc_seven_eight]");
    t.text(m[28].start, "[section Chorus]");
    t.text(m[32].start, "[section Guitar solo]");
    t.text(m[40].start, "[section_verse_2]");
    t.text(m[48].start, "[section Outro]");
    t.text(m.back().start + m.back().length, "[end]");
}

std::vector<uint8_t> make_demo_chart(std::vector<Slot>* guitar_expert) {
    const std::vector<Measure> m = song_measures();
    Lcg rng;
    SmfWriter w;
    w.division = static_cast<int32_t>(Q);
    tempo_track(w.add_track(), m);
    *guitar_expert = guitar_track(w.add_track(), m, rng);
    drums_track(w.add_track(), m, rng);
    keys_track(w.add_track(), m, rng);
    events_track(w.add_track(), m);
    return w.bytes();
}

constexpr int WAV_RATE = 44100;

// A tone on every Expert guitar gem: a sine per note of the chord, from green (C5) to
// orange (A5) on a pentatonic scale, starting at full strength exactly on the gem's sample
// and dying away within a sixteenth, so that its start is easy to hear and to find.
std::vector<int16_t> gem_tones(const std::vector<uint8_t>& chart, const std::vector<Slot>& gems) {
    SmfFile file;
    smf_parse(chart.data(), chart.size(), &file, nullptr);
    const TempoMap map = tempo_map_from(file);
    static const double pitch[6] = {523.25, 587.33, 659.26, 783.99, 880.00, 392.00};  // open: G4
    const double end = tempo_ticks_to_seconds(map, static_cast<double>(gems.back().tick)) + 2.0;
    std::vector<double> mix(static_cast<size_t>(end * WAV_RATE), 0.0);
    const size_t tone = WAV_RATE / 10;
    for (const Slot& g : gems) {
        const size_t at = static_cast<size_t>(std::llround(tempo_ticks_to_seconds(map, static_cast<double>(g.tick)) * WAV_RATE));
        for (int lane = 0; lane < 6; ++lane) {
            if (!(g.lanes & (1 << lane))) continue;
            for (size_t i = 0; i < tone && at + i < mix.size(); ++i) {
                const double t = static_cast<double>(i) / WAV_RATE;
                mix[at + i] += 0.3 * std::sin(2.0 * M_PI * pitch[lane] * t) * std::exp(-t / 0.02);
            }
        }
    }
    std::vector<int16_t> samples(mix.size());
    for (size_t i = 0; i < mix.size(); ++i) {
        const double v = std::max(-1.0, std::min(1.0, mix[i]));
        samples[i] = static_cast<int16_t>(std::lround(v * 32767.0));
    }
    return samples;
}

// A 16-bit mono PCM WAV file image.
std::vector<uint8_t> wav_bytes(const std::vector<int16_t>& samples) {
    std::vector<uint8_t> out;
    const auto u32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    const auto u16 = [&](uint32_t v) {
        out.push_back(static_cast<uint8_t>(v));
        out.push_back(static_cast<uint8_t>(v >> 8));
    };
    const uint32_t data = static_cast<uint32_t>(samples.size() * 2);
    out.insert(out.end(), {'R', 'I', 'F', 'F'});
    u32(36 + data);
    out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    u32(16);
    u16(1);  // PCM
    u16(1);  // mono
    u32(WAV_RATE);
    u32(WAV_RATE * 2);
    u16(2);
    u16(16);
    out.insert(out.end(), {'d', 'a', 't', 'a'});
    u32(data);
    for (int16_t s : samples) u16(static_cast<uint16_t>(s));
    return out;
}

const char SONG_INI[] =
    "[song]\n"
    "name = Tiver Demo\n"
    "artist = The Tiver Preview project\n"
    "charter = make-demo-chart\n"
    "; the chart and the tones are made together, so they need no delay\n"
    "delay = 0\n"
    "hopo_frequency = 170\n"
    "pro_drums = True\n";

// Writes the whole file or nothing (through a temporary file beside it).
bool write_file(const std::string& path, const void* data, size_t size) {
    const std::string tmp = path + ".tmp";
    FILE* f = std::fopen(tmp.c_str(), "wb");
    if (!f) {
        std::fprintf(stderr, "make-demo-chart: cannot write %s\n", tmp.c_str());
        return false;
    }
    const bool ok = std::fwrite(data, 1, size, f) == size;
    if (std::fclose(f) != 0 || !ok || std::rename(tmp.c_str(), path.c_str()) != 0) {
        std::fprintf(stderr, "make-demo-chart: cannot write %s\n", path.c_str());
        std::remove(tmp.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: make-demo-chart OUTPUT.mid [SONG_FOLDER]\n");
        return 2;
    }
    std::vector<Slot> gems;
    const std::vector<uint8_t> bytes = make_demo_chart(&gems);
    if (!write_file(argv[1], bytes.data(), bytes.size())) return 2;
    if (argc == 3) {
        const std::string folder = std::string(argv[2]) + "/";
        const std::vector<uint8_t> wav = wav_bytes(gem_tones(bytes, gems));
        if (!write_file(folder + "notes.mid", bytes.data(), bytes.size()) ||
            !write_file(folder + "song.ini", SONG_INI, sizeof SONG_INI - 1) ||
            !write_file(folder + "guitar.wav", wav.data(), wav.size()))
            return 2;
    }
    return 0;
}
