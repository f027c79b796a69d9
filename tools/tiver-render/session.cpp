#include "tools/tiver-render/session.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "display/headless_editor.h"
#include "display/highway_renderer.h"
#include "host/tempo_map.h"
#include "platform/platform.h"
#include "plugin/chart_preview.h"
#include "plugin/vst_abi.h"

namespace {

constexpr double SAMPLE_RATE = 44100.0;
constexpr int32_t BLOCK_FRAMES = 512;
// Paints before the first frame: a gem that reached the strike line shortly before it
// still shows its smash, which lasts 30 paints.
constexpr double PREROLL_PAINTS = 31.0;
// A phrase or sustain longer than this before the first frame is not played from its start.
constexpr double MAX_PREROLL_SECONDS = 60.0;

intptr_t call(AEffect* e, int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt = 0.0f) {
    return e->dispatcher(e, opcode, index, value, ptr, opt);
}

}  // namespace

double preroll_start(const SmfFile& song, const std::vector<int32_t>& tracks, double first,
                     double paint_rate) {
    double start = first - PREROLL_PAINTS / paint_rate;
    const TempoMap map = tempo_map_from(song);
    for (const int32_t track : tracks) {
        if (track < 0 || track >= static_cast<int32_t>(song.tracks.size())) continue;
        const SmfTrack& t = song.tracks[static_cast<size_t>(track)];
        std::map<int, double> open;  // note -> start of its latest note-on, in seconds
        double mix = first;           // the latest drum mix text event, which sets the lanes
        for (const SmfEvent& e : t.events) {
            const uint8_t* m = t.message(e);
            const double at = tempo_ticks_to_seconds(map, static_cast<double>(e.tick));
            if (at > first) break;
            if (e.size > 3 && m[0] == 0xFF && m[1] == 0x01) {
                const std::string text(reinterpret_cast<const char*>(m) + 2, e.size - 2);
                if (text.find("mix") != std::string::npos || text.find("drums") != std::string::npos) mix = at;
            }
            if (e.size != 3) continue;
            const int status = m[0] & 0xF0;
            if (status == 0x90 && m[2] > 0) {
                open[m[1]] = at;
            } else if (status == 0x80 || status == 0x90) {
                open.erase(m[1]);
            } else if (status == 0xB0 && m[1] == 123) {
                open.clear();
            }
        }
        for (const auto& note : open) start = std::min(start, note.second);
        start = std::min(start, mix);
    }
    start = std::max(start, first - MAX_PREROLL_SECONDS);
    return std::max(start, 0.0);
}

namespace {

// One plug-in instance of the session, as the host holds it.
struct Instance {
    AEffect* effect = nullptr;
    ChartPreview* self = nullptr;
    ViewSettings view;
};

// What a DAW does on putting the plug-in on a track of a loaded project: create it, place
// it on the track, open, rate, activate, restore the state chunk, then open the editor.
bool add_instance(SimHost* host, audioMasterCallback master, const ViewSettings& view, int32_t hopo,
                  std::vector<Instance>* instances, std::string* error) {
    AEffect* effect = VSTPluginMain(master);
    if (!effect) {
        *error = "the plug-in refused to start in the simulated host";
        return false;
    }
    instances->push_back(Instance{effect, ChartPreview::from(effect), view});
    sim_host_place(host, effect, view.track);
    call(effect, effOpen, 0, 0, nullptr);
    call(effect, effSetSampleRate, 0, 0, nullptr, static_cast<float>(host->sample_rate));
    call(effect, effMainsChanged, 0, 1, nullptr);
    uint8_t chunk[4] = {static_cast<uint8_t>(view.difficulty), static_cast<uint8_t>(view.mode),
                        static_cast<uint8_t>(hopo & 0xFF), static_cast<uint8_t>(hopo >> 8)};
    call(effect, effSetChunk, 0, sizeof chunk, chunk);
    int parent_window = 0;  // the headless editor needs no real parent
    if (call(effect, effEditOpen, 0, 0, &parent_window) != 1) {
        *error = "the plug-in's editor did not open";
        return false;
    }
    return true;
}

// The project closed: every instance's editor closed, deactivated and destroyed.
void close_instances(std::vector<Instance>* instances) {
    for (auto it = instances->rbegin(); it != instances->rend(); ++it) {
        call(it->effect, effEditClose, 0, 0, nullptr);
        call(it->effect, effMainsChanged, 0, 0, nullptr);
        call(it->effect, effClose, 0, 0, nullptr);
    }
    instances->clear();
}

}  // namespace

bool render_session(SmfFile song, const SessionSettings& s, double first, int64_t count,
                    double frame_rate, const FrameSink& sink, std::string* error) {
    if (s.views.empty() || s.views.size() > MAX_SESSION_VIEWS) {
        *error = "a session shows 1 to " + std::to_string(MAX_SESSION_VIEWS) + " views";
        return false;
    }
    std::vector<int32_t> tracks;
    for (const ViewSettings& v : s.views) tracks.push_back(v.track);
    const double start = preroll_start(song, tracks, first, s.paint_rate);

    // The host: the song as its project, and an INI file whose "timeoffs" key carries the
    // time offset as the plug-in's own control writes it.
    SimHost host;
    host.ini_path = s.ini_path;
    host.sample_rate = SAMPLE_RATE;
    if (s.offset_ms != 0) {
        const std::string text = std::to_string(s.offset_ms);
        if (!platform_ini_write_string("tolvan", "timeoffs", text.c_str(), s.ini_path.c_str())) {
            *error = "cannot write the host's INI file " + s.ini_path;
            return false;
        }
    }
    audioMasterCallback master = sim_host_install(&host);
    sim_host_load(&host, std::move(song), s.views[0].track);

    std::vector<Instance> instances;
    instances.reserve(s.views.size());
    bool ok = true;
    for (const ViewSettings& view : s.views)
        if (!add_instance(&host, master, view, s.hopo, &instances, error)) {
            ok = false;
            break;
        }
    SimDriver driver;
    std::vector<TESS_IBitmap*> frames(s.views.size(), nullptr);
    if (ok) {
        sim_driver_init(&driver, &host, instances[0].effect, BLOCK_FRAMES);
        for (size_t i = 1; i < instances.size(); ++i) sim_driver_add_effect(&driver, instances[i].effect);
    }

    const auto play_until = [&](double seconds) {
        const double target = std::floor(seconds * SAMPLE_RATE + 0.5);
        while (host.sample_pos < target) {
            const double left = target - host.sample_pos;
            driver.block_frames = left < BLOCK_FRAMES ? static_cast<int32_t>(left) : BLOCK_FRAMES;
            sim_driver_block(&driver);
        }
    };
    // Every editor painted at its own size, as each window's timer would do it.
    const auto paint_all = [&]() {
        for (size_t i = 0; i < instances.size(); ++i) {
            const ViewSettings& v = instances[i].view;
            if (!headless_editor_paint(instances[i].self, v.width, v.height, s.controls)) return false;
            // What the sink draws there the next paint puts back.
            note_frame_drawn(instances[i].self, 0, 0, v.width, s.drawn_rows);
            frames[i] = instances[i].self->frame_bitmap;
        }
        return true;
    };

    // Play from the preroll start. The paint clock ticks at first + k / paint_rate (k
    // negative before the first frame), so that its ticks fall on the same moments
    // wherever play began; at every frame time a block ends exactly there, so the strike
    // line shows that moment.
    sim_host_jump_seconds(&host, start);
    sim_host_play(&host);
    const auto tick_time = [&](int64_t k) { return first + static_cast<double>(k) / s.paint_rate; };
    const double half_period = 0.5 / s.paint_rate;
    int64_t tick = -static_cast<int64_t>(std::floor((first - start) * s.paint_rate + 1e-9));
    for (int64_t i = 0; ok && i < count; ++i) {
        const double frame_time = first + static_cast<double>(i) / frame_rate;
        // Paints before the frame, as the editors' timers would make them.
        while (ok && tick_time(tick) < frame_time - half_period) {
            play_until(tick_time(tick));
            ok = paint_all();
            ++tick;
        }
        if (ok) {
            play_until(frame_time);
            ok = paint_all();
        }
        if (!ok) {
            *error = "the editor could not paint a frame";
            break;
        }
        // The frame's paint stands for the clock's tick at it.
        while (tick_time(tick) <= frame_time + half_period) ++tick;
        if (!sink(i, frame_time, frames.data())) {
            ok = false;
            error->clear();
        }
    }

    close_instances(&instances);
    sim_host_install(nullptr);
    return ok;
}
