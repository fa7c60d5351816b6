#include "Converter.h"

#include <new>

#include "IconReader.h"
#include "IconWriter.h"
#include "Image.h"
#include "PngDecoder.h"
#include "PngEncoder.h"

namespace tfi {
namespace {

Result copySource(ByteView source, std::vector<uint8_t>& out) {
    out.assign(source.data, source.data + source.size);
    return ERCI_OK;
}

Result pngToPng(ByteView source, std::vector<uint8_t>& out) {
    RgbaImage image;
    const Result r = decodePng(source, image);
    return r == ERCI_OK ? copySource(source, out) : r;
}

Result pngToIcon(ByteView source, const ConvertOptions& options, std::vector<uint8_t>& out) {
    RgbaImage image;
    const Result r = decodePng(source, image);
    return r == ERCI_OK ? buildIcon(image, options, out) : r;
}

Result iconToPng(ByteView source, std::vector<uint8_t>& out) {
    RgbaImage image;
    const Result r = decodeBestIconEntry(source, image);
    return r == ERCI_OK ? encodePng(image, out) : r;
}

Result iconToIcon(ByteView source, const ConvertOptions& options, std::vector<uint8_t>& out) {
    if (isSoundIcon(source))
        return copySource(source, out);
    RgbaImage image;
    const Result r = decodeBestIconEntry(source, image);
    return r == ERCI_OK ? buildIcon(image, options, out) : r;
}

Result dispatch(ByteView source, OutputFormat format, const ConvertOptions& options, std::vector<uint8_t>& out) {
    switch (detectSourceFormat(source)) {
    case SourceFormat::Png:
        return format == OutputFormat::Icon ? pngToIcon(source, options, out) : pngToPng(source, out);
    case SourceFormat::Icon:
        return format == OutputFormat::Icon ? iconToIcon(source, options, out) : iconToPng(source, out);
    case SourceFormat::Unknown: break;
    }
    return ERCI_ERR_UNSUPPORTED_SOURCE;
}

} // namespace

SourceFormat detectSourceFormat(ByteView source) {
    if (hasPngSignature(source))
        return SourceFormat::Png;
    if (hasIconHeader(source))
        return SourceFormat::Icon;
    return SourceFormat::Unknown;
}

Result convertImage(ByteView source, OutputFormat format, const ConvertOptions& options, std::vector<uint8_t>& out) {
    out.clear();
    Result r = ERCI_ERR_OUT_OF_MEMORY;
    try {
        r = dispatch(source, format, options, out);
    } catch (const std::bad_alloc&) {
        r = ERCI_ERR_OUT_OF_MEMORY;
    }
    if (r != ERCI_OK)
        std::vector<uint8_t>().swap(out);
    return r;
}

} // namespace tfi
