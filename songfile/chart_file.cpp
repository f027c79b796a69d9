#include "songfile/chart_file.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "songfile/files.h"
#include "songfile/song_ini.h"
#include "songfile/text.h"

namespace {

// Longer lines are skipped: real ones are under a hundred bytes, lyrics included.
constexpr size_t MAX_LINE_BYTES = 65536;
constexpr int64_t MAX_NUMBER = 2147483647;
// The slowest tempo a MIDI tempo event holds: 0xFFFFFF microseconds per quarter note.
constexpr int64_t MIN_TEMPO = 3577;  // thousandths of a beat per minute
constexpr int32_t MAX_RESOLUTION = 32767;

struct Line {
    size_t number;
    std::string key, value;
};

struct Section {
    std::string name;
    std::vector<Line> lines;
};

// Lines that could not be read, summed up in one warning.
struct Skipped {
    size_t count = 0;
    size_t first = 0;
    void add(size_t line) {
        if (count++ == 0) first = line;
    }
};

// A whole number 0..2^31-1 written in decimal digits.
bool parse_count(const std::string& s, int64_t* out) {
    if (s.empty() || s.size() > 10) return false;
    int64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (v > MAX_NUMBER) return false;
    *out = v;
    return true;
}

std::vector<std::string> split_blanks(const std::string& s) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && is_blank(s[i])) ++i;
        const size_t start = i;
        while (i < s.size() && !is_blank(s[i])) ++i;
        if (i > start) out.push_back(s.substr(start, i - start));
    }
    return out;
}

// One leading and one trailing double quote taken off (values may hold quotes themselves).
std::string unquote(std::string s) {
    if (!s.empty() && s.front() == '"') s.erase(0, 1);
    if (!s.empty() && s.back() == '"') s.pop_back();
    return s;
}

// The sections of the text, in file order. A section runs from its `[Name]` line and a `{`
// line to a `}` line; one that is not closed ends at the next `[Name]` line or the end of
// the file, and its name goes to `unclosed`.
std::vector<Section> split_sections(const std::string& text, Skipped* skipped, std::vector<std::string>* unclosed) {
    std::vector<Section> sections;
    enum { OUTSIDE, NAMED, INSIDE } state = OUTSIDE;
    std::string name;
    size_t number = 0;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        ++number;
        const bool too_long = end - at > MAX_LINE_BYTES;
        std::string line = too_long ? std::string() : text.substr(at, end - at);
        at = end + 1;
        if (too_long) {
            skipped->add(number);
            continue;
        }
        if (!line.empty() && line.back() == '\r') line.pop_back();
        line = trim_blanks(line);
        if (line.empty()) continue;
        const bool header = line.size() >= 2 && line.front() == '[' && line.back() == ']';
        if (state == INSIDE) {
            if (line == "}") {
                state = OUTSIDE;
            } else if (header) {
                unclosed->push_back(sections.back().name);
                name = trim_blanks(line.substr(1, line.size() - 2));
                state = NAMED;
            } else {
                const size_t eq = line.find('=');
                if (eq == std::string::npos)
                    skipped->add(number);
                else
                    sections.back().lines.push_back(
                        Line{number, trim_blanks(line.substr(0, eq)), trim_blanks(line.substr(eq + 1))});
            }
        } else if (header) {
            name = trim_blanks(line.substr(1, line.size() - 2));
            state = NAMED;
        } else if (state == NAMED && line == "{") {
            sections.push_back(Section{name, {}});
            state = INSIDE;
        } else {
            skipped->add(number);
            state = OUTSIDE;
        }
    }
    if (state == INSIDE) unclosed->push_back(sections.back().name);
    return sections;
}

// Stable by tick; of equal ticks and types, one with the longest length.
void sort_and_merge(std::vector<ChartItem>* items) {
    std::stable_sort(items->begin(), items->end(), [](const ChartItem& a, const ChartItem& b) { return a.tick < b.tick; });
    std::vector<ChartItem> kept;
    kept.reserve(items->size());
    size_t tick_start = 0;
    for (const ChartItem& item : *items) {
        if (kept.empty() || kept.back().tick != item.tick) tick_start = kept.size();
        bool merged = false;
        for (size_t k = tick_start; k < kept.size() && !merged; ++k) {
            if (kept[k].type == item.type) {
                kept[k].length = std::max(kept[k].length, item.length);
                merged = true;
            }
        }
        if (!merged) kept.push_back(item);
    }
    items->swap(kept);
}

void sort_texts(std::vector<ChartText>* texts) {
    std::stable_sort(texts->begin(), texts->end(), [](const ChartText& a, const ChartText& b) { return a.tick < b.tick; });
}

// Of several entries on one tick the last holds; tick 0 gets `first` when none is there.
template <typename T>
void last_of_each_tick(std::vector<T>* list, const T& first) {
    std::stable_sort(list->begin(), list->end(), [](const T& a, const T& b) { return a.tick < b.tick; });
    std::vector<T> kept;
    for (const T& e : *list) {
        if (!kept.empty() && kept.back().tick == e.tick)
            kept.back() = e;
        else
            kept.push_back(e);
    }
    if (kept.empty() || kept.front().tick != 0) kept.insert(kept.begin(), first);
    list->swap(kept);
}

int32_t instrument_of(const std::string& name, int32_t* difficulty) {
    static const char* const DIFFICULTIES[] = {"Easy", "Medium", "Hard", "Expert"};
    static const char* const INSTRUMENTS[] = {"Single", "DoubleGuitar", "DoubleBass", "DoubleRhythm", "Keyboard", "Drums"};
    for (int32_t d = 0; d < 4; ++d) {
        const std::string prefix = DIFFICULTIES[d];
        if (name.compare(0, prefix.size(), prefix) != 0) continue;
        for (int32_t i = 0; i < CHART_INSTRUMENTS; ++i) {
            if (name.compare(prefix.size(), std::string::npos, INSTRUMENTS[i]) == 0) {
                *difficulty = d;
                return i;
            }
        }
    }
    return -1;
}

bool is_stream_key(const std::string& key) {
    static const char* const KEYS[] = {"musicstream", "guitarstream", "rhythmstream", "bassstream",
                                       "keysstream", "drumstream", "drum2stream", "drum3stream",
                                       "drum4stream", "vocalstream", "crowdstream"};
    const std::string k = lower_ascii(key);
    for (const char* s : KEYS)
        if (k == s) return true;
    return false;
}

struct Reader {
    Reader(ChartFile* c, std::vector<std::string>* w, std::string* e) : chart(c), warnings(w), error(e) {}

    ChartFile* chart;
    std::vector<std::string>* warnings;
    std::string* error;
    Skipped skipped;
    bool has_resolution = false;
    size_t slow_tempo_line = 0;
    std::string far_offset;  // the warning of the first Offset beyond the limit

    void song(const Section& s) {
        for (const Line& l : s.lines) {
            const std::string key = lower_ascii(l.key);
            const std::string value = unquote(l.value);
            if (key == "resolution") {
                int64_t r = 0;
                if (!parse_count(value, &r) || r > MAX_RESOLUTION) {
                    skipped.add(l.number);
                } else if (r == 0) {
                    *error = "line " + std::to_string(l.number) + ": Resolution 0 (no ticks per quarter note)";
                    return;
                } else {
                    chart->resolution = static_cast<int32_t>(r);
                    has_resolution = true;
                }
            } else if (key == "offset") {
                double seconds = 0.0;
                if (!parse_decimal(value, &seconds)) {
                    skipped.add(l.number);
                } else if (std::fabs(seconds) * 1000.0 > MAX_OFFSET_MS) {
                    if (far_offset.empty())
                        far_offset = "line " + std::to_string(l.number) + ": Offset " + quoted_text(value) +
                                     " is beyond " + std::to_string(MAX_OFFSET_MS / 1000) + " s; ignored";
                } else {
                    chart->has_offset = true;
                    chart->offset_ms = static_cast<int32_t>(std::lround(seconds * 1000.0));
                }
            } else if (key == "name") {
                chart->name = value;
            } else if (key == "artist") {
                chart->artist = value;
            } else if (key == "charter") {
                chart->charter = value;
            } else if (is_stream_key(l.key)) {
                chart->streams.push_back(ChartStream{l.key, value});
            }
        }
    }

    // The tick of a data line, or false (the line counted as skipped).
    bool tick_of(const Line& l, int64_t* tick, std::vector<std::string>* tokens) {
        *tokens = split_blanks(l.value);
        if (!parse_count(l.key, tick) || tokens->empty()) {
            skipped.add(l.number);
            return false;
        }
        return true;
    }

    // The text after the type code of an E line.
    static std::string text_of(const std::string& value) {
        size_t i = 1;
        while (i < value.size() && is_blank(value[i])) ++i;
        return unquote(value.substr(i));
    }

    void sync_track(const Section& s) {
        for (const Line& l : s.lines) {
            int64_t tick = 0, a = 0, e = 2;
            std::vector<std::string> t;
            if (!tick_of(l, &tick, &t)) continue;
            if (t[0] == "B") {
                if (t.size() < 2 || !parse_count(t[1], &a)) {
                    skipped.add(l.number);
                } else if (a == 0) {
                    *error = "line " + std::to_string(l.number) + ": a tempo of 0 beats per minute (B 0)";
                    return;
                } else {
                    if (a < MIN_TEMPO && !slow_tempo_line) slow_tempo_line = l.number;
                    const int64_t us = std::llround(60000000000.0 / static_cast<double>(std::max(a, MIN_TEMPO)));
                    chart->tempos.push_back(SmfTempo{tick, static_cast<uint32_t>(us)});
                }
            } else if (t[0] == "TS") {
                if (t.size() < 2 || !parse_count(t[1], &a) || a > 255 || (t.size() > 2 && !parse_count(t[2], &e))) {
                    skipped.add(l.number);
                } else if (a == 0) {
                    *error = "line " + std::to_string(l.number) + ": a time signature of 0 beats (TS 0)";
                    return;
                } else {
                    chart->signatures.push_back(
                        SmfTimeSignature{tick, static_cast<int32_t>(a), 1 << std::min<int64_t>(e, 6)});
                }
            }
        }
    }

    void events(const Section& s) {
        chart->events.clear();
        for (const Line& l : s.lines) {
            int64_t tick = 0;
            std::vector<std::string> t;
            if (!tick_of(l, &tick, &t)) continue;
            if (t[0] == "E") chart->events.push_back(ChartText{tick, text_of(l.value)});
        }
        sort_texts(&chart->events);
    }

    void difficulty(const Section& s, ChartDifficulty* part) {
        *part = ChartDifficulty{};
        part->present = true;
        for (const Line& l : s.lines) {
            int64_t tick = 0, type = 0, length = 0;
            std::vector<std::string> t;
            if (!tick_of(l, &tick, &t)) continue;
            if (t[0] == "N" || t[0] == "S") {
                if (t.size() < 3 || !parse_count(t[1], &type) || !parse_count(t[2], &length)) {
                    skipped.add(l.number);
                    continue;
                }
                (t[0] == "N" ? part->notes : part->phrases)
                    .push_back(ChartItem{tick, static_cast<int32_t>(type), length});
            } else if (t[0] == "E") {
                part->texts.push_back(ChartText{tick, text_of(l.value)});
            }
        }
        sort_and_merge(&part->notes);
        sort_and_merge(&part->phrases);
        sort_texts(&part->texts);
    }
};

}  // namespace

bool chart_parse(const uint8_t* data, size_t size, ChartFile* out, std::vector<std::string>* warnings,
                 std::string* error) {
    *out = ChartFile{};
    const std::string text = decode_to_utf8(data, size);
    std::string why;
    Reader r(out, warnings, &why);
    std::vector<std::string> unclosed;
    std::vector<Section> sections = split_sections(text, &r.skipped, &unclosed);
    if (sections.empty()) {
        *error = "not a .chart file: no [Song], [SyncTrack] or instrument section in it";
        return false;
    }

    // A section given twice: the last one holds.
    std::map<std::string, size_t> last;
    for (size_t i = 0; i < sections.size(); ++i) last[sections[i].name] = i;
    ChartFile& chart = *out;
    for (size_t i = 0; i < sections.size() && why.empty(); ++i) {
        const Section& s = sections[i];
        if (last[s.name] != i) continue;
        int32_t d = 0;
        const int32_t instrument = instrument_of(s.name, &d);
        if (s.name == "Song")
            r.song(s);
        else if (s.name == "SyncTrack")
            r.sync_track(s);
        else if (s.name == "Events")
            r.events(s);
        else if (instrument >= 0)
            r.difficulty(s, &chart.parts[instrument][d]);
    }
    if (!why.empty()) {
        *out = ChartFile{};
        *error = why;
        return false;
    }
    last_of_each_tick(&chart.tempos, SmfTempo{0, 500000});
    last_of_each_tick(&chart.signatures, SmfTimeSignature{0, 4, 4});

    if (!r.far_offset.empty()) warnings->push_back(r.far_offset);
    if (!r.has_resolution) warnings->push_back("no Resolution in [Song]; 192 ticks per quarter note assumed");
    if (!unclosed.empty())
        warnings->push_back((unclosed.size() == 1 ? "section " + quoted_text(unclosed[0]) + " does"
                                                  : std::to_string(unclosed.size()) + " sections do") +
                            " not close with '}'; read up to the next section or the end of the file");
    if (r.slow_tempo_line)
        warnings->push_back("line " + std::to_string(r.slow_tempo_line) +
                            ": a tempo below 3.577 beats per minute, which MIDI cannot hold; read as 3.577");
    if (r.skipped.count)
        warnings->push_back((r.skipped.count == 1 ? std::string("1 line") : std::to_string(r.skipped.count) + " lines") +
                            " could not be read and " + (r.skipped.count == 1 ? "was" : "were") +
                            " skipped (the first: line " + std::to_string(r.skipped.first) + ")");
    return true;
}

bool chart_load(const std::string& path, ChartFile* out, std::vector<std::string>* warnings, std::string* error) {
    *out = ChartFile{};
    std::string bytes;
    bool longer = false;
    if (!read_file_start(path, MAX_CHART_BYTES, &bytes, &longer, error)) return false;
    if (longer) {
        *error = "larger than " + std::to_string(MAX_CHART_BYTES >> 20) + " MB; not a .chart file";
        return false;
    }
    return chart_parse(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), out, warnings, error);
}
