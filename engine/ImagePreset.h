// Conversion presets: which extension a source's destination gets, which extensions a preset
// handles, and the table of target formats with the option string each hands the library.
#pragma once

#include <cstdint>
#include <string>

struct PresetFormat {
    const wchar_t* name;   // display label; a null name ends the table
    const wchar_t* option; // conversion option handed to the library with every file
};

extern const PresetFormat g_pngIcoFormats[];

class ImagePreset {
public:
    virtual ~ImagePreset() = default;

    // The destination extension for a source path, without the dot. For an empty path: the
    // space-separated list of extensions the preset handles. Never null; the text is static.
    virtual const wchar_t* getTargetExtension(const std::wstring& sourcePath) const = 0;

    // A copy of the option of format row i; empty for a row the table does not have.
    std::wstring getFormatOption(int i) const;

    const PresetFormat* formats = nullptr;
};

class CImage_PNGICO : public ImagePreset {};

// PNG sources become icons; every other source becomes a PNG.
class CImageConverter_PNG_ICO : public CImage_PNGICO {
public:
    CImageConverter_PNG_ICO();
    const wchar_t* getTargetExtension(const std::wstring& sourcePath) const override;
};

// The owner-drawn toolbar: which picture each button shows and its tooltip. Shared by the
// image cache and the toolbar painter; ends with a row whose controlId is 0.
struct ToolButtonDef {
    uint32_t controlId;
    uint32_t pngResourceId;
    const wchar_t* tipText;
};

extern const ToolButtonDef g_toolButtons[];
