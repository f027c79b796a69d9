// TESS_MemBitmap: empty sizes, growth with slack, shrinking in place, and sizes whose byte
// count does not fit 32 bits (they must get no pixels rather than a short block).
#include <gtest/gtest.h>

#include "raster/tess.h"

namespace {

TEST(MemBitmap, EmptySizesHaveNoPixels) {
    for (auto wh : {std::pair<int, int>{0, 0}, {5, 0}, {0, 7}, {-3, 4}, {-4, -4}}) {
        TESS_MemBitmap b(wh.first, wh.second);
        EXPECT_EQ(b.bits(), nullptr);
        EXPECT_TRUE(b.width() == 0 && b.height() == 0);
    }
}

TEST(MemBitmap, ResizeGrowsWithSlackAndNeverShrinks) {
    TESS_MemBitmap b(10, 10);
    ASSERT_NE(b.bits(), nullptr);
    EXPECT_EQ(b.allocatedSize(), 400);
    TESS_pixel* before = b.bits();
    EXPECT_FALSE(b.resize(10, 10));
    EXPECT_EQ(b.bits(), before);

    EXPECT_TRUE(b.resize(20, 10));
    EXPECT_EQ(b.allocatedSize(), 1000);
    TESS_pixel* grown = b.bits();
    TESS_Clear(&b, 0x12345678);  // the whole 20 x 10 block is writable
    EXPECT_TRUE(b.resize(10, 10));
    EXPECT_EQ(b.bits(), grown);
    EXPECT_EQ(b.allocatedSize(), 1000);
    EXPECT_EQ(b.rowSpan(), 10);

    EXPECT_TRUE(b.resize(0, 7));
    EXPECT_EQ(b.bits(), nullptr);
    EXPECT_TRUE(b.width() == 0 && b.height() == 0);
    EXPECT_TRUE(b.resize(3, 3));  // and from nothing, an exact block again
    EXPECT_EQ(b.allocatedSize(), 36);
}

TEST(MemBitmap, SizesBeyondThirtyTwoBitsGetNoPixels) {
    // 40000 x 40000 x 4 wraps to a positive 2105032704 in 32 bits; 32768 x 16384 x 4 is 2^31;
    // 65536 x 16384 x 4 wraps to 0.
    for (auto wh : {std::pair<int, int>{40000, 40000}, {32768, 16384}, {65536, 16384}, {INT32_MAX, 2}}) {
        TESS_MemBitmap b(wh.first, wh.second);
        EXPECT_EQ(b.bits(), nullptr) << wh.first << "x" << wh.second;
        EXPECT_TRUE(b.width() == 0 && b.height() == 0);
        TESS_MemBitmap r(4, 4);
        EXPECT_TRUE(r.resize(wh.first, wh.second));
        EXPECT_EQ(r.bits(), nullptr);
        EXPECT_TRUE(r.width() == 0 && r.height() == 0);
    }
}

}  // namespace
