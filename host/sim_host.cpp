#include "host/sim_host.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

SimHost* g_current = nullptr;

const TempoMap& current_map() {
    static const TempoMap fallback = tempo_map_default();
    return g_current ? g_current->tempo : fallback;
}

const char* host_get_ini_file() { return g_current ? g_current->ini_path.c_str() : ""; }

struct NamedFunction {
    const char* name;
    void* address;
};

const NamedFunction kFunctions[] = {
    {"get_ini_file", reinterpret_cast<void*>(&host_get_ini_file)},
    {"Track_GetRawMIDI", reinterpret_cast<void*>(&sim_track_get_raw_midi)},
    {"TimeMap2_timeToQN", reinterpret_cast<void*>(&sim_time_to_qn)},
    {"TimeMap2_timeToBeats", reinterpret_cast<void*>(&sim_time_to_beats)},
    {"TimeMap2_beatsToTime", reinterpret_cast<void*>(&sim_beats_to_time)},
};

// The track handle for the instance behind `effect`: its own track when it was placed on
// one, else the selected track.
void* track_handle_for(const SimHost* host, const AEffect* effect) {
    if (effect)
        for (const auto& p : host->placed)
            if (p.first == effect) return p.second;
    return host->track_handle;
}

intptr_t host_audio_master(AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr,
                           float) {
    SimHost* host = g_current;
    if (!host) return 0;
    if (opcode == HOST_EXT_OPCODE && index == HOST_EXT_FUNCTION_INDEX) {
        if (!ptr) return 0;
        const char* name = static_cast<const char*>(ptr);
        host->fetch_log.emplace_back(name);
        if (std::find(host->withheld.begin(), host->withheld.end(), name) != host->withheld.end())
            return 0;
        for (const NamedFunction& f : kFunctions)
            if (std::strcmp(f.name, name) == 0) return reinterpret_cast<intptr_t>(f.address);
        return 0;
    }
    if (opcode == HOST_EXT_OPCODE && index == HOST_EXT_HANDLE_INDEX) {
        if (value == HOST_HANDLE_TRACK) return reinterpret_cast<intptr_t>(track_handle_for(host, effect));
        if (value == HOST_HANDLE_TIMEMAP) return reinterpret_cast<intptr_t>(host->timemap_handle);
        return 0;
    }
    if (opcode == audioMasterGetTime) {
        if (!host->time_info_available) return 0;
        host->time_info = VstTimeInfo{};
        host->time_info.samplePos = host->sample_pos;
        host->time_info.sampleRate = host->sample_rate;
        host->time_info.flags = host->playing ? kVstTransportPlaying : 0;
        return reinterpret_cast<intptr_t>(&host->time_info);
    }
    if (opcode == audioMasterGetOutputLatency) return host->output_latency;
    return 0;
}

// The sample a time falls on: the nearest one, halves rounding up. Kept in double so
// that absurd rates or times compare instead of overflowing an integer.
double sample_of(double seconds, double rate) { return std::floor(seconds * rate + 0.5); }

// Message bytes of one delivered event; meta events may be long, so the buffer grows
// (and then stays) per thread.
thread_local std::vector<uint8_t> t_scratch;

}  // namespace

audioMasterCallback sim_host_install(SimHost* host) {
    g_current = host;
    return &host_audio_master;
}

SimHost* sim_host_current() { return g_current; }

void sim_host_load(SimHost* host, SmfFile file, int32_t track) {
    if (!host) return;
    host->song = std::move(file);
    host->tempo = tempo_map_from(host->song);
    host->event_seconds.assign(host->song.tracks.size(), {});
    for (size_t t = 0; t < host->song.tracks.size(); ++t) {
        const SmfTrack& tr = host->song.tracks[t];
        std::vector<double>& secs = host->event_seconds[t];
        secs.reserve(tr.events.size());
        for (const SmfEvent& e : tr.events)
            secs.push_back(tempo_ticks_to_seconds(host->tempo, double(e.tick)));
    }
    host->timemap_handle = &host->tempo;
    sim_host_select_track(host, track);
}

void* sim_host_track(SimHost* host, int32_t track) {
    if (!host || track < 0 || track >= static_cast<int32_t>(host->song.tracks.size()))
        return nullptr;
    return &host->song.tracks[static_cast<size_t>(track)];
}

void sim_host_select_track(SimHost* host, int32_t track) {
    if (host) host->track_handle = sim_host_track(host, track);
}

void sim_host_place(SimHost* host, const AEffect* effect, int32_t track) {
    if (!host || !effect) return;
    void* handle = sim_host_track(host, track);
    for (auto& p : host->placed)
        if (p.first == effect) {
            p.second = handle;
            return;
        }
    host->placed.emplace_back(effect, handle);
}

void sim_host_play(SimHost* host) {
    if (host) host->playing = true;
}

void sim_host_stop(SimHost* host) {
    if (host) host->playing = false;
}

void sim_host_jump_seconds(SimHost* host, double seconds) {
    if (host) host->sample_pos = std::floor(seconds * host->sample_rate + 0.5);
}

// Appends the events of `track` whose sample lies in [start, start + frame count) to the
// block's list, in file order, with frame_offset counted from the block's first sample.
int sim_track_get_raw_midi(void* track, MidiTransferBlock* block) {
    SimHost* host = g_current;
    if (!host || !track || !block || !block->list) return 0;
    size_t t = 0;
    while (t < host->song.tracks.size() && track != &host->song.tracks[t]) ++t;
    if (t == host->song.tracks.size()) return 0;  // not a track of this project
    ++host->raw_midi_calls;

    const double rate = block->sample_rate;
    const int32_t frames = block->frame_count;
    if (!(rate > 0.0) || !std::isfinite(rate) || frames <= 0) return 0;
    const double first = sample_of(block->start_seconds, rate);
    if (!std::isfinite(first)) return 0;
    const double end = first + frames;

    const SmfTrack& tr = host->song.tracks[t];
    const std::vector<double>& secs = host->event_seconds[t];
    auto it = std::lower_bound(secs.begin(), secs.end(), first, [rate](double s, double f) {
        return sample_of(s, rate) < f;
    });
    for (size_t i = static_cast<size_t>(it - secs.begin()); i < secs.size(); ++i) {
        const double at = sample_of(secs[i], rate);
        if (at >= end) break;
        const SmfEvent& e = tr.events[i];
        const size_t need = std::max<size_t>(sizeof(HostMidiEvent), 8 + size_t(e.size));
        if (t_scratch.size() < need) t_scratch.resize(need);
        HostMidiEvent* out = reinterpret_cast<HostMidiEvent*>(t_scratch.data());
        out->frame_offset = static_cast<int32_t>(at - first);
        out->size = static_cast<int32_t>(e.size);
        std::memcpy(t_scratch.data() + 8, tr.message(e), e.size);
        block->list->add_event(out);
    }
    return 0;
}

double sim_time_to_qn(void*, double seconds) {
    return tempo_seconds_to_quarters(current_map(), seconds);
}

double sim_time_to_beats(void*, double seconds, int* measure, int* beats_per_measure,
                         double* full_beats, int* denominator) {
    return tempo_time_to_beats(current_map(), seconds, measure, beats_per_measure, full_beats,
                               denominator);
}

double sim_beats_to_time(void*, double full_beats, const int* measure) {
    return tempo_beats_to_time(current_map(), full_beats, measure);
}

void sim_driver_init(SimDriver* driver, SimHost* host, AEffect* effect, int32_t block_frames) {
    if (!driver) return;
    driver->host = host;
    driver->effect = effect;
    driver->more_effects.clear();
    driver->block_frames = block_frames > 0 ? block_frames : 0;
    driver->left.assign(static_cast<size_t>(driver->block_frames), 1.0f);
    driver->right.assign(static_cast<size_t>(driver->block_frames), 1.0f);
    driver->frames_since_paint = 0.0;
    driver->blocks = 0;
    driver->paints = 0;
}

void sim_driver_add_effect(SimDriver* driver, AEffect* effect) {
    if (driver && effect) driver->more_effects.push_back(effect);
}

void sim_driver_set_sample_rate(SimDriver* driver, double rate) {
    if (!driver) return;
    if (driver->host) driver->host->sample_rate = rate;
    const auto tell = [rate](AEffect* e) {
        if (e && e->dispatcher) e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
    };
    tell(driver->effect);
    for (AEffect* e : driver->more_effects) tell(e);
}

void sim_driver_block(SimDriver* driver) {
    if (!driver || !driver->effect || !driver->effect->processReplacing) return;
    const int32_t frames = driver->block_frames;
    const size_t n = static_cast<size_t>(frames);
    if (driver->left.size() < n) driver->left.resize(n);
    if (driver->right.size() < n) driver->right.resize(n);
    float* outputs[2] = {driver->left.data(), driver->right.data()};
    const auto process = [&](AEffect* e) {
        if (!e || !e->processReplacing) return;
        std::fill(driver->left.begin(), driver->left.begin() + n, 1.0f);
        std::fill(driver->right.begin(), driver->right.begin() + n, 1.0f);
        e->processReplacing(e, nullptr, outputs, frames);
    };
    process(driver->effect);
    for (AEffect* e : driver->more_effects) process(e);
    ++driver->blocks;

    SimHost* host = driver->host;
    if (host && host->playing) host->sample_pos += frames;

    if (driver->paints_per_second > 0.0 && driver->paint && host && host->sample_rate > 0.0) {
        const double period = host->sample_rate / driver->paints_per_second;
        driver->frames_since_paint += frames;
        while (driver->frames_since_paint >= period) {
            driver->frames_since_paint -= period;
            driver->paint(driver->paint_context);
            ++driver->paints;
        }
    }
}

void sim_driver_run_blocks(SimDriver* driver, int64_t count) {
    for (int64_t i = 0; i < count; ++i) sim_driver_block(driver);
}

void sim_driver_run_seconds(SimDriver* driver, double seconds) {
    if (!driver || !driver->host || driver->block_frames <= 0) return;
    const double frames = seconds * driver->host->sample_rate;
    int64_t count = static_cast<int64_t>(std::ceil(frames / driver->block_frames));
    if (count < 1) count = 1;
    sim_driver_run_blocks(driver, count);
}
