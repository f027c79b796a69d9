// PNG file names on Windows: UTF-8 names open through their UTF-16 form, names that are not
// UTF-8 (ANSI code page bytes) or too long for the wide buffer through the narrow name.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "raster/tess.h"
#include "tests/wine/wine_support.h"

namespace {

const std::string SUITE_FILE = std::string(TIVER_SOURCE_DIR) +
                               "/third_party/cache/libpng-src/contrib/pngsuite/basn6a08.png";

std::vector<unsigned char> read_all(FILE* f) {
    std::vector<unsigned char> bytes;
    unsigned char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
    return bytes;
}

std::wstring widen(const std::string& utf8) {
    wchar_t buf[4096];
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, buf, 4096);
    return n > 0 ? std::wstring(buf) : std::wstring();
}

std::string utf8_of(const std::wstring& wide) {
    char buf[8192];
    int n = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, buf, sizeof buf, nullptr, nullptr);
    return n > 0 ? std::string(buf) : std::string();
}

// The picture of the original file, loaded under its plain ASCII name.
std::vector<TESS_pixel> original_picture() {
    std::vector<TESS_pixel> px;
    TESS_IBitmap* bm = TESS_LoadPNG(windows_path(SUITE_FILE).c_str(), nullptr);
    if (bm) px.assign(bm->bits(), bm->bits() + bm->width() * bm->height());
    delete bm;
    return px;
}

std::vector<TESS_pixel> picture_of(const char* name) {
    std::vector<TESS_pixel> px;
    TESS_IBitmap* bm = TESS_LoadPNG(name, nullptr);
    if (bm) px.assign(bm->bits(), bm->bits() + bm->width() * bm->height());
    delete bm;
    return px;
}

std::vector<unsigned char> suite_bytes() {
    std::vector<unsigned char> bytes;
    if (FILE* f = fopen(windows_path(SUITE_FILE).c_str(), "rb")) {
        bytes = read_all(f);
        fclose(f);
    }
    return bytes;
}

}  // namespace

TEST(PngPaths, NonAsciiUtf8NameLoadsThroughTheWideRoute) {
    std::vector<unsigned char> bytes = suite_bytes();
    ASSERT_GT(bytes.size(), 100u) << "cannot read " << windows_path(SUITE_FILE);
    std::vector<TESS_pixel> expected = original_picture();
    ASSERT_EQ(expected.size(), 32u * 32u);

    // Nordic and CJK letters: no single-byte code page holds all of them.
    std::wstring dir = widen(build_path("png-paths"));
    CreateDirectoryW(dir.c_str(), nullptr);
    std::wstring wide = dir + L"\\bild-\u00e5\u00e4\u00f6-\u65e5\u672c.png";
    FILE* out = _wfopen(wide.c_str(), L"wb");
    ASSERT_NE(out, nullptr);
    fwrite(bytes.data(), 1, bytes.size(), out);
    fclose(out);

    std::string name = utf8_of(wide);
    TESS_FileRoute route = TESS_FILE_ROUTE_NONE;
    FILE* f = TESS_OpenImageFile(name.c_str(), &route);
    ASSERT_NE(f, nullptr);
    fclose(f);
    EXPECT_EQ(route, TESS_FILE_ROUTE_WIDE);
    EXPECT_EQ(picture_of(name.c_str()), expected);
    if (GetACP() != CP_UTF8) {  // the same bytes as an ANSI name name some other file
        FILE* narrow = fopen(name.c_str(), "rb");
        EXPECT_EQ(narrow, nullptr);
        if (narrow) fclose(narrow);
    }
    _wremove(wide.c_str());
}

TEST(PngPaths, NameThatIsNotUtf8GoesTheNarrowRoute) {
    // 0xE9 0xE8 are two letters in the Western ANSI code page but no UTF-8 sequence.
    ASSERT_NE(GetACP(), UINT(CP_UTF8));
    std::vector<unsigned char> bytes = suite_bytes();
    ASSERT_GT(bytes.size(), 100u);
    std::vector<TESS_pixel> expected = original_picture();

    CreateDirectoryA(build_path("png-paths").c_str(), nullptr);
    std::string name = build_path("png-paths") + "\\bild-\xE9\xE8.png";
    FILE* out = fopen(name.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    fwrite(bytes.data(), 1, bytes.size(), out);
    fclose(out);
    ASSERT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name.c_str(), -1, nullptr, 0), 0);

    TESS_FileRoute route = TESS_FILE_ROUTE_NONE;
    FILE* f = TESS_OpenImageFile(name.c_str(), &route);
    ASSERT_NE(f, nullptr);
    fclose(f);
    EXPECT_EQ(route, TESS_FILE_ROUTE_NARROW);
    EXPECT_EQ(picture_of(name.c_str()), expected);
    remove(name.c_str());

    // A valid UTF-8 name of more than 2047 UTF-16 units does not fit the wide buffer: the
    // narrow route opens it (".\\" segments keep the file the same).
    std::string longName = build_path("png-paths");
    for (int k = 0; k < 1100; ++k) longName += "\\.";
    longName += "\\plain.png";
    ASSERT_GT(longName.size(), 2100u);
    out = fopen((build_path("png-paths") + "\\plain.png").c_str(), "wb");
    ASSERT_NE(out, nullptr);
    fwrite(bytes.data(), 1, bytes.size(), out);
    fclose(out);
    f = TESS_OpenImageFile(longName.c_str(), &route);
    ASSERT_NE(f, nullptr);
    fclose(f);
    EXPECT_EQ(route, TESS_FILE_ROUTE_NARROW);

    // A plain ASCII name is valid UTF-8 and takes the wide route.
    EXPECT_EQ(TESS_OpenImageFile("Z:\\no\\such\\file.png", &route), nullptr);
    EXPECT_EQ(route, TESS_FILE_ROUTE_NONE);
    f = TESS_OpenImageFile(windows_path(SUITE_FILE).c_str(), &route);
    ASSERT_NE(f, nullptr);
    fclose(f);
    EXPECT_EQ(route, TESS_FILE_ROUTE_WIDE);
}
