// Progress of a long render on stderr: one line rewritten in place on a terminal, a plain
// line per tenth otherwise. Used by tiver-render's main.
#pragma once

#include <cstdint>

class Progress {
public:
    explicit Progress(int64_t total);
    // Frames `done` of the total are written.
    void frame(int64_t done);

private:
    int64_t total_;
    bool terminal_;
    int last_tenth_ = -1;
};
