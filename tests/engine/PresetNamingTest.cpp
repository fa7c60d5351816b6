// The preset's extension rule and the destination naming rule, which decide what every
// conversion writes and so which existing files the user is asked about.
#include "ImagePreset.h"
#include "OutputNaming.h"

#include <gtest/gtest.h>

namespace {

struct ExtensionCase {
    const wchar_t* source;
    const wchar_t* expected;
};

TEST(Preset, TargetExtensionLooksOnlyAtLengthAndLastFourUnits) {
    const ExtensionCase cases[] = {
        {L"", L"ico png"},
        {L"C:\\img\\photo.png", L"ico"},
        {L"C:\\img\\photo.PNG", L"png"},
        {L"C:\\img\\photo.Png", L"png"},
        {L"C:\\img\\icon.ico", L"png"},
        {L"C:\\img\\readme", L"png"},
        {L".png", L"png"},  // four units: never tested further
        {L"a.png", L"ico"}, // five units: the shortest PNG source
        {L"x", L"png"},
        {L"png", L"png"},
    };
    CImageConverter_PNG_ICO preset;
    for (const ExtensionCase& c : cases)
        EXPECT_STREQ(c.expected, preset.getTargetExtension(c.source)) << "source: " << testing::PrintToString(std::wstring(c.source));
}

TEST(Preset, FormatOptionsWalkTheTableUpToItsEnd) {
    CImageConverter_PNG_ICO preset;
    ASSERT_EQ(g_pngIcoFormats, preset.formats);
    EXPECT_STREQ(L"ICO Image", preset.formats[0].name);
    EXPECT_EQ(L"", preset.getFormatOption(0));
    EXPECT_EQ(L"", preset.getFormatOption(1));
    EXPECT_EQ(L"", preset.getFormatOption(-1));

    static const PresetFormat twoRows[] = {{L"A", L"first"}, {L"B", L"second"}, {nullptr, nullptr}};
    preset.formats = twoRows;
    EXPECT_EQ(L"first", preset.getFormatOption(0));
    EXPECT_EQ(L"second", preset.getFormatOption(1));
    EXPECT_EQ(L"", preset.getFormatOption(2));
    EXPECT_EQ(L"", preset.getFormatOption(-1));

    preset.formats = nullptr;
    EXPECT_EQ(L"", preset.getFormatOption(0));
}

TEST(Preset, ToolbarTableEndsWithAZeroRow) {
    const uint32_t ids[] = {1010, 1011, 1012, 1001};
    const uint32_t pictures[] = {133, 136, 134, 135};
    const wchar_t* tips[] = {L"Add", L"Remove", L"Clear", L"Convert"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(ids[i], g_toolButtons[i].controlId);
        EXPECT_EQ(pictures[i], g_toolButtons[i].pngResourceId);
        EXPECT_STREQ(tips[i], g_toolButtons[i].tipText);
    }
    EXPECT_EQ(0u, g_toolButtons[4].controlId);
}

struct NamingCase {
    const wchar_t* folder;
    const wchar_t* source;
    const wchar_t* expected;
};

TEST(OutputNaming, DestinationTable) {
    const NamingCase cases[] = {
        {L"D:\\out", L"C:\\in\\photo.png", L"D:\\out\\photo.ico"},
        {L"D:\\out", L"C:\\in\\icon.ico", L"D:\\out\\icon.png"},
        {L"D:\\out\\", L"C:\\in\\photo.png", L"D:\\out\\\\photo.ico"},
        {L"D:\\out", L"photo.png", L"D:\\out\\photo.ico"},
        {L"D:\\out", L"C:\\in\\archive.tar.png", L"D:\\out\\archive.tar.ico"},
        {L"D:\\out", L"C:\\in\\photo.PNG", L"D:\\out\\photo.png"},
        {L"D:\\my.dir", L"C:\\in\\readme", L"D:\\my.dir\\readme.png"},
        {L"D:\\out", L"C:\\in\\notes.", L"D:\\out\\notes.png"},
        {L"D:\\out", L"C:\\in\\.hidden", L"D:\\out\\.png"},
        {L"D:\\out", L"C:/in/photo.png", L"D:\\out\\C:/in/photo.ico"},
        {L"", L"C:\\in\\photo.png", L"\\photo.ico"},
        {L"D:\\out", L"C:\\my.dir\\readme", L"D:\\out\\readme.png"},
    };
    CImageConverter_PNG_ICO preset;
    for (const NamingCase& c : cases)
        EXPECT_EQ(std::wstring(c.expected), formDestPath(preset, c.source, c.folder))
            << "folder " << testing::PrintToString(std::wstring(c.folder)) << ", source "
            << testing::PrintToString(std::wstring(c.source));
}

class KeepNamePreset : public ImagePreset {
public:
    const wchar_t* getTargetExtension(const std::wstring&) const override { return L""; }
};

TEST(OutputNaming, EmptyExtensionKeepsTheFileName) {
    KeepNamePreset preset;
    EXPECT_EQ(L"D:\\out\\photo.png", formDestPath(preset, L"C:\\in\\photo.png", L"D:\\out"));
}

} // namespace
