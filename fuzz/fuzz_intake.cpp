// libFuzzer target of the chart model: random host MIDI (any message bytes, texts of any
// length, SysEx open and tap phrases, the open-lane switch), random tempo maps, transports,
// jumps, block sizes, sample rates and settings, played through the simulated host into
// processReplacing, the visible gem window and the renderer. After every block and paint the
// event and visible lists must keep their invariants.
// An input starting with 'M' is instead read as a MIDI file and, if it parses, played.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "display/headless_editor.h"
#include "host/sim_host.h"
#include "songfile/smf.h"
#include "plugin/chart_preview.h"
#include "tests/chart/chart_invariants.h"

namespace {

void check(const char* broken, const char* where) {
    if (!broken) return;
    std::fprintf(stderr, "invariant broken after %s: %s\n", where, broken);
    std::abort();
}

void add_event(SmfTrack& t, int64_t tick, const std::vector<uint8_t>& bytes) {
    t.events.push_back(SmfEvent{tick, static_cast<uint32_t>(t.bytes.size()),
                                static_cast<uint32_t>(bytes.size())});
    t.bytes.insert(t.bytes.end(), bytes.begin(), bytes.end());
}

std::vector<uint8_t> text_meta(const std::string& text) {
    std::vector<uint8_t> b{0xFF, 0x01, static_cast<uint8_t>(text.size() & 0x7F)};
    b.insert(b.end(), text.begin(), text.end());
    return b;
}

// A project of up to three tracks of arbitrary messages, with a random time map.
SmfFile random_song(FuzzedDataProvider& in) {
    SmfFile f;
    f.division = in.PickValueInArray({96, 120, 192, 480, 960});
    const int tempos = in.ConsumeIntegralInRange(0, 4);
    for (int i = 0; i < tempos; ++i)
        f.tempos.push_back(SmfTempo{in.ConsumeIntegralInRange<int64_t>(0, 20000),
                                    in.ConsumeIntegralInRange<uint32_t>(150000, 2000000)});
    const int signatures = in.ConsumeIntegralInRange(0, 3);
    for (int i = 0; i < signatures; ++i)
        f.signatures.push_back(SmfTimeSignature{in.ConsumeIntegralInRange<int64_t>(0, 20000),
                                                in.ConsumeIntegralInRange(1, 15),
                                                1 << in.ConsumeIntegralInRange(0, 5)});
    auto by_tick = [](const auto& a, const auto& b) { return a.tick < b.tick; };
    std::stable_sort(f.tempos.begin(), f.tempos.end(), by_tick);
    std::stable_sort(f.signatures.begin(), f.signatures.end(), by_tick);

    const int tracks = in.ConsumeIntegralInRange(1, 3);
    for (int t = 0; t < tracks; ++t) {
        f.tracks.emplace_back();
        SmfTrack& track = f.tracks.back();
        int64_t tick = 0;
        const int events = in.ConsumeIntegralInRange(0, 400);
        for (int e = 0; e < events && in.remaining_bytes() > 0; ++e) {
            tick += in.ConsumeBool() ? 0 : in.ConsumeIntegralInRange(0, 600);
            const int note = in.ConsumeBool() ? in.ConsumeIntegralInRange(58, 127)
                                              : in.ConsumeIntegral<uint8_t>() & 0x7F;
            const int d = in.ConsumeIntegralInRange(0, 4);
            switch (in.ConsumeIntegralInRange(0, 11)) {
            case 0: case 1: case 2:
                add_event(track, tick, {0x90, uint8_t(note), uint8_t(in.ConsumeIntegralInRange(0, 127))});
                break;
            case 3: case 4:
                add_event(track, tick, {0x80, uint8_t(note), 64});
                break;
            case 5:
                add_event(track, tick, {0xB0, 123, 0});
                break;
            case 6: {
                static const char* forms[] = {"[mix %d drums0d]", "[mix %d drums0]", "mix %d drums3d",
                                              "[mix %d drums1easy]", "[drums%d solo]", "drums%d noflip",
                                              "[mix %d d]", "mix %d"};
                char text[64];
                std::snprintf(text, sizeof text, forms[in.ConsumeIntegralInRange(0, 7)], d);
                add_event(track, tick, text_meta(text));
                break;
            }
            case 7:
                add_event(track, tick, text_meta(in.ConsumeRandomLengthString(120)));
                break;
            case 8: {  // an open or tap phrase's start or end, in either form, or near one
                std::vector<uint8_t> b{0xF0};
                if (in.ConsumeBool()) b.push_back(0x08);
                const uint8_t difficulty = in.PickValueInArray<uint8_t>({0, 1, 2, 3, 0xFF, in.ConsumeIntegral<uint8_t>()});
                const uint8_t code = in.PickValueInArray<uint8_t>({1, 4, in.ConsumeIntegral<uint8_t>()});
                const uint8_t value = in.PickValueInArray<uint8_t>({0, 1, in.ConsumeIntegral<uint8_t>()});
                b.insert(b.end(), {0x50, 0x53, 0x00, 0x00, difficulty, code, value, 0xF7});
                if (in.ConsumeBool()) b.resize(in.ConsumeIntegralInRange<size_t>(1, b.size()));
                add_event(track, tick, b);
                break;
            }
            case 9:  // the open-lane switch (looked for in the track's first second)
                add_event(track, tick, text_meta(in.ConsumeBool() ? "[ENHANCED_OPENS]" : "ENHANCED_OPENS"));
                break;
            default: {  // any bytes at all, of any size up to 300
                const std::string raw = in.ConsumeRandomLengthString(300);
                add_event(track, tick, std::vector<uint8_t>(raw.begin(), raw.end()));
                break;
            }
            }
        }
    }
    return f;
}

void play(FuzzedDataProvider& in, SmfFile song) {
    SimHost host;
    g_host_api = HostApi{};
    time_offset_ms = 0;
    audioMasterCallback master = sim_host_install(&host);
    AEffect* effect = VSTPluginMain(master);
    if (!effect) std::abort();
    ChartPreview* self = ChartPreview::from(effect);
    const int32_t tracks = static_cast<int32_t>(song.tracks.size());
    sim_host_load(&host, std::move(song), tracks ? 0 : -1);
    effect->dispatcher(effect, effEditOpen, 0, 0, &host, 0.0f);

    SimDriver driver;
    sim_driver_init(&driver, &host, effect, 512);
    int32_t max_frames = 512;
    int blocks = 0;
    for (int op = 0; op < 400 && blocks < 300 && in.remaining_bytes() > 0; ++op) {
        switch (in.ConsumeIntegralInRange(0, 9)) {
        case 0: case 1: case 2: {
            const int32_t frames = in.PickValueInArray({64, 128, 256, 441, 480, 512, 1024, 4096});
            if (frames != driver.block_frames) sim_driver_init(&driver, &host, effect, frames);
            if (frames > max_frames) max_frames = frames;
            const int n = in.ConsumeIntegralInRange(1, 20);
            for (int i = 0; i < n; ++i, ++blocks) {
                sim_driver_block(&driver);
                check(chart_invariant_broken(*self, max_frames), "a block");
            }
            break;
        }
        case 3: case 4: {
            if (in.ConsumeBool()) {
                const int32_t n = self->compute_visible_gems(self->mode == 1 || self->mode == 2);
                check(visible_invariant_broken(*self, n), "a paint");
            } else {  // the whole paint, strips, opens and all, at a small size
                headless_editor_paint(self, in.ConsumeIntegralInRange(1, 160), in.ConsumeIntegralInRange(1, 120));
            }
            check(chart_invariant_broken(*self, max_frames), "a paint");
            break;
        }
        case 5:
            host.playing = in.ConsumeBool();
            break;
        case 6: {
            const double nan = std::numeric_limits<double>::quiet_NaN();
            const double inf = std::numeric_limits<double>::infinity();
            const int how = in.ConsumeIntegralInRange(0, 3);
            if (how == 0)
                host.sample_pos = in.PickValueInArray({nan, inf, -inf, 1e300, -1e18, 9.1e15, -1.0});
            else if (how == 1)
                host.sample_pos += in.ConsumeIntegralInRange(-200, 200);
            else
                host.sample_pos = in.ConsumeFloatingPointInRange(-10.0, 200.0) * host.sample_rate;
            break;
        }
        case 7: {
            self->difficulty = in.ConsumeIntegralInRange(-2, 5);
            self->mode = in.ConsumeIntegralInRange(-1, 5);
            self->hopo_threshold = in.ConsumeIntegralInRange(-100, 70000);
            time_offset_ms = in.ConsumeIntegralInRange(-2000, 2000);
            host.output_latency = in.ConsumeIntegralInRange(-5000, 50000);
            break;
        }
        case 8: {
            const float nan = std::numeric_limits<float>::quiet_NaN();
            const float inf = std::numeric_limits<float>::infinity();
            const float rate = in.PickValueInArray(
                {8000.0f, 22050.0f, 44100.0f, 48000.0f, 96000.0f, 0.0f, -44100.0f, nan, inf, 1e30f,
                 in.ConsumeFloatingPointInRange(1.0f, 96000.0f)});
            sim_driver_set_sample_rate(&driver, rate);
            break;
        }
        default:
            switch (in.ConsumeIntegralInRange(0, 3)) {
            case 0: effect->dispatcher(effect, effMainsChanged, 0, 0, nullptr, 0.0f); break;
            case 1: effect->dispatcher(effect, effEditOpen, 0, 0, &host, 0.0f); break;
            case 2: host.time_info_available = !host.time_info_available; break;
            default: sim_host_select_track(&host, in.ConsumeIntegralInRange(-1, 3)); break;
            }
            break;
        }
    }
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    sim_host_install(nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 0 && data[0] == 'M') {
        // The rest up to a 0xFF 0x00 separator is a file; what follows drives its playback.
        size_t cut = 1;
        while (cut + 1 < size && !(data[cut] == 0xFF && data[cut + 1] == 0x00)) ++cut;
        SmfFile song;
        std::string error;
        const bool ok = smf_parse(data, cut, &song, &error);
        if (!ok && error.empty()) std::abort();
        if (!ok) return 0;
        FuzzedDataProvider in(data + cut, size - cut);
        play(in, std::move(song));
        return 0;
    }
    FuzzedDataProvider in(data, size);
    SmfFile song = random_song(in);
    play(in, std::move(song));
    return 0;
}
