// A song folder as charters share them: the chart (notes.mid), an optional song.ini and the
// audio stems, all found by name without regard to case. Used by the song step.
#pragma once

#include <string>
#include <vector>

#include "songfile/song_ini.h"

struct SongFolder {
    std::string chart;               // path of notes.mid
    std::string ini_path;            // path of song.ini, empty when there is none
    SongIni ini;                     // its keys (all unset without a song.ini)
    std::vector<std::string> stems;  // paths of the audio stems, in stem_order
};

// The stems to mix from the names (not paths) of a folder's files: each of song, guitar,
// rhythm, bass, keys, drums, drums_1..drums_4, vocals, vocals_1, vocals_2 and crowd with
// extension .ogg, .opus, .mp3, .wav or .flac, in that order of names; one file per stem
// (the first extension of that list, then the first name in byte order).
std::vector<std::string> find_stems(const std::vector<std::string>& names);

// Reads folder `dir`. False with a one-line reason when it holds no notes.mid (saying so
// for a folder with only a notes.chart) or cannot be listed. Problems with song.ini are
// warnings (the file is then partly or wholly ignored), never failures.
bool open_song_folder(const std::string& dir, SongFolder* out, std::vector<std::string>* warnings,
                      std::string* error);
