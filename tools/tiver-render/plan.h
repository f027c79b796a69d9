// The run's plan, the step between the song and the session: how the program was started
// (a terminal, or a song folder dropped onto it in Explorer) and what that asks for, what
// kind of output goes to which file, and which moments are painted. Used by tiver-render's
// main.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "songfile/smf.h"
#include "tools/tiver-render/audio.h"
#include "tools/tiver-render/options.h"
#include "tools/tiver-render/session.h"
#include "tools/tiver-render/song.h"

// How the program was started, from whether it owns its console (no terminal started it:
// Explorer made a console for it) and its arguments, argv[0] first.
enum class Launch {
    Terminal,  // from a terminal or another program: does what the options say
    Console,   // its own console, with options: does what they say, then waits for Enter
    Dropped,   // its own console and one path (a drop or "Open with"): the song's review video
    Bare,      // its own console and nothing (a double-click): says how to use it and waits
};
Launch launch_kind(bool owns_console, const std::vector<std::string>& args);

// What a drop asks for: the whole song with the caption and without the control strip, as
// an MP4 named for the song beside its chart (set by drop_output once the song is read).
void apply_drop_defaults(RenderOptions* options);

// The song's title: song.ini's name, else the song folder's name, else the chart file's
// name without its extension.
std::string song_title(const SongSource& source);

// "<artist> - <title>" (the title alone without an artist) made fit for a file name on
// Windows and POSIX: characters no file name may hold become '_', no trailing dots or
// spaces, no device name (CON, NUL, COM1 ...), at most 120 bytes, never empty.
std::string song_file_stem(const std::string& artist, const std::string& title);

// A path in `folder` (empty: the working folder) named `stem` + `extension` that names no
// file or folder yet: "stem.mp4", else "stem (2).mp4", "stem (3).mp4" and so on. Joined with
// the separator the folder's path already uses. Empty when 9999 names are all taken.
std::string unused_path(const std::string& folder, const std::string& stem, const std::string& extension);

// The folder part of `path` (up to its last '/' or '\'), empty when it has none.
std::string folder_of(const std::string& path);

// The drop's MP4: "<artist> - <title>.mp4" beside the chart, never over an existing file.
// Empty when no free name is left.
std::string drop_output(const SongSource& source);

enum class OutputKind { Picture, Frames, Video };

struct RenderPlan {
    OutputKind kind = OutputKind::Picture;
    std::string output;       // the file, or the numbered frames' name pattern
    std::string ffmpeg;       // the encoder program; empty when none was found
    bool range = false;       // a range of moments rather than one
    bool whole_song = false;  // the range is the whole song
    double from = 0.0, to = 0.0;  // the range, in transport seconds
    double first = 0.0;       // the first frame's moment
    int64_t count = 1;        // frames
    double song_end = 0.0;    // where the whole song ends (the caption's length)
};

// The output, decided before anything is read: its kind from -o (an MP4, a name with %d,
// else one PNG), the default names, the encoder (`ffmpeg_on_path` unless --ffmpeg), and
// whether the file can be made. False with a one-line reason.
bool plan_output(const RenderOptions& options, const std::string& ffmpeg_on_path, RenderPlan* plan,
                 std::string* error);

// Whether the audio files are probed before rendering: required for an MP4 (which mixes
// them) and for the whole song or the preview (which end with the audio); wanted for the
// caption's length alone, which without them is taken from the chart.
enum class AudioNeed { None, Wanted, Required };
AudioNeed plan_audio_need(const RenderOptions& options, const RenderPlan& plan);

// The preview range: song.ini's preview_start_time to its preview_end_time, held within the
// song. A start that is 0, missing or not before the song's end becomes a third of the song;
// an end that is missing, not after the start, or given with such a start, 30 s after it.
void preview_range(const SongIni& ini, double song_end, double* from, double* to);

// The moments painted: --at (default: a second after the views' first gem), --from/--to,
// --preview, or the whole song from 0 to its end (the end of the longest stem, else 2 s after
// the views' last chart event). False with a one-line reason when the range holds too many
// frames.
bool plan_moments(const RenderOptions& options, const SmfFile& song, const std::vector<ViewSettings>& views,
                  const SongIni& ini, const std::vector<AudioStem>& stems, RenderPlan* plan, std::string* error);
