// The song the tool renders: a chart MIDI file or a song folder (its notes.mid, song.ini
// and stems), read with reasons a user can act on, and what is looked up in it (tracks,
// modes, moments, length). Used by tiver-render's main.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "songfile/smf.h"
#include "tools/tiver-render/options.h"
#include "songfile/song_ini.h"

// Where the chart and its audio come from.
struct SongSource {
    std::string chart;               // the MIDI file
    std::string folder;              // the song folder; empty when a MIDI file was given
    SongIni ini;                     // the folder's song.ini (nothing set without one)
    std::vector<std::string> stems;  // the folder's audio stems
};

// `path` is a MIDI file or a song folder. False with a one-line reason for a folder without
// notes.mid; song.ini problems are printed as warnings on stderr.
bool open_song_source(const std::string& path, SongSource* out, std::string* error);

// Takes song.ini's delay and HOPO threshold (converted from the chart's `resolution`) into
// the options the command line left unset.
void apply_song_ini(const SongIni& ini, int32_t resolution, RenderOptions* options);

// The audio of the render: none with --no-audio, the --audio files, or else the stems.
// False with a reason when an --audio file does not exist.
bool choose_audio(const RenderOptions& options, const SongSource& source, std::vector<std::string>* files,
                  std::string* error);

// Reads the chart at `path`; false with a one-line reason naming the file.
bool load_chart(const std::string& path, SmfFile* song, std::string* error);

// Prints the song's name, artist and charter (those known) and the tracks with their gem
// counts per difficulty on stdout.
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
