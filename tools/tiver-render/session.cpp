#include "tools/tiver-render/session.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "display/headless_editor.h"
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

double preroll_start(const SmfFile& song, int32_t track, double first, double paint_rate) {
    double start = first - PREROLL_PAINTS / paint_rate;
    if (track >= 0 && track < static_cast<int32_t>(song.tracks.size())) {
        const TempoMap map = tempo_map_from(song);
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

bool render_session(SmfFile song, const SessionSettings& s, double first, int64_t count,
                    double frame_rate, const FrameSink& sink, std::string* error) {
    const double start = preroll_start(song, s.track, first, s.paint_rate);

    // The host: the song as its project, the plug-in on the chosen track, and an INI file
    // whose "timeoffs" key carries the time offset as the plug-in's own control writes it.
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
    sim_host_load(&host, std::move(song), s.track);

    AEffect* effect = VSTPluginMain(master);
    if (!effect) {
        sim_host_install(nullptr);
        *error = "the plug-in refused to start in the simulated host";
        return false;
    }
    ChartPreview* self = ChartPreview::from(effect);

    // What a DAW does on loading a project: open, rate, activate, restore the state chunk,
    // then open the editor.
    call(effect, effOpen, 0, 0, nullptr);
    SimDriver driver;
    sim_driver_init(&driver, &host, effect, BLOCK_FRAMES);
    sim_driver_set_sample_rate(&driver, SAMPLE_RATE);
    call(effect, effMainsChanged, 0, 1, nullptr);
    uint8_t chunk[4] = {static_cast<uint8_t>(s.difficulty), static_cast<uint8_t>(s.mode),
                        static_cast<uint8_t>(s.hopo & 0xFF), static_cast<uint8_t>(s.hopo >> 8)};
    call(effect, effSetChunk, 0, sizeof chunk, chunk);
    int parent_window = 0;  // the headless editor needs no real parent
    bool ok = call(effect, effEditOpen, 0, 0, &parent_window) == 1;
    if (!ok) *error = "the plug-in's editor did not open";

    // Play from the preroll start, painting at the paint rate, and at every frame time
    // end a block exactly there so the strike line shows that moment.
    sim_host_jump_seconds(&host, start);
    sim_host_play(&host);
    const double paint_period = 1.0 / s.paint_rate;
    // Paints fall on the frames' grid (first + i / rate) from the first such moment after
    // the start on, whatever moment the preroll starts at (a phrase's, a mix event's), so
    // that a still paints at the moments a range paints and the smashes count alike.
    double next_paint = first - std::floor((first - start) * s.paint_rate + 1e-9) * paint_period;
    for (int64_t i = 0; ok && i < count; ++i) {
        const double frame_time = first + static_cast<double>(i) / frame_rate;
        const auto play_until = [&](double seconds) {
            const double target = std::floor(seconds * SAMPLE_RATE + 0.5);
            while (host.sample_pos < target) {
                const double left = target - host.sample_pos;
                driver.block_frames = left < BLOCK_FRAMES ? static_cast<int32_t>(left) : BLOCK_FRAMES;
                sim_driver_block(&driver);
            }
        };
        // Paints before the frame, as the editor's timer would make them.
        while (ok && next_paint < frame_time - paint_period * 0.5) {
            play_until(next_paint);
            if (!headless_editor_paint(self, s.width, s.height)) ok = false;
            next_paint += paint_period;
        }
        if (!ok) {
            *error = "the editor could not paint a frame";
            break;
        }
        play_until(frame_time);
        if (!headless_editor_paint(self, s.width, s.height)) {
            *error = "the editor could not paint a frame";
            ok = false;
            break;
        }
        next_paint = frame_time + paint_period;
        if (!sink(i, frame_time, self->frame_bitmap)) {
            ok = false;
            error->clear();
        }
    }

    call(effect, effEditClose, 0, 0, nullptr);
    call(effect, effMainsChanged, 0, 0, nullptr);
    call(effect, effClose, 0, 0, nullptr);
    sim_host_install(nullptr);
    return ok;
}
