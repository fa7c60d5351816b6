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
Result convertFileChecked(const typename Files::Path& source, const typename Files::Path& destination,
                          const std::string& optionText) {
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
    std::vector<uint8_t> output;
    r = convertImage(std::move(input), format, options, output);
    if (r != ERCI_OK)
        return r;
    return Files::replaceFile(destination, output);
}

template <class Files>
Result convertFileWith(const typename Files::Path& source, const typename Files::Path& destination,
                       const std::string& optionText) {
    try {
        return convertFileChecked<Files>(source, destination, optionText);
    } catch (const std::bad_alloc&) {
        return ERCI_ERR_OUT_OF_MEMORY;
    }
}

} // namespace tfi
