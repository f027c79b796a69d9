// A song folder as charters share them: the chart (notes.mid, or a .chart), an optional
// song.ini and the audio stems, all found by name without regard to case. Used by the
// renderer's song step.
#pragma once

#include <string>
#include <vector>

#include "songfile/chart_file.h"
#include "songfile/song_ini.h"

struct SongFolder {
    std::string path;                // the folder, ending in a slash
    std::string chart;               // path of the chart file: notes.mid or a .chart
    std::string ini_path;            // path of song.ini, empty when there is none
    SongIni ini;                     // its keys (all unset without a song.ini)
    std::vector<std::string> stems;  // paths of the audio stems, in stem_order
    std::vector<std::string> names;  // the names of the folder's files
};

// The stems to mix from the names (not paths) of a folder's files: each of song, guitar,
// rhythm, bass, keys, drums, drums_1..drums_4, vocals, vocals_1, vocals_2 and crowd with
// extension .ogg, .opus, .mp3, .wav or .flac, in that order of names; one file per stem
// (the first extension of that list, then the first name in byte order).
std::vector<std::string> find_stems(const std::vector<std::string>& names);

// Whether a file name ends in .chart (in any case).
bool is_chart_name(const std::string& name);

// Reads folder `dir`. The chart is the file named `chart_name` when one is given, else
// notes.mid, else one of its .chart files (notes.chart first, then a name marked [Y] or [F]
// for forced notes, then the first in byte order); a warning says which was taken when the
// folder holds others. False with a one-line reason when there is no such chart or the
// folder cannot be listed. Problems with song.ini are warnings (the file is then partly or
// wholly ignored), never failures.
bool open_song_folder(const std::string& dir, const std::string& chart_name, SongFolder* out,
                      std::vector<std::string>* warnings, std::string* error);

// The stems a .chart's [Song] keys name, added to the folder's stems after them: only for
// a stem the reserved names did not give, only files directly in the folder with an audio
// extension; a key naming a path or a missing file is skipped with a warning.
void add_stream_stems(SongFolder* folder, const std::vector<ChartStream>& streams, std::vector<std::string>* warnings);
