#include "Converter.h"

#include <algorithm>
#include <new>

#include "IconReader.h"
#include "IconWriter.h"
#include "Image.h"
#include "Limits.h"
#include "PngDecoder.h"
#include "PngEncoder.h"

namespace tfi {
namespace {

// The source file's bytes. When the conversion owns them it frees them as soon as they are
// decoded, so that the file and the picture made from it are not both held while the output is
// made, and hands them on without a copy when the output is the source unchanged.
class SourceBytes {
public:
    explicit SourceBytes(ByteView view) : view_(view) {}
    explicit SourceBytes(std::vector<uint8_t>& owned) : view_(owned), owned_(&owned) {}

    ByteView view() const { return view_; }

    void release() {
        view_ = ByteView();
        if (owned_)
            std::vector<uint8_t>().swap(*owned_);
    }

    Result passOn(std::vector<uint8_t>& out) {
        if (owned_)
            out.swap(*owned_);
        else
            out.assign(view_.data, view_.data + view_.size);
        release();
        return ERCI_OK;
    }

private:
    ByteView view_;
    std::vector<uint8_t>* owned_ = nullptr;
};

// A PNG whose ancillary chunks carry a wrong CRC is read without them; they are left out of its
// copy too, so that the copy is sound for every reader.
Result pngToPng(SourceBytes& source, WorkBudget& budget, std::vector<uint8_t>& out) {
    RgbaImage image;
    const Result r = decodePng(source.view(), image, budget);
    if (r != ERCI_OK)
        return r;
    if (pngChecksumsRight(source.view()))
        return source.passOn(out);
    copyChunksWithRightCrcs(source.view(), out);
    return ERCI_OK;
}

// Pixels as sRGB unless the options keep the stored levels.
Result decodePngSource(ByteView file, const ConvertOptions& options, WorkBudget& budget, RgbaImage& image,
                       ColorNote& note) {
    note = ColorNote::None;
    return options.keepStoredColor ? decodePng(file, image, budget) : decodePngToSrgb(file, image, budget, note);
}

Result pngToIcon(SourceBytes& source, const ConvertOptions& options, WorkBudget& budget, std::vector<uint8_t>& out,
                 ColorNote& note) {
    RgbaImage image;
    const Result r = decodePngSource(source.view(), options, budget, image, note);
    source.release();
    return r == ERCI_OK ? buildIcon(image, options, out) : r;
}

// A sound PNG entry is the icon author's own picture, colour information and all: handed on
// as it is, at no encoding cost. Anything else is written in its smallest lossless layout, by
// the caller: false here means the decoded picture is still to be encoded.
bool handOnSoundPngEntry(const IconEntry& entry, std::vector<uint8_t>& out) {
    if (!entry.isPng)
        return false;
    const ByteView png = storedImage(entry);
    if (!isExactPng(png))
        return false;
    out.assign(png.data, png.data + png.size);
    return true;
}

Result iconToPng(SourceBytes& source, WorkBudget& budget, std::vector<uint8_t>& out) {
    DecodedIcon icon;
    const Result r = decodeIcon(source.view(), false, budget, icon);
    // copied before the source is freed: the entry lies inside it
    const bool handedOn = r == ERCI_OK && handOnSoundPngEntry(icon.bestEntry, out);
    source.release();
    if (r != ERCI_OK || handedOn)
        return r;
    return encodeSmallestPng(icon.best, out);
}

Result entryToPng(ByteView file, size_t index, std::vector<uint8_t>& out) {
    IconDirectory directory;
    Result r = readIconDirectory(file, directory);
    if (r != ERCI_OK)
        return r;
    if (index >= directory.entries.size())
        return ERCI_ERR_INVALID_ARGUMENT;
    const IconEntry& entry = directory.entries[index];
    RgbaImage image;
    WorkBudget budget;
    r = decodeIconEntry(entry, image, budget);
    if (r != ERCI_OK || handOnSoundPngEntry(entry, out))
        return r;
    return encodeSmallestPng(image, out);
}

Result iconToIcon(SourceBytes& source, const ConvertOptions& options, WorkBudget& budget, std::vector<uint8_t>& out) {
    DecodedIcon icon;
    const Result r = decodeIcon(source.view(), true, budget, icon);
    if (r == ERCI_OK && icon.everyEntrySound)
        return source.passOn(out);
    source.release();
    return r == ERCI_OK ? buildIcon(icon.best, options, out) : r;
}

Result dispatch(SourceBytes& source, OutputFormat format, const ConvertOptions& options, std::vector<uint8_t>& out,
                ColorNote& note) {
    WorkBudget budget;
    switch (detectSourceFormat(source.view())) {
    case SourceFormat::Png:
        return format == OutputFormat::Icon ? pngToIcon(source, options, budget, out, note)
                                            : pngToPng(source, budget, out);
    case SourceFormat::Icon:
        return format == OutputFormat::Icon ? iconToIcon(source, options, budget, out) : iconToPng(source, budget, out);
    case SourceFormat::Unknown: break;
    }
    return ERCI_ERR_UNSUPPORTED_SOURCE;
}

// Runs `convert`, which fills `out`; on failure `out` is left empty.
template <class Conversion>
Result outputChecked(std::vector<uint8_t>& out, Conversion convert) {
    out.clear();
    Result r = ERCI_ERR_OUT_OF_MEMORY;
    try {
        r = convert();
    } catch (const std::bad_alloc&) {
        r = ERCI_ERR_OUT_OF_MEMORY;
    }
    if (r != ERCI_OK)
        std::vector<uint8_t>().swap(out);
    return r;
}

Result convertChecked(SourceBytes source, OutputFormat format, const ConvertOptions& options, std::vector<uint8_t>& out,
                      ColorNote* note) {
    ColorNote found = ColorNote::None;
    const Result r = outputChecked(out, [&] { return dispatch(source, format, options, out, found); });
    if (note)
        *note = found;
    return r;
}

} // namespace

SourceFormat detectSourceFormat(ByteView source) {
    if (hasPngSignature(source))
        return SourceFormat::Png;
    if (hasIconHeader(source))
        return SourceFormat::Icon;
    return SourceFormat::Unknown;
}

Result decodeIconPicture(ByteView file, const ConvertOptions& options, RgbaImage& picture, WorkBudget& budget,
                         ColorNote& note) {
    note = ColorNote::None;
    if (!hasPngSignature(file))
        return ERCI_ERR_UNSUPPORTED_SOURCE;
    PngHeader header;
    Result r = readPngHeader(file, header);
    if (r == ERCI_OK && std::max(header.width, header.height) > kMaxIconEntrySide)
        r = ERCI_ERR_TOO_LARGE;
    if (r != ERCI_OK)
        return r;
    try {
        return decodePngSource(file, options, budget, picture, note);
    } catch (const std::bad_alloc&) {
        return ERCI_ERR_OUT_OF_MEMORY;
    }
}

Result convertIconEntryToPng(ByteView file, size_t index, std::vector<uint8_t>& out) {
    return outputChecked(out, [&] { return entryToPng(file, index, out); });
}

Result convertImage(ByteView source, OutputFormat format, const ConvertOptions& options, std::vector<uint8_t>& out,
                    ColorNote* note) {
    return convertChecked(SourceBytes(source), format, options, out, note);
}

Result convertImage(std::vector<uint8_t>&& source, OutputFormat format, const ConvertOptions& options,
                    std::vector<uint8_t>& out, ColorNote* note) {
    return convertChecked(SourceBytes(source), format, options, out, note);
}

} // namespace tfi
