// The process-wide image set of the highway: background, track, sustain and slot images with
// one list of scaled copies per slot. Loaded and freed by the instance (first / last), read by the renderer.
#pragma once

#include <cstdint>

#include "chart/heap_buffer.h"
#include "raster/tess.h"

// Slot table: gems, markers, flares and the animation frames.
enum : int32_t {
    SLOT_GEM_GREEN = 0,        // .. SLOT_GEM_GREEN + 4: the five lane colours
    SLOT_GEM_HOPO_GREEN = 5,   // .. 9
    SLOT_GEM_CYM_YELLOW = 10,
    SLOT_GEM_CYM_BLUE = 11,
    SLOT_GEM_CYM_GREEN = 12,
    SLOT_GEM_STYLE = 13,
    SLOT_GEM_HOPO_STYLE = 14,
    SLOT_GEM_CYM_STYLE = 15,
    SLOT_GEM_KICK = 16,
    SLOT_GEM_KICK_STYLE = 17,
    SLOT_BEAT_MARKER = 18,
    SLOT_HALF_BEAT_MARKER = 19,
    SLOT_MEASURE = 20,
    SLOT_FLARE_GREEN = 21,     // .. 25 by lane
    SLOT_FLARE_STYLE = 26,
    SLOT_SMASH_FIRST = 27,     // smash_1 .. smash_10: 27 .. 36
    SLOT_SMASH_LAST = 36,
    SLOT_KICK_FLASH_FIRST = 37,  // kick_flash_1 .. kick_flash_7: 37 .. 43
    SLOT_KICK_FLASH_LAST = 43,
    SLOT_GEM_OPEN = 44,           // the bar across the five lanes
    SLOT_GEM_OPEN_HOPO = 45,
    SLOT_GEM_OPEN_STYLE = 46,
    SLOT_GEM_OPEN_HOPO_STYLE = 47,
    SLOT_GEM_TAP_GREEN = 48,      // .. 52 by lane
    SLOT_GEM_TAP_STYLE = 53,
    SLOT_GEM_KICK_2X = 54,        // the Expert+ kick
    SLOT_GEM_KICK_2X_STYLE = 55,
    SLOT_FLARE_OPEN = 56,
    ASSET_SLOT_COUNT = 57,
};

// Sustain images: lanes 0..4, then the style phrase.
constexpr int32_t SUSTAIN_STYLE = 5;
constexpr int32_t SUSTAIN_COUNT = 6;
constexpr int32_t MODULE_DIRECTORY_SIZE = 2048;

// The separator joining the module directory, "tolvan" and the file name.
#ifdef _WIN32
constexpr char ASSET_PATH_SEPARATOR = '\\';
#else
constexpr char ASSET_PATH_SEPARATOR = '/';
#endif

// A slot image scaled to one width, with each row's visible span (TESS_FindVisibleSpans) found
// once when the copy is made, so that every frame blits only those columns, and the box
// around them. Without memory for the spans, `spans` stays empty, the copy is blitted whole
// and its box is all of it.
class ScaledCopy : public TESS_MemBitmap {
public:
    ScaledCopy(int32_t w, int32_t h) : TESS_MemBitmap(w, h), spans(64), visible{0, 0, w, h} {}
    HeapBuffer spans;  // TESS_RowSpan per row, or nothing
    TESS_RECT visible;  // columns and rows holding every pixel whose alpha is not 0
};

struct AssetSet {
    TESS_MemBitmap* background = nullptr;
    TESS_MemBitmap* track_guitar = nullptr;
    TESS_MemBitmap* track_drum = nullptr;
    TESS_MemBitmap* slots[ASSET_SLOT_COUNT] = {};
    TESS_MemBitmap* sustain[SUSTAIN_COUNT] = {};
    TESS_MemBitmap* sustain_hi[SUSTAIN_COUNT] = {};  // optional: null when the file is missing
    TESS_MemBitmap* sustain_open = nullptr;
    TESS_MemBitmap* sustain_open_hi = nullptr;       // optional, as the other highlighted ones
    // Strips along the highway under the gems: solo sections, drum fills, lanes.
    TESS_MemBitmap* solo_lane = nullptr;
    TESS_MemBitmap* fill_lane = nullptr;
    TESS_MemBitmap* roll_lane = nullptr;
    // Per slot: the scaled copies sorted by width, smallest first. Only draw_asset_scaled adds
    // to them, and only ScaledCopy objects.
    HeapBuffer scaled[ASSET_SLOT_COUNT];
    // Per slot: the int32_t widths of those copies in the same order, searched in place of the
    // copies themselves, each of which lies in a block of its own.
    HeapBuffer scaled_widths[ASSET_SLOT_COUNT];
    // The module's directory without a trailing separator; filled at the first image load.
    char module_directory[MODULE_DIRECTORY_SIZE] = {};
};

// The one set of the process. UI thread only; no lock.
extern AssetSet g_assets;

// Image names of the slots and the sustains, as files in "tolvan/" are named.
extern const char* const ASSET_SLOT_NAMES[ASSET_SLOT_COUNT];
extern const char* const SUSTAIN_NAMES[SUSTAIN_COUNT];
extern const char* const SUSTAIN_HI_NAMES[SUSTAIN_COUNT];

// A new bitmap from "<module dir>/tolvan/<name>.png" (owned by the caller). A file that cannot
// be loaded gives a 128 x 128 placeholder showing the name, or null with no_placeholder.
TESS_MemBitmap* load_asset_image(const char* name, bool no_placeholder) noexcept;

// Cuts a module file name at its last '\' or '/', whichever comes last; no separator leaves "".
void cut_to_module_directory(char* file_name) noexcept;

// "<directory><sep>tolvan<sep><name>.png" into `path` (zero-terminated). Null when out of memory.
const char* build_asset_path(HeapBuffer& path, const char* directory, const char* name) noexcept;

// The 128 x 128 placeholder of a missing image: three rand() draws for its faint colour.
TESS_MemBitmap* make_placeholder_image(const char* name) noexcept;

// Deletes every scaled copy, last to first, and leaves every slot's list empty.
void empty_scaled_copies() noexcept;
