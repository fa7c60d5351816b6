// The bitmap form of an icon entry: a BITMAPINFOHEADER whose height counts the colour rows
// and the 1-bit AND mask below them together, an optional palette or bit masks, the colour
// rows bottom-up, then the mask rows. Rows of both are padded to 32 bits.
#pragma once

#include <cstdint>
#include <vector>

#include "Bytes.h"
#include "Image.h"
#include "Result.h"
#include "WorkBudget.h"

namespace tfi {

struct DibInfo {
    uint32_t width = 0;
    uint32_t height = 0; // of the picture, half the header's height
    uint16_t bitCount = 0;
    uint32_t compression = 0;
    uint32_t headerSize = 0;
    // Colour table entries before the pixels: the palette of indexed depths; at the direct
    // depths a list of colours for displays with few, which is skipped.
    uint32_t colorTableEntries = 0;
    bool topDown = false;
    // Header, colour table, colour rows and mask: what the header says the entry holds.
    uint64_t storedSize = 0;
};

// Reads and checks the header (and BI_BITFIELDS masks) only: enough to rank entries by their
// real size and depth. `entry` may run on past the entry (to the end of the file): the header
// says where it ends. The colour rows must be there; the mask may be missing.
Result readDibInfo(ByteView entry, DibInfo& info);

// Paid from `budget` before the image is allocated; ERCI_ERR_TOO_LARGE when it cannot be.
Result decodeDibEntry(ByteView entry, RgbaImage& image, WorkBudget& budget);
Result decodeDibEntry(ByteView entry, RgbaImage& image);

// Appends the 32-bit entry for `image`: BGRA rows with alpha, and a mask whose bit is set
// where alpha is 0, for readers that ignore alpha.
void appendDibEntry(const RgbaImage& image, std::vector<uint8_t>& out);

} // namespace tfi
