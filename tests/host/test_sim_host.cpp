// The simulated host's side of the plug-in interface: Track_GetRawMIDI over a loaded file,
// the extension functions and handles, the transport and the block driver.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "host/sim_host.h"
#include "songfile/smf_writer.h"
#include "plugin/chart_preview.h"

namespace {

using Bytes = std::vector<uint8_t>;

class Collect final : public MIDI_eventlist {
public:
    struct Got {
        int32_t frame_offset;
        Bytes bytes;
    };
    std::vector<Got> got;
    void add_event(HostMidiEvent* e) override {
        got.push_back({e->frame_offset, Bytes(e->message, e->message + e->size)});
    }
    HostMidiEvent* enum_events(int*) override { return nullptr; }
    void delete_event(int) override {}
    int byte_size() override { return 0; }
    void clear() override { got.clear(); }
};

MidiTransferBlock block_of(double first_sample, double rate, int32_t frames, MIDI_eventlist* list) {
    MidiTransferBlock b{};
    b.start_seconds = first_sample / rate;
    b.sample_rate = rate;
    b.one = 1;
    b.frame_count = frames;
    b.list = list;
    return b;
}

class Host : public ::testing::Test {
protected:
    void SetUp() override { sim_host_install(&host); }
    void TearDown() override { sim_host_install(nullptr); }
    void load(const SmfWriter& w, int track) {
        const Bytes bytes = w.bytes();
        SmfFile f;
        std::string error;
        ASSERT_TRUE(smf_parse(bytes.data(), bytes.size(), &f, &error)) << error;
        sim_host_load(&host, std::move(f), track);
    }
    SimHost host;
};

TEST_F(Host, RawMidiDeliversTheEventsOfTheBlockSpanInFileOrder) {
    SmfWriter w;
    w.add_track().name("tempo");
    SmfWriterTrack& t = w.add_track();
    t.note_on(0, 60);
    t.note_on(100, 61);          // sample 4593.75: the host puts it on 4594
    t.text(100, "[mix 3 drums0d]");
    t.controller(200, 123, 0);   // sample 9187.5 -> 9188
    t.note_on(1000, 62);
    load(w, 1);
    Collect list;

    MidiTransferBlock b = block_of(4594, 44100, 4594, &list);
    sim_track_get_raw_midi(host.track_handle, &b);
    ASSERT_EQ(list.got.size(), 2u);
    EXPECT_EQ(list.got[0].frame_offset, 0);
    EXPECT_EQ(list.got[0].bytes, (Bytes{0x90, 61, 100}));
    const char* text = "[mix 3 drums0d]";
    Bytes meta{0xFF, 0x01, 15};
    meta.insert(meta.end(), text, text + 15);
    EXPECT_EQ(list.got[1].bytes, meta);

    list.clear();
    b = block_of(9000, 44100, 512, &list);
    sim_track_get_raw_midi(host.track_handle, &b);
    ASSERT_EQ(list.got.size(), 1u);
    EXPECT_EQ(list.got[0].frame_offset, 188);
    EXPECT_EQ(list.got[0].bytes, (Bytes{0xB0, 123, 0}));

    list.clear();
    b = block_of(-2000, 44100, 2001, &list);  // a block may start before time 0
    sim_track_get_raw_midi(host.track_handle, &b);
    ASSERT_EQ(list.got.size(), 1u);
    EXPECT_EQ(list.got[0].frame_offset, 2000);
}

TEST_F(Host, ConsecutiveBlocksDeliverEveryEventOfATrackOnce) {
    SmfFile f;
    std::string error;
    ASSERT_TRUE(smf_load(TIVER_BINARY_DIR "/demo/demo_chart.mid", &f, &error)) << error;
    sim_host_load(&host, std::move(f), -1);
    for (double rate : {44100.0, 48000.0}) {
        for (int32_t track = 0; track < static_cast<int32_t>(host.song.tracks.size()); ++track) {
            SCOPED_TRACE(track);
            const SmfTrack& t = host.song.tracks[track];
            const double end = host.event_seconds[track].back() * rate + 1;
            Collect list;
            std::vector<std::pair<double, Bytes>> got;
            for (double at = -1024; at < end; at += 480) {
                list.clear();
                MidiTransferBlock b = block_of(at, rate, 480, &list);
                sim_track_get_raw_midi(sim_host_track(&host, track), &b);
                for (const Collect::Got& g : list.got) {
                    ASSERT_GE(g.frame_offset, 0);
                    ASSERT_LT(g.frame_offset, 480);
                    got.emplace_back(at + g.frame_offset, g.bytes);
                }
            }
            ASSERT_EQ(got.size(), t.events.size());
            for (size_t i = 0; i < got.size(); ++i) {
                EXPECT_EQ(got[i].first, std::floor(host.event_seconds[track][i] * rate + 0.5));
                EXPECT_EQ(got[i].second,
                          Bytes(t.message(t.events[i]), t.message(t.events[i]) + t.events[i].size));
            }
        }
    }
}

TEST_F(Host, RawMidiAnswersOnlyForItsOwnTracksAndSaneBlocks) {
    SmfWriter w;
    w.add_track().note_on(0, 60);
    load(w, 0);
    Collect list;
    int stranger = 0;
    MidiTransferBlock b = block_of(0, 44100, 512, &list);
    sim_track_get_raw_midi(&stranger, &b);
    EXPECT_EQ(host.raw_midi_calls, 0);
    sim_track_get_raw_midi(host.track_handle, nullptr);
    for (double rate : {0.0, -1.0, std::numeric_limits<double>::quiet_NaN(),
                        std::numeric_limits<double>::infinity()}) {
        b = block_of(0, 44100, 512, &list);
        b.sample_rate = rate;
        sim_track_get_raw_midi(host.track_handle, &b);
    }
    b = block_of(0, 44100, 0, &list);
    sim_track_get_raw_midi(host.track_handle, &b);
    b = block_of(0, 44100, 512, nullptr);
    sim_track_get_raw_midi(host.track_handle, &b);
    EXPECT_TRUE(list.got.empty());
    b = block_of(0, 44100, 512, &list);
    sim_track_get_raw_midi(host.track_handle, &b);
    EXPECT_EQ(list.got.size(), 1u);

    sim_host_select_track(&host, 5);
    EXPECT_EQ(host.track_handle, nullptr);
}

TEST_F(Host, HandlesPointAtTheLoadedProjectAndTimeInfoAtTheTransport) {
    audioMasterCallback master = sim_host_install(&host);
    SmfWriter w;
    w.add_track().note_on(0, 60);
    load(w, 0);
    EXPECT_EQ(master(nullptr, HOST_EXT_OPCODE, HOST_EXT_HANDLE_INDEX, HOST_HANDLE_TRACK, nullptr, 0),
              reinterpret_cast<intptr_t>(sim_host_track(&host, 0)));
    EXPECT_EQ(master(nullptr, HOST_EXT_OPCODE, HOST_EXT_HANDLE_INDEX, HOST_HANDLE_TIMEMAP, nullptr, 0),
              reinterpret_cast<intptr_t>(&host.tempo));

    sim_host_jump_seconds(&host, 2.5);
    sim_host_play(&host);
    const VstTimeInfo* info =
        reinterpret_cast<const VstTimeInfo*>(master(nullptr, audioMasterGetTime, 0, 0, nullptr, 0));
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->samplePos, 110250.0);
    EXPECT_EQ(info->flags & kVstTransportPlaying, kVstTransportPlaying);
    sim_host_stop(&host);
    info = reinterpret_cast<const VstTimeInfo*>(master(nullptr, audioMasterGetTime, 0, 0, nullptr, 0));
    EXPECT_EQ(info->flags & kVstTransportPlaying, 0);
}

// A stand-in plug-in that counts what the driver does to it.
struct CountingPlugin {
    AEffect effect{};
    int64_t blocks = 0;
    int64_t frames = 0;
    float rate_told = 0;
    static CountingPlugin* of(AEffect* e) { return static_cast<CountingPlugin*>(e->user); }
};

TEST_F(Host, DriverRunsBlocksMovesThePlayingTransportAndPaintsAtItsRate) {
    CountingPlugin plugin;
    plugin.effect.user = &plugin;
    plugin.effect.processReplacing = [](AEffect* e, float**, float** out, int32_t n) {
        CountingPlugin* p = CountingPlugin::of(e);
        ++p->blocks;
        p->frames += n;
        out[0][0] = out[1][n - 1] = 0.0f;
    };
    plugin.effect.dispatcher = [](AEffect* e, int32_t op, int32_t, intptr_t, void*, float opt) -> intptr_t {
        if (op == effSetSampleRate) CountingPlugin::of(e)->rate_told = opt;
        return 0;
    };
    int paints = 0;
    SimDriver d;
    sim_driver_init(&d, &host, &plugin.effect, 512);
    sim_driver_set_sample_rate(&d, 48000.0);
    EXPECT_EQ(plugin.rate_told, 48000.0f);
    sim_driver_set_sample_rate(&d, 44100.0);
    d.paints_per_second = 60.0;
    d.paint = [](void* c) { ++*static_cast<int*>(c); };
    d.paint_context = &paints;

    sim_host_play(&host);
    sim_driver_run_seconds(&d, 10.0);
    EXPECT_EQ(plugin.blocks, 862);  // ceil(441000 / 512)
    EXPECT_EQ(host.sample_pos, 862 * 512.0);
    EXPECT_EQ(paints, 600);         // 862 * 512 / 735 frames per paint
    EXPECT_EQ(d.paints, 600);
    EXPECT_EQ(d.left[0], 0.0f);
    EXPECT_EQ(d.left[1], 1.0f) << "refilled before every block";

    sim_host_stop(&host);
    sim_driver_run_blocks(&d, 100);
    EXPECT_EQ(host.sample_pos, 862 * 512.0);
    EXPECT_EQ(plugin.frames, 962 * 512);
}

TEST_F(Host, EachPlacedInstanceIsAnsweredWithItsOwnTrack) {
    audioMasterCallback master = sim_host_install(&host);
    SmfWriter w;
    for (int t = 0; t < 3; ++t) w.add_track().note_on(0, 60 + t);
    load(w, 0);
    AEffect a{}, b{}, stranger{};
    const auto track_of = [&](AEffect* e) {
        return reinterpret_cast<void*>(master(e, HOST_EXT_OPCODE, HOST_EXT_HANDLE_INDEX, HOST_HANDLE_TRACK, nullptr, 0));
    };
    sim_host_place(&host, &a, 1);
    sim_host_place(&host, &b, 2);
    EXPECT_EQ(track_of(&a), sim_host_track(&host, 1));
    EXPECT_EQ(track_of(&b), sim_host_track(&host, 2));
    // Callers not placed on a track (and calls without a record) get the selected track.
    EXPECT_EQ(track_of(&stranger), sim_host_track(&host, 0));
    EXPECT_EQ(track_of(nullptr), sim_host_track(&host, 0));
    sim_host_select_track(&host, 1);
    EXPECT_EQ(track_of(&b), sim_host_track(&host, 2)) << "selecting a track moves no placed instance";
    // Placing again moves the instance; a track the project lacks gives it none.
    sim_host_place(&host, &a, 0);
    EXPECT_EQ(track_of(&a), sim_host_track(&host, 0));
    sim_host_place(&host, &b, 3);
    EXPECT_EQ(track_of(&b), nullptr);
    EXPECT_EQ(host.placed.size(), 2u);
}

TEST_F(Host, PlugInsOnTheirOwnTracksReadOnlyTheirTracksInSharedBlocks) {
    // Two real instances, as a DAW holds them on two tracks, each with its editor open so
    // that it reads its chart: the guitar track has Expert green gems, the bass track Expert
    // red ones. One driver gives both every block; the transport moves once per block.
    g_host_api = HostApi{};
    time_offset_ms = 0;
    audioMasterCallback master = sim_host_install(&host);
    SmfWriter w;
    w.tracks.resize(3);
    w.tracks[0].name("tempo");
    SmfWriterTrack& guitar = w.tracks[1];
    guitar.name("PART GUITAR");
    SmfWriterTrack& bass = w.tracks[2];
    bass.name("PART BASS");
    for (int i = 0; i < 8; ++i) {
        guitar.note(480 + 240 * i, 60, 96);
        bass.note(600 + 240 * i, 60, 97);
    }
    load(w, 0);  // the selected track holds no notes at all

    AEffect* effects[2] = {VSTPluginMain(master), VSTPluginMain(master)};
    ASSERT_NE(effects[0], nullptr);
    ASSERT_NE(effects[1], nullptr);
    int window = 0;
    for (int i = 0; i < 2; ++i) {
        sim_host_place(&host, effects[i], 1 + i);
        ASSERT_EQ(effects[i]->dispatcher(effects[i], effEditOpen, 0, 0, &window, 0.0f), 1);
    }
    SimDriver d;
    sim_driver_init(&d, &host, effects[0], 512);
    sim_driver_add_effect(&d, effects[1]);
    sim_driver_set_sample_rate(&d, 44100.0);
    sim_host_play(&host);
    const int64_t calls_before = host.raw_midi_calls;
    sim_driver_run_seconds(&d, 0.4);  // short of the first gem, so none has left the list
    EXPECT_EQ(host.sample_pos, d.blocks * 512.0);
    EXPECT_GT(host.raw_midi_calls, calls_before);

    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        ChartPreview* self = ChartPreview::from(effects[i]);
        std::vector<int64_t> gems;
        const ChartEvent* e = self->events.records<ChartEvent>();
        for (int32_t k = 0; k < self->events.count<ChartEvent>(); ++k) {
            if (e[k].kind < 0) continue;  // beat and measure lines, the same on both
            EXPECT_EQ(e[k].kind, 96 + i);
            gems.push_back(e[k].position);
        }
        // The gems of its own track read ahead so far (about 1.3 s), at its own ticks:
        // 480 + 240 k (guitar) or 600 + 240 k (bass), 960 ticks a second.
        ASSERT_GE(gems.size(), 4u);
        for (size_t k = 0; k < gems.size(); ++k)
            EXPECT_EQ(gems[k], static_cast<int64_t>(std::floor((480 + 120 * i + 240 * static_cast<int>(k)) *
                                                               44100.0 / 960.0 + 0.5)));
    }
    for (AEffect* e : effects) e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
    g_host_api = HostApi{};
}

}  // namespace
