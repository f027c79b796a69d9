// Benchmarks of the chart model on the dense demo chart at 44100 Hz, through the simulated
// host: the catch-up block after a stopped reset, one steady playing block, one visible-gem
// call. Only the measured call is timed; the playback around it is not.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "host/sim_host.h"
#include "songfile/smf.h"
#include "plugin/chart_preview.h"

namespace {

using Clock = std::chrono::steady_clock;

// One instance on the demo chart's guitar track, its editor open.
struct Rig {
    SimHost host;
    AEffect* effect = nullptr;
    ChartPreview* self = nullptr;
    SimDriver driver;
    double song_end = 0.0;  // samples

    Rig(int32_t difficulty, bool playing) {
        SmfFile file;
        std::string error;
        if (!smf_load(TIVER_BINARY_DIR "/demo/demo_chart.mid", &file, &error)) {
            std::fprintf(stderr, "bench_chart: %s\n", error.c_str());
            std::exit(2);
        }
        song_end = tempo_ticks_to_seconds(tempo_map_from(file),
                                          double(file.tracks[1].events.back().tick)) * 44100.0;
        g_host_api = HostApi{};
        effect = VSTPluginMain(sim_host_install(&host));
        if (!effect) std::exit(2);
        self = ChartPreview::from(effect);
        sim_host_load(&host, std::move(file), 1);
        effect->dispatcher(effect, effEditOpen, 0, 0, &host, 0.0f);
        self->difficulty = difficulty;
        sim_driver_init(&driver, &host, effect, 512);
        host.playing = playing;
    }
    ~Rig() {
        effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
        sim_host_install(nullptr);
    }
    // Plays on; past the song's end, back to 0 (the re-read block is played here too).
    void next_block() {
        if (host.sample_pos > song_end) {
            host.sample_pos = 0;
            sim_driver_block(&driver);
        }
        sim_driver_block(&driver);
    }
    void paint() { benchmark::DoNotOptimize(self->compute_visible_gems(false)); }
};

double seconds_since(Clock::time_point t0) {
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

// Stopped 30 s into the song at Easy: the reset block reads 3 s back and 2.5 s ahead.
void BM_IntakeCatchUp(benchmark::State& state) {
    Rig rig(0, false);
    rig.host.sample_pos = 30 * 44100.0;
    int64_t steps = 0, events = 0;
    for (auto _ : state) {
        rig.effect->dispatcher(rig.effect, effMainsChanged, 0, 0, nullptr, 0.0f);
        const int64_t before = rig.host.raw_midi_calls;
        const auto t0 = Clock::now();
        sim_driver_block(&rig.driver);
        state.SetIterationTime(seconds_since(t0));
        steps += rig.host.raw_midi_calls - before;
        events += rig.self->events.count<ChartEvent>();
    }
    state.counters["read_steps"] = benchmark::Counter(double(steps), benchmark::Counter::kAvgIterations);
    state.counters["events"] = benchmark::Counter(double(events), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_IntakeCatchUp)->UseManualTime()->Unit(benchmark::kMicrosecond);

// Playing at Expert with paints at 60 per second around the measured blocks.
void BM_IntakeSteadyBlock(benchmark::State& state) {
    Rig rig(3, true);
    for (int i = 0; i < 200; ++i) rig.next_block();
    double due = 0.0;
    for (auto _ : state) {
        if (rig.host.sample_pos > rig.song_end) {
            rig.host.sample_pos = 0;
            rig.next_block();
        }
        const auto t0 = Clock::now();
        sim_driver_block(&rig.driver);
        state.SetIterationTime(seconds_since(t0));
        for (due += 512.0; due >= 735.0; due -= 735.0) rig.paint();
    }
}
BENCHMARK(BM_IntakeSteadyBlock)->UseManualTime()->Unit(benchmark::kMicrosecond);

// One paint's visible window at Expert, the intake running between paints.
void BM_VisibleGems(benchmark::State& state) {
    Rig rig(3, true);
    for (int i = 0; i < 200; ++i) rig.next_block();
    int64_t out = 0, listed = 0;
    double due = 0.0;
    for (auto _ : state) {
        for (due += 735.0; due >= 512.0; due -= 512.0) rig.next_block();
        listed += rig.self->events.count<ChartEvent>();
        const auto t0 = Clock::now();
        const int32_t n = rig.self->compute_visible_gems(false);
        state.SetIterationTime(seconds_since(t0));
        out += n;
    }
    state.counters["visible"] = benchmark::Counter(double(out), benchmark::Counter::kAvgIterations);
    state.counters["listed"] = benchmark::Counter(double(listed), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_VisibleGems)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
