// Highway display benchmarks: one frame of the densest Expert guitar passage of the demo chart
// with the default skin, steady or after a size change, beside a memcpy of the same frame; a
// frame busy with today's chart features; loading the whole skin.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "display/asset_set.h"
#include "display/headless_editor.h"
#include "host/sim_host.h"
#include "songfile/smf.h"
#include "songfile/smf_writer.h"
#include "host/tempo_map.h"
#include "platform/platform.h"
#include "plugin/chart_preview.h"
#include "bench/bench_main.h"
#include "raster/tess.h"

namespace {

constexpr double SAMPLE_RATE = 44100.0;
constexpr double FRAME_SECONDS = 1.0 / 60.0;
constexpr double EXPERT_SPAN = 1.2;
constexpr int32_t EXPERT_BASE = 96;

// The default skin lies in <build>/tolvan; a module "in" the build folder finds it.
void point_module_at_build_skin() {
    static const std::string module = std::string(TIVER_BINARY_DIR) + "/bench_display";
    platform_override_module_file_name(module.c_str());
    g_assets.module_directory[0] = '\0';
}

// The moment (seconds) whose highway holds the most Expert gems of the track.
double densest_moment(const SmfFile& song, int32_t track) {
    const TempoMap map = tempo_map_from(song);
    const SmfTrack& t = song.tracks[static_cast<size_t>(track)];
    std::vector<double> gems;
    for (const SmfEvent& e : t.events) {
        const uint8_t* m = t.message(e);
        if (e.size == 3 && (m[0] & 0xF0) == 0x90 && m[2] > 0 && m[1] >= EXPERT_BASE &&
            m[1] <= EXPERT_BASE + 4)
            gems.push_back(tempo_ticks_to_seconds(map, static_cast<double>(e.tick)));
    }
    size_t best = 0, best_count = 0, j = 0;
    for (size_t i = 0; i < gems.size(); ++i) {
        while (j < gems.size() && gems[j] < gems[i] + EXPERT_SPAN) ++j;
        if (j - i > best_count) {
            best_count = j - i;
            best = i;
        }
    }
    return gems.empty() ? 0.0 : gems[best];
}

// The plug-in on the demo chart's guitar track in a simulated host, its editor open, playing a
// loop of frames around the densest moment. Every pass of the loop shows the same frames, so
// after one pass every scaled copy the passage needs is cached.
class Session {
public:
    bool open(int32_t width, int32_t height, std::string* error) {
        SmfFile song;
        const std::string chart = std::string(TIVER_BINARY_DIR) + "/demo/demo_chart.mid";
        if (!smf_load(chart.c_str(), &song, error)) return false;
        const int32_t track = smf_find_track(song, "PART GUITAR");
        if (track < 0) {
            *error = "the demo chart has no PART GUITAR";
            return false;
        }
        const double dense = densest_moment(song, track);
        return open(width, height, std::move(song), track, dense, error);
    }

    // The same on `track` of `song`, the loop around `moment` (seconds).
    bool open(int32_t width, int32_t height, SmfFile song, int32_t track, double moment,
              std::string* error) {
        point_module_at_build_skin();
        loop_start_ = moment - 0.15;
        loop_end_ = moment + 0.15;
        host_.sample_rate = SAMPLE_RATE;
        host_.ini_path = std::string(TIVER_BINARY_DIR) + "/bench_display.ini";
        audioMasterCallback master = sim_host_install(&host_);
        sim_host_load(&host_, std::move(song), track);
        effect_ = VSTPluginMain(master);
        if (!effect_) {
            *error = "the plug-in did not start";
            return false;
        }
        self_ = ChartPreview::from(effect_);
        call(effOpen, 0, nullptr);
        sim_driver_init(&driver_, &host_, effect_, 512);
        sim_driver_set_sample_rate(&driver_, SAMPLE_RATE);
        call(effMainsChanged, 1, nullptr);
        uint8_t chunk[4] = {3, 0, 170, 0};  // Expert, Guitar/Bass, HOPO 170
        call(effSetChunk, sizeof chunk, chunk);
        int parent = 0;
        if (call(effEditOpen, 0, &parent) != 1) {
            *error = "the editor did not open";
            return false;
        }
        if (!headless_editor_paint(self_, width, height)) {
            *error = "the editor could not paint";
            return false;
        }
        width_ = width;
        height_ = height;
        sim_host_play(&host_);
        restart();
        return true;
    }

    ~Session() {
        if (effect_) {
            call(effEditClose, 0, nullptr);
            call(effMainsChanged, 0, nullptr);
            call(effClose, 0, nullptr);
        }
        sim_host_install(nullptr);
        platform_override_module_file_name(nullptr);
    }

    // The audio of the next frame, as the host plays it between two paints.
    void advance() {
        next_ += FRAME_SECONDS;
        if (next_ > loop_end_) restart();
        play_until(next_);
    }

    void render() { self_->render_highway(width_, height_); }
    // Two passes of the loop: the backdrop built and every width of the passage cached.
    void warm_up() {
        for (int32_t i = 0; i < 2 * frames_per_loop() + 2; ++i) {
            advance();
            render();
        }
    }
    // One frame, timed without the audio played before it. With `rebuilt` it rebuilds the
    // backdrop and empties every scaled copy, as after a size change or a click on MODE.
    void timed_frame(benchmark::State& state, bool rebuilt = false) {
        state.PauseTiming();
        advance();
        if (rebuilt) self_->layout_dirty = 1;
        state.ResumeTiming();
        render();
        benchmark::ClobberMemory();
    }
    int32_t visible() const { return self_->visible.count<VisibleGem>(); }
    int32_t sustains() const {
        const VisibleGem* g = self_->visible.records<VisibleGem>();
        int32_t n = 0;
        for (int32_t i = 0; i < visible(); ++i) n += g[i].image >= 0 && g[i].tail > 0.0;
        return n;
    }
    template <typename Test>
    int32_t count_of(Test test) const {
        const VisibleGem* g = self_->visible.records<VisibleGem>();
        int32_t n = 0;
        for (int32_t i = 0; i < visible(); ++i) n += test(g[i]);
        return n;
    }
    int32_t frames_per_loop() const {
        return static_cast<int32_t>((loop_end_ - loop_start_) / FRAME_SECONDS);
    }

private:
    intptr_t call(int32_t opcode, intptr_t value, void* ptr) {
        return effect_->dispatcher(effect_, opcode, 0, value, ptr, 0.0f);
    }
    // Back before the loop, with time for the intake to read the highway ahead.
    void restart() {
        sim_host_jump_seconds(&host_, loop_start_ - 0.5);
        next_ = loop_start_;
        play_until(next_);
    }
    void play_until(double seconds) {
        const double target = std::floor(seconds * SAMPLE_RATE + 0.5);
        while (host_.sample_pos < target) {
            const double left = target - host_.sample_pos;
            driver_.block_frames = left < 512 ? static_cast<int32_t>(left) : 512;
            sim_driver_block(&driver_);
        }
    }

    SimHost host_;
    SimDriver driver_;
    AEffect* effect_ = nullptr;
    ChartPreview* self_ = nullptr;
    int32_t width_ = 0;
    int32_t height_ = 0;
    double loop_start_ = 0.0;
    double loop_end_ = 0.0;
    double next_ = 0.0;
};

// The densest passage frame by frame. Steady: after two passes of the loop the backdrop is
// built and every width of the passage cached. Rebuilt: every timed frame rebuilds the
// backdrop and makes each scaled copy it draws again.
void render_passage(benchmark::State& state, bool rebuilt) {
    const int32_t w = static_cast<int32_t>(state.range(0));
    const int32_t h = static_cast<int32_t>(state.range(1));
    auto session = std::make_unique<Session>();
    std::string error;
    if (!session->open(w, h, &error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    session->warm_up();
    int64_t frames = 0, records = 0, sustains = 0, fewest = 1 << 30;
    for (auto _ : state) {
        session->timed_frame(state, rebuilt);
        const int32_t n = session->visible();
        ++frames;
        records += n;
        sustains += session->sustains();
        if (n < fewest) fewest = n;
    }
    state.counters["records"] = static_cast<double>(records) / static_cast<double>(frames);
    state.counters["fewest"] = static_cast<double>(fewest);
    state.counters["sustains"] = static_cast<double>(sustains) / static_cast<double>(frames);
    state.SetItemsProcessed(state.iterations() * w * h);
}

void BM_RenderFrame(benchmark::State& state) { render_passage(state, false); }
void BM_RenderFrameRebuilt(benchmark::State& state) { render_passage(state, true); }

// Two measures at 150 BPM as today's charts write them, under a solo: sixteenth runs as taps
// under a trill lane, then held open chords under a tremolo lane with eighth frets over their
// sustains. The highway at 2.4 s shows all of it, the open sustains reaching past its far end.
SmfFile busy_chart() {
    SmfWriter w;
    SmfWriterTrack& tempo = w.add_track();
    tempo.tempo_bpm(0, 150.0);
    SmfWriterTrack& t = w.add_track();
    t.name("PART GUITAR");
    t.text(0, "[ENHANCED_OPENS]");
    constexpr int64_t Q = 480, M = 4 * Q;
    const int64_t start = 5 * Q;  // 2 s
    t.note(start, 2 * M, 103, 100);
    t.note(start, M, 104, 100);
    t.note(start, M, 127, 100);
    for (int64_t i = 0; i < 16; ++i) t.note(start + i * Q / 4, Q / 8, 96 + (i % 2 ? 2 : 0), 100);
    t.note(start + M, M, 126, 100);
    for (int64_t b = 0; b < 2; ++b) {
        const int64_t at = start + M + b * 2 * Q;
        t.note(at, 2 * Q - Q / 8, 95, 100);
        t.note(at, 2 * Q - Q / 8, 98, 100);
        for (int64_t e = 1; e < 4; ++e) t.note(at + e * Q / 2, Q / 4, 97 + 2 * (e % 2), 100);
    }
    const std::vector<uint8_t> bytes = w.bytes();
    SmfFile song;
    smf_parse(bytes.data(), bytes.size(), &song, nullptr);
    return song;
}

// A 1920 x 1080 frame of that chart: the strips under everything, taps, opens and their
// wide sustains, the same steady state as BM_RenderFrame.
void BM_RenderFrameBusy(benchmark::State& state) {
    const int32_t w = static_cast<int32_t>(state.range(0));
    const int32_t h = static_cast<int32_t>(state.range(1));
    auto session = std::make_unique<Session>();
    std::string error;
    if (!session->open(w, h, busy_chart(), 1, 2.4, &error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    session->warm_up();
    int64_t frames = 0, strips = 0, opens = 0;
    for (auto _ : state) {
        session->timed_frame(state);
        ++frames;
        strips += session->count_of([](const VisibleGem& g) { return g.image <= IMAGE_SOLO_STRIP; });
        opens += session->count_of([](const VisibleGem& g) { return g.lane == OPEN_LANE; });
    }
    state.counters["strips"] = static_cast<double>(strips) / static_cast<double>(frames);
    state.counters["opens"] = static_cast<double>(opens) / static_cast<double>(frames);
    state.SetItemsProcessed(state.iterations() * w * h);
}

// The reference: one memcpy of the frame's bytes.
void BM_MemcpyFrameSized(benchmark::State& state) {
    const size_t n = static_cast<size_t>(state.range(0)) * static_cast<size_t>(state.range(1));
    std::vector<TESS_pixel> src(n, 0xFF102030u), dst(n, 0);
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), n * sizeof(TESS_pixel));
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(n * sizeof(TESS_pixel)));
}

// All 77 images of the default skin, decoded from PNG (release not timed).
void BM_LoadSkin(benchmark::State& state) {
    point_module_at_build_skin();
    for (auto _ : state) {
        load_asset_set();
        state.PauseTiming();
        // A placeholder is 128 x 128 and a highlighted sustain only exists as a file: a gem
        // of another size and six highlighted sustains show the real skin was read.
        bool real = g_assets.slots[SLOT_GEM_GREEN] && g_assets.slots[SLOT_GEM_GREEN]->height() != 128;
        for (TESS_MemBitmap* hi : g_assets.sustain_hi) real = real && hi;
        release_asset_set();
        state.ResumeTiming();
        if (!real) {
            state.SkipWithError("the default skin is not in the build folder's tolvan/");
            break;
        }
    }
    platform_override_module_file_name(nullptr);
}

}  // namespace

BENCHMARK(BM_RenderFrame)->Args({400, 400})->Args({1280, 720})->Args({1920, 1080})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RenderFrameBusy)->Args({1920, 1080})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RenderFrameRebuilt)->Args({400, 400})->Args({1280, 720})->Args({1920, 1080})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MemcpyFrameSized)->Args({400, 400})->Args({1280, 720})->Args({1920, 1080})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LoadSkin)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) { return run_benchmarks(argc, argv); }
