// Progress of a long render on stderr: on a terminal one line rewritten in place (percent,
// frames done of all, frames per second, elapsed time, time left); otherwise one plain
// line per tenth. Used by tiver-render's main.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

class Progress {
public:
    // `terminal`: rewrite one line (a terminal) or print a line per tenth (a log).
    Progress(int64_t total, bool terminal);
    // Frames `done` of the total are written.
    void frame(int64_t done);
    // Ends the rewritten line (after a failure or interruption too), so that what follows
    // starts on a line of its own.
    void finish();

    // The line for `done` frames after `seconds`, without the program's name.
    static std::string line(int64_t done, int64_t total, double seconds);

private:
    using Clock = std::chrono::steady_clock;
    int64_t total_;
    bool terminal_;
    bool open_line_ = false;
    int last_tenth_ = 0;
    Clock::time_point start_, last_shown_;
};
