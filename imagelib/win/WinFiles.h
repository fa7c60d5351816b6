// Whole-file reading and all-or-nothing replacement with wide (UTF-16) Windows paths.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/Result.h"

namespace tfi {

struct WinFiles {
    using Path = std::wstring;
    static Result readWholeFile(const Path& path, std::vector<uint8_t>& out);
    // Writes a temporary file in the destination's folder and moves it over the destination.
    // A read-only destination is refused and left untouched.
    static Result replaceFile(const Path& destination, const std::vector<uint8_t>& data);
};

// What gf_convertImage_OneFile does; also linked statically into the command-line converter.
Result convertFileW(const wchar_t* source, const wchar_t* destination, const wchar_t* option);
// Its first half: the destination's new bytes, with nothing on disk changed. The command-line
// converter replaces the destination itself, so that a thread waiting for the disk holds no
// processor.
Result convertToBytesW(const wchar_t* source, const wchar_t* destination, const wchar_t* option,
                       std::vector<uint8_t>& output);

} // namespace tfi
