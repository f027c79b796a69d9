#include "plugin/chart_preview.h"

#include <cstring>
#include <new>

#include "display/editor.h"
#include "plugin/dispatcher.h"
#include "raster/tess_bitmap.h"

SharedValue<int32_t> time_offset_ms{0};
int32_t live_instances = 0;

namespace {

void vst_process(AEffect* effect, float**, float** outputs, int32_t frames) noexcept {
    if (ChartPreview* self = ChartPreview::from(effect)) self->process_block(outputs, frames, true);
}

void vst_process_replacing(AEffect* effect, float**, float** outputs, int32_t frames) noexcept {
    if (ChartPreview* self = ChartPreview::from(effect)) self->process_block(outputs, frames, false);
}

void vst_set_parameter(AEffect*, int32_t, float) noexcept {}

float vst_get_parameter(AEffect*, int32_t) noexcept { return 0.0f; }

}  // namespace

ChartPreview::ChartPreview(audioMasterCallback host) {
    host_callback = host;
    sample_rate = 44100.0;
    editor_window = nullptr;

    std::memset(&vst, 0, sizeof vst);
    vst.magic = kEffectMagic;
    vst.dispatcher = &dispatcher_entry;
    vst.process = &vst_process;
    vst.setParameter = &vst_set_parameter;
    vst.getParameter = &vst_get_parameter;
    vst.numPrograms = 1;
    vst.numParams = 1;
    vst.numInputs = 0;
    vst.numOutputs = 2;
    vst.flags = effFlagsHasEditor | effFlagsCanReplacing | effFlagsProgramChunks | effFlagsIsSynth;
    vst.user = this;
    vst.uniqueID = 0x746C766E;  // 'tlvn'
    vst.version = 1100;
    vst.processReplacing = &vst_process_replacing;

    events.resize(0, false);
    last_position = -1.0;
    display_position = -1.0;
    swap_switches[0].position = -1;
    swap_count = 0;
    difficulty = 0;
    mode = 0;
    hopo_threshold = 170;
    frame_bitmap = nullptr;
    layer_bitmap = nullptr;
    layout_dirty = 1;

    if (live_instances++ == 0) load_asset_set();
}

ChartPreview::~ChartPreview() {
    if (editor_window) destroy_editor_window(this);
    delete frame_bitmap;
    frame_bitmap = nullptr;
    delete layer_bitmap;
    layer_bitmap = nullptr;
    if (--live_instances == 0) release_asset_set();
    // The members then free chunk, midi, visible and events, in that order, and the
    // lock last.
}

void ChartPreview::reset_chart() {
    events.resize(0, false);
    last_position = -1.0;
    display_position = -1.0;
    swap_switches[0].position = -1;
    swap_count = 0;
}
