#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host/sim_host.h"
#include "plugin/chart_preview.h"

namespace {

// Every test starts from a freshly loaded library: no host functions, no time offset.
class Instance : public ::testing::Test {
protected:
    void SetUp() override {
        g_host_api = HostApi{};
        time_offset_ms = 0;
        ini_path = ::testing::TempDir() + "tiver_instance_test.ini";
        std::remove(ini_path.c_str());
        host.ini_path = ini_path;
        master = sim_host_install(&host);
    }
    void TearDown() override {
        for (AEffect* e : opened) close(e);
        sim_host_install(nullptr);
        g_host_api = HostApi{};
        std::remove(ini_path.c_str());
    }
    AEffect* open() {
        AEffect* e = VSTPluginMain(master);
        if (e) opened.push_back(e);
        return e;
    }
    void close(AEffect*& e) {
        if (!e) return;
        e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
        for (AEffect*& o : opened)
            if (o == e) o = nullptr;
        e = nullptr;
    }
    static std::vector<std::string> all_five() {
        return {"get_ini_file", "Track_GetRawMIDI", "TimeMap2_timeToQN", "TimeMap2_beatsToTime",
                "TimeMap2_timeToBeats"};
    }

    SimHost host;
    audioMasterCallback master = nullptr;
    std::string ini_path;
    std::vector<AEffect*> opened;
};

TEST_F(Instance, RecordCarriesThePublishedValues) {
    AEffect* e = open();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->magic, 0x56737450);
    EXPECT_EQ(e->numPrograms, 1);
    EXPECT_EQ(e->numParams, 1);
    EXPECT_EQ(e->numInputs, 0);
    EXPECT_EQ(e->numOutputs, 2);
    EXPECT_EQ(e->flags, 0x131);
    EXPECT_EQ(e->uniqueID, 0x746C766E);
    EXPECT_EQ(e->version, 1100);
    EXPECT_EQ(e->object, nullptr);
    EXPECT_EQ(e->initialDelay, 0);
    EXPECT_EQ(e->processDoubleReplacing, nullptr);
    EXPECT_NE(e->dispatcher, nullptr);
    EXPECT_NE(e->process, nullptr);
    EXPECT_NE(e->processReplacing, nullptr);
    ChartPreview* self = ChartPreview::from(e);
    ASSERT_NE(self, nullptr);
    EXPECT_EQ(&self->vst, e);
    EXPECT_EQ(self->difficulty, 0);
    EXPECT_EQ(self->mode, 0);
    EXPECT_EQ(self->hopo_threshold, 170);
    EXPECT_EQ(self->sample_rate, 44100.0);
    EXPECT_EQ(self->last_position, -1.0);
    EXPECT_EQ(self->display_position, -1.0);
    EXPECT_EQ(self->swap_switches[0].position, -1);
    EXPECT_EQ(self->layout_dirty, 1);
    EXPECT_EQ(host.fetch_log, all_five());
}

TEST_F(Instance, HostWithoutIniFunctionIsAskedAgainEveryTime) {
    host.withheld = {"get_ini_file"};
    EXPECT_EQ(open(), nullptr);
    EXPECT_EQ(open(), nullptr);
    std::vector<std::string> twice = all_five();
    for (const std::string& n : all_five()) twice.push_back(n);
    EXPECT_EQ(host.fetch_log, twice);
    host.withheld.clear();
    EXPECT_NE(open(), nullptr);  // the next call tries again and succeeds
}

TEST_F(Instance, HostWithoutATimeMapFunctionNeverGetsAnInstance) {
    host.withheld = {"TimeMap2_beatsToTime"};
    EXPECT_EQ(open(), nullptr);
    host.withheld.clear();
    EXPECT_EQ(open(), nullptr);
    EXPECT_EQ(open(), nullptr);
    EXPECT_EQ(host.fetch_log, all_five());  // fetched once only
}

TEST_F(Instance, TimeOffsetComesFromTheHostIni) {
    FILE* f = std::fopen(ini_path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("[other]\r\ntimeoffs=5\r\n[tolvan]\r\ntimeoffs=-37\r\n", f);
    std::fclose(f);
    ASSERT_NE(open(), nullptr);
    EXPECT_EQ(time_offset_ms, -37);
    // Read once per library: a changed file is not read again by later instances.
    f = std::fopen(ini_path.c_str(), "wb");
    std::fputs("[tolvan]\ntimeoffs=12\n", f);
    std::fclose(f);
    ASSERT_NE(open(), nullptr);
    EXPECT_EQ(time_offset_ms, -37);
}

TEST_F(Instance, MissingIniGivesNoOffset) {
    time_offset_ms = 99;
    ASSERT_NE(open(), nullptr);
    EXPECT_EQ(time_offset_ms, 0);
}

TEST_F(Instance, LiveInstancesCountConstructionAndDestruction) {
    const int32_t before = live_instances;
    AEffect* a = open();
    AEffect* b = open();
    EXPECT_EQ(live_instances, before + 2);
    close(a);
    EXPECT_EQ(live_instances, before + 1);
    close(b);
    EXPECT_EQ(live_instances, before);
}

TEST_F(Instance, ReplacingClearsBothOutputsAndAccumulatingLeavesThem) {
    AEffect* e = open();
    ASSERT_NE(e, nullptr);
    std::vector<float> left(64, 0.75f), right(64, -0.5f);
    float* outs[2] = {left.data(), right.data()};
    e->process(e, nullptr, outs, 64);
    for (int i = 0; i < 64; ++i) ASSERT_TRUE(left[i] == 0.75f && right[i] == -0.5f);
    e->processReplacing(e, nullptr, outs, 0);
    EXPECT_EQ(left[0], 0.75f);
    e->processReplacing(e, nullptr, outs, 48);
    for (int i = 0; i < 48; ++i) ASSERT_TRUE(left[i] == 0.0f && right[i] == 0.0f);
    EXPECT_EQ(left[48], 0.75f);  // nothing beyond the frame count
}

TEST_F(Instance, ParametersAnswerZeroAndEntriesIgnoreAMissingInstance) {
    AEffect* e = open();
    ASSERT_NE(e, nullptr);
    e->setParameter(e, 0, 0.9f);
    EXPECT_EQ(e->getParameter(e, 0), 0.0f);
    EXPECT_EQ(e->getParameter(e, 5), 0.0f);

    AEffect orphan = *e;
    orphan.user = nullptr;
    std::vector<float> out(8, 1.0f);
    float* outs[2] = {out.data(), out.data()};
    orphan.processReplacing(&orphan, nullptr, outs, 8);
    EXPECT_EQ(out[0], 1.0f);
    EXPECT_EQ(orphan.getParameter(&orphan, 0), 0.0f);
    for (int32_t opcode : {effClose, effSetSampleRate, effMainsChanged, effEditOpen, effEditClose,
                           effGetChunk, effSetChunk}) {
        void* ptr = nullptr;
        EXPECT_EQ(orphan.dispatcher(&orphan, opcode, 0, 0, &ptr, 48000.0f), 0) << opcode;
    }
    EXPECT_EQ(ChartPreview::from(e)->sample_rate, 44100.0);
}

TEST_F(Instance, SuspendEmptiesTheChart) {
    AEffect* e = open();
    ChartPreview* self = ChartPreview::from(e);
    ChartEvent gem{};
    gem.position = 1000;
    gem.kind = 97;
    ASSERT_TRUE(self->events.append(gem));
    self->display_position = 5000.0;
    self->last_position = 4000.0;
    self->read_horizon = 9000.0;
    self->swap_count = 1;
    e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
    EXPECT_EQ(self->events.count<ChartEvent>(), 1);
    e->dispatcher(e, effMainsChanged, 0, 0, nullptr, 0.0f);
    EXPECT_EQ(self->events.count<ChartEvent>(), 0);
    EXPECT_EQ(self->display_position, -1.0);
    EXPECT_EQ(self->last_position, -1.0);
    EXPECT_EQ(self->read_horizon, 9000.0);
    EXPECT_EQ(self->swap_count, 0);
    EXPECT_EQ(self->swap_switches[0].position, -1);
}

}  // namespace
