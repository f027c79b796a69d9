// Where the renderer tool's frames go: one PNG, numbered PNGs or an MP4 through ffmpeg,
// each made whole or not at all. Used by tiver-render's main.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tools/tiver-render/audio.h"

class TESS_IBitmap;

class FrameOutput {
public:
    virtual ~FrameOutput() = default;
    // Gets ready before the first frame is painted (an encoder starts up meanwhile); false
    // with a one-line reason.
    virtual bool begin(std::string*) { return true; }
    // Takes frame `index`; false with a one-line reason when it could not be written.
    virtual bool write(int64_t index, TESS_IBitmap* frame, std::string* error) = 0;
    // Makes the output final; false with a reason (nothing is left behind then).
    virtual bool commit(std::string* error) = 0;
    // Removes whatever was written so far.
    virtual void abandon() = 0;
    // What was (or will be) written, for the closing message.
    virtual std::string describe() const = 0;
};

// One PNG at `path`.
std::unique_ptr<FrameOutput> png_output(const std::string& path);

// Numbered PNGs: `pattern` holds one printf conversion of the frame index, such as %05d.
std::unique_ptr<FrameOutput> png_sequence_output(const std::string& pattern);

// An MP4: H.264 video of the frames and, when there is audio, one AAC track of the stems
// mixed as they are (summed, not normalised).
struct Mp4Settings {
    std::string ffmpeg;             // the encoder program's path
    std::string path;               // the MP4 to write
    int32_t width = 0, height = 0;
    double fps = 60.0;
    int64_t frames = 0;             // how many frames will come: the length of the audio
    double from = 0.0;              // transport time of the first frame
    std::vector<AudioStem> audio;   // each stem's first sample sounds at transport time 0
    std::string title, artist, comment;  // metadata; empty ones are left out
};

// Written by ffmpeg from raw frames through a pipe, by a thread of its own while the next
// frame is painted.
std::unique_ptr<FrameOutput> mp4_output(const Mp4Settings& settings);

// The arguments (after the program) that make ffmpeg read raw BGRA frames from `video` and
// write `output`: the sink uses the pipe, the benchmark a raw file.
std::vector<std::string> mp4_encoder_args(const Mp4Settings& settings, const std::string& video,
                                          const std::string& output);

// Checks a sequence pattern: exactly one %d conversion (flags 0 and a width allowed) and
// otherwise only %% escapes.
bool valid_frame_pattern(const std::string& pattern);

// `name` with frame number `index` put in.
std::string frame_name(const std::string& pattern, int64_t index);

// A folder can take a new file at `path` (checked by creating and removing a probe).
bool can_create(const std::string& path, std::string* error);
