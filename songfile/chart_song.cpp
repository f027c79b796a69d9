#include "songfile/chart_song.h"

#include <algorithm>
#include <array>
#include <limits>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "songfile/smf_writer.h"

namespace {

constexpr int64_t NO_TICK = std::numeric_limits<int64_t>::max();

// MIDI notes of the chart stream besides the gems (base + lane of each difficulty).
constexpr int NOTE_STAR_POWER = 116, NOTE_SOLO = 103, NOTE_TAP = 104, NOTE_PLAYER_1 = 105, NOTE_PLAYER_2 = 106;
constexpr int NOTE_TOM = 110;  // 110 yellow, 111 blue, 112 green
constexpr int NOTE_FILL = 120;  // 120..124 together
constexpr int NOTE_TREMOLO = 126, NOTE_TRILL = 127, NOTE_DOUBLE_KICK = 95;
constexpr int FORCE_HOPO = 5, FORCE_STRUM = 6;  // above the difficulty's base
// .chart note types.
constexpr int32_t FLIP = 5, TAP = 6, OPEN = 7, DRUM_FIFTH = 5, DRUM_DOUBLE_KICK = 32;
constexpr int32_t CYMBAL_FLAG = 66;  // 66 yellow, 67 blue, 68 green
constexpr int32_t ACCENT_FLAG = 33, GHOST_FLAG = 39;  // + pad: kick 0 .. fifth pad 5 (the second kick as the kick)

int base_of(int32_t difficulty) { return 60 + 12 * difficulty; }

// One MIDI track being written: events at ticks, in the order a file keeps them: at one
// tick the texts, then the note-offs, then the note-ons (so a note ending where the next
// of its number begins never swallows it). Phrase-like notes are merged where they
// overlap, so that no two of one number are open at once.
class TrackBuilder {
public:
    void text(int64_t tick, const std::string& text, uint8_t type = 0x01) {
        std::vector<uint8_t> m{0xFF, type};
        smf_put_vlq(m, static_cast<uint32_t>(text.size()));
        m.insert(m.end(), text.begin(), text.end());
        add(tick, 0, m);
    }
    void note(int64_t tick, int64_t length, int note, int velocity = 100) {
        add(tick + std::max<int64_t>(length, 1), 1, {0x80, static_cast<uint8_t>(note), 64});
        add(tick, 2, {0x90, static_cast<uint8_t>(note), static_cast<uint8_t>(velocity)});
    }
    void phrase(int note, int64_t start, int64_t end) { phrases_[note].push_back({start, std::max(end, start + 1)}); }

    SmfTrack finish(const std::string& name) {
        for (auto& p : phrases_) {
            std::sort(p.second.begin(), p.second.end());
            int64_t start = 0, end = -1;
            for (const auto& r : p.second) {
                if (r.first >= end) {
                    if (end > start) note(start, end - start, p.first);
                    start = r.first;
                }
                end = std::max(end, r.second);
            }
            if (end > start) note(start, end - start, p.first);
        }
        phrases_.clear();
        std::stable_sort(items_.begin(), items_.end(), [](const Item& a, const Item& b) {
            return a.tick != b.tick ? a.tick < b.tick : a.order < b.order;
        });
        SmfTrack t;
        t.name = name;
        std::vector<uint8_t> m{0xFF, 0x03};
        smf_put_vlq(m, static_cast<uint32_t>(name.size()));
        m.insert(m.end(), name.begin(), name.end());
        if (!name.empty()) put(t, 0, m.data(), m.size());
        for (const Item& i : items_) put(t, i.tick, bytes_.data() + i.offset, i.size);
        items_.clear();
        bytes_.clear();
        return t;
    }

private:
    struct Item {
        int64_t tick;
        int32_t order;
        uint32_t offset, size;
    };
    void add(int64_t tick, int32_t order, const std::vector<uint8_t>& m) {
        items_.push_back(Item{tick, order, static_cast<uint32_t>(bytes_.size()), static_cast<uint32_t>(m.size())});
        bytes_.insert(bytes_.end(), m.begin(), m.end());
    }
    static void put(SmfTrack& t, int64_t tick, const uint8_t* m, size_t size) {
        t.events.push_back(SmfEvent{tick, static_cast<uint32_t>(t.bytes.size()), static_cast<uint32_t>(size)});
        t.bytes.insert(t.bytes.end(), m, m + size);
    }

    std::vector<Item> items_;
    std::vector<uint8_t> bytes_;
    std::map<int, std::vector<std::pair<int64_t, int64_t>>> phrases_;
};

// The notes of one tick: lanes 0..6 (five-fret: five frets and the open note; drums: the
// six pads and the second kick), their lengths, and the tick's other note types (flags).
constexpr int32_t LANES = 7;
struct Group {
    int64_t tick = 0;
    uint32_t lanes = 0;
    int64_t length[LANES] = {};
    std::set<int32_t> flags;

    bool has(int32_t lane) const { return (lanes >> lane & 1) != 0; }
    bool flagged(int32_t type) const { return flags.count(type) != 0; }
};

int lane_count(uint32_t lanes) {
    int n = 0;
    for (; lanes; lanes &= lanes - 1) ++n;
    return n;
}

// The groups of a difficulty that hold notes; `lane_of` gives a note type's lane or -1.
// Flags on a tick without notes do nothing.
template <typename LaneOf>
std::vector<Group> groups_of(const ChartDifficulty& part, LaneOf lane_of) {
    std::vector<Group> groups;
    for (const ChartItem& n : part.notes) {
        if (groups.empty() || groups.back().tick != n.tick) {
            if (!groups.empty() && !groups.back().lanes) groups.pop_back();
            groups.emplace_back();
            groups.back().tick = n.tick;
        }
        Group& g = groups.back();
        const int32_t lane = lane_of(n.type);
        if (lane >= 0) {
            g.lanes |= 1u << lane;
            g.length[lane] = std::max(g.length[lane], n.length);
        } else {
            g.flags.insert(n.type);
        }
    }
    if (!groups.empty() && !groups.back().lanes) groups.pop_back();
    return groups;
}

// For each group and lane, the tick of the next group holding that lane (a sustain is cut
// there: MIDI cannot hold one note over the next of its number).
std::vector<std::array<int64_t, LANES>> next_of_lanes(const std::vector<Group>& groups) {
    std::vector<std::array<int64_t, LANES>> next(groups.size());
    std::array<int64_t, LANES> ahead;
    ahead.fill(NO_TICK);
    for (size_t i = groups.size(); i-- > 0;) {
        next[i] = ahead;
        for (int32_t l = 0; l < LANES; ++l)
            if (groups[i].has(l)) ahead[l] = groups[i].tick;
    }
    return next;
}

int64_t cut(int64_t tick, int64_t length, int64_t next) { return next == NO_TICK ? length : std::min(length, next - tick); }

// The solos of a difficulty's texts: each `soloend` closes the latest open `solo`, and the
// notes on its tick are inside; a solo that never closes is left out.
void solos(const ChartDifficulty& part, TrackBuilder& b) {
    std::vector<int64_t> open;
    for (const ChartText& t : part.texts) {
        if (t.text == "solo") {
            open.push_back(t.tick);
        } else if (t.text == "soloend" && !open.empty()) {
            b.phrase(NOTE_SOLO, open.back(), t.tick + 1);
            open.pop_back();
        }
    }
}

// The phrases every instrument shares: star power, the two players' phrases, and the
// tremolo and trill lanes (drum rolls on drums).
void shared_phrases(const ChartDifficulty& part, TrackBuilder& b) {
    for (const ChartItem& s : part.phrases) {
        const int note = s.type == 2 ? NOTE_STAR_POWER : s.type == 0 ? NOTE_PLAYER_1 : s.type == 1 ? NOTE_PLAYER_2
                         : s.type == 65 ? NOTE_TREMOLO : s.type == 66 ? NOTE_TRILL : 0;
        if (note) b.phrase(note, s.tick, s.tick + s.length);
    }
    solos(part, b);
}

// A drum mix event in any of its spellings ("mix_3_drums0d", "[mix 3 drums0d]") in the
// form the MIDI stream has: "[mix 3 drums0d]".
bool mix_event(std::string t, std::string* out) {
    if (t.size() >= 2 && t.front() == '[' && t.back() == ']') t = t.substr(1, t.size() - 2);
    const auto separator = [&](size_t i) { return t[i] == ' ' || t[i] == '_'; };
    if (t.size() < 12 || t.compare(0, 3, "mix") != 0 || !separator(3) || t[4] < '0' || t[4] > '3' || !separator(5) ||
        t.compare(6, 5, "drums") != 0 || t[11] < '0' || t[11] > '5')
        return false;
    const std::string flag = t.substr(12);
    if (!flag.empty() && flag != "d" && flag != "dnoflip" && flag != "easy" && flag != "easynokick") return false;
    *out = "[mix " + std::string(1, t[4]) + " drums" + t[11] + flag + "]";
    return true;
}

// The texts of the difficulty shown other than the solo and mix events, as they are.
void other_texts(const ChartDifficulty& part, TrackBuilder& b) {
    std::string mix;
    for (const ChartText& t : part.texts)
        if (t.text != "solo" && t.text != "soloend" && !mix_event(t.text, &mix)) b.text(t.tick, t.text);
}

// One five-fret difficulty: gems (opens at base - 1), each group's resolved state as a
// force marker, and for the difficulty shown the tap phrases. True when it has opens.
bool five_fret(const ChartDifficulty& part, int32_t d, int64_t threshold, bool shown, TrackBuilder& b) {
    const std::vector<Group> groups =
        groups_of(part, [](int32_t type) { return type >= 0 && type <= 4 ? type : type == OPEN ? 5 : -1; });
    const auto next = next_of_lanes(groups);
    const int base = base_of(d);
    bool opens = false;
    int64_t tap_start = -1, tap_end = -1;
    for (size_t i = 0; i < groups.size(); ++i) {
        const Group& g = groups[i];
        const Group* prev = i ? &groups[i - 1] : nullptr;
        const bool natural = prev && lane_count(g.lanes) == 1 && g.tick - prev->tick <= threshold &&
                             !(lane_count(prev->lanes) == 1 && prev->lanes == g.lanes);
        const bool tap = g.flagged(TAP);
        const bool hopo = tap || natural != g.flagged(FLIP);
        for (int32_t l = 0; l < 6; ++l) {
            if (!g.has(l)) continue;
            b.note(g.tick, cut(g.tick, g.length[l], next[i][l]), l < 5 ? base + l : base - 1);
            opens = opens || l == 5;
        }
        b.phrase(base + (hopo ? FORCE_HOPO : FORCE_STRUM), g.tick, g.tick + 1);
        if (!shown) continue;
        if (tap) {
            if (tap_start < 0) tap_start = g.tick;
            tap_end = g.tick + 1;
        } else if (tap_start >= 0) {
            b.phrase(NOTE_TAP, tap_start, tap_end);
            tap_start = -1;
        }
    }
    if (tap_start >= 0) b.phrase(NOTE_TAP, tap_start, tap_end);
    return opens;
}

// One drum difficulty: pads as the kind of drums maps them onto the four lanes (accents
// and ghosts in the velocity), the second kick as 95 on Expert and a kick below, and for
// the difficulty shown the tom markers and the fills. True when it has accents or ghosts.
bool drums(const ChartDifficulty& part, int32_t d, ChartDrums kind, bool shown, TrackBuilder& b) {
    const std::vector<Group> groups = groups_of(part, [](int32_t type) {
        return type >= 0 && type <= 5 ? type : type == DRUM_DOUBLE_KICK ? 6 : -1;
    });
    // Lanes after mapping: 0 kick, 1 red, 2 yellow, 3 blue, 4 green, 5 the second kick;
    // `toms` marks the yellow, blue and green lanes that are toms.
    std::vector<Group> hits(groups.size());
    std::vector<std::array<int, LANES>> velocity(groups.size());
    std::vector<uint32_t> toms(groups.size(), 0);
    const int base = base_of(d);
    bool dynamics = false;
    for (size_t i = 0; i < groups.size(); ++i) {
        const Group& g = groups[i];
        Group& h = hits[i];
        h.tick = g.tick;
        velocity[i].fill(0);
        const auto hit = [&](int32_t pad, int32_t lane, bool tom) {
            h.lanes |= 1u << lane;
            if (tom) toms[i] |= 1u << lane;
            h.length[lane] = std::max(h.length[lane], g.length[pad]);
            const int32_t flag_pad = pad == 6 ? 0 : pad;
            const int v = g.flagged(ACCENT_FLAG + flag_pad) ? 127 : g.flagged(GHOST_FLAG + flag_pad) ? 1 : 100;
            dynamics = dynamics || v != 100;
            if (velocity[i][lane] == 0 || velocity[i][lane] == 100 || v == 127) velocity[i][lane] = v;
        };
        for (int32_t pad = 0; pad < LANES; ++pad) {
            if (!g.has(pad)) continue;
            if (pad == 6) {
                hit(pad, d == 3 ? 5 : 0, false);  // a plain kick below Expert
            } else if (kind == ChartDrums::FIVE_LANE) {
                static const int32_t LANE[6] = {0, 1, 2, 3, 4, 4};
                hit(pad, pad == DRUM_FIFTH && g.has(4) ? 3 : LANE[pad], pad == 3 || pad == DRUM_FIFTH);
            } else if (pad < 5) {
                hit(pad, pad, pad >= 2 && !g.flagged(CYMBAL_FLAG + pad - 2));
            }
        }
    }
    const auto next = next_of_lanes(hits);
    for (size_t i = 0; i < hits.size(); ++i) {
        const Group& h = hits[i];
        for (int32_t l = 0; l < 6; ++l) {
            if (!h.has(l)) continue;
            b.note(h.tick, cut(h.tick, h.length[l], next[i][l]), l < 5 ? base + l : NOTE_DOUBLE_KICK, velocity[i][l]);
            if (shown && kind != ChartDrums::FOUR_LANE && l >= 2 && l <= 4 && (toms[i] >> l & 1))
                b.phrase(NOTE_TOM + l - 2, h.tick, h.tick + 1);
        }
    }
    if (shown) {
        for (const ChartItem& s : part.phrases)
            if (s.type == 64)
                for (int n = NOTE_FILL; n < NOTE_FILL + 5; ++n) b.phrase(n, s.tick, s.tick + s.length + 1);
    }
    return dynamics;
}

// [Events] texts as EVENTS holds them: sections as "[section Name]", the rest in brackets;
// lyrics and their phrases go to PART VOCALS instead.
void global_events(const ChartFile& chart, TrackBuilder& events, TrackBuilder& vocals, bool* has_vocals) {
    int64_t phrase = -1, last = 0;
    *has_vocals = false;
    for (const ChartText& e : chart.events) {
        const std::string& t = e.text;
        last = std::max(last, e.tick);
        if (t.compare(0, 6, "lyric ") == 0 || t == "lyric") {
            vocals.text(e.tick, t.size() > 6 ? t.substr(6) : std::string(), 0x05);
            *has_vocals = true;
        } else if (t == "phrase_start" || t == "phrase_end") {
            if (phrase >= 0) vocals.phrase(NOTE_PLAYER_1, phrase, e.tick);
            phrase = t == "phrase_start" ? e.tick : -1;
            *has_vocals = true;
        } else if (t.compare(0, 8, "section ") == 0 || t.compare(0, 8, "section_") == 0) {
            events.text(e.tick, "[section " + t.substr(8) + "]");
        } else if (t.size() >= 2 && t.front() == '[' && t.back() == ']') {
            events.text(e.tick, t);
        } else {
            events.text(e.tick, "[" + t + "]");
        }
    }
    if (phrase >= 0) vocals.phrase(NOTE_PLAYER_1, phrase, last + 1);
}

bool has_part(const ChartFile& chart, int32_t instrument) {
    for (const ChartDifficulty& d : chart.parts[instrument])
        if (d.present) return true;
    return false;
}

}  // namespace

ChartConversion chart_conversion(const ChartFile& chart, const SongIni& ini) {
    ChartConversion c;
    const int64_t res = chart.resolution;
    if (ini.has_hopo_frequency && ini.hopo_frequency > 0)
        c.hopo_threshold = ini.hopo_frequency;
    else if (ini.has_eighthnote_hopo && ini.eighthnote_hopo)
        c.hopo_threshold = 1 + res / 2;
    else
        c.hopo_threshold = 65 * res / 192;

    bool cymbals = false, fifth = false;
    for (const ChartDifficulty& d : chart.parts[CHART_DRUMS]) {
        for (const ChartItem& n : d.notes) {
            cymbals = cymbals || (n.type >= CYMBAL_FLAG && n.type <= CYMBAL_FLAG + 2);
            fifth = fifth || n.type == DRUM_FIFTH;
        }
    }
    // song.ini says which drums the song has, as it does for a MIDI chart (pro_drums = false
    // is OLD Drums there too); without it, cymbal flags mean Pro Drums, a fifth pad five lanes.
    if (ini.has_five_lane_drums && ini.five_lane_drums)
        c.drums = ChartDrums::FIVE_LANE;
    else if (ini.has_pro_drums)
        c.drums = ini.pro_drums ? ChartDrums::PRO : ChartDrums::FOUR_LANE;
    else if (cymbals)
        c.drums = ChartDrums::PRO;
    else if (fifth && !ini.has_five_lane_drums)
        c.drums = ChartDrums::FIVE_LANE;
    return c;
}

const char* chart_track_name(int32_t instrument) {
    static const char* const NAMES[] = {"PART GUITAR", "PART GUITAR COOP", "PART BASS",
                                        "PART RHYTHM", "PART KEYS",        "PART DRUMS"};
    return instrument >= 0 && instrument < CHART_INSTRUMENTS ? NAMES[instrument] : "";
}

int32_t chart_instrument_named(const std::string& track_name) {
    for (int32_t i = 0; i < CHART_INSTRUMENTS; ++i)
        if (track_name == chart_track_name(i)) return i;
    return -1;
}

SmfTrack chart_instrument_track(const ChartFile& chart, int32_t instrument, const ChartConversion& c,
                                int32_t shown) {
    TrackBuilder b;
    if (instrument < 0 || instrument >= CHART_INSTRUMENTS) return b.finish("");
    bool opens = false, dynamics = false;
    std::set<std::pair<int64_t, std::string>> mixes;
    for (int32_t d = 0; d < 4; ++d) {
        const ChartDifficulty& part = chart.parts[instrument][d];
        if (!part.present) continue;
        if (instrument == CHART_DRUMS) {
            dynamics = drums(part, d, c.drums, d == shown, b) || dynamics;
            std::string mix;
            for (const ChartText& t : part.texts)
                if (mix_event(t.text, &mix)) mixes.insert({t.tick, mix});
        } else {
            opens = five_fret(part, d, c.hopo_threshold, d == shown, b) || opens;
        }
        if (d == shown) {
            shared_phrases(part, b);
            other_texts(part, b);
        }
    }
    if (opens) b.text(0, "[ENHANCED_OPENS]");
    if (dynamics) b.text(0, "[ENABLE_CHART_DYNAMICS]");
    for (const auto& m : mixes) b.text(m.first, m.second);
    return b.finish(chart_track_name(instrument));
}

SmfFile chart_to_smf(const ChartFile& chart, const ChartConversion& c) {
    SmfFile song;
    song.format = 1;
    song.division = chart.resolution;
    song.tempos = chart.tempos;
    song.signatures = chart.signatures;

    TrackBuilder tempo;
    for (const SmfTimeSignature& s : chart.signatures) {
        int exponent = 0;
        while ((1 << exponent) < s.denominator) ++exponent;
        tempo.text(s.tick, std::string{static_cast<char>(s.numerator), static_cast<char>(exponent), 24, 8}, 0x58);
    }
    for (const SmfTempo& t : chart.tempos)
        tempo.text(t.tick, std::string{static_cast<char>(t.us_per_quarter >> 16), static_cast<char>(t.us_per_quarter >> 8),
                                       static_cast<char>(t.us_per_quarter)}, 0x51);
    song.tracks.push_back(tempo.finish(""));

    for (int32_t i = 0; i < CHART_INSTRUMENTS; ++i)
        if (has_part(chart, i)) song.tracks.push_back(chart_instrument_track(chart, i, c, 3));

    TrackBuilder events, vocals;
    bool has_vocals = false;
    global_events(chart, events, vocals, &has_vocals);
    SmfTrack events_track = events.finish("EVENTS");
    if (events_track.events.size() > 1) song.tracks.push_back(std::move(events_track));
    if (has_vocals) song.tracks.push_back(vocals.finish("PART VOCALS"));
    return song;
}
