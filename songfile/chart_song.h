// A .chart file turned into the song the MIDI reader gives: the tempo track, one track per
// instrument named as a DAW project names it (PART GUITAR, PART GUITAR COOP, PART BASS,
// PART RHYTHM, PART KEYS, PART DRUMS) with the notes, markers and text events a MIDI chart
// holds, EVENTS and PART VOCALS, at the file's own resolution. Every five-fret note's
// strum, HOPO or tap state is resolved here by the .chart rules and written as a force
// marker, so no consumer's own HOPO rule decides it. Used by the song step and the fuzz
// target.
#pragma once

#include <cstdint>
#include <string>

#include "songfile/chart_file.h"
#include "songfile/smf.h"
#include "songfile/song_ini.h"

enum class ChartDrums {
    FOUR_LANE,  // red, yellow, blue, green pads without cymbals: shown in OLD Drums mode
    PRO,        // cymbal flags: Pro Drums with tom markers on the unflagged pads
    FIVE_LANE,  // five pads, mapped onto Pro Drums' four lanes
};

struct ChartConversion {
    // A single note at most this many ticks after the previous note group is a natural HOPO.
    int64_t hopo_threshold = 65;
    ChartDrums drums = ChartDrums::FOUR_LANE;
};

// The threshold song.ini asks for at the chart's resolution (hopo_frequency ticks, else
// an eighth note and a tick for eighthnote_hopo, else 65/192 of a quarter note), and the
// kind of drums: five_lane_drums or pro_drums set true decide; else cymbal flags make Pro
// Drums (whatever pro_drums = false says: a flagged chart is a Pro chart) and a fifth pad
// makes five lanes (unless five_lane_drums = false); else four plain lanes.
ChartConversion chart_conversion(const ChartFile& chart, const SongIni& ini);

// The MIDI track name of an instrument, and the instrument of a track name (-1 for none).
const char* chart_track_name(int32_t instrument);
int32_t chart_instrument_named(const std::string& track_name);

// The track of one instrument: every difficulty's notes and force markers, and the
// track-wide phrases, tap and tom markers and texts of difficulty `shown` (0..3): MIDI
// holds those once per track where the .chart holds them per difficulty.
SmfTrack chart_instrument_track(const ChartFile& chart, int32_t instrument, const ChartConversion& conversion,
                                int32_t shown);

// The whole song, the track-wide items of each instrument from Expert.
SmfFile chart_to_smf(const ChartFile& chart, const ChartConversion& conversion);
