// libFuzzer target of the song.ini reader: any bytes are read without a fault, and what
// comes out keeps its promises: names without terminal controls, each warning one short
// printable line, the delay and the HOPO threshold within the tool's limits.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "songfile/song_ini.h"

namespace {

void check(bool holds) {
    if (!holds) std::abort();
}

void check_printable(const std::string& s) {
    for (size_t i = 0; i < s.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        check(c >= 0x20 && c != 0x7F);
        // No C1 control in UTF-8 form either.
        if (c == 0xC2 && i + 1 < s.size()) {
            const unsigned char d = static_cast<unsigned char>(s[i + 1]);
            check(d < 0x80 || d > 0x9F);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> warnings;
    const SongIni ini = parse_song_ini(text, &warnings);

    check_printable(ini.name);
    check_printable(ini.artist);
    check_printable(ini.charter);
    // At most one warning per line, plus one for the whole text.
    size_t lines = 1;
    for (char c : text) lines += c == '\n' || c == '\r';
    check(warnings.size() <= lines);
    for (const std::string& w : warnings) {
        check(!w.empty() && w.size() < 200);
        for (char c : w) check(c != '\n' && c != '\r' && c != '\x1b');
    }
    if (ini.has_delay) check(ini.delay_ms >= -MAX_OFFSET_MS && ini.delay_ms <= MAX_OFFSET_MS);
    for (int32_t resolution : {0, 1, 192, 480, 960, 65535}) {
        const int32_t hopo = song_ini_hopo_threshold(ini, resolution, 170);
        check(hopo >= MIN_HOPO && hopo <= MAX_HOPO);
    }
    return 0;
}
