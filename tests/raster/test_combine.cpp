// The combiners, the HSV conversion and the weight of an alpha on the values where their
// formulas are easiest to get wrong (signs, truncation, the alpha channel, clamping).
#include <gtest/gtest.h>

#include <cmath>

#include "raster/tess.h"

namespace {

TESS_pixel px(int r, int g, int b, int a) { return TESS_PackPixel(r, g, b, a); }

TEST(Combine, ConstantWeightFormulas) {
    TESS_pixel p = 0;
    TESS_CombineCopy(&p, 0x20, 0x40, 0x60, 0xFF, 128);
    EXPECT_EQ(p, px(0x10, 0x20, 0x30, 0x7F));
    p = px(100, 100, 100, 100);
    TESS_CombineAdd(&p, 200, 0, 0, 0, 256);
    TESS_CombineAdd(&p, 0, 50, 0, 0, -256);  // a negative weight subtracts
    TESS_CombineAdd(&p, 0, 0, 1, 0, -128);   // -1 * 128 / 256 truncates toward zero
    EXPECT_EQ(p, px(255, 50, 100, 100));
    p = px(0, 1, 200, 0);
    TESS_CombineDodge(&p, 255, 255, 255, 0, 256);  // divisor 1: 0 stays, anything else saturates
    EXPECT_EQ(p, px(0, 255, 255, 0));
    p = px(200, 200, 7, 9);
    TESS_CombineMultiply(&p, 128, 0, 255, 0, 256);
    EXPECT_EQ(p, px(100, 0, 6, 0));
    p = px(10, 99, 250, 77);
    TESS_CombineSoftLight(&p, 128, 128, 128, 128, 256);  // S = 128 is neutral
    EXPECT_EQ(p, px(10, 99, 250, 77));
}

TEST(Combine, SourceAlphaFlavours) {
    TESS_pixel p = px(1, 2, 3, 4);
    TESS_CombineAddAlpha(&p, 255, 255, 255, 0, 256);
    TESS_CombineCopyAlpha(&p, 255, 255, 255, 0, 256);
    TESS_CombineMultiplyAlpha(&p, 0, 0, 0, 0, 256);
    EXPECT_EQ(p, px(1, 2, 3, 4));  // sa = 0 skips
    p = px(200, 200, 200, 200);
    TESS_CombineSoftLight(&p, 255, 255, 255, 0, TESS_SourceAlphaWeight(256, 0));  // no skip: e' = 1
    EXPECT_EQ(p, px(200, 200, 200, 199));
    p = px(50, 50, 50, 0);
    TESS_CombineCopyAlphaFull(&p, 0, 0, 0, 127);  // w = 128: alpha becomes w * w / 256
    EXPECT_EQ(p, px(25, 25, 25, 64));
    TESS_CombineCopyAlphaFull(&p, 9, 8, 7, 255);
    EXPECT_EQ(p, px(9, 8, 7, 255));
    EXPECT_EQ(TESS_SourceAlphaWeight(-256, 127), -128);
}

TEST(Combine, HsvConversionAndAdjust) {
    const int recip[][2] = {{0, 0}, {1, 65535}, {2, 32767}, {3, 21844}, {255, 256}};
    for (auto r : recip) EXPECT_EQ(TESS_HUE_RECIPROCALS[r[0]], r[1]);
    EXPECT_EQ(TESS_HsvToPixel(0, 255, 255, 255), 0xFFFF0000u);
    EXPECT_EQ(TESS_HsvToPixel(128, 255, 255, 0x1FF), 0xFF00FF00u);  // alpha keeps its low byte
    // A grey has hue 256 and saturation 0; neutral adjustment rebuilds it and takes the source alpha.
    TESS_pixel p = px(90, 90, 90, 3);
    TESS_CombineHsvAdjust(&p, 128, 128, 128, 200, 256);
    EXPECT_EQ(p, px(90, 90, 90, 200));
    // Red shifted by +190 of the 384 turn.
    p = px(255, 0, 0, 255);
    TESS_CombineHsvAdjust(&p, 255, 128, 128, 255, 256);
    EXPECT_EQ(p, TESS_HsvToPixel(190, 255, 255, 255));
}

TEST(Combine, WeightOfAnAlpha) {
    EXPECT_EQ(TESS_AlphaWeight(0.6f), 153);
    EXPECT_EQ(TESS_AlphaWeight(-0.999f), -255);  // truncation toward zero
    EXPECT_EQ(TESS_AlphaWeight(1e30f), INT32_MAX);
    EXPECT_EQ(TESS_AlphaWeight(-1e30f), INT32_MIN);
    EXPECT_EQ(TESS_AlphaWeight(std::nanf("")), 0);
}

}  // namespace
