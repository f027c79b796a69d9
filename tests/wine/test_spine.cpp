#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host/sim_host.h"
#include "tests/wine/wine_support.h"

namespace {

template <typename T>
T field(const AEffect* e, size_t offset) {
    T v;
    std::memcpy(&v, reinterpret_cast<const uint8_t*>(e) + offset, sizeof v);
    return v;
}

class Spine : public ::testing::Test {
protected:
    void SetUp() override {
        ini = build_path("spine_host.ini");
        DeleteFileA(ini.c_str());
        host.ini_path = ini;
        master = sim_host_install(&host);
    }
    void TearDown() override {
        sim_host_install(nullptr);
        DeleteFileA(ini.c_str());
    }
    static void close(AEffect* e) {
        if (e) e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
    }

    SimHost host;
    audioMasterCallback master = nullptr;
    std::string ini;
};

TEST_F(Spine, ExportsTheEntryAndFillsTheRecordAtTheAbiOffsets) {
    PluginLibrary dll;
    ASSERT_TRUE(dll.loaded()) << "cannot load " << build_path("TiverPreview.dll");
    AEffect* e = dll.create(master);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(field<int32_t>(e, 0), 0x56737450);
    EXPECT_NE(field<void*>(e, 8), nullptr);    // dispatcher
    EXPECT_NE(field<void*>(e, 16), nullptr);   // process
    EXPECT_NE(field<void*>(e, 24), nullptr);   // setParameter
    EXPECT_NE(field<void*>(e, 32), nullptr);   // getParameter
    EXPECT_EQ(field<int32_t>(e, 40), 1);       // numPrograms
    EXPECT_EQ(field<int32_t>(e, 44), 1);       // numParams
    EXPECT_EQ(field<int32_t>(e, 48), 0);       // numInputs
    EXPECT_EQ(field<int32_t>(e, 52), 2);       // numOutputs
    EXPECT_EQ(field<int32_t>(e, 56), 0x131);   // flags
    EXPECT_EQ(field<int64_t>(e, 64), 0);
    EXPECT_EQ(field<int64_t>(e, 72), 0);
    EXPECT_EQ(field<int32_t>(e, 80), 0);       // initialDelay
    EXPECT_EQ(field<void*>(e, 96), nullptr);   // object
    EXPECT_NE(field<void*>(e, 104), nullptr);  // user
    EXPECT_EQ(field<int32_t>(e, 112), 0x746C766E);
    EXPECT_EQ(field<int32_t>(e, 116), 1100);
    EXPECT_NE(field<void*>(e, 120), nullptr);  // processReplacing
    EXPECT_EQ(field<void*>(e, 128), nullptr);  // processDoubleReplacing
    for (size_t i = 136; i < 192; ++i) ASSERT_EQ(field<uint8_t>(e, i), 0) << i;
    close(e);
}

TEST_F(Spine, HostWithoutIniFunctionIsAskedAgainOnEveryCall) {
    PluginLibrary dll;
    ASSERT_TRUE(dll.loaded());
    host.withheld = {"get_ini_file"};
    EXPECT_EQ(dll.create(master), nullptr);
    EXPECT_EQ(dll.create(master), nullptr);
    EXPECT_EQ(host.fetch_log.size(), 10u);
    EXPECT_EQ(host.fetch_log[5], "get_ini_file");
}

TEST_F(Spine, HostWithoutBeatsToTimeGetsNullForever) {
    PluginLibrary dll;
    ASSERT_TRUE(dll.loaded());
    host.withheld = {"TimeMap2_beatsToTime"};
    EXPECT_EQ(dll.create(master), nullptr);
    host.withheld.clear();
    EXPECT_EQ(dll.create(master), nullptr);
    EXPECT_EQ(host.fetch_log.size(), 5u);
}

TEST_F(Spine, TimeOffsetIsReadFromTheHostIni) {
    ASSERT_TRUE(WritePrivateProfileStringA("tolvan", "timeoffs", "-125", ini.c_str()));
    PluginLibrary dll;
    ASSERT_TRUE(dll.loaded());
    AEffect* e = dll.create(master);
    ASSERT_NE(e, nullptr);
    // The offset is not visible through the record; a TIME OFFS drag writes it back, which
    // the editor tests check. Here the read itself must not disturb the file.
    EXPECT_EQ(GetPrivateProfileIntA("tolvan", "timeoffs", 0, ini.c_str()), -125);
    close(e);
}

TEST_F(Spine, AudioEntriesClearOrLeaveTheOutputs) {
    PluginLibrary dll;
    ASSERT_TRUE(dll.loaded());
    AEffect* e = dll.create(master);
    ASSERT_NE(e, nullptr);
    std::vector<float> left(256, 0.25f), right(256, 0.5f);
    float* outs[2] = {left.data(), right.data()};
    e->process(e, nullptr, outs, 256);
    for (int i = 0; i < 256; ++i) ASSERT_TRUE(left[i] == 0.25f && right[i] == 0.5f);
    e->processReplacing(e, nullptr, outs, 200);
    for (int i = 0; i < 200; ++i) ASSERT_TRUE(left[i] == 0.0f && right[i] == 0.0f);
    EXPECT_EQ(left[200], 0.25f);
    EXPECT_EQ(e->getParameter(e, 0), 0.0f);
    EXPECT_EQ(e->getParameter(e, 5), 0.0f);
    close(e);
}

TEST_F(Spine, InstancesComeAndGoIndependently) {
    PluginLibrary dll;
    ASSERT_TRUE(dll.loaded());
    AEffect* a = dll.create(master);
    AEffect* b = dll.create(master);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    close(a);
    char name[64] = {};
    b->dispatcher(b, effGetEffectName, 0, 0, name, 0.0f);
    EXPECT_STREQ(name, "Tiver Preview");
    close(b);
    AEffect* c = dll.create(master);
    ASSERT_NE(c, nullptr);
    close(c);
}

}  // namespace
