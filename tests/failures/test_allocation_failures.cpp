// Every heap allocation the system makes through its three allocators (HeapBuffer, the
// pixel blocks of TESS_MemBitmap, the PNG loader's row table) fails in turn, once, inside
// a realistic run; the run must go on without a crash or a leak (LeakSanitizer checks the
// whole program at exit), and once memory is back the system must work normally again.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "chart/heap_buffer.h"
#include "display/asset_set.h"
#include "display/headless_editor.h"
#include "host/sim_host.h"
#include "songfile/smf.h"
#include "plugin/chart_preview.h"
#include "raster/tess.h"

namespace {

// Counts allocations and fails the one numbered `fail_at` (1-based; 0: none) and, with a
// burst of 2, the next one too: a failed growth retries with a fresh block, and the burst
// makes that retry fail as well.
struct Injector {
    static long count;
    static long fail_at;
    static long burst;
    static long failed;
    static bool take() {
        ++count;
        if (fail_at > 0 && count >= fail_at && count < fail_at + burst) {
            ++failed;
            return false;
        }
        return true;
    }
    static void* malloc_(size_t n) { return take() ? std::malloc(n) : nullptr; }
    static void* realloc_(void* p, size_t n) { return take() ? std::realloc(p, n) : nullptr; }
    static void reset(long at, long n = 1) {
        count = 0;
        fail_at = at;
        burst = n;
        failed = 0;
    }
};
long Injector::burst = 1;
long Injector::count = 0;
long Injector::fail_at = 0;
long Injector::failed = 0;

class AllocationFailures : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // Images come from the build's default skin.
        platform_override_module_file_name(TIVER_BINARY_DIR "/tiver-render");
        std::string error;
        ASSERT_TRUE(smf_load(TIVER_BINARY_DIR "/demo/demo_chart.mid", &song(), &error)) << error;
    }
    static SmfFile& song() {
        static SmfFile file;
        return file;
    }
    void SetUp() override {
        saved_heap = g_heap_allocator;
        saved_bitmap = TESS_MemBitmapAllocator;
        saved_rows = TESS_PNGRowTableAlloc;
        g_heap_allocator = {&Injector::realloc_, &Injector::malloc_, std::free};
        TESS_MemBitmapAllocator = {&Injector::malloc_, &Injector::realloc_, std::free};
        TESS_PNGRowTableAlloc = &Injector::malloc_;
        Injector::reset(0);
    }
    void TearDown() override {
        g_heap_allocator = saved_heap;
        TESS_MemBitmapAllocator = saved_bitmap;
        TESS_PNGRowTableAlloc = saved_rows;
    }

    HeapAllocator saved_heap;
    TESS_Allocator saved_bitmap;
    TESS_RowTableAllocFn saved_rows;
};

TEST_F(AllocationFailures, PngLoadGivesTheImageOrNothing) {
    const std::string file = std::string(TIVER_BINARY_DIR) + "/tolvan/gem_red.png";
    Injector::reset(0);
    TESS_IBitmap* clean = TESS_LoadPNG(file.c_str(), nullptr);
    ASSERT_NE(clean, nullptr);
    const long total = Injector::count;
    ASSERT_GE(total, 2);  // the pixel block and the row table
    for (long at = 1; at <= total; ++at) {
        Injector::reset(at);
        TESS_IBitmap* b = TESS_LoadPNG(file.c_str(), nullptr);
        EXPECT_EQ(Injector::failed, 1);
        EXPECT_EQ(b, nullptr) << at;  // any failed allocation means no picture
        delete b;
        // A caller's bitmap survives a failed load and stays the caller's.
        TESS_MemBitmap mine(4, 4);
        Injector::reset(at + 1);  // the caller's block was number 1
        TESS_IBitmap* into = TESS_LoadPNG(file.c_str(), &mine);
        EXPECT_TRUE(into == nullptr || into == &mine);
    }
    delete clean;
}

// One DAW session: the instance (which loads the image set), the editor opened, the demo
// chart played for two seconds with paints at 30 per second, a suspend, the editor
// closed and the instance destroyed.
struct Session {
    SimHost host;
    AEffect* effect = nullptr;

    void open() {
        g_host_api = HostApi{};
        sim_host_load(&host, song_copy(), smf_first_chart_track(song_ref()));
        effect = VSTPluginMain(sim_host_install(&host));
    }
    void play(double seconds, bool expect_pictures) {
        ChartPreview* self = ChartPreview::from(effect);
        uint8_t chunk[4] = {3, 0, 170, 0};
        effect->dispatcher(effect, effSetChunk, 0, 4, chunk, 0.0f);
        effect->dispatcher(effect, effEditOpen, 0, 0, nullptr, 0.0f);
        host.playing = true;
        host.sample_pos = 20.0 * host.sample_rate;
        std::vector<float> l(512), r(512);
        float* outs[2] = {l.data(), r.data()};
        const int blocks = static_cast<int>(seconds * host.sample_rate / 512);
        int drawn = 0;
        for (int b = 0; b < blocks; ++b) {
            effect->processReplacing(effect, nullptr, outs, 512);
            host.sample_pos += 512;
            if (b % 3 == 0 && headless_editor_paint(self, 320, 240)) {
                TESS_IBitmap* frame = self->frame_bitmap;
                if (frame && frame->bits()) drawn += frame->bits()[240 / 2 * frame->rowSpan() + 160] != 0;
            }
        }
        if (expect_pictures) {
            EXPECT_GT(drawn, blocks / 6);
        }
        effect->dispatcher(effect, effMainsChanged, 0, 0, nullptr, 0.0f);
        effect->dispatcher(effect, effEditClose, 0, 0, nullptr, 0.0f);
    }
    void close() {
        if (effect) effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
        effect = nullptr;
        sim_host_install(nullptr);
        g_host_api = HostApi{};
    }
    static const SmfFile& song_ref();
    static SmfFile song_copy() { return song_ref(); }
};

const SmfFile* g_song = nullptr;
const SmfFile& Session::song_ref() { return *g_song; }

TEST_F(AllocationFailures, EveryAllocationOfASessionMayFail) {
    g_song = &song();
    // The first session grows process-wide lists (the scaled-copy lists keep their storage
    // after a release), so the allocations of a session are counted on the second.
    for (int warm = 0; warm < 2; ++warm) {
        Injector::reset(0);
        Session s;
        s.open();
        ASSERT_NE(s.effect, nullptr);
        s.play(2.0, true);
        s.close();
    }
    const long total = Injector::count;
    ASSERT_GT(total, 100);
    std::printf("a session makes %ld allocations; each fails in turn, alone and with its retry\n",
                total);
    for (long burst : {1, 2})
    for (long at = 1; at <= total; ++at) {
        Injector::reset(at, burst);
        Session s;
        s.open();
        ASSERT_NE(s.effect, nullptr) << "only the instance's own allocation may refuse it";
        s.play(2.0, false);
        EXPECT_GE(Injector::failed, 1) << at;
        // Memory is back: the same instance plays and paints the highway again.
        Injector::reset(0);
        s.play(1.0, true);
        s.close();
        EXPECT_EQ(live_instances, 0);
        for (TESS_MemBitmap* slot : g_assets.slots) EXPECT_EQ(slot, nullptr);
    }
}

}  // namespace
