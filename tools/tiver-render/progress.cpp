#include "tools/tiver-render/progress.h"

#include <cstdio>

namespace {

// m:ss, or h:mm:ss from an hour on.
std::string clock_text(double seconds) {
    if (!(seconds >= 0.0)) seconds = 0.0;
    if (seconds > 359999.0) seconds = 359999.0;
    const long s = static_cast<long>(seconds + 0.5);
    char buffer[32];
    if (s >= 3600)
        std::snprintf(buffer, sizeof buffer, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(buffer, sizeof buffer, "%ld:%02ld", s / 60, s % 60);
    return buffer;
}

}  // namespace

Progress::Progress(int64_t total, bool terminal)
    : total_(total > 0 ? total : 1), terminal_(terminal), start_(Clock::now()), last_shown_(start_) {}

std::string Progress::line(int64_t done, int64_t total, double seconds) {
    const double rate = seconds > 0.0 ? static_cast<double>(done) / seconds : 0.0;
    const std::string left = rate > 0.0 ? clock_text(static_cast<double>(total - done) / rate) : "?:??";
    char buffer[160];
    std::snprintf(buffer, sizeof buffer, "%3d%%  %lld of %lld frames  %.1f fps  %s elapsed  %s left",
                  static_cast<int>(done * 100 / total), static_cast<long long>(done),
                  static_cast<long long>(total), rate, clock_text(seconds).c_str(), left.c_str());
    return buffer;
}

void Progress::frame(int64_t done) {
    const Clock::time_point now = Clock::now();
    const double seconds = std::chrono::duration<double>(now - start_).count();
    if (terminal_) {
        // A few updates a second are enough to read; the last frame always shows.
        if (done < total_ && now - last_shown_ < std::chrono::milliseconds(100)) return;
        last_shown_ = now;
        // Trailing spaces wipe what a longer earlier line left.
        std::fprintf(stderr, "\rtiver-render: %s   ", line(done, total_, seconds).c_str());
        open_line_ = true;
        if (done >= total_) finish();
    } else {
        const int tenth = static_cast<int>(done * 10 / total_);
        if (tenth <= last_tenth_) return;
        last_tenth_ = tenth;
        std::fprintf(stderr, "tiver-render: %s\n", line(done, total_, seconds).c_str());
    }
    std::fflush(stderr);
}

void Progress::finish() {
    if (!open_line_) return;
    std::fputc('\n', stderr);
    std::fflush(stderr);
    open_line_ = false;
}
