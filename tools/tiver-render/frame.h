// The picture the tool writes: which views it shows (from --view, or the one view of
// --track, --difficulty and --mode), each in its own column, and the frame assembled from
// the views' editor frames with the caption over it. Used by tiver-render's main between
// the session and the sinks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "songfile/smf.h"
#include "raster/tess_bitmap.h"
#include "tools/tiver-render/caption.h"
#include "tools/tiver-render/options.h"
#include "tools/tiver-render/session.h"

// Column i of `count` equal columns of a picture `width` wide: its left edge and width.
// The last column takes what the division leaves over.
int32_t column_left(int32_t width, size_t count, size_t i);
int32_t column_width(int32_t width, size_t count, size_t i);

// The views the options ask for, each sized to its column of the picture, in picture
// order: the --view list (tracks by name or index; an empty mode follows the track's
// name), or else one view of --track (default: the first track with chart notes),
// --difficulty and --mode filling the picture. A mode taken from a track's name is OLD
// Drums for drums when `pro_drums` is false (song.ini). False with a one-line reason naming the
// bad thing (`chart` names the file in it).
bool plan_views(const RenderOptions& options, const SmfFile& song, const std::string& chart, bool pro_drums,
                std::vector<ViewSettings>* views, std::string* error);

// The moment shown when none is given: one second after the earliest first gem of the
// views' difficulties (0 when no view has a gem).
double default_views_moment(const SmfFile& song, const std::vector<ViewSettings>& views);

// Puts the views' frames side by side and the caption, when there is one, over them. Made
// once per run, so that a frame costs only the copying of its rows: a single view's frame is
// passed on as it is (the caption drawn into it; the next paint redraws it all).
class SideBySide {
public:
    // For views laid out by plan_views in a picture of width x height, with `caption` (or
    // none), which must outlive this. False when the picture's memory could not be had.
    bool init(const std::vector<ViewSettings>& views, int32_t width, int32_t height, const Caption* caption = nullptr);
    // The picture of the paint at `seconds`: frames[i] is view i's editor frame, at its
    // column's size. Null when a frame does not have its column's size.
    TESS_IBitmap* assemble(TESS_IBitmap* const* frames, double seconds);

private:
    std::vector<ViewSettings> views_;
    std::vector<int32_t> left_;
    TESS_MemBitmap picture_{0, 0};
    const Caption* caption_ = nullptr;
};
