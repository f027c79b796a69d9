// A chart without open notes, taps, Expert+ kicks, solos, fills or lanes paints exactly what it
// painted before the plug-in read them: the demo song with every such event taken out, played
// through tiver-render in all four modes, frame by frame, against the pixels the earlier
// plug-in painted for the same file (their hash, recorded then).
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "songfile/smf.h"
#include "songfile/smf_writer.h"
#include "tests/tools/tool_process.h"

namespace {

// Notes the charts of today use for their new features: opens (b - 1; on drums 95, the
// Expert+ kick), solos, taps, fills, lanes.
bool modern_note(int n) {
    return n == 59 || n == 71 || n == 83 || n == 95 || n == 103 || n == 104 || (n >= 120 && n <= 127);
}

// The demo chart without any event of those features, written at `path`.
bool write_classic_demo(const std::string& path) {
    SmfFile demo;
    std::string error;
    if (!smf_load(tool_test::demo_chart().c_str(), &demo, &error)) return false;
    SmfWriter w;
    w.division = demo.division;
    for (const SmfTrack& t : demo.tracks) {
        SmfWriterTrack& out = w.add_track();
        for (const SmfEvent& e : t.events) {
            const uint8_t* m = t.message(e);
            const int status = m[0] & 0xF0;
            if (m[0] == 0xF0) continue;
            if (e.size == 3 && (status == 0x80 || status == 0x90) && modern_note(m[1])) continue;
            const std::string text(reinterpret_cast<const char*>(m) + (e.size > 3 ? 3 : 0),
                                   e.size > 3 ? e.size - 3 : 0);
            if (m[0] == 0xFF && text == "[ENHANCED_OPENS]") continue;
            out.raw(e.tick, std::vector<uint8_t>(m, m + e.size));
        }
    }
    const std::vector<uint8_t> bytes = w.bytes();
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

// FNV-1a over the pixels of <prefix>00000.png, <prefix>00001.png, ... in `dir`; the frame
// count in `frames`.
uint64_t frames_hash(const std::string& dir, const std::string& prefix, int* frames) {
    uint64_t h = 0xcbf29ce484222325ull;
    *frames = 0;
    for (;; ++*frames) {
        char name[64];
        std::snprintf(name, sizeof name, "%05d.png", *frames);
        std::unique_ptr<TESS_IBitmap> b(TESS_LoadPNG((dir + "/" + prefix + name).c_str(), nullptr));
        if (!b) break;
        for (int32_t y = 0; y < b->height(); ++y)
            for (int32_t x = 0; x < b->width(); ++x) {
                const TESS_pixel p = b->bits()[y * b->rowSpan() + x];
                for (int i = 0; i < 4; ++i) h = (h ^ (p >> (8 * i) & 0xFF)) * 0x100000001b3ull;
            }
    }
    return h;
}

TEST(ClassicCharts, PaintExactlyAsBeforeInEveryMode) {
    tool_test::TempFolder dir;
    const std::string chart = dir.path() + "/classic.mid";
    ASSERT_TRUE(write_classic_demo(chart));
    // Guitar/Bass and Keys at two difficulties, Pro Drums and OLD Drums, side by side; every
    // half second of the song.
    const tool_test::ToolRun r = tool_test::run_tool(
        dir.path(), {chart, "--view", "PART GUITAR", "--view", "PART DRUMS:expert:pro-drums",
                     "--view", "PART DRUMS:hard:old-drums", "--view", "PART KEYS:medium",
                     "--size", "1200x300", "--from", "4", "--to", "80", "--fps", "2", "-o",
                     "all_%05d.png"});
    ASSERT_EQ(r.status, 0) << r.err;
    int frames = 0;
    const uint64_t all = frames_hash(dir.path(), "all_", &frames);
    EXPECT_EQ(frames, 153);
    EXPECT_EQ(all, 0xba2abcb69d662b5eull) << std::hex << all;

    const tool_test::ToolRun g = tool_test::run_tool(
        dir.path(), {chart, "--view", "PART GUITAR:hard", "--view", "PART KEYS:expert",
                     "--size", "800x400", "--from", "10", "--to", "70", "--fps", "2", "-o",
                     "two_%05d.png"});
    ASSERT_EQ(g.status, 0) << g.err;
    const uint64_t two = frames_hash(dir.path(), "two_", &frames);
    EXPECT_EQ(frames, 121);
    EXPECT_EQ(two, 0x4e613b9726ade44aull) << std::hex << two;
}

}  // namespace
