#include "tools/tiver-render/caption.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

#include "host/tempo_map.h"
#include "raster/tess.h"

namespace {

constexpr int32_t CELL = 8;  // the font's cell, in font pixels
constexpr float SHADOW_ALPHA = 0.7f;

std::string trim(const std::string& s) {
    size_t a = 0, b = s.size();
    while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
    while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
    return s.substr(a, b - a);
}

bool starts_with_nocase(const std::string& s, const char* head) {
    for (size_t i = 0; head[i]; ++i)
        if (i >= s.size() || std::tolower(static_cast<unsigned char>(s[i])) != head[i]) return false;
    return true;
}

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// Each word's first letter capital and the rest small; words split at spaces and '_'.
std::string title_case(const std::string& s) {
    std::string out;
    bool start = true;
    for (char c : s) {
        if (c == '_' || c == ' ') {
            if (!out.empty() && out.back() != ' ') out += ' ';
            start = true;
            continue;
        }
        const unsigned char u = static_cast<unsigned char>(c);
        out += static_cast<char>(start ? std::toupper(u) : std::tolower(u));
        start = false;
    }
    return trim(out);
}

// The data of a text or marker meta event, or false for any other event.
bool meta_text(const SmfTrack& t, const SmfEvent& e, std::string* text) {
    const uint8_t* m = t.message(e);
    if (e.size < 3 || m[0] != 0xFF || (m[1] != 0x01 && m[1] != 0x06)) return false;
    uint32_t at = 2;
    while (at < e.size && (m[at] & 0x80)) ++at;  // the length's continuation bytes
    if (++at > e.size) return false;
    text->assign(reinterpret_cast<const char*>(m) + at, e.size - at);
    return true;
}

int32_t text_width(const std::string& text, int32_t scale) { return static_cast<int32_t>(text.size()) * CELL * scale; }

// `text` cut to `chars` characters, the last three of them "..." when anything was cut.
std::string cut(const std::string& text, int32_t chars) {
    if (chars <= 0) return "";
    if (static_cast<int32_t>(text.size()) <= chars) return text;
    if (chars < 4) return text.substr(0, static_cast<size_t>(chars));
    std::string kept = text.substr(0, static_cast<size_t>(chars - 3));
    while (!kept.empty() && kept.back() == ' ') kept.pop_back();
    return kept + "...";
}

int32_t line_height(int32_t scale) { return CELL * scale + caption_shadow(scale); }

void draw_line(TESS_IBitmap* picture, int32_t x, int32_t y, int32_t scale, const std::string& text) {
    const int32_t s = caption_shadow(scale);
    TESS_DrawTextScaled(picture, x + s, y + s, text.c_str(), scale, CAPTION_SHADOW, SHADOW_ALPHA, TESS_BLIT_MODE_COPY);
    TESS_DrawTextScaled(picture, x, y, text.c_str(), scale, CAPTION_TEXT, 1.0f, TESS_BLIT_MODE_COPY);
}

// Accented Latin-1 letters U+00C0..U+00FF as plain ones (U+00D7 and U+00F7 as x and /).
const char LATIN1_PLAIN[] = "AAAAAAACEEEEIIIIDNOOOOOxOUUUUYTsaaaaaaaceeeeiiiidnooooo/ouuuuyty";

char plain_letter(uint32_t cp) {
    if (cp >= 0xC0 && cp <= 0xFF) return LATIN1_PLAIN[cp - 0xC0];
    if (cp >= 0x2010 && cp <= 0x2015) return '-';
    if (cp == 0x2018 || cp == 0x2019) return '\'';
    if (cp == 0x201C || cp == 0x201D) return '"';
    if (cp == 0xA0) return ' ';
    return '?';
}

}  // namespace

std::string section_name(const std::string& text) {
    std::string t = trim(text);
    if (t.size() >= 2 && t.front() == '[' && t.back() == ']') t = trim(t.substr(1, t.size() - 2));
    std::string name;
    if (starts_with_nocase(t, "section ") || starts_with_nocase(t, "section_"))
        name = t.substr(8);
    else if (starts_with_nocase(t, "prc_"))
        name = t.substr(4);
    else
        return "";
    for (char& c : name)
        if (c == '_') c = ' ';
    name = trim(name);
    if (!name.empty()) name[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
    return name;
}

std::vector<CaptionSection> chart_sections(const SmfFile& song, int32_t offset_ms) {
    std::vector<CaptionSection> sections;
    int32_t events = smf_find_track(song, "EVENTS");
    for (size_t i = 0; events < 0 && i < song.tracks.size(); ++i)
        if (upper(song.tracks[i].name) == "EVENTS") events = static_cast<int32_t>(i);
    if (events < 0) return sections;
    const SmfTrack& t = song.tracks[static_cast<size_t>(events)];
    const TempoMap map = tempo_map_from(song);
    std::string text;
    for (const SmfEvent& e : t.events) {
        if (!meta_text(t, e, &text)) continue;
        const std::string name = section_name(text);
        if (!name.empty())
            sections.push_back({tempo_ticks_to_seconds(map, static_cast<double>(e.tick)) + offset_ms / 1000.0, name});
    }
    std::stable_sort(sections.begin(), sections.end(),
                     [](const CaptionSection& a, const CaptionSection& b) { return a.seconds < b.seconds; });
    return sections;
}

std::string section_at(const std::vector<CaptionSection>& sections, double seconds) {
    const auto after = std::upper_bound(sections.begin(), sections.end(), seconds,
                                        [](double s, const CaptionSection& c) { return s < c.seconds; });
    return after == sections.begin() ? "" : (after - 1)->name;
}

std::string view_label(const SmfFile& song, const ViewSettings& view) {
    static const char* const modes[] = {"Guitar", "Pro Drums", "Drums", "Keys"};
    static const char* const difficulties[] = {"Easy", "Medium", "Hard", "Expert"};
    std::string part;
    const std::string name = view.track >= 0 && view.track < static_cast<int32_t>(song.tracks.size())
                                 ? trim(song.tracks[static_cast<size_t>(view.track)].name)
                                 : "";
    if (starts_with_nocase(name, "part ")) {
        part = title_case(name.substr(5));
        if (view.mode == 1 && upper(part).find("DRUM") != std::string::npos && !starts_with_nocase(part, "pro "))
            part = "Pro " + part;
    } else {
        part = !name.empty() ? name : modes[view.mode >= 0 && view.mode < 4 ? view.mode : 0];
    }
    const int32_t d = view.difficulty >= 0 && view.difficulty < 4 ? view.difficulty : 3;
    return part + " - " + difficulties[d];
}

std::string caption_clock(double seconds, double length) {
    const auto clock = [](double v) {
        const long s = v > 0.0 ? static_cast<long>(std::min(std::floor(v + 1e-9), 359999.0)) : 0;
        char buffer[32];
        if (s >= 3600)
            std::snprintf(buffer, sizeof buffer, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
        else
            std::snprintf(buffer, sizeof buffer, "%ld:%02ld", s / 60, s % 60);
        return std::string(buffer);
    };
    return clock(seconds) + " / " + clock(length);
}

std::string font_text(const std::string& utf8) {
    std::string out;
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const size_t n = utf8.size();
    for (size_t i = 0; i < n;) {
        const unsigned c = p[i];
        if (c < 0x80) {
            out += c < 0x20 || c == 0x7F ? ' ' : static_cast<char>(c);
            ++i;
            continue;
        }
        const size_t len = c >= 0xF0 ? (c <= 0xF4 ? 4 : 0) : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
        uint32_t cp = len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
        size_t k = 1;
        while (len && k < len && i + k < n && (p[i + k] & 0xC0) == 0x80) cp = cp << 6 | (p[i + k++] & 0x3F);
        if (!len || k < len) {  // a stray or cut-short sequence: one mark for what was read
            out += '?';
            i += k;
            continue;
        }
        out += plain_letter(cp);
        i += len;
    }
    return out;
}

int32_t caption_limit(int32_t column_width, int32_t height) {
    const int64_t side = std::min(column_width, height);
    return static_cast<int32_t>((height - side) / 2 + side * 15 / 100);
}

int32_t caption_shadow(int32_t scale) { return std::max(1, scale / 2); }

CaptionLayout layout_caption(const CaptionSong& song, const std::vector<std::string>& labels,
                             const std::vector<CaptionSection>& sections, const std::vector<ViewSettings>& views,
                             int32_t width, int32_t height, int32_t top) {
    std::vector<int32_t> lefts, limits;
    int32_t limit = height, x = 0;
    for (const ViewSettings& v : views) {
        lefts.push_back(x);
        limits.push_back(caption_limit(v.width, height));
        limit = std::min(limit, limits.back());
        x += v.width;
    }
    const std::string title = font_text(song.title), artist = font_text(song.artist);
    const std::string charter = song.charter.empty() ? "" : "charted by " + font_text(song.charter);
    size_t longest_section = 0;
    for (const CaptionSection& s : sections) longest_section = std::max(longest_section, font_text(s.name).size());

    // The rows from the most needed to the least: 0 title and time, 1 artist and section,
    // 2 the labels, 3 the charter. At each scale rows are left out from the least needed
    // until the rest fit between `top` and the highways.
    // About a thirtieth of the height, or of the height a 16:9 picture of this width would
    // have, whichever is less: a tall picture keeps room for its title.
    const int32_t measure = static_cast<int32_t>(std::min<int64_t>(height, int64_t{width} * 9 / 16));
    for (int32_t scale = std::max(1, (measure + 120) / 240); scale >= 1; --scale) {
        const int32_t small = std::max(1, (2 * scale + 1) / 3), pad = 2 * scale, gap = scale + scale / 2;
        bool row[4] = {true, !artist.empty() || longest_section > 0, !labels.empty(), !charter.empty()};
        const auto stacked = [&]() {  // rows 0, 1 and 3 stacked from the top; the labels under them
            int32_t h = top + pad + line_height(scale);
            if (row[1]) h += gap + line_height(small);
            if (row[3]) h += gap + line_height(small);
            return h;
        };
        const auto fits = [&]() { return (row[2] ? stacked() + gap + line_height(small) : stacked()) <= limit; };
        for (int drop = 3; drop >= 1 && !fits(); --drop) row[drop] = false;
        if (!fits()) continue;

        CaptionLayout layout;
        const auto place = [&](int32_t y, int32_t s, const std::string& text, int32_t room) {
            const std::string kept = cut(text, room / (CELL * s));
            if (!kept.empty()) layout.fixed.push_back({pad, y, s, kept});
        };
        const int32_t inner = width - 2 * pad;
        int32_t y = top + pad;
        const int32_t clock_width = text_width(caption_clock(song.length, song.length), scale);
        layout.clock = clock_width <= inner;
        layout.clock_right = width - pad;
        layout.clock_y = y;
        layout.clock_scale = scale;
        place(y, scale, title, inner - (layout.clock ? clock_width + CELL * scale : 0));
        y += line_height(scale);
        if (row[1]) {
            y += gap;
            layout.section_chars = std::min(static_cast<int32_t>(longest_section), inner / 2 / (CELL * small));
            layout.section = layout.section_chars > 0;
            layout.section_right = width - pad;
            layout.section_y = y;
            layout.section_scale = small;
            place(y, small, artist, inner - (layout.section ? (layout.section_chars + 1) * CELL * small : 0));
            y += line_height(small);
        }
        if (row[3]) {
            y += gap;
            place(y, small, charter, inner);
            y += line_height(small);
        }
        layout.bottom = y;
        if (row[2]) {
            // Each label centred over its view's highway, just above where the caption must end.
            for (size_t i = 0; i < views.size() && i < labels.size(); ++i) {
                const int32_t room = views[i].width - 2 * pad;
                const std::string text = cut(font_text(labels[i]), room / (CELL * small));
                if (text.empty()) continue;
                const int32_t w = text_width(text, small);
                const int32_t side = std::min(views[i].width, height);
                const int32_t centre = lefts[i] + views[i].width / 2;
                const int32_t lx = std::max(lefts[i] + pad, std::min(centre - w / 2, lefts[i] + views[i].width - pad - w));
                const int32_t ly = std::max(y + gap, limits[i] - line_height(small) - std::max(gap, side / 100));
                layout.fixed.push_back({lx, ly, small, text});
                layout.bottom = std::max(layout.bottom, ly + line_height(small));
            }
        }
        return layout;
    }
    return CaptionLayout();
}

void Caption::init(const CaptionSong& song, const std::vector<std::string>& labels, std::vector<CaptionSection> sections,
                   const std::vector<ViewSettings>& views, int32_t width, int32_t height, int32_t top) {
    song_ = song;
    sections_ = std::move(sections);
    for (CaptionSection& s : sections_) s.name = font_text(s.name);
    layout_ = layout_caption(song, labels, sections_, views, width, height, top);
}

void Caption::draw(TESS_IBitmap* picture, double seconds) const {
    for (const CaptionLine& line : layout_.fixed) draw_line(picture, line.x, line.y, line.scale, line.text);
    if (layout_.clock) {
        // Frames past the song's end (a range asked for beyond it) show its length.
        const std::string clock = caption_clock(std::min(seconds, song_.length), song_.length);
        draw_line(picture, layout_.clock_right - text_width(clock, layout_.clock_scale), layout_.clock_y,
                  layout_.clock_scale, clock);
    }
    if (layout_.section) {
        const std::string name = cut(section_at(sections_, seconds), layout_.section_chars);
        draw_line(picture, layout_.section_right - text_width(name, layout_.section_scale), layout_.section_y,
                  layout_.section_scale, name);
    }
}
