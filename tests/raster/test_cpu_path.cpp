// CPU paths: detection agrees with what the kernel reports, TESS_DISABLE lists rule paths out
// as documented, and the choice at start-up follows the environment.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

#include "tests/raster/raster_model.h"

namespace {

// The processor flags Linux reports; it leaves out AVX2 when the OS does not save the YMM state.
bool cpuinfo_has(const std::string& flag) {
    std::ifstream in("/proc/cpuinfo");
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, 5, "flags") != 0) continue;
        std::istringstream words(line.substr(line.find(':') + 1));
        std::string w;
        while (words >> w)
            if (w == flag) return true;
        return false;
    }
    return false;
}

TESS_CpuPath TessCpuPathOutOfRange() { return static_cast<TESS_CpuPath>(TESS_CPU_PATH_COUNT); }

class CpuPath : public ::testing::Test {
protected:
    void TearDown() override { TESS_ChooseCpuPath(std::getenv("TESS_DISABLE")); }
};

TEST_F(CpuPath, DetectionAgreesWithTheKernel) {
    EXPECT_TRUE(TESS_CpuPathSupported(TESS_CPU_GENERIC));
    EXPECT_TRUE(TESS_CpuPathSupported(TESS_CPU_SSE2));
    EXPECT_EQ(TESS_CpuPathSupported(TESS_CPU_AVX2), cpuinfo_has("avx2"));
    EXPECT_EQ(TESS_CpuPathSupported(TESS_CPU_AVX512),
              cpuinfo_has("avx2") && cpuinfo_has("avx512f") && cpuinfo_has("avx512bw") &&
                  cpuinfo_has("avx512vl") && cpuinfo_has("avx512vbmi") && cpuinfo_has("avx512_vnni"));
    EXPECT_FALSE(TESS_CpuPathSupported(TessCpuPathOutOfRange()));
    EXPECT_STREQ(TESS_CpuPathName(TESS_CPU_AVX512), "avx512");
    EXPECT_STREQ(TESS_CpuPathName(TESS_CPU_AVX2), "avx2");
    EXPECT_STREQ(TESS_CpuPathName(TESS_CPU_SSE2), "sse2");
    EXPECT_STREQ(TESS_CpuPathName(TESS_CPU_GENERIC), "generic");
    EXPECT_STREQ(TESS_CpuPathName(TessCpuPathOutOfRange()), "");
}

TEST_F(CpuPath, DisableListsRuleOutWholeNamesInAnyCase) {
    const bool avx2 = TESS_CpuPathSupported(TESS_CPU_AVX2);
    const bool avx512 = TESS_CpuPathSupported(TESS_CPU_AVX512);
    const TESS_CpuPath widest = avx512 ? TESS_CPU_AVX512 : avx2 ? TESS_CPU_AVX2 : TESS_CPU_SSE2;
    EXPECT_EQ(TESS_ChooseCpuPath(nullptr), widest);
    EXPECT_EQ(TESS_ActiveCpuPath(), widest);
    EXPECT_EQ(TESS_ChooseCpuPath(""), widest);
    EXPECT_EQ(TESS_ChooseCpuPath("avx2"), TESS_CPU_SSE2);
    EXPECT_EQ(TESS_ActiveCpuPath(), TESS_CPU_SSE2);
    EXPECT_EQ(TESS_ChooseCpuPath(" AVX2\t"), TESS_CPU_SSE2);
    EXPECT_EQ(TESS_ChooseCpuPath("mmx,avx2"), TESS_CPU_SSE2);
    EXPECT_EQ(TESS_ChooseCpuPath("sse2 avx2"), TESS_CPU_GENERIC);
    EXPECT_EQ(TESS_ChooseCpuPath("avx2,,Sse2,"), TESS_CPU_GENERIC);
    EXPECT_EQ(TESS_ActiveCpuPath(), TESS_CPU_GENERIC);
    // AVX-512 runs the AVX2 loops: ruling out AVX2 rules it out, but not the other way round.
    EXPECT_EQ(TESS_ChooseCpuPath("avx512"), avx2 ? TESS_CPU_AVX2 : TESS_CPU_SSE2);
    EXPECT_EQ(TESS_ChooseCpuPath("avx512 avx2"), TESS_CPU_SSE2);
    // Ruling out SSE2 alone keeps a wider path; generic cannot be ruled out.
    EXPECT_EQ(TESS_ChooseCpuPath("sse2"), avx2 ? widest : TESS_CPU_GENERIC);
    EXPECT_EQ(TESS_ChooseCpuPath("generic sse2 avx2"), TESS_CPU_GENERIC);
    // Only whole names count.
    EXPECT_EQ(TESS_ChooseCpuPath("avx"), widest);
    EXPECT_EQ(TESS_ChooseCpuPath("avx2x sse"), widest);
    EXPECT_EQ(TESS_ChooseCpuPath("xavx2"), widest);
    EXPECT_EQ(TESS_ChooseCpuPath("avx51"), widest);
}

// Run as a child by the test below: prints the path that start-up chose.
TEST(CpuPathChild, ReportStartUpChoice) {
    std::printf("start-up path: %s\n", TESS_CpuPathName(TESS_ActiveCpuPath()));
}

std::string start_up_choice_with(const char* disable) {
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return "no /proc/self/exe";
    self[n] = '\0';
    std::string command = std::string("TESS_DISABLE='") + disable + "' '" + self +
                          "' --gtest_filter=CpuPathChild.ReportStartUpChoice 2>&1";
    FILE* child = popen(command.c_str(), "r");
    if (!child) return "popen failed";
    std::string out;
    char line[512];
    while (std::fgets(line, sizeof line, child)) {
        const std::string l = line;
        if (l.compare(0, 15, "start-up path: ") == 0) out = l.substr(15, l.size() - 16);
    }
    pclose(child);
    return out;
}

TEST_F(CpuPath, StartUpFollowsTessDisable) {
    const bool avx2 = TESS_CpuPathSupported(TESS_CPU_AVX2);
    const bool avx512 = TESS_CpuPathSupported(TESS_CPU_AVX512);
    EXPECT_EQ(start_up_choice_with(""), avx512 ? "avx512" : avx2 ? "avx2" : "sse2");
    EXPECT_EQ(start_up_choice_with("avx512"), avx2 ? "avx2" : "sse2");
    EXPECT_EQ(start_up_choice_with("avx2"), "sse2");
    EXPECT_EQ(start_up_choice_with("sse2,avx2"), "generic");
}

}  // namespace
