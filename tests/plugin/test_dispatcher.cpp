#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host/sim_host.h"
#include "plugin/chart_preview.h"

namespace {

class Dispatcher : public ::testing::Test {
protected:
    void SetUp() override {
        g_host_api = HostApi{};
        master = sim_host_install(&host);
        effect = VSTPluginMain(master);
        ASSERT_NE(effect, nullptr);
        self = ChartPreview::from(effect);
    }
    void TearDown() override {
        if (effect) effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
        sim_host_install(nullptr);
        g_host_api = HostApi{};
    }
    intptr_t call(int32_t op, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                  float opt = 0.0f) {
        return effect->dispatcher(effect, op, index, value, ptr, opt);
    }
    std::string text(int32_t op, int32_t index = 0) {
        char buffer[64];
        std::memset(buffer, 'x', sizeof buffer);
        call(op, index, 0, buffer);
        return std::string(buffer);
    }

    SimHost host;
    audioMasterCallback master = nullptr;
    AEffect* effect = nullptr;
    ChartPreview* self = nullptr;
};

TEST_F(Dispatcher, ChunkHoldsTheThreeSettings) {
    self->difficulty = 2;
    self->mode = 1;
    self->hopo_threshold = 300;
    const uint8_t* bytes = nullptr;
    EXPECT_EQ(call(effGetChunk, 0, 0, &bytes), 4);
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(bytes[0], 0x02);
    EXPECT_EQ(bytes[1], 0x01);
    EXPECT_EQ(bytes[2], 0x2C);
    EXPECT_EQ(bytes[3], 0x01);
    // A second request rewrites the same four bytes rather than appending.
    EXPECT_EQ(call(effGetChunk, 0, 0, &bytes), 4);
    EXPECT_EQ(self->chunk.buffer.size, 4);
    EXPECT_EQ(call(effGetChunk, 0, 0, nullptr), 0);  // no place for the address: nothing
}

TEST_F(Dispatcher, SetChunkAppliesWhatItCanAndAlwaysAcknowledges) {
    self->hopo_threshold = 250;
    self->layout_dirty = 0;
    uint8_t two[] = {0x03, 0x00};
    EXPECT_EQ(call(effSetChunk, 0, 2, two), 1);
    EXPECT_EQ(self->difficulty, 3);
    EXPECT_EQ(self->mode, 0);
    EXPECT_EQ(self->hopo_threshold, 250);
    EXPECT_EQ(self->layout_dirty, 1);

    uint8_t four[] = {0x03, 0x00, 0xAA, 0x00, 0x77};
    EXPECT_EQ(call(effSetChunk, 0, 5, four), 1);
    EXPECT_EQ(self->hopo_threshold, 170);

    uint8_t negative[] = {0xFF, 0xFE, 0xFF, 0xFF};
    call(effSetChunk, 0, 4, negative);
    EXPECT_EQ(self->difficulty, -1);
    EXPECT_EQ(self->mode, -2);
    EXPECT_EQ(self->hopo_threshold, 65535);

    self->layout_dirty = 0;
    uint8_t one[] = {0x02};
    EXPECT_EQ(call(effSetChunk, 0, 1, one), 1);
    EXPECT_EQ(self->difficulty, -1);
    EXPECT_EQ(self->layout_dirty, 0);
    EXPECT_EQ(call(effSetChunk, 0, 4, nullptr), 1);
}

TEST_F(Dispatcher, NamesAndCapabilities) {
    EXPECT_EQ(text(effGetEffectName), "Tiver Preview");
    EXPECT_EQ(text(effGetVendorString), "Tiver");
    EXPECT_EQ(text(effGetProductString), "Tiver Preview");
    EXPECT_EQ(text(effGetParamName, 0), "dummy");
    EXPECT_EQ(text(effGetParamName, 1), "");
    EXPECT_EQ(text(effGetProgramName), "");
    EXPECT_EQ(text(effGetParamLabel), "");
    EXPECT_EQ(text(effGetParamDisplay), "");
    EXPECT_EQ(text(effGetProgramNameIndexed), "");
    EXPECT_EQ(call(effGetEffectName), 0);  // null pointer: nothing written, no crash

    // Only the text and its terminator are written: the host's buffer beyond stays as it was.
    char buffer[64];
    std::memset(buffer, 'x', sizeof buffer);
    call(effGetEffectName, 0, 0, buffer);
    EXPECT_EQ(buffer[13], '\0');
    EXPECT_EQ(buffer[14], 'x');
    std::memset(buffer, 'x', sizeof buffer);
    call(effGetParamName, 0, 0, buffer);
    EXPECT_EQ(buffer[5], '\0');
    EXPECT_EQ(buffer[6], 'x');

    EXPECT_EQ(call(effCanDo, 0, 0, const_cast<char*>("receiveVstTimeInfo")), 1);
    EXPECT_EQ(call(effCanDo, 0, 0, const_cast<char*>("hasVarnelExtensions")), 0xBEEF0000);
    EXPECT_EQ(call(effCanDo, 0, 0, const_cast<char*>("hasVarnelViewAsConfig")), 0xBEEF0000);
    EXPECT_EQ(call(effCanDo, 0, 0, const_cast<char*>("receiveVstEvents")), 0);
    EXPECT_EQ(call(effCanDo), 0);

    EXPECT_EQ(call(effIdentify), 0x4E764566);
    EXPECT_EQ(call(effGetPlugCategory), 2);
    EXPECT_EQ(call(effGetVstVersion), 2400);
    EXPECT_EQ(call(effEditGetRect), 0);
    EXPECT_EQ(call(effOpen), 0);
    EXPECT_EQ(call(9999), 0);
}

TEST_F(Dispatcher, SampleRateIsWidenedFromTheFloatOption) {
    call(effSetSampleRate, 0, 0, nullptr, 48000.0f);
    EXPECT_EQ(self->sample_rate, 48000.0);
    call(effSetSampleRate, 0, 0, nullptr, 22050.5f);
    EXPECT_EQ(self->sample_rate, 22050.5);
}

}  // namespace
