#include "songfile/song_ini.h"

#include <cmath>

#include "songfile/text.h"

namespace {

bool parse_flag(const std::string& text, bool* out) {
    const std::string t = lower_ascii(text);
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
        const std::string line = trim_blanks(input.substr(at, end - at));
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
            in_song = lower_ascii(trim_blanks(line.substr(1, close - 1))) == "song";
            continue;
        }
        if (!in_song) continue;
        if (!valid_utf8(line)) {
            warn(number, "not UTF-8 text");
            continue;
        }
        const size_t eq = line.find('=');
        if (eq == std::string::npos) {
            warn(number, quoted_text(line) + " is not 'key = value'");
            continue;
        }
        const std::string key = lower_ascii(trim_blanks(line.substr(0, eq)));
        const std::string value = trim_blanks(line.substr(eq + 1));
        if (key.empty()) {
            warn(number, quoted_text(line) + " has no key before '='");
            continue;
        }

        double n = 0.0;
        bool flag = false;
        if (key == "delay") {
            if (!parse_decimal(value, &n)) {
                warn(number, "delay " + quoted_text(value) + " is not a number of milliseconds");
            } else if (std::fabs(n) > MAX_OFFSET_MS) {
                warn(number, "delay " + quoted_text(value) + " is beyond " + std::to_string(MAX_OFFSET_MS) + " ms");
            } else {
                ini.has_delay = true;
                ini.delay_ms = static_cast<int32_t>(std::lround(n));
            }
        } else if (key == "hopo_frequency") {
            if (!parse_decimal(value, &n) || std::fabs(n) > 1e9) {
                warn(number, "hopo_frequency " + quoted_text(value) + " is not a number of ticks");
            } else {
                ini.has_hopo_frequency = true;
                ini.hopo_frequency = static_cast<int64_t>(std::llround(n));
            }
        } else if (key == "eighthnote_hopo" || key == "pro_drums" || key == "five_lane_drums") {
            if (!parse_flag(value, &flag)) {
                warn(number, key + " " + quoted_text(value) + " is not 1, 0, true or false");
            } else if (key == "pro_drums") {
                ini.has_pro_drums = true;
                ini.pro_drums = flag;
            } else if (key == "five_lane_drums") {
                ini.has_five_lane_drums = true;
                ini.five_lane_drums = flag;
            } else {
                ini.has_eighthnote_hopo = true;
                ini.eighthnote_hopo = flag;
            }
        } else if (key == "preview_start_time" || key == "preview_end_time") {
            // 0 or a negative number (some files hold -1) means none is given.
            if (!parse_decimal(value, &n) || n > MAX_PREVIEW_MS) {
                warn(number, key + " " + quoted_text(value) + " is not a number of milliseconds");
            } else if (n > 0.0) {
                (key == "preview_start_time" ? ini.preview_start_ms : ini.preview_end_ms) = std::llround(n);
            }
        } else if (key == "name") {
            ini.name = printable_text(value);
        } else if (key == "artist") {
            ini.artist = printable_text(value);
        } else if (key == "charter") {
            ini.charter = printable_text(value);
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
