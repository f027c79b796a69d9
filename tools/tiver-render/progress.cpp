#include "tools/tiver-render/progress.h"

#include <cstdio>

#include "tools/tiver-render/os.h"

Progress::Progress(int64_t total) : total_(total > 0 ? total : 1), terminal_(stderr_is_terminal()) {}

void Progress::frame(int64_t done) {
    if (terminal_) {
        std::fprintf(stderr, "\rtiver-render: frame %lld of %lld", static_cast<long long>(done),
                     static_cast<long long>(total_));
        if (done == total_) std::fputc('\n', stderr);
    } else {
        const int tenth = static_cast<int>(done * 10 / total_);
        if (tenth == last_tenth_) return;
        last_tenth_ = tenth;
        std::fprintf(stderr, "tiver-render: %lld of %lld frames\n", static_cast<long long>(done),
                     static_cast<long long>(total_));
    }
    std::fflush(stderr);
}
