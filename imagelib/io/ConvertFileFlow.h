// The file-level sequence shared by the Windows and POSIX layers: check the arguments, read
// the whole source (it may be the destination itself), convert in memory, and only then
// replace the destination through a temporary file beside it. A PNG source too large to hold
// is read in pieces instead, and to PNG copied in pieces. `Files` supplies the platform's Path
// type, its Source (a SourceFile that opens a path) and replaceFileFrom; FileLayer adds
// readWholeFile and replaceFile.
#pragma once

#include <cstdint>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "core/ConvertOptions.h"
#include "core/Converter.h"
#include "core/LargePng.h"
#include "core/Result.h"
#include "FileLayer.h"
#include "NewContent.h"

namespace tfi {

// ".ico" or ".png" at the end of the path, any letter case.
template <class String>
bool outputFormatForPath(const String& path, OutputFormat& format) {
    constexpr size_t kExtensionLength = 4;
    if (path.size() < kExtensionLength)
        return false;
    char extension[kExtensionLength + 1] = {};
    for (size_t i = 0; i < kExtensionLength; ++i) {
        const auto c = static_cast<uint32_t>(path[path.size() - kExtensionLength + i]);
        if (c > 0x7F)
            return false;
        extension[i] = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    const std::string text(extension);
    if (text == ".ico")
        format = OutputFormat::Icon;
    else if (text == ".png")
        format = OutputFormat::Png;
    else
        return false;
    return true;
}

template <class Files>
Result newBytesChecked(const typename Files::Path& source, const typename Files::Path& destination,
                       const std::string& optionText, std::vector<uint8_t>& output, NewContent& content,
                       ColorNote& color) {
    content = NewContent::Bytes;
    color = ColorNote::None;
    if (source.empty() || destination.empty())
        return ERCI_ERR_INVALID_ARGUMENT;
    OutputFormat format = OutputFormat::Icon;
    if (!outputFormatForPath(destination, format))
        return ERCI_ERR_BAD_DESTINATION;
    ConvertOptions options;
    Result r = parseConvertOptions(optionText, options);
    if (r != ERCI_OK)
        return r;

    typename Files::Source file;
    r = file.open(source);
    if (r != ERCI_OK)
        return r;
    if (isLargePngSource(file)) {
        if (format == OutputFormat::Icon)
            return largePngToIcon(file, options, output, color);
        content = NewContent::LargePng;
        return checkLargePng(file);
    }
    std::vector<uint8_t> input;
    r = readWholeSource(file, input);
    file.close();
    if (r != ERCI_OK)
        return r;
    return convertImage(std::move(input), format, options, output, &color);
}

template <class Step>
Result unlessOutOfMemory(Step step) {
    try {
        return step();
    } catch (const std::bad_alloc&) {
        return ERCI_ERR_OUT_OF_MEMORY;
    }
}

// The first half of a conversion, which needs the processor: the destination's new bytes,
// built in memory from the source, or for a large PNG to PNG, the source checked. Nothing on
// disk changes. `color` says why a colour space the source declares was not applied.
template <class Files>
Result convertToBytesWith(const typename Files::Path& source, const typename Files::Path& destination,
                          const std::string& optionText, std::vector<uint8_t>& output, NewContent& content,
                          ColorNote& color) {
    return unlessOutOfMemory(
        [&] { return newBytesChecked<Files>(source, destination, optionText, output, content, color); });
}

// The second half, which waits for the disk: those bytes in the destination's place.
template <class Files>
Result replaceFileWith(const typename Files::Path& destination, const std::vector<uint8_t>& bytes) {
    return unlessOutOfMemory([&] { return Files::replaceFile(destination, bytes); });
}

// The second half for NewContent::LargePng. The source is closed before the destination is
// replaced: it may be the destination itself.
template <class Files>
Result copyLargePngWith(const typename Files::Path& source, const typename Files::Path& destination) {
    return unlessOutOfMemory([&] {
        typename Files::Source file;
        const Result r = file.open(source);
        if (r != ERCI_OK)
            return r;
        return Files::replaceFileFrom(destination, [&](ByteSink& sink) {
            const Result copied = copyLargePng(file, sink);
            file.close();
            return copied;
        });
    });
}

template <class Files>
Result replaceWith(const typename Files::Path& source, const typename Files::Path& destination,
                   const std::vector<uint8_t>& bytes, NewContent content) {
    return content == NewContent::LargePng ? copyLargePngWith<Files>(source, destination)
                                           : replaceFileWith<Files>(destination, bytes);
}

template <class Files>
Result convertFileWith(const typename Files::Path& source, const typename Files::Path& destination,
                       const std::string& optionText) {
    std::vector<uint8_t> output;
    NewContent content = NewContent::Bytes;
    ColorNote color = ColorNote::None;
    const Result r = convertToBytesWith<Files>(source, destination, optionText, output, content, color);
    return r == ERCI_OK ? replaceWith<Files>(source, destination, output, content) : r;
}

} // namespace tfi
