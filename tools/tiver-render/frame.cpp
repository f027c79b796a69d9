#include "tools/tiver-render/frame.h"

#include <cstring>

#include "tools/tiver-render/song.h"

int32_t column_left(int32_t width, size_t count, size_t i) {
    return count ? static_cast<int32_t>(width / static_cast<int32_t>(count) * static_cast<int32_t>(i)) : 0;
}

int32_t column_width(int32_t width, size_t count, size_t i) {
    if (!count) return 0;
    const int32_t equal = width / static_cast<int32_t>(count);
    return i + 1 == count ? width - equal * static_cast<int32_t>(count - 1) : equal;
}

bool plan_views(const RenderOptions& o, const SmfFile& song, const std::string& chart, bool pro_drums,
                std::vector<ViewSettings>* views, std::string* error) {
    views->clear();
    if (o.views.empty()) {
        ViewSettings v;
        if (o.track.empty()) {
            v.track = smf_first_chart_track(song);
            if (v.track < 0) {
                *error = chart + ": no track holds chart notes (choose one with --track)";
                return false;
            }
        } else {
            v.track = resolve_track(song, o.track);
            if (v.track < 0) {
                *error = chart + ": no track '" + o.track + "' (see --list-tracks)";
                return false;
            }
        }
        v.difficulty = o.difficulty;
        v.mode = o.mode >= 0 ? o.mode : mode_for_track(song, v.track, pro_drums);
        v.width = o.width;
        v.height = o.height;
        views->push_back(v);
        return true;
    }

    const size_t n = o.views.size();
    if (o.width / static_cast<int32_t>(n) < MIN_SIDE) {
        *error = "--size " + std::to_string(o.width) + "x" + std::to_string(o.height) + " is too narrow for " +
                 std::to_string(n) + " views: each column needs at least " + std::to_string(MIN_SIDE) +
                 " pixels, so the width must be at least " + std::to_string(MIN_SIDE * static_cast<int32_t>(n));
        return false;
    }
    for (size_t i = 0; i < n; ++i) {
        const ViewOption& option = o.views[i];
        ViewSettings v;
        v.track = resolve_track(song, option.track);
        if (v.track < 0) {
            *error = chart + ": no track '" + option.track + "' for --view (see --list-tracks)";
            return false;
        }
        v.difficulty = option.difficulty;
        v.mode = option.mode >= 0 ? option.mode : mode_for_track(song, v.track, pro_drums);
        v.width = column_width(o.width, n, i);
        v.height = o.height;
        views->push_back(v);
    }
    return true;
}

double default_views_moment(const SmfFile& song, const std::vector<ViewSettings>& views) {
    double moment = 0.0;
    for (const ViewSettings& v : views) {
        const double m = default_moment(song, v.track, v.difficulty);
        if (m > 0.0 && (moment == 0.0 || m < moment)) moment = m;
    }
    return moment;
}

bool SideBySide::init(const std::vector<ViewSettings>& views, int32_t width, int32_t height, const Caption* caption) {
    views_ = views;
    caption_ = caption;
    left_.clear();
    int32_t x = 0;
    for (const ViewSettings& v : views) {
        left_.push_back(x);
        x += v.width;
    }
    if (views.size() < 2) return true;
    picture_.resize(width, height);
    return picture_.bits() && picture_.width() == width && picture_.height() == height && x == width;
}

TESS_IBitmap* SideBySide::assemble(TESS_IBitmap* const* frames, double seconds) {
    for (size_t i = 0; i < views_.size(); ++i) {
        TESS_IBitmap* f = frames[i];
        if (!f || !f->bits() || f->width() != views_[i].width || f->height() != views_[i].height) return nullptr;
    }
    if (views_.size() == 1) {
        if (caption_) caption_->draw(frames[0], seconds);
        return frames[0];
    }
    const int32_t rows = picture_.height();
    for (size_t i = 0; i < views_.size(); ++i) {
        TESS_IBitmap* f = frames[i];
        const size_t bytes = static_cast<size_t>(views_[i].width) * sizeof(TESS_pixel);
        const bool flip = f->isBottomUp();
        for (int32_t y = 0; y < rows; ++y) {
            const TESS_pixel* from = f->bits() + static_cast<ptrdiff_t>(flip ? rows - 1 - y : y) * f->rowSpan();
            std::memcpy(picture_.bits() + static_cast<ptrdiff_t>(y) * picture_.rowSpan() + left_[i], from, bytes);
        }
    }
    if (caption_) caption_->draw(&picture_, seconds);
    return &picture_;
}
