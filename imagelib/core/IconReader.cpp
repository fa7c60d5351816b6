#include "IconReader.h"

#include <algorithm>

#include "CheckedMath.h"
#include "DibEntry.h"
#include "Limits.h"
#include "PngDecoder.h"

namespace tfi {
namespace {

constexpr size_t kDirSizeField = 8;
constexpr size_t kDirOffsetField = 12;

void probeEntry(ByteView file, size_t directoryEnd, const uint8_t* row, IconEntry& entry) {
    const uint32_t bytes = readLe32(row + kDirSizeField);
    const uint32_t offset = readLe32(row + kDirOffsetField);
    if (offset < directoryEnd || bytes == 0 || !rangeFits(offset, bytes, file.size)) {
        entry.status = ERCI_ERR_CORRUPT_SOURCE;
        return;
    }
    entry.data = file.sub(offset, bytes);
    entry.isPng = hasPngSignature(entry.data);
    if (entry.isPng) {
        PngHeader header;
        entry.status = readPngHeader(entry.data, header);
        entry.width = header.width;
        entry.height = header.height;
        entry.bitsPerPixel = header.bitsPerPixel();
    } else {
        DibInfo info;
        entry.status = readDibInfo(entry.data, info);
        entry.width = info.width;
        entry.height = info.height;
        entry.bitsPerPixel = info.bitCount;
    }
    if (entry.status == ERCI_OK && (entry.width > kMaxReadableEntrySide || entry.height > kMaxReadableEntrySide))
        entry.status = ERCI_ERR_TOO_LARGE;
}

bool ranksBefore(const IconEntry& a, const IconEntry& b) {
    const uint64_t areaA = uint64_t(a.width) * a.height, areaB = uint64_t(b.width) * b.height;
    if (areaA != areaB)
        return areaA > areaB;
    if (a.bitsPerPixel != b.bitsPerPixel)
        return a.bitsPerPixel > b.bitsPerPixel;
    return a.index < b.index;
}

bool sameStoredImage(const IconEntry& a, const IconEntry& b) {
    return a.data.data == b.data.data && a.data.size == b.data.size;
}

// Every row usable and no more bytes claimed than the file has; whether the entries decode is
// for the caller to find out.
bool mayBeHandedOn(ByteView file, const IconDirectory& directory) {
    if (directory.kind != IconKind::Icon)
        return false;
    uint64_t claimed = 0;
    for (const IconEntry& entry : directory.entries) {
        claimed += entry.data.size;
        if (entry.status != ERCI_OK || claimed > file.size)
            return false;
    }
    return true;
}

} // namespace

bool hasIconHeader(ByteView file) {
    if (file.size < kIconHeaderSize || readLe16(file.data) != 0)
        return false;
    const uint16_t type = readLe16(file.data + 2);
    return type == static_cast<uint16_t>(IconKind::Icon) || type == static_cast<uint16_t>(IconKind::Cursor);
}

Result readIconDirectory(ByteView file, IconDirectory& directory) {
    if (!hasIconHeader(file))
        return ERCI_ERR_UNSUPPORTED_SOURCE;
    directory.kind = static_cast<IconKind>(readLe16(file.data + 2));
    const uint16_t count = readLe16(file.data + 4);
    if (count == 0)
        return ERCI_ERR_CORRUPT_SOURCE;
    if (count > kMaxIconEntries)
        return ERCI_ERR_TOO_LARGE;
    const size_t directoryEnd = kIconHeaderSize + size_t(count) * kIconDirEntrySize;
    if (directoryEnd > file.size)
        return ERCI_ERR_CORRUPT_SOURCE;

    directory.entries.assign(count, IconEntry());
    for (size_t i = 0; i < count; ++i) {
        directory.entries[i].index = i;
        probeEntry(file, directoryEnd, file.data + kIconHeaderSize + i * kIconDirEntrySize, directory.entries[i]);
    }
    return ERCI_OK;
}

std::vector<IconEntry> rankUsableEntries(const IconDirectory& directory) {
    std::vector<IconEntry> usable;
    for (const IconEntry& entry : directory.entries)
        if (entry.status == ERCI_OK && !std::any_of(usable.begin(), usable.end(), [&](const IconEntry& seen) {
                return sameStoredImage(seen, entry);
            }))
            usable.push_back(entry);
    std::sort(usable.begin(), usable.end(), ranksBefore);
    return usable;
}

Result decodeIconEntry(const IconEntry& entry, RgbaImage& image, WorkBudget& budget) {
    if (entry.status != ERCI_OK)
        return entry.status;
    return entry.isPng ? decodePng(entry.data, image, budget) : decodeDibEntry(entry.data, image, budget);
}

Result decodeIconEntry(const IconEntry& entry, RgbaImage& image) {
    WorkBudget budget;
    return decodeIconEntry(entry, image, budget);
}

Result decodeIcon(ByteView file, bool checkEveryEntry, WorkBudget& budget, DecodedIcon& icon) {
    IconDirectory directory;
    Result r = readIconDirectory(file, directory);
    if (r != ERCI_OK)
        return r;
    const std::vector<IconEntry> ranked = rankUsableEntries(directory);
    if (ranked.empty()) {
        // Report why the first entry failed: a huge declared size is not the same as damage.
        return directory.entries.front().status;
    }
    icon.everyEntrySound = checkEveryEntry && mayBeHandedOn(file, directory);
    Result firstError = ERCI_OK;
    bool haveBest = false;
    RgbaImage checked; // entries after the best, decoded only to be checked
    for (size_t tried = 0; tried < ranked.size(); ++tried) {
        if (haveBest ? !icon.everyEntrySound : tried >= kMaxEntriesTried)
            break;
        r = decodeIconEntry(ranked[tried], haveBest ? checked : icon.best, budget);
        if (r != ERCI_OK) {
            icon.everyEntrySound = false;
            if (firstError == ERCI_OK)
                firstError = r;
        } else if (!haveBest) {
            icon.bestEntry = ranked[tried];
        }
        haveBest = haveBest || r == ERCI_OK;
    }
    return haveBest ? ERCI_OK : firstError;
}

Result decodeBestIconEntry(ByteView file, RgbaImage& image) {
    WorkBudget budget;
    DecodedIcon icon;
    const Result r = decodeIcon(file, false, budget, icon);
    image = std::move(icon.best);
    return r;
}

} // namespace tfi
