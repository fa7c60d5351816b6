#include "ImagePreset.h"

#include "../res/resource.h"

namespace {
const wchar_t kIcoPngExtensions[] = L"ico png";
const wchar_t kIcoExtension[] = L"ico";
const wchar_t kPngExtension[] = L"png";
const wchar_t kPngSuffix[] = L".png";
const size_t kPngSuffixLength = 4;
} // namespace

const PresetFormat g_pngIcoFormats[] = {
    {L"ICO Image", L""},
    {nullptr, nullptr},
};

const ToolButtonDef g_toolButtons[] = {
    {IDC_ADD, IDR_PNG_ADD, L"Add"},
    {IDC_REMOVE, IDR_PNG_REMOVE, L"Remove"},
    {IDC_CLEAR, IDR_PNG_CLEAR, L"Clear"},
    {IDC_CONVERT, IDR_PNG_CONVERT, L"Convert"},
    {0, 0, nullptr},
};

std::wstring ImagePreset::getFormatOption(int i) const {
    if (!formats || i < 0)
        return std::wstring();
    for (int row = 0; formats[row].name; ++row) {
        if (row == i)
            return formats[row].option ? std::wstring(formats[row].option) : std::wstring();
    }
    return std::wstring();
}

CImageConverter_PNG_ICO::CImageConverter_PNG_ICO() {
    formats = g_pngIcoFormats;
}

// Only a path that ends exactly in lower-case ".png" after at least one more character is a
// PNG source here: "a.PNG" and ".png" both become PNG files.
const wchar_t* CImageConverter_PNG_ICO::getTargetExtension(const std::wstring& sourcePath) const {
    const size_t n = sourcePath.size();
    if (n == 0)
        return kIcoPngExtensions;
    if (n <= kPngSuffixLength)
        return kPngExtension;
    return sourcePath.compare(n - kPngSuffixLength, kPngSuffixLength, kPngSuffix) == 0 ? kIcoExtension
                                                                                       : kPngExtension;
}
