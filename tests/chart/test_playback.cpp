// Long playback of the demo chart: no heap allocation once the buffers have grown, markers
// through tempo and meter changes, and the audio and UI threads sharing an instance.
#include <atomic>
#include <cstdlib>
#include <thread>

#include "chart_invariants.h"
#include "chart_rig.h"

namespace {

std::atomic<int64_t> g_allocations{0};

class Playback : public ChartRig {
protected:
    void SetUp() override {
        ChartRig::SetUp();
        SmfFile file;
        std::string error;
        ASSERT_TRUE(smf_load(TIVER_BINARY_DIR "/demo/demo_chart.mid", &file, &error)) << error;
        song_seconds = tempo_ticks_to_seconds(tempo_map_from(file),
                                              double(file.tracks[1].events.back().tick));
        sim_host_load(&host, std::move(file), 1);
    }
    void TearDown() override {
        g_heap_allocator = saved;
        ChartRig::TearDown();
    }
    void count_allocations() {
        g_allocations = 0;
        g_heap_allocator.reallocate = [](void* p, size_t n) {
            ++g_allocations;
            return std::realloc(p, n);
        };
        g_heap_allocator.allocate = [](size_t n) {
            ++g_allocations;
            return std::malloc(n);
        };
    }
    void play_song_painting() {
        host.sample_pos = 0;
        host.playing = true;
        driver.paints_per_second = 60.0;
        driver.paint = [](void* c) {
            Playback* rig = static_cast<Playback*>(c);
            const int32_t n = static_cast<int32_t>(rig->paint().size());
            ASSERT_EQ(visible_invariant_broken(*rig->self, n), nullptr);
        };
        driver.paint_context = this;
        sim_driver_run_seconds(&driver, song_seconds + 3.0);
        ASSERT_EQ(chart_invariant_broken(*self, 512), nullptr);
    }

    HeapAllocator saved = g_heap_allocator;
    double song_seconds = 0.0;
};

TEST_F(Playback, OnceGrownALongPlaybackAllocatesNothing) {
    struct Setup {
        int track, mode, difficulty;
    };
    for (const Setup& s : {Setup{1, 0, 3}, Setup{2, 1, 3}, Setup{3, 3, 0}, Setup{2, 2, 1}}) {
        SCOPED_TRACE(s.track);
        g_heap_allocator = saved;
        sim_host_select_track(&host, s.track);
        self->mode = s.mode;
        self->difficulty = s.difficulty;
        play_song_painting();  // grows the lists to their working size
        count_allocations();
        play_song_painting();  // the jump back to 0 re-reads from scratch
        EXPECT_EQ(g_allocations.load(), 0);
        EXPECT_GT(driver.paints, 0);
    }
}

TEST_F(Playback, MarkersCountBeatsInTheSignaturesUnitThroughTempoChanges) {
    self->difficulty = 3;
    host.playing = true;
    sim_driver_run_seconds(&driver, song_seconds + 2.0);  // no paints: nothing leaves

    std::vector<ChartEvent> markers;
    for (const ChartEvent& e : events())
        if (e.kind >= KIND_MEASURE && e.kind <= KIND_BEAT) markers.push_back(e);
    int measures = 0, seven_eight = 0;
    for (size_t i = 0; i < markers.size(); ++i) {
        if (markers[i].kind != KIND_MEASURE) continue;
        size_t j = i + 1;
        while (j < markers.size() && markers[j].kind != KIND_MEASURE) ++j;
        if (j == markers.size()) break;
        int per_measure = 0;
        double full = 0;
        sim_time_to_beats(nullptr, (markers[i].position + 1) / 44100.0, nullptr, &per_measure,
                          &full, nullptr);
        SCOPED_TRACE(full);
        ASSERT_EQ(j - i, 2u * per_measure) << "half beats in the measure";
        for (size_t k = i + 1; k < j; ++k)
            ASSERT_EQ(markers[k].kind, (k - i) % 2 ? KIND_HALF_BEAT : KIND_BEAT);
        ++measures;
        seven_eight += per_measure == 7;
    }
    EXPECT_GE(measures, 63);  // the map goes on past the song
    EXPECT_EQ(seven_eight, 4);
}

TEST_F(Playback, AudioAndUiThreadsShareTheInstance) {
    self->mode = 0;
    self->difficulty = 3;
    host.playing = true;
    std::atomic<bool> done{false};
    std::atomic<int> paints{0};
    std::thread ui([&] {
        while (!done) {
            ScopedLock hold(self->lock);  // the renderer reads `visible` after the call
            const int32_t n = self->compute_visible_gems(false);
            if (visible_invariant_broken(*self, n)) std::abort();
            ++paints;
        }
    });
    // 20 s of audio, and on until the UI thread has had its turns (capped at 200 s).
    for (int64_t n = 0; n < 17300 && (n < 1730 || paints < 500); ++n) block();
    done = true;
    ui.join();
    EXPECT_GE(paints.load(), 500);
    EXPECT_EQ(chart_invariant_broken(*self, 512), nullptr);
}

}  // namespace
