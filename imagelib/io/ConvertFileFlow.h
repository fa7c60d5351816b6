// The file-level sequence shared by the Windows and POSIX layers: check the arguments, read
// the whole source (it may be the destination itself), convert in memory, and only then
// replace the destination through a temporary file beside it. `Files` supplies the platform's
// Path type, readWholeFile and replaceFile.
#pragma once

#include <cstdint>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "core/ConvertOptions.h"
#include "core/Converter.h"
#include "core/Result.h"

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
                       const std::string& optionText, std::vector<uint8_t>& output) {
    if (source.empty() || destination.empty())
        return ERCI_ERR_INVALID_ARGUMENT;
    OutputFormat format = OutputFormat::Icon;
    if (!outputFormatForPath(destination, format))
        return ERCI_ERR_BAD_DESTINATION;
    ConvertOptions options;
    Result r = parseConvertOptions(optionText, options);
    if (r != ERCI_OK)
        return r;

    std::vector<uint8_t> input;
    r = Files::readWholeFile(source, input);
    if (r != ERCI_OK)
        return r;
    return convertImage(std::move(input), format, options, output);
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
// built in memory from the source. Nothing on disk changes.
template <class Files>
Result convertToBytesWith(const typename Files::Path& source, const typename Files::Path& destination,
                          const std::string& optionText, std::vector<uint8_t>& output) {
    return unlessOutOfMemory([&] { return newBytesChecked<Files>(source, destination, optionText, output); });
}

// The second half, which waits for the disk: those bytes in the destination's place.
template <class Files>
Result replaceFileWith(const typename Files::Path& destination, const std::vector<uint8_t>& bytes) {
    return unlessOutOfMemory([&] { return Files::replaceFile(destination, bytes); });
}

template <class Files>
Result convertFileWith(const typename Files::Path& source, const typename Files::Path& destination,
                       const std::string& optionText) {
    std::vector<uint8_t> output;
    const Result r = convertToBytesWith<Files>(source, destination, optionText, output);
    return r == ERCI_OK ? replaceFileWith<Files>(destination, output) : r;
}

} // namespace tfi
