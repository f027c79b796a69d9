// Where the renderer tool's frames go: one PNG, numbered PNGs or an MP4 through ffmpeg,
// each made whole or not at all. Used by tiver-render's main.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class TESS_IBitmap;

class FrameOutput {
public:
    virtual ~FrameOutput() = default;
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

// An MP4 written by `ffmpeg` (the program's path) from raw frames of width x height at fps.
std::unique_ptr<FrameOutput> mp4_output(const std::string& ffmpeg, const std::string& path,
                                        int32_t width, int32_t height, double fps);

// Checks a sequence pattern: exactly one %d conversion (flags 0 and a width allowed) and
// otherwise only %% escapes.
bool valid_frame_pattern(const std::string& pattern);

// `name` with frame number `index` put in.
std::string frame_name(const std::string& pattern, int64_t index);

// A folder can take a new file at `path` (checked by creating and removing a probe).
bool can_create(const std::string& path, std::string* error);
