// TESS_SysBitmap on a real DIB section: row order, the section kept on shrink and replaced on
// growth, 0 x h releasing it, and its drawing context used by GDI in both directions.
#include <gtest/gtest.h>

#include "platform/win32/windows_api.h"
#include "raster/tess.h"

namespace {

DIBSECTION section_of(TESS_SysBitmap& b) {
    DIBSECTION ds;
    ZeroMemory(&ds, sizeof(ds));
    GetObjectA(static_cast<HGDIOBJ>(b.sectionHandle()), sizeof(ds), &ds);
    return ds;
}

HBITMAP selected(TESS_SysBitmap& b) {
    return static_cast<HBITMAP>(GetCurrentObject(static_cast<HDC>(b.deviceContext()), OBJ_BITMAP));
}

TEST(SysBitmap, TopDownSectionSelectedIntoItsContext) {
    TESS_SysBitmap b(100, 50);
    ASSERT_NE(b.bits(), nullptr);
    ASSERT_NE(b.deviceContext(), nullptr);
    EXPECT_EQ(b.width(), 100);
    EXPECT_EQ(b.height(), 50);
    EXPECT_EQ(b.rowSpan(), 100);
    DIBSECTION ds = section_of(b);
    EXPECT_EQ(ds.dsBm.bmBits, b.bits());
    EXPECT_EQ(ds.dsBmih.biBitCount, 32);
    EXPECT_EQ(selected(b), b.sectionHandle());

    // GDI's top-left pixel is the first pixel in memory.
    TESS_Clear(&b, 0);
    SetPixelV(static_cast<HDC>(b.deviceContext()), 0, 0, RGB(255, 0, 0));
    SetPixelV(static_cast<HDC>(b.deviceContext()), 99, 49, RGB(0, 0, 255));
    GdiFlush();
    EXPECT_EQ(b.bits()[0] & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(b.bits()[49 * 100 + 99] & 0xFFFFFF, 0x0000FFu);
}

TEST(SysBitmap, ShrinkKeepsTheSectionGrowthReplacesIt) {
    TESS_SysBitmap b(100, 50);
    void* section = b.sectionHandle();
    TESS_pixel* bits = b.bits();
    EXPECT_TRUE(b.resize(80, 40));
    EXPECT_EQ(b.sectionHandle(), section);
    EXPECT_EQ(b.bits(), bits);
    EXPECT_EQ(b.width(), 80);
    EXPECT_EQ(b.height(), 40);
    EXPECT_EQ(b.rowSpan(), 100);
    // Clearing the shrunk bitmap writes only the first 80 pixels of each row.
    b.bits()[80] = 0x12345678;
    TESS_Clear(&b, 0xFFFFFFFF);
    EXPECT_EQ(b.bits()[79], 0xFFFFFFFFu);
    EXPECT_EQ(b.bits()[80], 0x12345678u);

    EXPECT_TRUE(b.resize(120, 40));
    EXPECT_NE(b.bits(), nullptr);
    EXPECT_EQ(b.rowSpan(), 120);
    DIBSECTION ds = section_of(b);
    EXPECT_EQ(ds.dsBm.bmWidth, 120);
    EXPECT_EQ(ds.dsBm.bmHeight, 40);
    EXPECT_EQ(ds.dsBm.bmBits, b.bits());
    EXPECT_EQ(selected(b), b.sectionHandle());
}

TEST(SysBitmap, ZeroSideReleasesTheSection) {
    TESS_SysBitmap b(100, 50);
    HGDIOBJ oldSection = static_cast<HGDIOBJ>(b.sectionHandle());
    EXPECT_FALSE(b.resize(0, 40));
    EXPECT_EQ(b.bits(), nullptr);
    EXPECT_EQ(b.sectionHandle(), nullptr);
    EXPECT_EQ(b.width(), 0);
    EXPECT_EQ(b.height(), 40);
    // The section is deleted, and the context holds its original bitmap again.
    EXPECT_EQ(GetObjectType(oldSection), 0u);
    EXPECT_NE(selected(b), nullptr);
    EXPECT_NE(static_cast<HGDIOBJ>(selected(b)), oldSection);
    TESS_Clear(&b, 1);  // drawing into it does nothing
    TESS_FillRect(&b, 0, 0, 10, 10, 1, 1.0f, 0);

    EXPECT_TRUE(b.resize(10, 10));
    EXPECT_NE(b.bits(), nullptr);
    EXPECT_EQ(b.rowSpan(), 10);

    // A negative side gets no section at all (it would ask for a bottom-up one).
    EXPECT_TRUE(b.resize(10, -10));
    EXPECT_EQ(b.bits(), nullptr);
    EXPECT_EQ(b.height(), 0);
}

TEST(SysBitmap, ContextWorksWithBitBlt) {
    TESS_SysBitmap a(64, 32), b(64, 32);
    TESS_Clear(&a, 0xFF000000);
    TESS_FillRect(&a, 8, 4, 16, 8, 0xFF20C040, 1.0f, 0);
    TESS_Line(&a, 0, 31, 63, 0, 0xFFFFFFFF, 1.0f, 0, false);
    TESS_Clear(&b, 0);
    ASSERT_TRUE(BitBlt(static_cast<HDC>(b.deviceContext()), 0, 0, 64, 32,
                       static_cast<HDC>(a.deviceContext()), 0, 0, SRCCOPY));
    GdiFlush();
    for (int i = 0; i < 64 * 32; ++i) ASSERT_EQ(b.bits()[i] & 0xFFFFFF, a.bits()[i] & 0xFFFFFF) << i;
    EXPECT_EQ(b.bits()[5 * 64 + 10] & 0xFFFFFF, 0x20C040u);
}

}  // namespace
