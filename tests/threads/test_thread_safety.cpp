// The audio thread and the UI thread on one instance, as a DAW drives them: the audio
// thread plays (and now and then jumps) while the UI thread paints, applies chunks,
// clicks the control strip, suspends and resumes. Run under ThreadSanitizer by the test
// command; any data race or crash fails it.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "display/headless_editor.h"
#include "host/sim_host.h"
#include "songfile/smf.h"
#include "plugin/chart_preview.h"

namespace {

TEST(ThreadSafety, AudioAndUserInterfaceThreadsShareOneInstance) {
    g_host_api = HostApi{};
    SimHost host;
    SmfFile song;
    std::string error;
    ASSERT_TRUE(smf_load(TIVER_BINARY_DIR "/demo/demo_chart.mid", &song, &error)) << error;
    const int32_t track = smf_first_chart_track(song);
    ASSERT_GE(track, 0);
    sim_host_load(&host, song, track);
    host.playing = true;
    audioMasterCallback master = sim_host_install(&host);
    AEffect* effect = VSTPluginMain(master);
    ASSERT_NE(effect, nullptr);
    ChartPreview* self = ChartPreview::from(effect);
    ASSERT_EQ(effect->dispatcher(effect, effEditOpen, 0, 0, nullptr, 0.0f), 1);

    std::atomic<bool> stop{false};
    std::atomic<int64_t> blocks{0};
    // Only the audio thread touches the host's transport, as in a DAW's audio callback.
    std::thread audio([&] {
        std::vector<float> l(512), r(512);
        float* outs[2] = {l.data(), r.data()};
        int64_t n = 0;
        while (!stop.load()) {
            effect->processReplacing(effect, nullptr, outs, 512);
            host.sample_pos += 512;
            if (++n % 700 == 0) host.sample_pos = (n % 1400 == 0) ? 0.0 : host.sample_pos * 0.5;
            blocks.store(n);
        }
    });

    // Three seconds and at least 40 paints, however slow the machine (sanitizers, other load),
    // within a minute.
    const auto start = std::chrono::steady_clock::now();
    const auto end = start + std::chrono::seconds(3), limit = start + std::chrono::seconds(60);
    int64_t frames = 0;
    for (int i = 0; (std::chrono::steady_clock::now() < end || frames < 40) && std::chrono::steady_clock::now() < limit;
         ++i) {
        ASSERT_TRUE(headless_editor_paint(self, 400, 300));
        ++frames;
        switch (i % 8) {
        case 0: {
            uint8_t chunk[4] = {static_cast<uint8_t>(i % 4), static_cast<uint8_t>((i / 8) % 4),
                                static_cast<uint8_t>(100 + i % 100), 0};
            effect->dispatcher(effect, effSetChunk, 0, 4, chunk, 0.0f);
            break;
        }
        case 1:
            headless_editor_mouse_down(self, 10, 15);  // SKILL
            headless_editor_mouse_up(self);
            break;
        case 2:
            headless_editor_mouse_down(self, 60, 15);  // MODE
            headless_editor_mouse_up(self);
            break;
        case 3:
            headless_editor_mouse_down(self, 240, 15);  // HOPO THRESH drag
            headless_editor_mouse_move(self, 250 + i % 30, 15);
            headless_editor_mouse_up(self);
            break;
        case 4:
            effect->dispatcher(effect, effMainsChanged, 0, 0, nullptr, 0.0f);
            break;
        case 5:
            effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);
            break;
        case 6: {
            const uint8_t* bytes = nullptr;
            effect->dispatcher(effect, effGetChunk, 0, 0, &bytes, 0.0f);
            break;
        }
        default:
            effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, i % 16 ? 44100.0f : 48000.0f);
            break;
        }
    }
    stop.store(true);
    audio.join();
    EXPECT_GT(blocks.load(), 100);
    EXPECT_GE(frames, 40) << "paints within a minute";

    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    sim_host_install(nullptr);
    g_host_api = HostApi{};
}

}  // namespace
