// Reading icon and cursor files. The directory is only a table of contents: each entry's real
// size and depth come from the image stored in it, because real files get the directory wrong.
#pragma once

#include <cstdint>
#include <vector>

#include "Bytes.h"
#include "IconFormat.h"
#include "Image.h"
#include "Result.h"

namespace tfi {

struct IconEntry {
    size_t index = 0;   // position in the directory
    ByteView data;      // the stored image
    bool isPng = false;
    uint32_t width = 0; // from the stored image's own header
    uint32_t height = 0;
    uint32_t bitsPerPixel = 0;
    Result status = ERCI_OK; // why the entry is unusable, when it is
};

struct IconDirectory {
    IconKind kind = IconKind::Icon;
    std::vector<IconEntry> entries; // every directory row, usable or not
};

// An ICO/CUR header: reserved 0, type 1 or 2. Says nothing about the rest.
bool hasIconHeader(ByteView file);

// Reads the directory and probes each entry's header. A directory that does not fit in the
// file is damage; a single entry that lies is marked with its status.
Result readIconDirectory(ByteView file, IconDirectory& directory);

// Usable entries, best first: largest area, then greatest colour depth, then directory order.
std::vector<IconEntry> rankUsableEntries(const IconDirectory& directory);

Result decodeIconEntry(const IconEntry& entry, RgbaImage& image);

// Decodes the best entry that decodes; the error of the best one when none does.
Result decodeBestIconEntry(ByteView file, RgbaImage& image);

// True when the file is an icon (not a cursor) whose every entry decodes and whose entries
// do not claim more bytes than the file has: safe to hand on unchanged.
bool isSoundIcon(ByteView file);

} // namespace tfi
