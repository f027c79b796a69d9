#include "songfile/song_folder.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/platform.h"
#include "songfile/files.h"

namespace {

const char* const STEMS[] = {"song",    "guitar",  "rhythm",  "bass",   "keys",     "drums",
                             "drums_1", "drums_2", "drums_3", "drums_4", "vocals", "vocals_1",
                             "vocals_2", "crowd"};
const char* const AUDIO_EXTENSIONS[] = {".ogg", ".opus", ".mp3", ".wav", ".flac"};

// A song.ini longer than this is read only up to here: real ones are a few hundred bytes.
constexpr size_t MAX_INI_BYTES = 1 << 20;

std::string lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// The first of `names` equal to `wanted` (lower case) without regard to case; empty if none.
std::string find_name(const std::vector<std::string>& names, const std::string& wanted) {
    std::string found;
    for (const std::string& n : names)
        if (lower(n) == wanted && (found.empty() || n < found)) found = n;
    return found;
}

bool read_ini(const std::string& path, std::string* text, std::vector<std::string>* warnings) {
    FILE* f = platform_fopen_utf8(path.c_str(), "rb");
    if (!f) {
        warnings->push_back(std::string("cannot be read (") + std::strerror(errno) + "); ignored");
        return false;
    }
    text->resize(MAX_INI_BYTES + 1);
    const size_t n = std::fread(&(*text)[0], 1, text->size(), f);
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) {
        warnings->push_back("cannot be read; ignored");
        return false;
    }
    text->resize(std::min(n, MAX_INI_BYTES));
    if (n > MAX_INI_BYTES) warnings->push_back("is longer than 1 MB; only its first megabyte is read");
    return true;
}

}  // namespace

std::vector<std::string> find_stems(const std::vector<std::string>& names) {
    std::vector<std::string> stems;
    for (const char* stem : STEMS) {
        for (const char* ext : AUDIO_EXTENSIONS) {
            const std::string name = find_name(names, std::string(stem) + ext);
            if (!name.empty()) {
                stems.push_back(name);
                break;
            }
        }
    }
    return stems;
}

bool open_song_folder(const std::string& dir, SongFolder* out, std::vector<std::string>* warnings,
                      std::string* error) {
    std::vector<std::string> entries, names;
    if (!list_folder(dir, &entries)) {
        *error = dir + ": cannot read the folder: " + std::strerror(errno);
        return false;
    }
    const std::string prefix = dir.empty() || dir.back() == '/' || dir.back() == '\\' ? dir : dir + "/";
    for (const std::string& e : entries)
        if (is_regular_file(prefix + e)) names.push_back(e);
    SongFolder f;
    const std::string chart = find_name(names, "notes.mid");
    if (chart.empty()) {
        if (!find_name(names, "notes.chart").empty())
            *error = dir + ": holds a notes.chart, but .chart files are not read; a notes.mid is needed";
        else
            *error = dir + ": no notes.mid in this folder";
        return false;
    }
    f.chart = prefix + chart;
    const std::string ini = find_name(names, "song.ini");
    if (!ini.empty()) {
        f.ini_path = prefix + ini;
        std::string text;
        std::vector<std::string> found;
        if (read_ini(f.ini_path, &text, &found)) f.ini = parse_song_ini(text, &found);
        for (const std::string& w : found) warnings->push_back(f.ini_path + ": " + w);
    }
    for (const std::string& stem : find_stems(names)) f.stems.push_back(prefix + stem);
    *out = f;
    return true;
}
