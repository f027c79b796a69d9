// The song the tool renders: a chart file (MIDI or .chart) or a song folder (its chart,
// song.ini and stems), read with reasons a user can act on, and what is looked up in it
// (tracks, modes, moments, length). Used by tiver-render's main.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "songfile/chart_file.h"
#include "songfile/chart_song.h"
#include "songfile/smf.h"
#include "songfile/song_folder.h"
#include "songfile/song_ini.h"
#include "tools/tiver-render/options.h"
#include "tools/tiver-render/session.h"

// Where the chart and its audio come from.
struct SongSource {
    std::string chart;               // the chart file
    std::string folder;              // the song folder; empty when a chart file was given
    SongIni ini;                     // the folder's song.ini (nothing set without one)
    std::vector<std::string> stems;  // the folder's audio stems
    SongFolder contents;             // what the folder holds
    // A .chart: what it holds, and how it becomes the MIDI song (see load_song).
    bool chart_text = false;
    ChartFile chart_file;
    ChartConversion conversion;
};

// `path` is a chart file or a song folder; `chart_name` picks the chart of a folder (empty:
// notes.mid, else its .chart). False with a one-line reason for a folder without a chart;
// song.ini problems and the choice among several charts are printed as warnings on stderr.
bool open_song_source(const std::string& path, const std::string& chart_name, SongSource* out,
                      std::string* error);

// Reads the source's chart into `song`; false with a one-line reason naming the file. A
// .chart also fills in what song.ini does not say: the name, artist and charter of its
// [Song], its Offset as the delay (when song.ini has no delay but 0), the drums' mode from
// its kind, and in a folder the stems its [Song] keys name. Its warnings go to stderr.
bool load_song(SongSource* source, SmfFile* song, std::string* error);

// A .chart's track-wide phrases (star power, solos, taps, tom markers, fills, lanes) come
// from one difficulty: each view's track is made again from its own difficulty, as a copy
// when two views show one instrument at different difficulties. Nothing for a MIDI song.
void fit_song_to_views(const SongSource& source, SmfFile* song, std::vector<ViewSettings>* views);

// Takes song.ini's delay and HOPO threshold (converted from the chart's `resolution`) into
// the options the command line left unset.
void apply_song_ini(const SongIni& ini, int32_t resolution, RenderOptions* options);

// The audio of the render: none with --no-audio, the --audio files, or else the stems.
// False with a reason when an --audio file does not exist.
bool choose_audio(const RenderOptions& options, const SongSource& source, std::vector<std::string>* files,
                  std::string* error);

// Prints the song's name, artist and charter (those known) and the tracks with their gem
// counts per difficulty on stdout (open notes and Expert's second kick included).
void list_tracks(const SmfFile& song, const SongIni& ini);

// The track named `which`, or else the track of that index; -1 when there is none.
int32_t resolve_track(const SmfFile& song, const std::string& which);

// The mode a track's name suggests: drums for a name with DRUM (Pro Drums, or OLD Drums
// when `pro_drums` is false), Keys for KEYS, else Guitar/Bass.
int32_t mode_for_track(const SmfFile& song, int32_t track, bool pro_drums = true);

// One second after the first gem of the difficulty, so the picture shows notes arriving.
double default_moment(const SmfFile& song, int32_t track, int32_t difficulty);

// Seconds of the track's last event (a note's end, a phrase's end, a text event): where its
// chart is over.
double chart_end_seconds(const SmfFile& song, int32_t track);

// Where the whole song ends in transport time: the end of the audio (`audio_end` > 0), or
// else 2 s after the track's last event reaches the strike line, `offset_ms` later.
double whole_song_end(const SmfFile& song, int32_t track, int32_t offset_ms, double audio_end);
