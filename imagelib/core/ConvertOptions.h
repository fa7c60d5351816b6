// The option string handed with each file. Empty means the program's default icon. Tokens are
// separated by ';', surrounding spaces ignored, names in any letter case:
//   sizes=16,32,48,256   the icon's entry sizes (1..256, each once) instead of the default set
//   png                  store every entry PNG-compressed, not only those above 48 px
//   color=keep           the PNG's stored levels as they are, not converted to sRGB from the
//                        colour space it declares (color=srgb, the default, converts)
// Anything else is refused, never skipped.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Result.h"

namespace tfi {

struct ConvertOptions {
    std::vector<uint32_t> sizes; // empty: the default set
    bool everyEntryPng = false;
    bool keepStoredColor = false;
};

Result parseConvertOptions(const std::string& text, ConvertOptions& options);

} // namespace tfi
