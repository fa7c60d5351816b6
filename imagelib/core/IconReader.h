// Reading icon and cursor files. The directory is only a table of contents: each entry's real
// size and depth come from the image stored in it, because real files get the directory wrong.
#pragma once

#include <cstdint>
#include <vector>

#include "Bytes.h"
#include "IconFormat.h"
#include "Image.h"
#include "Result.h"
#include "WorkBudget.h"

namespace tfi {

struct IconEntry {
    size_t index = 0; // position in the directory
    // From the stored image's offset: a bitmap as far as its header says, cut at the end of the
    // file; a PNG up to the end of the file, as its chunks say where it ends (storedImage).
    ByteView data;
    bool isPng = false;
    bool maskCutOff = false; // a bitmap whose mask the end of the file cuts off: read without it
    uint32_t width = 0;      // from the stored image's own header
    uint32_t height = 0;
    uint32_t bitsPerPixel = 0;
    uint32_t directorySize = 0; // what the directory says the stored image takes
    // A cursor's directory keeps the hotspot where an icon's keeps planes and bit count.
    uint16_t hotspotX = 0;
    uint16_t hotspotY = 0;
    Result status = ERCI_OK;    // why the entry is unusable, when it is
};

struct IconDirectory {
    IconKind kind = IconKind::Icon;
    std::vector<IconEntry> entries; // every directory row, usable or not
};

// An ICO/CUR header: reserved 0, type 1 or 2. Says nothing about the rest.
bool hasIconHeader(ByteView file);

// Reads the directory and probes each entry's header, as Windows reads them: each slot that
// lies in the file and points to a readable image is an entry, whatever the directory says of
// its size; a slot that runs into another entry's image, or points nowhere, is marked with its
// status, as is an entry that lies. Only a header that is no icon, counts no entry or more
// than kMaxIconEntries fails the whole file.
Result readIconDirectory(ByteView file, IconDirectory& directory);

// Usable entries, best first: largest area, then greatest colour depth, then directory order.
// Rows that share one stored image (same offset and size) appear once, as the first of them.
std::vector<IconEntry> rankUsableEntries(const IconDirectory& directory);

// The entry's stored image alone: a PNG up to the end of its IEND chunk.
ByteView storedImage(const IconEntry& entry);

// Paid from `budget` (see decodePng, decodeDibEntry).
Result decodeIconEntry(const IconEntry& entry, RgbaImage& image, WorkBudget& budget);
Result decodeIconEntry(const IconEntry& entry, RgbaImage& image);

struct DecodedIcon {
    RgbaImage best;
    IconEntry bestEntry; // the entry `best` was decoded from; its data lies in the file
    // The file is an icon (not a cursor) whose every entry decodes, whose directory tells the
    // truth and whose PNG entries have every CRC right: safe to hand on unchanged.
    bool everyEntrySound = false;
};

// Decodes the best entry that decodes, trying only the best kMaxEntriesTried of them; the
// error of the best one when none does. With `checkEveryEntry`, every other entry is decoded
// once too, in the same pass, to tell whether the file is sound; the check stops at the first
// entry that fails or that the budget cannot pay for.
Result decodeIcon(ByteView file, bool checkEveryEntry, WorkBudget& budget, DecodedIcon& icon);

// decodeIcon's best entry, as a conversion of its own.
Result decodeBestIconEntry(ByteView file, RgbaImage& image);

} // namespace tfi
