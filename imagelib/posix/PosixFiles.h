// Whole-file reading and all-or-nothing replacement on POSIX systems.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/Result.h"

namespace tfi {

struct PosixFiles {
    using Path = std::string;
    static Result readWholeFile(const Path& path, std::vector<uint8_t>& out);
    // Writes a temporary file in the destination's folder and renames it over the destination.
    static Result replaceFile(const Path& destination, const std::vector<uint8_t>& data);
};

// The library's file conversion: see gf_convertImage_OneFile, with UTF-8 paths.
Result convertFile(const std::string& source, const std::string& destination, const std::string& option);

} // namespace tfi
