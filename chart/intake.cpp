// MIDI intake: on every audio block, reads the track's MIDI ahead of the play position
// into the chart event list, with beat markers from the host's time map.
#include <cmath>
#include <cstring>

#include "chart/intake.h"
#include "plugin/chart_preview.h"

namespace {

// What one audio block's read steps share.
struct Step {
    ChartPreview& self;
    double rate;
    int32_t difficulty;
    double hopo_window;  // quarter notes
    void* timemap;
    bool opens;          // note b-1 is the open lane of its difficulty
};

void append_event(ChartPreview& self, int64_t position, int32_t kind, int64_t length,
                  uint8_t auto_hopo, uint8_t velocity = 0) {
    ChartEvent e{};
    e.position = position;
    e.kind = kind;
    e.length = length;
    e.auto_hopo = auto_hopo;
    e.velocity = velocity;
    self.events.append(e);  // dropped when the list cannot grow
}

// Gives the latest event of `kind` begun at or before `at` the length up to `at`, if that is
// shorter than the one it has: the end of a note or phrase.
void end_latest(ChartPreview& self, int32_t kind, int64_t at) {
    ChartEvent* ev = self.events.records<ChartEvent>();
    for (int32_t i = self.events.count<ChartEvent>() - 1; i >= 0; --i) {
        if (ev[i].kind != kind || at < ev[i].position) continue;
        if (at - ev[i].position < ev[i].length) ev[i].length = at - ev[i].position;
        return;
    }
}

double quarter_of(const Step& s, int64_t position) {
    return g_host_api.TimeMap2_timeToQN(s.timemap, static_cast<double>(position) / s.rate);
}

// The difficulty (0..3) whose lanes hold note n: its five gems b..b+4 and, with opens, b-1;
// -1 for any other note.
int lane_difficulty(int n, bool opens) {
    if (n >= 60 && n <= 100 && (n - 60) % 12 <= 4) return (n - 60) / 12;
    if (opens && n >= 59 && n <= 95 && (n - 59) % 12 == 0) return (n - 59) / 12;
    return -1;
}

// Drum mix and drums text events, Pro Drums only. Real charts write these texts in square
// brackets ("[mix 3 drums0d]"): a leading '[' is stepped over, and every fixed position and
// the minimum length move on with it.
void text_rule(const Step& s, const HostMidiEvent* e, int64_t at) {
    if (s.self.mode != 1) return;
    const uint8_t* m = e->message;
    if (e->size < 16 || m[1] != 1) return;
    const char* text = reinterpret_cast<const char*>(m) + 3;
    if (text[0] == '[') {
        if (e->size < 17) return;
        ++text;
    }
    const char digit = static_cast<char>('0' + s.difficulty);
    int32_t kind;
    if (std::memcmp(text, "mix", 3) == 0) {
        if (text[4] != digit) return;
        kind = text[12] == 'd' ? KIND_MIX_SWAP : KIND_MIX_PLAIN;
    } else if (std::memcmp(text, "drums", 5) == 0) {
        if (text[5] != digit) return;
        kind = KIND_DRUMS_TEXT;
    } else {
        return;
    }
    append_event(s.self, at, kind, 0, 0);
}

// Open and tap phrases as SysEx messages: F0 50 53 00 00 DD CC VV F7 (or with the file's
// length byte 08 after F0), DD the difficulty or FF for all, CC 01 open or 04 tap, VV 01 start
// or 00 end. A start also ends an earlier phrase of its kind still open, as a repeated note-on
// does, so a second start leaves the covered samples as they were.
void sysex_rule(const Step& s, const HostMidiEvent* e, int64_t at) {
    const uint8_t* m = e->message + 1;
    if (e->size == 10 && m[0] == 0x08) ++m;
    else if (e->size != 9) return;
    if (m[0] != 0x50 || m[1] != 0x53 || m[2] != 0x00 || m[3] != 0x00 || m[7] != 0xF7) return;
    if (m[4] != s.difficulty && m[4] != 0xFF) return;
    int32_t kind;
    if (m[5] == 0x01) kind = KIND_OPEN_PHRASE;
    else if (m[5] == 0x04) kind = KIND_TAP_PHRASE;
    else return;
    if (m[6] > 1) return;
    end_latest(s.self, kind, at);
    if (m[6] == 1) append_event(s.self, at, kind, OPEN_NOTE_LENGTH, 0);
}

// Note-on, note-off and controller 123. Ends the latest earlier event of the same note (or,
// for controller 123, every event begun at or before it), sets the automatic HOPO flag from
// the gems just before, and opens a new event for a sounding note-on.
void note_rule(const Step& s, const uint8_t* m, int64_t at) {
    const int status = m[0] & 0xF0;
    const int n = m[1];
    const int velocity = m[2];
    const bool note_on = status == 0x90;
    const bool cc123 = status == 0xB0 && n == 123;
    if (!note_on && status != 0x80 && !cc123) return;

    const double q = g_host_api.TimeMap2_timeToQN(s.timemap, static_cast<double>(at) / s.rate);
    const int block = lane_difficulty(n, s.opens);
    const bool short_loses_sustain = cc123 || block >= 0;
    bool candidate = note_on && block >= 0;
    uint8_t hopo = 0;
    bool matched = false;
    int64_t match_position = 0;

    ChartEvent* ev = s.self.events.records<ChartEvent>();
    for (int32_t i = s.self.events.count<ChartEvent>() - 1; i >= 0; --i) {
        ChartEvent& r = ev[i];
        if (matched && r.position != match_position) break;
        const int k = r.kind;
        double rq = 0.0;
        bool have_rq = false;
        if (candidate && lane_difficulty(k, s.opens) == block) {
            rq = quarter_of(s, r.position);
            have_rq = true;
            if (q - rq < s.hopo_window) {
                if (k != n) {
                    hopo = 1;
                } else {
                    hopo = 0;
                    candidate = false;
                }
            }
        }
        if (!matched && (k == n || cc123) && at >= r.position) {
            int64_t length = at - r.position;
            if (short_loses_sustain) {
                if (!have_rq) rq = quarter_of(s, r.position);
                if (q - rq < 0.3) length = 0;
            }
            if (length < r.length) r.length = length;
            if (!cc123) {
                matched = true;
                match_position = r.position;
            }
        }
    }

    if (note_on && velocity != 0)
        append_event(s.self, at, n, OPEN_NOTE_LENGTH, hopo, static_cast<uint8_t>(velocity));
}

// Kind of the marker at a half beat, `beat` counted within the measure in force before it
// (so a value of beats-per-measure is the next measure's first beat). Rounded to the half
// beat first: a host's beats come back an ulp off after a trip through samples.
int32_t marker_kind(double beat, int per_measure) {
    const double half = std::floor(beat * 2.0 + 0.5) / 2.0;
    if (half >= per_measure) return KIND_MEASURE;
    return std::fmod(half, 1.0) < 0.25 ? KIND_BEAT : KIND_HALF_BEAT;
}

// Beat, half-beat and measure markers of the step [read_horizon, read_horizon + frames):
// one for every half beat whose sample lies in the step, so that consecutive steps leave
// none out and repeat none, also when a half beat falls on a step's first sample.
void beat_markers(const Step& s, int32_t frames) {
    const double horizon = s.self.read_horizon;
    const double end = horizon + frames;
    double t = horizon / s.rate;
    if (t < 0.0) t = 0.0;
    int measure = 0;
    int per_measure = 4;
    double full = 0.0;
    double beat = g_host_api.TimeMap2_timeToBeats(s.timemap, t, &measure, &per_measure, &full,
                                                  nullptr);
    const double r = std::fmod(full, 0.5);
    beat -= r;
    full -= r;

    // The half beat at or before the start belongs to this step only if it lies on the
    // start itself; `beat` is then its place in its own measure (0 at a measure line).
    double x = g_host_api.TimeMap2_beatsToTime(s.timemap, full, nullptr) * s.rate;
    if (x >= horizon && x >= 0.0 && x < end) {
        const bool line = std::floor(beat * 2.0 + 0.5) == 0.0;
        append_event(s.self, static_cast<int64_t>(x),
                     line ? KIND_MEASURE : marker_kind(beat, per_measure), 0, 0);
    }

    for (int i = 0; i < 1000; ++i) {
        beat += 0.5;
        full += 0.5;
        x = g_host_api.TimeMap2_beatsToTime(s.timemap, full, nullptr) * s.rate;
        if (!(x >= 0.0 && x < end)) break;  // also ends on a NaN from the host
        if (x >= horizon)
            append_event(s.self, static_cast<int64_t>(x), marker_kind(beat, per_measure), 0, 0);
        beat = g_host_api.TimeMap2_timeToBeats(s.timemap, x / s.rate, &measure, &per_measure,
                                               &full, nullptr);
    }
}

void read_step(const Step& s, int32_t frames) {
    ChartPreview& self = s.self;
    self.midi.clear();
    MidiTransferBlock block;  // bytes 36..39 stay unwritten
    block.start_seconds = self.read_horizon / s.rate;
    block.sample_rate = s.rate;
    block.one = 1;
    block.frame_count = frames;
    block.reserved_pointer = nullptr;
    block.reserved_zero = 0;
    block.list = &self.midi;
    block.reserved_doubles[0] = block.reserved_doubles[1] = block.reserved_doubles[2] = 0.0;

    Step step = s;
    step.timemap = host_timemap_handle(self.host_callback, &self.vst);
    void* track = host_track_handle(self.host_callback, &self.vst);
    if (track) g_host_api.Track_GetRawMIDI(track, &block);

    int position = 0;
    while (const HostMidiEvent* e = self.midi.enum_events(&position)) {
        const int64_t at = static_cast<int64_t>(e->frame_offset + self.read_horizon);
        if (e->message[0] == 0xF0)
            sysex_rule(step, e, at);
        else if (e->size > 3)
            text_rule(step, e, at);
        else if (e->size == 3)  // shorter messages are neither notes nor controllers
            note_rule(step, e->message, at);
    }
    beat_markers(step, frames);
}

// True when the track's first second holds the text "[ENHANCED_OPENS]" (or the same without
// brackets), which charts put at their start to make note b-1 the open lane. Nothing of this
// read is appended.
bool read_opens_switch(ChartPreview& self, double rate) {
    static const char with[] = "[ENHANCED_OPENS]";
    static const char without[] = "ENHANCED_OPENS";
    self.midi.clear();
    MidiTransferBlock block;  // bytes 36..39 stay unwritten
    block.start_seconds = 0.0;
    block.sample_rate = rate;
    block.one = 1;
    block.frame_count = rate < 1.0 ? 1 : static_cast<int32_t>(rate);
    block.reserved_pointer = nullptr;
    block.reserved_zero = 0;
    block.list = &self.midi;
    block.reserved_doubles[0] = block.reserved_doubles[1] = block.reserved_doubles[2] = 0.0;
    void* track = host_track_handle(self.host_callback, &self.vst);
    if (!track) return false;
    g_host_api.Track_GetRawMIDI(track, &block);

    bool found = false;
    int position = 0;
    while (const HostMidiEvent* e = self.midi.enum_events(&position)) {
        const uint8_t* m = e->message;
        if (e->size < 3 || m[0] != 0xFF || m[1] != 0x01) continue;
        const char* text = reinterpret_cast<const char*>(m) + 3;
        const size_t length = static_cast<size_t>(e->size) - 3;
        if ((length == sizeof with - 1 && std::memcmp(text, with, length) == 0) ||
            (length == sizeof without - 1 && std::memcmp(text, without, length) == 0))
            found = true;
    }
    self.midi.clear();
    return found;
}

// Removes every event that ended at or before `limit`, keeping the order of the rest.
void prune(ChartPreview& self, double limit) {
    ChartEvent* ev = self.events.records<ChartEvent>();
    const int32_t n = self.events.count<ChartEvent>();
    int32_t kept = 0;
    for (int32_t i = 0; i < n; ++i)
        if (!(static_cast<double>(ev[i].position + ev[i].length) <= limit)) ev[kept++] = ev[i];
    self.events.resize(kept * static_cast<int32_t>(sizeof(ChartEvent)), false);
}

}  // namespace

void ChartPreview::process_block(float** outputs, int32_t frames, bool accumulate) {
    if (!accumulate && outputs && frames > 0) {
        for (int channel = 0; channel < 2; ++channel)
            if (outputs[channel]) std::memset(outputs[channel], 0, sizeof(float) * frames);
    }
    if (!host_callback || !g_host_api.Track_GetRawMIDI || !g_host_api.TimeMap2_timeToQN ||
        !g_host_api.TimeMap2_timeToBeats || !g_host_api.TimeMap2_beatsToTime)
        return;
    const VstTimeInfo* info = reinterpret_cast<const VstTimeInfo*>(
        host_callback(&vst, audioMasterGetTime, 0, 0, nullptr, 0.0f));
    if (!info || !editor_window) return;
    const double position = info->samplePos;
    const bool playing = (info->flags & kVstTransportPlaying) != 0;
    if (!usable_position(position)) return;

    ScopedLock hold(lock);
    const double rate = sample_rate;
    if (!usable_sample_rate(rate)) return;

    double prune_limit = -1.0;
    const bool reset =
        last_position < 0.0 || last_position > position || position > read_horizon + 100.0;
    if (reset || read_afresh) {
        enhanced_opens = read_opens_switch(*this, rate) ? 1 : 0;
        read_afresh = 0;
    }
    if (reset) {
        last_position = position;
        read_horizon = position;
        events.resize(0, false);
        if (!playing) {
            prune_limit = position;
            read_horizon -= 3.0 * rate;  // a stopped view shows sustains begun before it
        }
    }
    last_position = position;

    Step step{*this, rate, clamp_difficulty(difficulty), hopo_threshold / 480.0, nullptr,
              enhanced_opens != 0};
    const double read_end =
        position + (HIGHWAY_SPAN_SECONDS[step.difficulty] + 0.1) * rate;
    if (frames > 0) {
        while (read_end > read_horizon) {
            read_step(step, frames);
            const double next = read_horizon + frames;
            if (next == read_horizon) break;
            read_horizon = next;
        }
    }

    if (prune_limit >= 0.0) prune(*this, prune_limit);

    if (playing) {
        const int32_t latency = static_cast<int32_t>(
            host_callback(&vst, audioMasterGetOutputLatency, 0, 0, nullptr, 0.0f));
        display_position = position + frames - latency - time_offset_ms * rate / 1000.0;
    } else {
        display_position = position;
    }
}
