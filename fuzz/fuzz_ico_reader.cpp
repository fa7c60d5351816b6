// The icon reader on arbitrary bytes: directory, ranking, and decoding of every entry.
#include <cstddef>
#include <cstdint>

#include "core/IconReader.h"
#include "core/Limits.h"

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
    return 0;
}
