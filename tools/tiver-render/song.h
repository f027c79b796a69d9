// The song the tool renders: the chart MIDI file read with reasons a user can act on, and
// what is looked up in it (tracks, modes, moments). Used by tiver-render's main.
#pragma once

#include <cstdint>
#include <string>

#include "host/smf.h"

// Reads the chart at `path`; false with a one-line reason naming the file.
bool load_chart(const std::string& path, SmfFile* song, std::string* error);

// Prints the tracks with their gem counts per difficulty on stdout.
void list_tracks(const SmfFile& song);

// The track named `which`, or else the track of that index; -1 when there is none.
int32_t resolve_track(const SmfFile& song, const std::string& which);

// The mode a track's name suggests: Pro Drums for a name with DRUM, Keys for KEYS, else
// Guitar/Bass.
int32_t mode_for_track(const SmfFile& song, int32_t track);

// One second after the first gem of the difficulty, so the picture shows notes arriving.
double default_moment(const SmfFile& song, int32_t track, int32_t difficulty);
