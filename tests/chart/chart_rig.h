// Test rig of the chart model: a plug-in instance made through VSTPluginMain on the
// simulated host, its editor marked open, driven block by block through processReplacing.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "host/sim_host.h"
#include "songfile/smf.h"
#include "songfile/smf_writer.h"
#include "plugin/chart_preview.h"

class ChartRig : public ::testing::Test {
protected:
    void SetUp() override {
        g_host_api = HostApi{};
        time_offset_ms = 0;
        master = sim_host_install(&host);
        effect = VSTPluginMain(master);
        ASSERT_NE(effect, nullptr);
        self = ChartPreview::from(effect);
        // Intake runs only while the editor is open; natively it opens headless.
        ASSERT_EQ(effect->dispatcher(effect, effEditOpen, 0, 0, &fake_window, 0.0f), 1);
        sim_driver_init(&driver, &host, effect, 512);
    }
    void TearDown() override {
        if (effect) effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
        sim_host_install(nullptr);
        g_host_api = HostApi{};
    }

    // Loads the file as the project, the plug-in on track `track`.
    void load(const SmfWriter& w, int track) {
        const std::vector<uint8_t> bytes = w.bytes();
        SmfFile file;
        std::string error;
        ASSERT_TRUE(smf_parse(bytes.data(), bytes.size(), &file, &error)) << error;
        sim_host_load(&host, std::move(file), track);
    }

    // The sample the host puts a tick on at 120 BPM, 480 ticks per quarter, 44100 Hz.
    static int64_t sample_at_tick(int64_t tick) {
        return static_cast<int64_t>(std::floor(tick * 44100.0 / 960.0 + 0.5));
    }

    void block() { sim_driver_block(&driver); }
    void blocks(int n) { sim_driver_run_blocks(&driver, n); }

    // One block with the transport stopped at `sample` (a jump, so the list is rebuilt).
    void stopped_at(double sample) {
        host.playing = false;
        host.sample_pos = sample;
        block();
    }

    std::vector<ChartEvent> events() const {
        const ChartEvent* e = self->events.records<ChartEvent>();
        return std::vector<ChartEvent>(e, e + self->events.count<ChartEvent>());
    }
    std::vector<ChartEvent> events_of(int kind) const {
        std::vector<ChartEvent> out;
        for (const ChartEvent& e : events())
            if (e.kind == kind) out.push_back(e);
        return out;
    }

    // One paint: the visible records of this frame.
    std::vector<VisibleGem> paint() {
        const bool drums = self->mode == 1 || self->mode == 2;
        const int32_t n = self->compute_visible_gems(drums);
        const VisibleGem* v = static_cast<const VisibleGem*>(self->visible.data);
        return std::vector<VisibleGem>(v, v + n);
    }
    static std::vector<VisibleGem> in_lane_image(const std::vector<VisibleGem>& all, int lane) {
        std::vector<VisibleGem> out;
        for (const VisibleGem& v : all)
            if (v.lane == lane) out.push_back(v);
        return out;
    }

    SimHost host;
    audioMasterCallback master = nullptr;
    AEffect* effect = nullptr;
    ChartPreview* self = nullptr;
    SimDriver driver;
    int fake_window = 0;
};
