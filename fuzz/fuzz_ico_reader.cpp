// The icon reader on arbitrary bytes: directory, ranking, decoding of every entry, and the first
// entries taken out as PNG files, each of which must read back.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/Converter.h"
#include "core/IconReader.h"
#include "core/Limits.h"
#include "core/PngDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const tfi::ByteView file(data, size);
    tfi::IconDirectory directory;
    if (tfi::readIconDirectory(file, directory) != ERCI_OK)
        return 0;
    tfi::RgbaImage image;
    for (const tfi::IconEntry& entry : tfi::rankUsableEntries(directory)) {
        if (tfi::decodeIconEntry(entry, image) == ERCI_OK &&
            image.pixels.size() != size_t(image.width) * image.height * tfi::kRgbaBytesPerPixel)
            __builtin_trap();
    }
    tfi::WorkBudget budget;
    tfi::DecodedIcon icon;
    tfi::decodeIcon(file, true, budget, icon);
    constexpr size_t kEntriesTakenOut = 4;
    for (size_t i = 0; i < directory.entries.size() && i < kEntriesTakenOut; ++i) {
        std::vector<uint8_t> png;
        if (tfi::convertIconEntryToPng(file, i, png) == ERCI_OK && tfi::decodePng(tfi::ByteView(png), image) != ERCI_OK)
            __builtin_trap();
    }
    return 0;
}
