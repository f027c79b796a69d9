#include "plugin/dispatcher.h"

#include <cstring>

#include "display/editor.h"
#include "plugin/chart_preview.h"

namespace {

// Copies `text` into the host's buffer, cut to `limit` bytes with the terminator.
void copy_string(void* ptr, const char* text, size_t limit) {
    char* out = static_cast<char*>(ptr);
    size_t n = std::strlen(text);
    if (n > limit - 1) n = limit - 1;
    std::memcpy(out, text, n);
    out[n] = '\0';
}

intptr_t can_do(const void* ptr) {
    if (!ptr) return 0;
    const char* what = static_cast<const char*>(ptr);
    if (std::strcmp(what, "receiveVstTimeInfo") == 0) return 1;
    if (std::strcmp(what, "hasVarnelExtensions") == 0) return 0xBEEF0000;
    if (std::strcmp(what, "hasVarnelViewAsConfig") == 0) return 0xBEEF0000;
    return 0;
}

}  // namespace

void ChartPreview::write_state_chunk(const uint8_t** bytes, int32_t* count) {
    chunk.read_offset = 0;
    chunk.buffer.resize(0, false);
    chunk.append(static_cast<uint8_t>(difficulty & 0xFF));
    chunk.append(static_cast<uint8_t>(mode & 0xFF));
    chunk.append(static_cast<uint8_t>(hopo_threshold & 0xFF));
    chunk.append(static_cast<uint8_t>((hopo_threshold >> 8) & 0xFF));
    if (bytes) *bytes = chunk.readable();
    if (count) *count = chunk.readable() ? chunk.readable_length() : 0;
}

void ChartPreview::read_state_chunk(const uint8_t* bytes, int32_t count) {
    if (!bytes || count < 2) return;
    difficulty = static_cast<int8_t>(bytes[0]);
    mode = static_cast<int8_t>(bytes[1]);
    if (count >= 4) hopo_threshold = bytes[2] + 256 * bytes[3];
    layout_dirty = 1;
}

intptr_t dispatcher_entry(AEffect* effect, int32_t opcode, int32_t index, intptr_t value,
                          void* ptr, float opt) noexcept {
    ChartPreview* self = ChartPreview::from(effect);
    switch (opcode) {
    case effClose:
        if (self) {
            effect->user = nullptr;
            delete self;
        }
        return 0;
    case effGetProgramName:
    case effGetParamLabel:
    case effGetProgramNameIndexed:
        if (ptr) static_cast<char*>(ptr)[0] = '\0';
        return 0;
    case effGetParamDisplay:
        if (ptr && self) static_cast<char*>(ptr)[0] = '\0';
        return 0;
    case effGetParamName:
        if (ptr) copy_string(ptr, index == 0 ? "dummy" : "", 9);
        return 0;
    case effSetSampleRate:
        if (self) {
            ScopedLock hold(self->lock);
            self->sample_rate = static_cast<double>(opt);
        }
        return 0;
    case effMainsChanged:
        if (self && value == 0) {
            ScopedLock hold(self->lock);
            self->reset_chart();
        }
        return 0;
    case effEditOpen:
        if (!self) return 0;
        return open_editor_window(self, ptr) ? 1 : 0;
    case effEditClose:
        if (self) destroy_editor_window(self);
        return 0;
    case effIdentify:
        return 0x4E764566;  // 'NvEf'
    case effGetChunk: {
        // Without a place to put the address there is nothing to hand out.
        if (!self || !ptr) return 0;
        const uint8_t* bytes = nullptr;
        int32_t count = 0;
        self->write_state_chunk(&bytes, &count);
        *static_cast<const void**>(ptr) = bytes;
        return count;
    }
    case effSetChunk:
        if (!self) return 0;
        // The host's byte count travels in the pointer-sized value; the chunk is tiny, so a
        // count outside 32 bits is taken as "more than enough".
        self->read_state_chunk(static_cast<const uint8_t*>(ptr),
                               value > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int32_t>(value));
        return 1;
    case effGetPlugCategory:
        return 2;  // synth
    case effGetEffectName:
        if (ptr) copy_string(ptr, "Tiver Preview", 32);
        return 0;
    case effGetVendorString:
        if (ptr) copy_string(ptr, "Tiver", 32);
        return 0;
    case effGetProductString:
        if (ptr) copy_string(ptr, "Tiver Preview", 32);
        return 0;
    case effCanDo:
        return can_do(ptr);
    case effGetVstVersion:
        return 2400;
    default:
        return 0;
    }
}
