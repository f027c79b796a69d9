#include "tools/tiver-render/song_ini.h"

#include <cmath>
#include <cstdlib>

#include "tools/tiver-render/options.h"

namespace {

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

std::string trim(const std::string& s) {
    size_t a = 0, b = s.size();
    while (a < b && is_space(s[a])) ++a;
    while (b > a && is_space(s[b - 1])) --b;
    return s.substr(a, b - a);
}

std::string lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// Whether `s` is well-formed UTF-8: no stray continuation bytes, no overlong forms, no
// surrogates, nothing above U+10FFFF.
bool valid_utf8(const std::string& s) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const size_t n = s.size();
    for (size_t i = 0; i < n;) {
        const unsigned c = p[i];
        size_t len = 0;
        uint32_t cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            len = 2, cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3, cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4, cp = c & 0x07;
        } else {
            return false;
        }
        if (n - i < len) return false;
        for (size_t k = 1; k < len; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) return false;
            cp = cp << 6 | (p[i + k] & 0x3F);
        }
        if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += len;
    }
    return true;
}

// A name as shown on a terminal and written into a file's metadata: control characters
// (C0, DEL and, in valid UTF-8, C1) become spaces, so a song.ini cannot send escape
// sequences through the tool.
std::string printable(const std::string& s) {
    std::string out = s;
    for (size_t i = 0; i < out.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(out[i]);
        if (c < 0x20 || c == 0x7F) {
            out[i] = ' ';
        } else if (c == 0xC2 && i + 1 < out.size() && static_cast<unsigned char>(out[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(out[i + 1]) <= 0x9F) {
            out.replace(i, 2, " ");
        }
    }
    return out;
}

// A value quoted in a warning: printable and short.
std::string quoted(const std::string& s) {
    std::string p = printable(s);
    if (p.size() > 40) {
        size_t cut = 40;
        while (cut > 0 && (static_cast<unsigned char>(p[cut]) & 0xC0) == 0x80) --cut;
        p = p.substr(0, cut) + "...";
    }
    return "'" + p + "'";
}

// A decimal number such as -12, 170 or 0.5 (no exponent, no hex, no spaces inside).
bool parse_number(const std::string& text, double* out) {
    size_t i = 0;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
    size_t digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
    }
    if (digits == 0 || i != text.size() || digits > 30) return false;
    *out = std::strtod(text.c_str(), nullptr);
    return std::isfinite(*out);
}

bool parse_flag(const std::string& text, bool* out) {
    const std::string t = lower(text);
    if (t == "1" || t == "true") return *out = true, true;
    if (t == "0" || t == "false") return *out = false, true;
    return false;
}

}  // namespace

SongIni parse_song_ini(const std::string& input, std::vector<std::string>* warnings) {
    SongIni ini;
    const auto warn = [&](size_t line, const std::string& what) {
        warnings->push_back("line " + std::to_string(line) + ": " + what + "; line skipped");
    };
    if (input.size() >= 2 && ((input[0] == '\xFF' && input[1] == '\xFE') || (input[0] == '\xFE' && input[1] == '\xFF'))) {
        warnings->push_back("written in UTF-16, not UTF-8; not read");
        return ini;
    }
    const size_t start = input.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;

    bool in_song = false;
    size_t number = 0;
    for (size_t at = start; at < input.size();) {
        size_t end = at;
        while (end < input.size() && input[end] != '\n' && input[end] != '\r') ++end;
        const std::string line = trim(input.substr(at, end - at));
        at = end;
        if (at < input.size()) at += input[at] == '\r' && at + 1 < input.size() && input[at + 1] == '\n' ? 2 : 1;
        ++number;

        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line[0] == '[') {
            const size_t close = line.find(']');
            if (close == std::string::npos) {
                warn(number, "a section name without its closing ']'");
                in_song = false;
                continue;
            }
            in_song = lower(trim(line.substr(1, close - 1))) == "song";
            continue;
        }
        if (!in_song) continue;
        if (!valid_utf8(line)) {
            warn(number, "not UTF-8 text");
            continue;
        }
        const size_t eq = line.find('=');
        if (eq == std::string::npos) {
            warn(number, quoted(line) + " is not 'key = value'");
            continue;
        }
        const std::string key = lower(trim(line.substr(0, eq)));
        const std::string value = trim(line.substr(eq + 1));
        if (key.empty()) {
            warn(number, quoted(line) + " has no key before '='");
            continue;
        }

        double n = 0.0;
        bool flag = false;
        if (key == "delay") {
            if (!parse_number(value, &n)) {
                warn(number, "delay " + quoted(value) + " is not a number of milliseconds");
            } else if (std::fabs(n) > MAX_OFFSET_MS) {
                warn(number, "delay " + quoted(value) + " is beyond " + std::to_string(MAX_OFFSET_MS) + " ms");
            } else {
                ini.has_delay = true;
                ini.delay_ms = static_cast<int32_t>(std::lround(n));
            }
        } else if (key == "hopo_frequency") {
            if (!parse_number(value, &n) || std::fabs(n) > 1e9) {
                warn(number, "hopo_frequency " + quoted(value) + " is not a number of ticks");
            } else {
                ini.has_hopo_frequency = true;
                ini.hopo_frequency = static_cast<int64_t>(std::llround(n));
            }
        } else if (key == "eighthnote_hopo" || key == "pro_drums") {
            if (!parse_flag(value, &flag)) {
                warn(number, key + " " + quoted(value) + " is not 1, 0, true or false");
            } else if (key == "pro_drums") {
                ini.has_pro_drums = true;
                ini.pro_drums = flag;
            } else {
                ini.has_eighthnote_hopo = true;
                ini.eighthnote_hopo = flag;
            }
        } else if (key == "preview_start_time" || key == "preview_end_time") {
            // 0 or a negative number (some files hold -1) means none is given.
            if (!parse_number(value, &n) || n > MAX_SECONDS * 1000.0) {
                warn(number, key + " " + quoted(value) + " is not a number of milliseconds");
            } else if (n > 0.0) {
                (key == "preview_start_time" ? ini.preview_start_ms : ini.preview_end_ms) = std::llround(n);
            }
        } else if (key == "name") {
            ini.name = printable(value);
        } else if (key == "artist") {
            ini.artist = printable(value);
        } else if (key == "charter") {
            ini.charter = printable(value);
        }
    }
    return ini;
}

int32_t song_ini_hopo_threshold(const SongIni& ini, int32_t resolution, int32_t fallback) {
    double ticks = fallback;
    if (ini.has_hopo_frequency) {
        const double per_quarter = resolution > 0 ? resolution : 480;
        ticks = std::round(static_cast<double>(ini.hopo_frequency) * 480.0 / per_quarter);
    } else if (ini.has_eighthnote_hopo && ini.eighthnote_hopo) {
        ticks = 240;
    }
    if (!(ticks >= MIN_HOPO)) ticks = MIN_HOPO;
    if (ticks > MAX_HOPO) ticks = MAX_HOPO;
    return static_cast<int32_t>(ticks);
}
