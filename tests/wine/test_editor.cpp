#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "host/sim_host.h"
#include "songfile/smf_writer.h"
#include "plugin/chart_preview.h"
#include "raster/tess_bitmap.h"
#include "tests/wine/wine_support.h"

namespace {

LRESULT CALLBACK parent_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    return DefWindowProcA(w, m, wp, lp);
}

BOOL CALLBACK count_child(HWND, LPARAM counter) {
    ++*reinterpret_cast<int*>(counter);
    return TRUE;
}

// The DAW's side: a real top-level window whose client area is 304 x 204, the plug-in
// loaded from the build, and a message loop that can run audio blocks as it goes.
class Editor : public ::testing::Test {
protected:
    void SetUp() override {
        ini = build_path("editor_host.ini");
        DeleteFileA(ini.c_str());
        WritePrivateProfileStringA("tolvan", "timeoffs", "-125", ini.c_str());
        host.ini_path = ini;
        master = sim_host_install(&host);
        ASSERT_TRUE(dll.loaded());
        effect = dll.create(master);
        ASSERT_NE(effect, nullptr);
        self = ChartPreview::from(effect);

        WNDCLASSA wc = {};
        wc.lpfnWndProc = parent_proc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "TiverTestParent";
        RegisterClassA(&wc);
        RECT r = {0, 0, 304, 204};
        AdjustWindowRectEx(&r, WS_OVERLAPPEDWINDOW, FALSE, 0);
        parent = CreateWindowExA(0, "TiverTestParent", "host", WS_OVERLAPPEDWINDOW, 10, 10,
                                 r.right - r.left, r.bottom - r.top, nullptr, nullptr,
                                 wc.hInstance, nullptr);
        ASSERT_NE(parent, nullptr) << GetLastError();
        ShowWindow(parent, SW_SHOW);
    }
    void TearDown() override {
        if (effect) effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
        if (parent) DestroyWindow(parent);
        sim_host_install(nullptr);
        DeleteFileA(ini.c_str());
    }

    intptr_t call(int32_t op, intptr_t value = 0, void* ptr = nullptr) {
        return effect->dispatcher(effect, op, 0, value, ptr, 0.0f);
    }
    int children() const {
        int n = 0;
        EnumChildWindows(parent, count_child, reinterpret_cast<LPARAM>(&n));
        return n;
    }
    HWND editor() const { return static_cast<HWND>(self->editor_window.get()); }

    // Runs the message loop for `ms`, with 512-frame audio blocks while `audio` is set.
    void pump(DWORD ms, bool audio = false) {
        std::vector<float> l(512), r(512);
        float* outs[2] = {l.data(), r.data()};
        const DWORD end = GetTickCount() + ms;
        while (static_cast<int32_t>(end - GetTickCount()) > 0) {
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
            if (audio) {
                effect->processReplacing(effect, nullptr, outs, 512);
                if (host.playing) host.sample_pos += 512;
            }
            Sleep(2);
        }
    }
    void click(int x, int y) {
        SendMessageA(editor(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
        SendMessageA(editor(), WM_LBUTTONUP, 0, MAKELPARAM(x, y));
    }
    void move(int x, int y) { SendMessageA(editor(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x, y)); }
    int chunk_byte(int i) {
        const uint8_t* bytes = nullptr;
        call(effGetChunk, 0, &bytes);
        return bytes ? bytes[i] : -1;
    }
    int ini_offset() { return static_cast<int>(GetPrivateProfileIntA("tolvan", "timeoffs", 7777, ini.c_str())); }

    // What a new editor window shows at Expert in `mode`, the transport stopped at 1 s, with
    // this chart on the plug-in's track (120 BPM, 480 ticks a quarter: 1.5 s is tick 1440).
    std::vector<uint32_t> frame_of(const SmfWriter& chart, uint8_t mode = 0) {
        const std::vector<uint8_t> bytes = chart.bytes();
        SmfFile file;
        std::string error;
        EXPECT_TRUE(smf_parse(bytes.data(), bytes.size(), &file, &error)) << error;
        sim_host_load(&host, std::move(file), 0);
        call(effEditClose);
        EXPECT_EQ(call(effEditOpen, 0, parent), 1);
        uint8_t state[4] = {3, mode, 170, 0};
        call(effSetChunk, 4, state);
        host.playing = false;
        host.sample_pos = 44100;
        pump(200, true);
        return read_window_pixels(editor(), 300, 200);
    }
    // Pixels of a clearly purple colour (the default skin's opens and Expert+ kicks).
    static int purple(const std::vector<uint32_t>& px) {
        int n = 0;
        for (uint32_t p : px) {
            const int r = p >> 16 & 0xFF, g = p >> 8 & 0xFF, b = p & 0xFF;
            n += r > g + 50 && b > g + 50;
        }
        return n;
    }

    PluginLibrary dll;
    SimHost host;
    audioMasterCallback master = nullptr;
    AEffect* effect = nullptr;
    ChartPreview* self = nullptr;
    HWND parent = nullptr;
    std::string ini;
};

TEST_F(Editor, OpensOnceAndFitsItselfToTheHostWindow) {
    EXPECT_EQ(call(effEditOpen, 0, parent), 1);
    EXPECT_EQ(call(effEditOpen, 0, parent), 1);
    EXPECT_EQ(children(), 1);
    ASSERT_NE(editor(), nullptr);
    EXPECT_EQ(GetParent(editor()), parent);
    pump(150);
    RECT rc;
    GetClientRect(editor(), &rc);
    EXPECT_EQ(rc.right, 300);
    EXPECT_EQ(rc.bottom, 200);
    // The frame bitmap follows the client size.
    ASSERT_NE(self->frame_bitmap, nullptr);
    EXPECT_EQ(self->frame_bitmap->width(), 300);
    EXPECT_EQ(self->frame_bitmap->height(), 200);
}

TEST_F(Editor, PaintsTheHighwayAndTheControlStripWhilePlaying) {
    ASSERT_EQ(call(effEditOpen, 0, parent), 1);
    host.playing = true;
    pump(400, true);
    EXPECT_GT(self->display_position, 0.0);
    const int w = 300, h = 200;
    std::vector<uint32_t> px = read_window_pixels(editor(), w, h);
    auto at = [&](int x, int y) { return px[static_cast<size_t>(y) * w + x]; };
    // Drag arrow of TIME OFFS: a white shaft at x = 222 from row 13 to row 20.
    for (int y = 13; y <= 20; ++y) EXPECT_EQ(at(222, y), 0xFFFFFFu) << y;
    // The SKILL label in white somewhere in rows 2..9.
    int white = 0;
    for (int y = 2; y <= 9; ++y)
        for (int x = 0; x < 40; ++x) white += at(x, y) == 0xFFFFFFu;
    EXPECT_GT(white, 10);
    // The highway: the centred square is drawn over the background, so below the strip its
    // middle column differs from the window's edge column.
    int differ = 0;
    for (int y = 40; y < h; ++y) differ += at(w / 2, y) != at(0, y);
    EXPECT_GT(differ, 40);
    std::set<uint32_t> colours(px.begin() + w * 30, px.end());
    EXPECT_GT(colours.size(), 8u);
}

TEST_F(Editor, MouseChangesTheSettingsByTheStripRules) {
    ASSERT_EQ(call(effEditOpen, 0, parent), 1);
    pump(50);
    click(47, 12);
    EXPECT_EQ(chunk_byte(0), 1);
    click(48, 12);
    EXPECT_EQ(chunk_byte(0), 1);
    click(0, 21);
    click(0, 21);
    click(0, 21);
    EXPECT_EQ(chunk_byte(0), 0);  // Expert wraps to Easy
    click(146, 21);
    EXPECT_EQ(chunk_byte(1), 1);
    click(146, 22);
    EXPECT_EQ(chunk_byte(1), 1);

    // TIME OFFS: four pixels per millisecond, up counts as right.
    SendMessageA(editor(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(160, 15));
    EXPECT_EQ(GetCapture(), editor());
    move(163, 15);
    move(164, 15);
    move(164, 7);
    SendMessageA(editor(), WM_LBUTTONUP, 0, MAKELPARAM(164, 7));
    EXPECT_NE(GetCapture(), editor());
    EXPECT_EQ(ini_offset(), -125 + 1 + 2);

    // HOPO THRESH: clamped to 32..1920; its release writes nothing to the INI.
    WritePrivateProfileStringA("tolvan", "timeoffs", "5", ini.c_str());
    SendMessageA(editor(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(240, 15));
    move(-3000, 15);
    EXPECT_EQ(chunk_byte(2) + 256 * chunk_byte(3), 32);
    move(3000, 15);
    EXPECT_EQ(chunk_byte(2) + 256 * chunk_byte(3), 1920);
    SendMessageA(editor(), WM_LBUTTONUP, 0, 0);
    EXPECT_EQ(ini_offset(), 5);
    // A move without the capture changes nothing.
    move(0, 15);
    EXPECT_EQ(chunk_byte(2) + 256 * chunk_byte(3), 1920);
}

// The plug-in reads what today's charts hold from the host: SysEx phrases, the open-lane text
// and the new notes, and paints them into its window.
void sysex(SmfWriterTrack& t, int64_t tick, uint8_t difficulty, uint8_t code, uint8_t value) {
    t.raw(tick, {0xF0, 0x08, 0x50, 0x53, 0x00, 0x00, difficulty, code, value, 0xF7});
}

TEST_F(Editor, PaintsOpensTapsStripsAndExpertPlusKicksFromTheHostsMidi) {
    SmfWriter by_note, by_sysex, no_switch;
    by_note.add_track().text(0, "[ENHANCED_OPENS]");
    by_note.tracks[0].note(1440, 60, 95);
    SmfWriterTrack& s = by_sysex.add_track();
    sysex(s, 1440, 3, 0x01, 1);
    s.note(1440, 60, 96);
    s.note(1440, 60, 99);  // hidden under the open
    sysex(s, 1450, 3, 0x01, 0);
    no_switch.add_track().note(1440, 60, 95);
    const std::vector<uint32_t> open = frame_of(by_note);
    EXPECT_EQ(frame_of(by_sysex), open) << "both encodings draw the same open";
    const std::vector<uint32_t> nothing = frame_of(no_switch);
    EXPECT_GT(purple(open), 150);
    EXPECT_EQ(purple(nothing), 0);

    SmfWriter tap_note, tap_sysex, strum;
    tap_note.add_track().note(1440, 60, 98);
    tap_note.tracks[0].note(1440, 60, 104);
    SmfWriterTrack& t = tap_sysex.add_track();
    t.note(1440, 60, 98);
    sysex(t, 1440, 0xFF, 0x04, 1);
    sysex(t, 1440, 0xFF, 0x04, 0);  // a tap phrase covers its end
    strum.add_track().note(1440, 60, 98);
    const std::vector<uint32_t> tap = frame_of(tap_note);
    EXPECT_EQ(frame_of(tap_sysex), tap);
    EXPECT_NE(frame_of(strum), tap);

    // A solo strip over the whole view tints the highway; nothing else is in either chart.
    SmfWriter solo, empty;
    solo.add_track().note(0, 1920 * 2, 103);
    empty.add_track().text(0, "x");
    const std::vector<uint32_t> tinted = frame_of(solo), plain = frame_of(empty);
    int64_t blue_tinted = 0, blue_plain = 0;
    for (size_t i = 300 * 40; i < tinted.size(); ++i) {
        blue_tinted += tinted[i] & 0xFF;
        blue_plain += plain[i] & 0xFF;
    }
    EXPECT_GT(blue_tinted, blue_plain + 300 * 20);
    EXPECT_EQ(purple(tinted), 0);

    // Pro Drums: note 95 at Expert is a purple kick bar, note 96 the plain one.
    SmfWriter twin, kick;
    twin.add_track().note(1440, 60, 95);
    kick.add_track().note(1440, 60, 96);
    EXPECT_GT(purple(frame_of(twin, 1)), 150);
    EXPECT_EQ(purple(frame_of(kick, 1)), 0);
}

TEST_F(Editor, ClosingLeavesNoWindowAndNoGdiObject) {
    for (int cycle = 0; cycle < 25; ++cycle) {
        ASSERT_EQ(call(effEditOpen, 0, parent), 1);
        pump(40, true);
        ASSERT_NE(self->frame_bitmap, nullptr) << cycle;
        auto* frame = static_cast<TESS_SysBitmap*>(self->frame_bitmap);
        HGDIOBJ dc = static_cast<HGDIOBJ>(frame->deviceContext());
        HGDIOBJ section = static_cast<HGDIOBJ>(frame->sectionHandle());
        ASSERT_NE(GetObjectType(dc), 0u);
        ASSERT_NE(GetObjectType(section), 0u);
        call(effEditClose);
        EXPECT_EQ(self->editor_window, nullptr);
        EXPECT_EQ(self->frame_bitmap, nullptr);
        EXPECT_EQ(self->layer_bitmap, nullptr);
        EXPECT_EQ(children(), 0);
        EXPECT_EQ(GetObjectType(dc), 0u) << cycle;
        EXPECT_EQ(GetObjectType(section), 0u) << cycle;
    }
    // Closing the instance with its editor open takes the window and its objects along.
    ASSERT_EQ(call(effEditOpen, 0, parent), 1);
    pump(40);
    auto* frame = static_cast<TESS_SysBitmap*>(self->frame_bitmap);
    ASSERT_NE(frame, nullptr);
    HGDIOBJ dc = static_cast<HGDIOBJ>(frame->deviceContext());
    HGDIOBJ section = static_cast<HGDIOBJ>(frame->sectionHandle());
    call(effClose);
    effect = nullptr;
    EXPECT_EQ(children(), 0);
    EXPECT_EQ(GetObjectType(dc), 0u);
    EXPECT_EQ(GetObjectType(section), 0u);
}

}  // namespace
