// The MP4 of a song folder (a notes.mid, or a notes.chart with an Offset) end to end,
// checked with ffmpeg's own tools: one video and one audio stream as long as the frames;
// the stems' clicks heard exactly where the gems they belong to reach the strike line; each
// frame the picture `--at` draws for its moment.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "raster/tess.h"
#include "tests/tools/song_files.h"
#include "tests/tools/tool_process.h"

namespace {

using namespace tool_test;

constexpr int32_t W = 320, H = 192;
constexpr double FROM = 2.0, TO = 5.0, FPS = 30.0;
constexpr int64_t FRAMES = 91;  // FROM to TO every 1/FPS, both ends included
constexpr int AUDIO_RATE = 48000;
// song.ini's delay or the .chart's Offset: the chart sounds this much later against the
// audio, so each gem's click is in the stem this much after the gem's own moment in the chart.
constexpr double DELAY = 0.040;

// Gems at irregular moments (a chart whose clicks could not line up by accident at a
// wrong offset), some before FROM: those are cut from the MP4's audio.
const std::vector<double> GEMS = {1.4375, 2.3125, 2.75, 3.1875, 3.5, 4.0625, 4.3125, 4.8125};
// The other stem's clicks, between the gems, louder.
const std::vector<double> SONG_CLICKS = {2.1, 2.55, 3.35, 3.8, 4.55};

struct Onset {
    double seconds;
    double peak;  // of full scale, both channels' largest
};

// Starts of clicks in interleaved stereo 16-bit samples at AUDIO_RATE: the first sample
// over 0.1 of full scale with none for 50 ms before it (AAC spreads a little of a click's
// energy into the tens of milliseconds before it, but far below that), with its peak.
std::vector<Onset> onsets(const std::string& pcm) {
    const size_t n = pcm.size() / 4;
    const auto sample = [&](size_t i, int c) {
        int16_t v;
        std::memcpy(&v, pcm.data() + 4 * i + 2 * c, 2);
        return std::abs(static_cast<int>(v)) / 32768.0;
    };
    std::vector<Onset> out;
    size_t quiet = AUDIO_RATE;
    for (size_t i = 0; i < n; ++i) {
        const double a = std::max(sample(i, 0), sample(i, 1));
        if (a <= 0.1) {
            ++quiet;
            continue;
        }
        if (quiet >= AUDIO_RATE / 20) {
            Onset o{static_cast<double>(i) / AUDIO_RATE, 0.0};
            for (size_t j = i; j < n && j < i + AUDIO_RATE / 100; ++j)
                o.peak = std::max(o.peak, std::max(sample(j, 0), sample(j, 1)));
            out.push_back(o);
        }
        quiet = 0;
    }
    return out;
}

std::vector<uint32_t> pixels_of_png(const std::string& path) {
    std::unique_ptr<TESS_IBitmap> b(TESS_LoadPNG(path.c_str(), nullptr));
    if (!b) return {};
    return std::vector<uint32_t>(b->bits(), b->bits() + b->width() * b->height());
}

// Sum of the channel differences between a decoded frame (BGRA bytes) and a still.
double distance(const std::string& frame, const std::vector<uint32_t>& still) {
    if (frame.size() != still.size() * 4) return 1e300;
    double sum = 0.0;
    for (size_t i = 0; i < still.size(); ++i)
        for (int c = 0; c < 3; ++c)
            sum += std::abs(static_cast<int>(static_cast<uint8_t>(frame[4 * i + c])) -
                            static_cast<int>(still[i] >> (8 * c) & 0xFF));
    return sum;
}

// The song folder holds a notes.mid with song.ini's delay, or a notes.chart whose [Song]
// gives the Offset and names the gems' stem.
class Mp4Sync : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        dir = temp.path();
        song = dir + "/My Song";
        ASSERT_EQ(mkdir(song.c_str(), 0755), 0);
        const bool chart = std::string(GetParam()) == "notes.chart";
        const std::string ini = "[song]\nname = Click Track\nartist = Tiver Tests\ncharter = ctest\n";
        if (chart) {
            write_file(song + "/notes.chart",
                       chart_text_bytes(480, GEMS, 6.0, "  Offset = 0.04\n  GuitarStream = \"clicks.wav\"\n"));
            write_file(song + "/song.ini", ini);
        } else {
            write_file(song + "/notes.mid", chart_bytes(480, GEMS, 6.0));
            write_file(song + "/song.ini", ini + "delay = 40\n");
        }
        std::vector<double> clicks;
        for (double g : GEMS) clicks.push_back(g + DELAY);
        // A mono stem at 44.1 kHz with the gems' clicks, a stereo one at 48 kHz with others.
        write_file(song + (chart ? "/clicks.wav" : "/guitar.wav"), click_wav(6.0, clicks, 0.5, 44100, 1));
        write_file(song + "/Song.wav", click_wav(5.5, SONG_CLICKS, 0.7, 48000, 2));
        const ToolRun r = run_tool(dir, {song, "--from", "2", "--to", "5", "--fps", "30", "--size", "320x192",
                                         "-o", "clip.mp4"});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find("2 audio files mixed"), std::string::npos) << r.out;
        mp4 = dir + "/clip.mp4";
        ASSERT_TRUE(exists(mp4));
    }

    TempFolder temp;
    std::string dir, song, mp4;
};

TEST_P(Mp4Sync, OneVideoAndOneAudioStreamAsLongAsTheFrames) {
    const std::string report = command_output("ffprobe -v error -show_entries stream=codec_type,codec_name,width,"
                                              "height,nb_frames,duration:format_tags=title,artist -of flat '" +
                                              mp4 + "'");
    EXPECT_NE(report.find("streams.stream.0.codec_type=\"video\""), std::string::npos) << report;
    EXPECT_NE(report.find("streams.stream.0.codec_name=\"h264\""), std::string::npos) << report;
    EXPECT_NE(report.find("streams.stream.0.width=320"), std::string::npos) << report;
    EXPECT_NE(report.find("streams.stream.0.height=192"), std::string::npos) << report;
    EXPECT_NE(report.find("streams.stream.0.nb_frames=\"91\""), std::string::npos) << report;
    EXPECT_NE(report.find("streams.stream.1.codec_type=\"audio\""), std::string::npos) << report;
    EXPECT_NE(report.find("streams.stream.1.codec_name=\"aac\""), std::string::npos) << report;
    EXPECT_EQ(report.find("streams.stream.2."), std::string::npos) << report;
    EXPECT_NE(report.find("format.tags.title=\"Click Track\""), std::string::npos) << report;
    EXPECT_NE(report.find("format.tags.artist=\"Tiver Tests\""), std::string::npos) << report;
    const auto duration = [&](int stream) {
        const std::string key = "streams.stream." + std::to_string(stream) + ".duration=\"";
        const size_t at = report.find(key);
        return at == std::string::npos ? -1.0 : std::atof(report.c_str() + at + key.size());
    };
    EXPECT_NEAR(duration(0), FRAMES / FPS, 0.001);
    // The audio track as long as the video, to within one AAC frame.
    EXPECT_NEAR(duration(1), FRAMES / FPS, 1024.0 / AUDIO_RATE);

    // Decoded as a player would (edit list applied), the audio holds the same length.
    const std::string pcm =
        command_output("ffmpeg -v error -i '" + mp4 + "' -map 0:a -f s16le -ac 2 -ar 48000 -");
    EXPECT_NEAR(static_cast<double>(pcm.size() / 4) / AUDIO_RATE, FRAMES / FPS, 1024.0 / AUDIO_RATE);
}

TEST_P(Mp4Sync, ClicksAreHeardWhereTheirGemsReachTheStrikeLine) {
    const std::string pcm = command_output("ffmpeg -v error -i '" + mp4 + "' -map 0:a -f s16le -ac 2 -ar 48000 -");
    ASSERT_GT(pcm.size(), 48000u * 4);
    // Every click of both stems after FROM, at its moment less FROM (the gems' clicks are
    // DELAY after their gems), within 3 ms; none elsewhere.
    struct Expected {
        double seconds;
        double level;
    };
    std::vector<Expected> expected;
    for (double g : GEMS)
        if (g + DELAY >= FROM && g + DELAY < TO) expected.push_back({g + DELAY - FROM, 0.5});
    for (double c : SONG_CLICKS) expected.push_back({c - FROM, 0.7});
    std::sort(expected.begin(), expected.end(), [](const Expected& a, const Expected& b) { return a.seconds < b.seconds; });
    const std::vector<Onset> found = onsets(pcm);
    ASSERT_EQ(found.size(), expected.size());
    double worst = 0.0;
    for (size_t i = 0; i < found.size(); ++i) {
        const double error = found[i].seconds - expected[i].seconds;
        worst = std::max(worst, std::fabs(error));
        EXPECT_LE(std::fabs(error), 0.003) << "click " << i << " heard at " << found[i].seconds << " s, due at "
                                           << expected[i].seconds << " s";
        // Summed as they are: a mono stem at full level on both sides, nothing halved by
        // the mix (AAC moves a peak by a few per cent).
        EXPECT_NEAR(found[i].peak, expected[i].level, 0.1 * expected[i].level) << "click " << i;
    }
    std::printf("clicks: %zu, worst distance from their moment %.2f ms\n", found.size(), worst * 1000.0);
}

TEST_P(Mp4Sync, EachFrameIsTheStillOfItsMoment) {
    for (int64_t k : {20, 61}) {
        const std::string frame = command_output("ffmpeg -v error -i '" + mp4 + "' -vf 'select=eq(n\\," +
                                                 std::to_string(k) + ")' -frames:v 1 -f rawvideo -pix_fmt bgra -");
        ASSERT_EQ(frame.size(), static_cast<size_t>(W) * H * 4) << k;
        double d[3];
        for (int i = -1; i <= 1; ++i) {
            char at[32];
            std::snprintf(at, sizeof at, "%.6f", FROM + static_cast<double>(k + i) / FPS);
            const std::string name = "still" + std::to_string(i + 1) + ".png";
            const ToolRun r = run_tool(dir, {song, "--at", at, "--fps", "30", "--size", "320x192", "-o", name});
            ASSERT_EQ(r.status, 0) << r.err;
            d[i + 1] = distance(frame, pixels_of_png(dir + "/" + name));
        }
        // Closer to its own moment than to the moments a frame before and after, and
        // close in absolute terms (what H.264 at this quality changes).
        EXPECT_LT(d[1], d[0]) << "frame " << k;
        EXPECT_LT(d[1], d[2]) << "frame " << k;
        EXPECT_LT(d[1] / (W * H * 3), 4.0) << "frame " << k;
        std::printf("frame %lld: mean difference %.2f against its still, %.2f and %.2f against its neighbours'\n",
                    static_cast<long long>(k), d[1] / (W * H * 3), d[0] / (W * H * 3), d[2] / (W * H * 3));
    }
    // Those stills show the chart DELAY later, as the clicks are: the folder's still is the
    // chart file's with --offset 40 (which overrides the .chart's own Offset), not with 0.
    const auto still = [&](const std::string& input, const char* offset, const std::string& name) {
        std::vector<std::string> args = {input, "--at", "3.5", "--size", "320x192", "-o", name};
        if (offset) args.insert(args.end(), {"--offset", offset});
        const ToolRun r = run_tool(dir, args);
        EXPECT_EQ(r.status, 0) << r.err;
        return pixels_of_png(dir + "/" + name);
    };
    const std::string file = song + "/" + GetParam();
    const std::vector<uint32_t> folder = still(song, nullptr, "folder.png");
    ASSERT_FALSE(folder.empty());
    EXPECT_TRUE(folder == still(file, "40", "delayed.png"));
    EXPECT_FALSE(folder == still(file, "0", "plain.png"));
}

INSTANTIATE_TEST_SUITE_P(Folders, Mp4Sync, ::testing::Values("notes.mid", "notes.chart"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param) == "notes.chart" ? std::string("Chart") : std::string("Midi");
                         });

}  // namespace
