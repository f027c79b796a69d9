// The shared image set: file names beside the module, placeholders for missing files, and the
// loading and freeing that the first and the last instance trigger.

#include "display/asset_set.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/platform.h"
#include "plugin/chart_preview.h"
#include "raster/tess.h"

// Constant-initialised: the empty lists exist before any instance, and their storage goes
// with the module.
AssetSet g_assets;

const char* const ASSET_SLOT_NAMES[ASSET_SLOT_COUNT] = {
    "gem_green", "gem_red", "gem_yellow", "gem_blue", "gem_orange",
    "gem_hopo_green", "gem_hopo_red", "gem_hopo_yellow", "gem_hopo_blue", "gem_hopo_orange",
    "gem_cym_yellow", "gem_cym_blue", "gem_cym_green",
    "gem_style", "gem_hopo_style", "gem_cym_style",
    "gem_kick", "gem_kick_style",
    "beat_marker", "half_beat_marker", "measure",
    "smash_flare_green", "smash_flare_red", "smash_flare_yellow", "smash_flare_blue",
    "smash_flare_orange", "smash_flare_style",
    "smash_1", "smash_2", "smash_3", "smash_4", "smash_5",
    "smash_6", "smash_7", "smash_8", "smash_9", "smash_10",
    "kick_flash_1", "kick_flash_2", "kick_flash_3", "kick_flash_4",
    "kick_flash_5", "kick_flash_6", "kick_flash_7",
    "gem_open", "gem_open_hopo", "gem_open_style", "gem_open_hopo_style",
    "gem_tap_green", "gem_tap_red", "gem_tap_yellow", "gem_tap_blue", "gem_tap_orange",
    "gem_tap_style", "gem_kick_2x", "gem_kick_2x_style", "smash_flare_open",
};

const char* const SUSTAIN_NAMES[SUSTAIN_COUNT] = {
    "sustain_green", "sustain_red", "sustain_yellow", "sustain_blue", "sustain_orange",
    "sustain_style",
};

const char* const SUSTAIN_HI_NAMES[SUSTAIN_COUNT] = {
    "sustain_green_hi", "sustain_red_hi", "sustain_yellow_hi", "sustain_blue_hi",
    "sustain_orange_hi", "sustain_style_hi",
};

void cut_to_module_directory(char* file_name) noexcept {
    if (!file_name) return;
    size_t i = std::strlen(file_name);
    while (i > 0) {
        --i;
        if (file_name[i] == '\\' || file_name[i] == '/') {
            file_name[i] = '\0';
            return;
        }
    }
    file_name[0] = '\0';
}

const char* build_asset_path(HeapBuffer& path, const char* directory, const char* name) noexcept {
    static const char sub[] = "tolvan";
    static const char ext[] = ".png";
    const size_t nd = directory ? std::strlen(directory) : 0;
    const size_t nn = name ? std::strlen(name) : 0;
    const size_t total = nd + 1 + (sizeof sub - 1) + 1 + nn + (sizeof ext - 1) + 1;
    if (total > 0x7FFFFFFF) return nullptr;
    path.resize(static_cast<int32_t>(total), false);
    if (path.size != static_cast<int32_t>(total)) return nullptr;
    char* p = static_cast<char*>(path.data);
    if (nd) std::memcpy(p, directory, nd);
    p += nd;
    *p++ = ASSET_PATH_SEPARATOR;
    std::memcpy(p, sub, sizeof sub - 1);
    p += sizeof sub - 1;
    *p++ = ASSET_PATH_SEPARATOR;
    if (nn) std::memcpy(p, name, nn);
    p += nn;
    std::memcpy(p, ext, sizeof ext);  // with the terminator
    return static_cast<const char*>(path.data);
}

TESS_MemBitmap* make_placeholder_image(const char* name) noexcept {
    TESS_MemBitmap* image = new (std::nothrow) TESS_MemBitmap(128, 128);
    if (!image) return nullptr;
    // Drawn one at a time: the order of the three values is part of the look.
    const uint32_t r1 = static_cast<uint32_t>(std::rand());
    const uint32_t r2 = static_cast<uint32_t>(std::rand());
    const uint32_t r3 = static_cast<uint32_t>(std::rand());
    const TESS_pixel fill = 0x19000000u | ((r1 & 0x5Fu) << 16) | ((r2 & 0x5Fu) << 8) | (r3 & 0x5Fu);
    TESS_FillRectBordered(image, 0, 0, image->width(), image->height(), fill, 0xFFFFFFFFu, 1.0f,
                          TESS_BLIT_MODE_COPY);
    TESS_DrawText(image, 2, 2, name ? name : "", 0xFFFFFFFFu, 1.0f, TESS_BLIT_MODE_COPY);
    return image;
}

TESS_MemBitmap* load_asset_image(const char* name, bool no_placeholder) noexcept {
    char* dir = g_assets.module_directory;
    if (dir[0] == '\0') {
        platform_module_file_name(dir, MODULE_DIRECTORY_SIZE);
        dir[MODULE_DIRECTORY_SIZE - 1] = '\0';
        cut_to_module_directory(dir);
    }
    HeapBuffer path;
    TESS_IBitmap* loaded = nullptr;
    if (const char* file = build_asset_path(path, dir, name)) loaded = TESS_LoadPNG(file, nullptr);
    // A new bitmap from the loader is always a TESS_MemBitmap.
    if (loaded) return static_cast<TESS_MemBitmap*>(loaded);
    if (no_placeholder) return nullptr;
    return make_placeholder_image(name);
}

void empty_scaled_copies() noexcept {
    for (HeapBuffer& list : g_assets.scaled) {
        int32_t count = list.size / static_cast<int32_t>(sizeof(TESS_MemBitmap*));
        while (count > 0) {
            --count;
            delete static_cast<TESS_MemBitmap**>(list.data)[count];
            list.resize(count * static_cast<int32_t>(sizeof(TESS_MemBitmap*)), false);
        }
        list.resize(0, false);
    }
    for (HeapBuffer& widths : g_assets.scaled_widths) widths.resize(0, false);
}

void load_asset_set() {
    AssetSet& a = g_assets;
    for (TESS_MemBitmap*& p : a.slots) p = nullptr;
    for (int32_t i = 0; i < SUSTAIN_COUNT; ++i) {
        a.sustain[i] = nullptr;
        a.sustain_hi[i] = nullptr;
    }
    a.sustain_open = a.sustain_open_hi = a.solo_lane = a.fill_lane = a.roll_lane = nullptr;
    // This order fixes which placeholder gets which random colour.
    a.background = load_asset_image("Tiver_background1", false);
    a.track_guitar = load_asset_image("track_guitar", false);
    a.track_drum = load_asset_image("track_drum", false);
    for (int32_t i = 0; i < SUSTAIN_COUNT; ++i) a.sustain[i] = load_asset_image(SUSTAIN_NAMES[i], false);
    for (int32_t i = 0; i < SUSTAIN_COUNT; ++i)
        a.sustain_hi[i] = load_asset_image(SUSTAIN_HI_NAMES[i], true);
    static const int8_t order[] = {
        0,  1,  2,  3,  4,                   // gems
        21, 22, 23, 24, 25, 26,              // flares
        5,  6,  7,  8,  9,                   // HOPO gems
        10, 11, 12,                          // cymbals
        16,                                  // kick
        18, 19, 20,                          // markers
        13, 14, 15, 17,                      // style gems
        27, 28, 29, 30, 31, 32, 33, 34, 35, 36,  // smash frames
        37, 38, 39, 40, 41, 42, 43,          // kick flashes
        // Loaded after all the others, so that every older placeholder keeps its colour.
        44, 45, 46, 47,                      // opens
        48, 49, 50, 51, 52, 53,              // taps
        54, 55,                              // Expert+ kicks
        56,                                  // the open's flare
    };
    static_assert(sizeof order == ASSET_SLOT_COUNT, "every slot loaded once");
    for (int8_t slot : order) a.slots[slot] = load_asset_image(ASSET_SLOT_NAMES[slot], false);
    a.sustain_open = load_asset_image("sustain_open", false);
    a.sustain_open_hi = load_asset_image("sustain_open_hi", true);
    a.solo_lane = load_asset_image("solo_lane", false);
    a.fill_lane = load_asset_image("fill_lane", false);
    a.roll_lane = load_asset_image("roll_lane", false);
}

void release_asset_set() {
    AssetSet& a = g_assets;
    delete a.background;
    a.background = nullptr;
    delete a.track_guitar;
    a.track_guitar = nullptr;
    delete a.track_drum;
    a.track_drum = nullptr;
    for (TESS_MemBitmap*& p : a.slots) {
        delete p;
        p = nullptr;
    }
    empty_scaled_copies();
    for (int32_t i = 0; i < SUSTAIN_COUNT; ++i) {
        delete a.sustain[i];
        a.sustain[i] = nullptr;
        delete a.sustain_hi[i];
        a.sustain_hi[i] = nullptr;
    }
    for (TESS_MemBitmap** p : {&a.sustain_open, &a.sustain_open_hi, &a.solo_lane, &a.fill_lane,
                               &a.roll_lane}) {
        delete *p;
        *p = nullptr;
    }
}
