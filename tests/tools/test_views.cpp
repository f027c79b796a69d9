// tiver-render with several --views: each column of the picture is exactly what that view's
// own plug-in instance paints at the column's size (checked against the tool rendering that
// track alone at that size), in stills, numbered frames and the MP4 stream; and the ways a
// view can be asked for wrongly.
#include <dirent.h>
#include <sys/stat.h>

#include <set>

#include "tests/tools/tool_process.h"

namespace {

using tool_test::column_differences;
using tool_test::demo_chart;
using tool_test::read_file;
using tool_test::write_file;
using Result = tool_test::ToolRun;

class Views : public tool_test::ToolTest {
protected:
    // Renders `args` (the demo chart is put first) into `name`; true when the tool succeeded.
    bool render_to(std::vector<std::string> args, const std::string& name) {
        args.insert(args.begin(), demo_chart());
        args.push_back("-o");
        args.push_back(name);
        const Result r = run(args);
        EXPECT_EQ(r.status, 0) << name << ": " << r.err;
        return r.status == 0;
    }
    // The same for one picture, read back.
    std::unique_ptr<TESS_IBitmap> render(const std::vector<std::string>& args, const std::string& name) {
        if (!render_to(args, name)) return nullptr;
        std::unique_ptr<TESS_IBitmap> picture = load(name);
        EXPECT_NE(picture, nullptr) << name;
        return picture;
    }

    // Bad input: status 2, one line naming the bad thing, nothing written.
    void expect_refused(std::vector<std::string> args, const std::string& says) {
        args.insert(args.begin(), demo_chart());
        args.push_back("-o");
        args.push_back("refused.png");
        const Result r = run(args);
        EXPECT_EQ(r.status, 2) << says;
        EXPECT_EQ(r.out, "");
        ASSERT_FALSE(r.err.empty()) << says;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
        EXPECT_EQ(r.err.compare(0, 14, "tiver-render: "), 0) << r.err;
        EXPECT_NE(r.err.find(says), std::string::npos) << r.err;
        struct stat st;
        EXPECT_NE(stat((dir + "/refused.png").c_str(), &st), 0);
    }
};

// Two columns of one picture (the width of the narrower) differ in this many pixels.
int64_t columns_apart(TESS_IBitmap* picture, int32_t xa, int32_t xb, int32_t width) {
    int64_t differ = 0;
    for (int32_t y = 0; y < picture->height(); ++y)
        for (int32_t x = 0; x < width; ++x)
            differ += picture->bits()[y * picture->rowSpan() + xa + x] != picture->bits()[y * picture->rowSpan() + xb + x];
    return differ;
}

struct Alone {
    std::vector<std::string> settings;  // --track and the rest, as for a one-view render
};

TEST_F(Views, EachOfTwoOrThreeColumnsIsItsTrackRenderedAloneAtTheColumnsSize) {
    // The HOPO threshold and the time offset reach every instance; the last column takes
    // the width the division leaves (331 = 165 + 166, 401 = 133 + 133 + 135).
    struct Case {
        int32_t width;
        std::vector<std::string> views;
        std::vector<Alone> alone;
    };
    const std::vector<Case> cases = {
        {331, {"PART GUITAR", "PART DRUMS"}, {{{"--track", "PART GUITAR"}}, {{"--track", "PART DRUMS"}}}},
        {401,
         {"1", "PART KEYS", "PART DRUMS"},
         {{{"--track", "PART GUITAR"}}, {{"--track", "PART KEYS"}}, {{"--track", "PART DRUMS"}}}},
    };
    const std::vector<std::string> shared = {"--at", "20", "--hopo", "300", "--offset", "-25"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.views.size());
        std::vector<std::string> args = shared;
        for (const std::string& v : c.views) args.insert(args.end(), {"--view", v});
        args.insert(args.end(), {"--size", std::to_string(c.width) + "x180"});
        const std::unique_ptr<TESS_IBitmap> picture = render(args, "views.png");
        ASSERT_NE(picture, nullptr);
        ASSERT_EQ(picture->width(), c.width);
        ASSERT_EQ(picture->height(), 180);
        const int32_t n = static_cast<int32_t>(c.views.size());
        const int32_t equal = c.width / n;
        for (int32_t i = 0; i < n; ++i) {
            SCOPED_TRACE(i);
            const int32_t w = i == n - 1 ? c.width - equal * (n - 1) : equal;
            std::vector<std::string> one = shared;
            one.insert(one.end(), c.alone[static_cast<size_t>(i)].settings.begin(),
                       c.alone[static_cast<size_t>(i)].settings.end());
            one.insert(one.end(), {"--size", std::to_string(w) + "x180"});
            const std::unique_ptr<TESS_IBitmap> alone = render(one, "alone.png");
            ASSERT_NE(alone, nullptr);
            EXPECT_EQ(column_differences(picture.get(), equal * i, alone.get()), 0);
        }
        // Different tracks look different: the columns are not copies of one instance.
        for (int32_t i = 1; i < n; ++i) EXPECT_GT(columns_apart(picture.get(), 0, equal * i, equal), 1000) << i;
    }
}

TEST_F(Views, FourViewsOfOneTrackKeepTheirOwnDifficultiesAndModes) {
    // 386 = 96 + 96 + 96 + 98. An empty difficulty is Expert; an empty mode the track's own
    // (Pro Drums for PART DRUMS); the track by index or by name.
    const std::vector<std::string> views = {"PART DRUMS:easy:old-drums", "PART DRUMS::guitar", "2:hard",
                                            "PART DRUMS:medium:keys"};
    const std::vector<Alone> alone = {
        {{"--track", "PART DRUMS", "--difficulty", "easy", "--mode", "old-drums"}},
        {{"--track", "PART DRUMS", "--mode", "guitar"}},
        {{"--track", "PART DRUMS", "--difficulty", "hard"}},
        {{"--track", "2", "--difficulty", "medium", "--mode", "keys"}},
    };
    std::vector<std::string> args = {"--at", "31.5", "--size", "386x160"};
    for (const std::string& v : views) args.insert(args.end(), {"--view", v});
    const std::unique_ptr<TESS_IBitmap> picture = render(args, "four.png");
    ASSERT_NE(picture, nullptr);
    ASSERT_EQ(picture->width(), 386);
    for (int32_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        std::vector<std::string> one = alone[static_cast<size_t>(i)].settings;
        one.insert(one.end(), {"--at", "31.5", "--size", std::to_string(i == 3 ? 98 : 96) + "x160"});
        const std::unique_ptr<TESS_IBitmap> single = render(one, "alone.png");
        ASSERT_NE(single, nullptr);
        EXPECT_EQ(column_differences(picture.get(), 96 * i, single.get()), 0);
        for (int32_t j = 0; j < i; ++j) EXPECT_GT(columns_apart(picture.get(), 96 * j, 96 * i, 96), 500) << j;
    }
}

TEST_F(Views, NumberedFramesAndTheEncodersStreamCarryTheSamePicturesAsTheColumns) {
    const std::vector<std::string> range = {"--from", "20", "--to", "20.1", "--fps", "20"};
    std::vector<std::string> args = range;
    args.insert(args.end(), {"--view", "PART KEYS", "--view", "PART DRUMS:hard", "--size", "200x120"});
    ASSERT_TRUE(render_to(args, "f_%d.png"));
    std::vector<std::unique_ptr<TESS_IBitmap>> frames;
    for (int i = 0; i < 3; ++i) {
        frames.push_back(load("f_" + std::to_string(i) + ".png"));
        ASSERT_NE(frames.back(), nullptr) << i;
        ASSERT_EQ(frames.back()->width(), 200);
    }
    EXPECT_EQ(load("f_3.png"), nullptr);
    // The last frame's right column is the drums alone over the same range.
    std::vector<std::string> one = range;
    one.insert(one.end(), {"--track", "PART DRUMS", "--difficulty", "hard", "--size", "100x120"});
    ASSERT_TRUE(render_to(one, "d_%d.png"));
    const std::unique_ptr<TESS_IBitmap> drums = load("d_2.png");
    ASSERT_NE(drums, nullptr);
    EXPECT_EQ(column_differences(frames[2].get(), 100, drums.get()), 0);

    // A stand-in ffmpeg keeps its raw input as the MP4: the same frames, 4 bytes a pixel
    // (blue, green, red, alpha), the whole picture width in every row.
    const std::string bin = dir + "/bin";
    ASSERT_EQ(mkdir(bin.c_str(), 0755), 0);
    write_file(bin + "/ffmpeg", "#!/bin/sh\nfor last; do :; done\ncat > \"${last#file:}\"\n");
    chmod((bin + "/ffmpeg").c_str(), 0755);
    args.insert(args.begin(), demo_chart());
    args.insert(args.end(), {"-o", "clip.mp4"});
    const Result r = run(args, (bin + ":/usr/bin:/bin").c_str());
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string raw = read_file(dir + "/clip.mp4");
    ASSERT_EQ(raw.size(), 3u * 200 * 120 * 4);
    int64_t differ = 0;
    for (size_t f = 0; f < 3; ++f)
        for (int32_t p = 0; p < 200 * 120; ++p) {
            const uint8_t* px = reinterpret_cast<const uint8_t*>(raw.data()) + (f * 200 * 120 + p) * 4;
            const TESS_pixel rgb = static_cast<TESS_pixel>(px[2]) << 16 | px[1] << 8 | px[0];
            differ += rgb != (frames[f]->bits()[p] & 0xFFFFFF);
        }
    EXPECT_EQ(differ, 0);
}

TEST_F(Views, ViewsAskedForWronglyAreRefusedInOneLine) {
    expect_refused({"--view", "1", "--view", "2", "--view", "3", "--view", "1", "--view", "PART KEYS:easy"},
                   "--view PART KEYS:easy: at most 4 views");
    expect_refused({"--view", "PART GUITAR", "--view", "PART BANJO:hard"}, "no track 'PART BANJO'");
    expect_refused({"--view", "7"}, "no track '7'");
    expect_refused({"--view", ":hard"}, "no track given");
    expect_refused({"--view", "PART GUITAR:insane"}, "difficulty");
    expect_refused({"--view", "PART GUITAR::flute"}, "mode");
    for (const char* single : {"--track", "--difficulty", "--mode"}) {
        const std::string value = std::string(single) == "--track" ? "1" : "0";
        expect_refused({"--view", "PART GUITAR", single, value}, "--view cannot be combined with --track");
    }
    expect_refused({"--view", "1", "--view", "2", "--view", "3", "--view", "1", "--size", "255x200"},
                   "too narrow for 4 views");
}

}  // namespace
