// The plug-in instance: owns the VST record handed to the host, the chart lists, the MIDI
// list lent to the host, the state chunk and the editor's bitmaps. Built by VSTPluginMain,
// destroyed by effClose. Entered by the host's audio thread (process*) and UI thread.
#pragma once

#include <cstdint>

#include "chart/chart_event.h"
#include "chart/heap_buffer.h"
#include "chart/midi_list.h"
#include "platform/platform.h"
#include "plugin/host_api.h"
#include "plugin/shared_value.h"
#include "plugin/vst_abi.h"

class TESS_IBitmap;

class ChartPreview {
public:
    explicit ChartPreview(audioMasterCallback host);
    ~ChartPreview();
    ChartPreview(const ChartPreview&) = delete;
    ChartPreview& operator=(const ChartPreview&) = delete;

    // Audio thread: clears the outputs unless accumulating, then reads the chart ahead.
    void process_block(float** outputs, int32_t frames, bool accumulate);

    // Under lock: back to the state of a new instance's chart (read_horizon kept).
    void reset_chart();

    // UI thread, under lock: the gems and lines of this frame into `visible`.
    int32_t compute_visible_gems(bool drums);
    void add_swap_switch(int64_t position, bool on);

    // UI thread: one frame of the highway into frame_bitmap (which has this size).
    void render_highway(int32_t width, int32_t height);

    // State chunk (plugin/dispatcher.cpp).
    void write_state_chunk(const uint8_t** bytes, int32_t* count);
    void read_state_chunk(const uint8_t* bytes, int32_t count);

    // The instance behind a record, or null.
    static ChartPreview* from(AEffect* effect) {
        return effect ? static_cast<ChartPreview*>(effect->user) : nullptr;
    }

    SwapSwitch swap_switches[SWAP_SWITCH_CAPACITY];
    int32_t swap_count = 0;
    AEffect vst;
    double sample_rate = 44100.0;
    audioMasterCallback host_callback = nullptr;
    PlatformLock lock;
    // Written by the UI thread, read whole by the audio thread without the lock.
    SharedValue<void*> editor_window{nullptr};
    SharedValue<int32_t> difficulty{0};
    SharedValue<int32_t> mode{0};
    SharedValue<int32_t> hopo_threshold{170};
    HeapBuffer events{4096};
    double last_position = -1.0;
    double read_horizon = 0.0;
    double display_position = -1.0;
    // Under lock. Set when the track's first second holds the text that makes note b-1 the
    // open lane; looked for whenever the intake reads afresh (read_afresh: the next block).
    uint8_t enhanced_opens = 0;
    uint8_t read_afresh = 1;
    HeapBuffer visible{4096};
    midi_List midi;
    ByteQueue chunk;
    TESS_IBitmap* frame_bitmap = nullptr;
    TESS_IBitmap* layer_bitmap = nullptr;
    uint8_t layout_dirty = 1;
    // UI thread. What the last frame drew over the backdrop (TESS_RECTs inside the frame), so
    // that the next frame restores only those from layer_bitmap. They describe frame_bitmap's
    // pixels only while drawn_frame is its bits(); null makes the next frame copy the whole
    // backdrop, as a frame made, resized or drawn on unannounced needs.
    HeapBuffer drawn_rects{4096};
    const void* drawn_frame = nullptr;
};

// Process-wide state of the shell.
extern SharedValue<int32_t> time_offset_ms;
extern int32_t live_instances;

// The shared image set, loaded as live_instances goes 0 -> 1 and freed at 1 -> 0.
void load_asset_set();
void release_asset_set();

extern "C" AEffect* VSTPluginMain(audioMasterCallback host);
