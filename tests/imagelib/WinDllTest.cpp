// The exported function through the real TarnelFreeImage.dll, and the system's icon loader
// reading what it writes.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "TarnelFreeImage.h"
#include "IconsWindowsReads.h"
#include "TestFiles.h"
#include "TestImages.h"
#include "core/IconReader.h"

using testimg::Bytes;

namespace {

std::wstring wide(const std::string& s) {
    std::wstring w(MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, nullptr, 0), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, &w[0], int(w.size()));
    w.pop_back();
    return w;
}
std::string utf8(const std::wstring& w) {
    std::string s(WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, &s[0], int(s.size()), nullptr, nullptr);
    s.pop_back();
    return s;
}

_tag_ERCI_RESULT convert(const std::string& source, const std::string& destination, const wchar_t* option = L"") {
    return gf_convertImage_OneFile(wide(source).c_str(), wide(destination).c_str(), option);
}

TEST(Dll, NullAndEmptyArgumentsAreRefused) {
    EXPECT_EQ(gf_convertImage_OneFile(nullptr, L"a.ico", L""), ERCI_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(gf_convertImage_OneFile(L"a.png", nullptr, L""), ERCI_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(gf_convertImage_OneFile(L"", L"a.ico", L""), ERCI_ERR_INVALID_ARGUMENT);
    for (int r = ERCI_OK; r <= ERCI_ERR_OUT_OF_MEMORY; ++r)
        EXPECT_GT(std::strlen(gf_resultMessage(_tag_ERCI_RESULT(r))), 0u);
}

TEST(Dll, WidePathsOutsideTheAnsiCodePageAndBasicPlane) {
    // Cyrillic, CJK, and U+1F600 (a surrogate pair in UTF-16) in both folder and file names.
    const std::wstring names[] = {L"\u041f\u0440\u0438\u0432\u0435\u0442", L"\u56fe\u6807", L"smile\U0001F600"};
    testfiles::ScratchFolder root;
    for (const std::wstring& name : names) {
        SCOPED_TRACE(utf8(name));
        const std::wstring folder = wide(root.path()) + L"\\" + name;
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
        const std::string source = utf8(folder + L"\\" + name + L".png");
        const std::string icon = utf8(folder + L"\\" + name + L".ICO");
        testfiles::writeFile(source, testimg::encodePng(testimg::pattern(40, 40, 1)));
        EXPECT_EQ(convert(source, icon, nullptr), ERCI_OK); // a null option is the default
        const Bytes written = testfiles::readFile(icon);
        tfi::IconDirectory dir;
        EXPECT_EQ(tfi::readIconDirectory(tfi::ByteView(written), dir), ERCI_OK);
        EXPECT_EQ(convert(icon, utf8(folder + L"\\back.png")), ERCI_OK);
        DeleteFileW(wide(source).c_str());
        DeleteFileW(wide(icon).c_str());
        DeleteFileW((folder + L"\\back.png").c_str());
        RemoveDirectoryW(folder.c_str());
    }
}

TEST(Dll, SourceAndDestinationMayNameTheSameFile) {
    testfiles::ScratchFolder folder;
    const Bytes png = testimg::encodePng(testimg::pattern(24, 24, 2));
    testfiles::writeFile(folder.file("a.PNG"), png);
    EXPECT_EQ(convert(folder.file("a.PNG"), folder.file("a.png")), ERCI_OK);
    EXPECT_EQ(folder.names().size(), 1u);
    EXPECT_EQ(testfiles::readFile(folder.file("a.png")), png);
}

// A file beyond the whole-file cap is read in pieces, so that a 32-bit process never holds it:
// a small picture carrying 65 MiB of text, to an icon, and copied over itself.
TEST(Dll, SourceFilesBeyondTheWholeFileCapConvert) {
    testfiles::ScratchFolder folder;
    const Bytes png = testimg::withChunk(testimg::encodePng(testimg::pattern(64, 64, 4)), "tEXt",
                                         Bytes(65u << 20, 'a'), true);
    testfiles::writeFile(folder.file("large.PNG"), png);
    ASSERT_EQ(convert(folder.file("large.PNG"), folder.file("large.ico")), ERCI_OK);
    EXPECT_EQ(testimg::readDirectory(testfiles::readFile(folder.file("large.ico"))).size(), 10u);
    ASSERT_EQ(convert(folder.file("large.PNG"), folder.file("large.png")), ERCI_OK);
    EXPECT_EQ(testfiles::readFile(folder.file("large.png")), png);
    EXPECT_EQ(folder.names().size(), 2u);
}

TEST(Dll, FailureLeavesTheExistingDestinationAndNoTemporaryFile) {
    testfiles::ScratchFolder folder;
    const Bytes existing = testimg::encodePng(testimg::pattern(8, 8, 3));
    testfiles::writeFile(folder.file("bad.png"), {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'});
    testfiles::writeFile(folder.file("bad.ico"), existing);
    EXPECT_EQ(convert(folder.file("bad.png"), folder.file("bad.ico")), ERCI_ERR_UNSUPPORTED_SOURCE);
    EXPECT_EQ(convert(folder.file("bad.png"), folder.file("bad.ico"), L"sizes=0"), ERCI_ERR_BAD_OPTION);
    EXPECT_EQ(convert(folder.file("bad.png"), folder.file("bad.bmp")), ERCI_ERR_BAD_DESTINATION);
    EXPECT_EQ(testfiles::readFile(folder.file("bad.ico")), existing);
    EXPECT_EQ(folder.names().size(), 2u);
}

// The temporary file's name is longer than the destination's; it must not cut the longest
// destination short. Longer plain paths stay refused: callers cannot see what stands there.
TEST(Dll, DestinationsUpToTheLongestPlainPathConvert) {
    testfiles::ScratchFolder folder;
    const std::wstring root = wide(folder.path());
    const size_t longestFolder = MAX_PATH - 13; // CreateDirectoryW keeps room for an 8.3 name
    const std::wstring deep = root + L"\\" + std::wstring(longestFolder - root.size() - 1, L'd');
    ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
    const std::wstring source = root + L"\\s.png";
    testfiles::writeFile(utf8(source), testimg::encodePng(testimg::pattern(16, 16, 5)));
    const auto destinationOf = [&](size_t length) {
        return deep + L"\\" + std::wstring(length - deep.size() - 1 - 4, L'n') + L".ico";
    };
    const std::wstring longest = destinationOf(MAX_PATH - 1);
    EXPECT_EQ(gf_convertImage_OneFile(source.c_str(), longest.c_str(), L""), ERCI_OK);
    EXPECT_EQ(GetFileAttributesW(longest.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_EQ(gf_convertImage_OneFile(source.c_str(), destinationOf(MAX_PATH).c_str(), L""),
              ERCI_ERR_WRITE_DESTINATION);
    DeleteFileW(longest.c_str());
    RemoveDirectoryW(deep.c_str());
}

BITMAPINFO topDown32Bit(int width, int height) {
    BITMAPINFO bmi = {};
    bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bmi.bmiHeader.biWidth = width;
    bmi.bmiHeader.biHeight = -height;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;
    return bmi;
}

// The colour bitmap of a loaded icon as top-down RGBA.
tfi::RgbaImage iconPixels(HICON icon, int side) {
    tfi::RgbaImage image;
    ICONINFO info = {};
    if (!GetIconInfo(icon, &info))
        return image;
    tfi::allocateImage(image, side, side);
    BITMAPINFO bmi = topDown32Bit(side, side);
    HDC dc = CreateCompatibleDC(nullptr);
    const int rows = GetDIBits(dc, info.hbmColor, 0, side, image.pixels.data(), &bmi, DIB_RGB_COLORS);
    DeleteDC(dc);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    if (rows != side)
        image.pixels.clear();
    for (size_t i = 0; i < image.pixels.size(); i += 4)
        std::swap(image.pixels[i], image.pixels[i + 2]);
    return image;
}

// Largest channel difference over pixels that are visible in both; alpha compared everywhere.
int worstDifference(const tfi::RgbaImage& a, const tfi::RgbaImage& b) {
    int worst = 0;
    for (size_t i = 0; i < a.pixels.size(); i += 4)
        for (int c = 0; c < 4; ++c)
            if (c == 3 || a.pixels[i + 3] == 255)
                worst = std::max(worst, std::abs(int(a.pixels[i + c]) - int(b.pixels[i + c])));
    return worst;
}

TEST(Dll, TheSystemIconLoaderReadsOurIcons) {
    testfiles::ScratchFolder folder;
    const uint8_t teal[3] = {0, 140, 160};
    testfiles::writeFile(folder.file("disc.png"), testimg::encodePng(testimg::disc(300, teal)));
    ASSERT_EQ(convert(folder.file("disc.png"), folder.file("disc.ico")), ERCI_OK);
    const Bytes file = testfiles::readFile(folder.file("disc.ico"));
    tfi::IconDirectory dir;
    ASSERT_EQ(tfi::readIconDirectory(tfi::ByteView(file), dir), ERCI_OK);

    // Every size of the default icon: bitmaps with crisp outlines up to 48, PNG entries above.
    for (int side : {16, 20, 24, 30, 32, 36, 40, 48, 60, 64, 72, 80, 96, 256}) {
        SCOPED_TRACE(side);
        const tfi::IconEntry* entry = nullptr;
        for (const tfi::IconEntry& e : dir.entries)
            if (int(e.width) == side)
                entry = &e;
        ASSERT_NE(entry, nullptr);
        tfi::RgbaImage ours;
        ASSERT_EQ(tfi::decodeIconEntry(*entry, ours), ERCI_OK);

        HICON fromFile = static_cast<HICON>(
            LoadImageW(nullptr, wide(folder.file("disc.ico")).c_str(), IMAGE_ICON, side, side, LR_LOADFROMFILE));
        ASSERT_NE(fromFile, nullptr);
        const tfi::RgbaImage loaded = iconPixels(fromFile, side);
        DestroyIcon(fromFile);
        ASSERT_EQ(loaded.pixels.size(), ours.pixels.size());
        EXPECT_LE(worstDifference(ours, loaded), 1);

        HICON fromEntry = CreateIconFromResourceEx(const_cast<PBYTE>(entry->data.data), DWORD(entry->data.size),
                                                   TRUE, 0x00030000, side, side, LR_DEFAULTCOLOR);
        ASSERT_NE(fromEntry, nullptr);
        const tfi::RgbaImage created = iconPixels(fromEntry, side);
        DestroyIcon(fromEntry);
        ASSERT_EQ(created.pixels.size(), ours.pixels.size());
        EXPECT_LE(worstDifference(ours, created), 1);
    }
}

// A 32-bit top-down DIB section of width x height filled with `grey`, and the icon drawn on it.
std::vector<uint8_t> drawnOn(HICON icon, int width, int height, uint8_t grey) {
    const BITMAPINFO bmi = topDown32Bit(width, height);
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP canvas = CreateDIBSection(dc, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
    std::vector<uint8_t> pixels;
    if (canvas) {
        HGDIOBJ old = SelectObject(dc, canvas);
        std::memset(bits, grey, size_t(width) * height * 4);
        DrawIconEx(dc, 0, 0, icon, width, height, 0, nullptr, DI_NORMAL);
        GdiFlush();
        pixels.assign(static_cast<uint8_t*>(bits), static_cast<uint8_t*>(bits) + size_t(width) * height * 4);
        SelectObject(dc, old);
        DeleteObject(canvas);
    }
    DeleteDC(dc);
    return pixels;
}

// The picture as the user sees it: drawn on black and on white, alpha is what shows through
// and colour what covers black. Fully transparent pixels come out black.
tfi::RgbaImage shownPixels(HICON icon, int width, int height) {
    const std::vector<uint8_t> black = drawnOn(icon, width, height, 0), white = drawnOn(icon, width, height, 255);
    tfi::RgbaImage image;
    if (black.empty() || white.empty())
        return image;
    tfi::allocateImage(image, width, height);
    for (size_t i = 0; i < image.pixels.size(); i += 4) {
        const int alpha = 255 - (int(white[i + 1]) - int(black[i + 1]));
        for (int c = 0; c < 3; ++c) // BGR on the canvas
            image.pixels[i + c] = alpha ? uint8_t(std::min(255, black[i + 2 - c] * 255 / alpha)) : 0;
        image.pixels[i + 3] = uint8_t(alpha);
    }
    return image;
}

// The damaged icons Windows reads: its loader draws the very picture the conversion gives.
TEST(Dll, TheSystemIconLoaderShowsWhatWeConvertDamagedIconsTo) {
    testfiles::ScratchFolder folder;
    for (const testimg::IconWindowsReads& icon : testimg::iconsWindowsReads()) {
        SCOPED_TRACE(icon.name);
        const std::string path = folder.file(icon.name + ".ico");
        testfiles::writeFile(path, icon.file);
        const int width = int(icon.shown.width), height = int(icon.shown.height);
        HICON loaded =
            static_cast<HICON>(LoadImageW(nullptr, wide(path).c_str(), IMAGE_ICON, width, height, LR_LOADFROMFILE));
        ASSERT_NE(loaded, nullptr);
        const tfi::RgbaImage shown = shownPixels(loaded, width, height);
        DestroyIcon(loaded);
        ASSERT_EQ(shown.pixels.size(), icon.shown.pixels.size());
        EXPECT_LE(worstDifference(icon.shown, shown), 2);
    }
}

} // namespace
