// The caption of a review video, a step of the frame: the song's title and artist, who
// charted it, the time, the current section and each view's part and difficulty, in the
// raster library's font over the top of the picture, where the highway never draws (above
// the top 0.15 of each highway square's side). Set up once per run by tiver-render's main
// and drawn on every assembled picture.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "songfile/smf.h"
#include "raster/tess_bitmap.h"
#include "tools/tiver-render/session.h"

struct CaptionSong {
    std::string title, artist, charter;  // UTF-8; empty ones are left out (the title never is)
    double length = 0.0;                 // seconds of the whole song, the time's second half
};

// A section of the chart and the transport moment its event reaches the strike line.
struct CaptionSection {
    double seconds;
    std::string name;
};

// The readable name of a section event's text: "[section Guitar Solo]" -> "Guitar Solo",
// "[section_verse_2]" -> "Verse 2", "[prc_chorus_1a]" -> "Chorus 1a" (brackets optional);
// empty for any other text.
std::string section_name(const std::string& text);

// The sections of the track named EVENTS (its text and marker events), in time order, each
// `offset_ms` later as the chart is shown.
std::vector<CaptionSection> chart_sections(const SmfFile& song, int32_t offset_ms);

// The name of the latest section at or before `seconds`, empty before the first.
std::string section_at(const std::vector<CaptionSection>& sections, double seconds);

// A view's part and difficulty: "Guitar - Expert", "Pro Drums - Hard". The part is the track's
// name without "PART " (a drums track in Pro Drums mode is "Pro Drums"), the track's own
// name when it has no such prefix, or the mode's name for an unnamed track.
std::string view_label(const SmfFile& song, const ViewSettings& view);

// "m:ss / m:ss" (h:mm:ss from an hour on), both in whole seconds reached.
std::string caption_clock(double seconds, double length);

// UTF-8 text as the 8 x 8 font can draw it: printable ASCII kept, accented Latin letters as
// their plain letters, dashes and curly quotes as ASCII ones, control characters as spaces,
// anything else as '?'.
std::string font_text(const std::string& utf8);

// The first row of a column `column_width` x `height` where its highway square's lower
// 0.85 begins: the caption draws only above it.
int32_t caption_limit(int32_t column_width, int32_t height);

// One line of caption text at its cell's top-left corner, `scale` pixels per font pixel.
struct CaptionLine {
    int32_t x = 0, y = 0, scale = 1;
    std::string text;
};

// Where each thing goes in a picture. Lines that change (the time, the section) are placed
// right-aligned at their `right` edge per frame; a section name is cut to `section_chars`.
struct CaptionLayout {
    std::vector<CaptionLine> fixed;  // title, artist, "charted by", the views' labels
    bool clock = false;
    int32_t clock_right = 0, clock_y = 0, clock_scale = 1;
    bool section = false;
    int32_t section_right = 0, section_y = 0, section_scale = 1, section_chars = 0;
    int32_t bottom = 0;              // first row below everything drawn (shadows included)
};

// The layout for views laid out in a picture of width x height (each view's column at its
// width, left to right), text below row `top` (under the control strip when it is shown).
// The title's scale is about a thirtieth of the height; rows that do not fit above the
// highways are left out, the least needed first, and long texts are cut with "...".
CaptionLayout layout_caption(const CaptionSong& song, const std::vector<std::string>& labels,
                             const std::vector<CaptionSection>& sections, const std::vector<ViewSettings>& views,
                             int32_t width, int32_t height, int32_t top);

// The pixels of one text line's shadow lie this far right and down of its own.
int32_t caption_shadow(int32_t scale);

class Caption {
public:
    void init(const CaptionSong& song, const std::vector<std::string>& labels, std::vector<CaptionSection> sections,
              const std::vector<ViewSettings>& views, int32_t width, int32_t height, int32_t top);
    // Draws the caption of moment `seconds` onto a picture of the size given to init.
    void draw(TESS_IBitmap* picture, double seconds) const;
    const CaptionLayout& layout() const { return layout_; }

private:
    CaptionSong song_;
    std::vector<CaptionSection> sections_;
    CaptionLayout layout_;
};

// The text colour and the shadow's.
constexpr TESS_pixel CAPTION_TEXT = 0xFFFFFFFF;
constexpr TESS_pixel CAPTION_SHADOW = 0xFF000000;
