// The render's audio files, looked at before anything is rendered: ffprobe (beside ffmpeg)
// checks that each can be decoded and gives its channels and length. Used by tiver-render's
// main; the MP4 sink mixes what passed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct AudioStem {
    std::string path;
    int32_t channels = 0;
    double seconds = 0.0;  // length as the file's headers give it
};

// ffprobe for `ffmpeg` (a path): the one beside it, else the one on PATH; empty if none.
std::string find_ffprobe(const std::string& ffmpeg);

// Probes `path` with `ffprobe`, decoding its first packets; `scratch` is a file name the
// report may be written to. False with a one-line reason naming the file when it holds no
// audio ffmpeg can decode.
bool probe_audio(const std::string& ffprobe, const std::string& path, const std::string& scratch,
                 AudioStem* out, std::string* error);

// Probes every file with the ffprobe found for `ffmpeg`, in order. False with a one-line
// reason when there is no ffprobe or a file cannot be decoded.
bool probe_audio_files(const std::string& ffmpeg, const std::vector<std::string>& files,
                       const std::string& scratch, std::vector<AudioStem>* out, std::string* error);

// The end of the longest stem, in seconds (0 for none).
double audio_end_seconds(const std::vector<AudioStem>& stems);
