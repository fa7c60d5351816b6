#include "IconReader.h"

#include <algorithm>

#include "CheckedMath.h"
#include "DibEntry.h"
#include "Limits.h"
#include "PngDecoder.h"

namespace tfi {
namespace {

constexpr size_t kDirHotspotXField = 4;
constexpr size_t kDirHotspotYField = 6;
constexpr size_t kDirSizeField = 8;
constexpr size_t kDirOffsetField = 12;

// The stored image at `offset`. The directory's size field is not trusted: Windows reads past
// it, and files written by some editors carry 8 or 40 there, or leave the mask out of it.
void probeStoredImage(ByteView file, uint32_t offset, IconEntry& entry) {
    const ByteView rest = file.sub(offset, file.size - offset);
    entry.isPng = hasPngSignature(rest);
    size_t extent = rest.size; // a PNG's chunks say where it ends: storedImage
    if (entry.isPng) {
        PngHeader header;
        entry.status = readPngHeader(rest, header, PngChecks::IconEntry);
        entry.width = header.width;
        entry.height = header.height;
        entry.bitsPerPixel = header.bitsPerPixel();
    } else {
        DibInfo info;
        entry.status = readDibInfo(rest, info);
        entry.width = info.width;
        entry.height = info.height;
        entry.bitsPerPixel = info.bitCount;
        entry.maskCutOff = info.storedSize > rest.size;
        if (!entry.maskCutOff)
            extent = static_cast<size_t>(info.storedSize);
    }
    entry.data = rest.sub(0, extent);
    if (entry.status == ERCI_OK && (entry.width > kMaxReadableEntrySide || entry.height > kMaxReadableEntrySide))
        entry.status = ERCI_ERR_TOO_LARGE;
}

// How much of the stored image lies in its first `limit` bytes: `limit`, or less where it ends
// before. A PNG's chunks are walked no further than that.
size_t storedBytesWithin(const IconEntry& entry, size_t limit) {
    const ByteView head = entry.data.sub(0, std::min(limit, entry.data.size));
    size_t end = head.size;
    if (entry.isPng)
        findPngEnd(head, end);
    return end;
}

size_t slotOffset(size_t index) { return kIconHeaderSize + index * kIconDirEntrySize; }

// A slot beyond the end of the file, or pointing into the header or past the end, is unusable.
void probeSlot(ByteView file, size_t index, IconEntry& entry) {
    entry.index = index;
    entry.status = ERCI_ERR_CORRUPT_SOURCE;
    if (!rangeFits(slotOffset(index), kIconDirEntrySize, file.size))
        return;
    const uint8_t* row = file.data + slotOffset(index);
    entry.hotspotX = readLe16(row + kDirHotspotXField);
    entry.hotspotY = readLe16(row + kDirHotspotYField);
    entry.directorySize = readLe32(row + kDirSizeField);
    const uint32_t offset = readLe32(row + kDirOffsetField);
    if (offset >= slotOffset(1) && offset < file.size)
        probeStoredImage(file, offset, entry);
}

bool slotLiesIn(ByteView file, size_t index, const IconEntry& image) {
    const size_t from = static_cast<size_t>(image.data.data - file.data);
    const size_t slotEnd = slotOffset(index) + kIconDirEntrySize;
    return from < slotEnd && slotOffset(index) < from + storedBytesWithin(image, slotEnd - from);
}

// A slot whose bytes belong to another entry's stored image is that image, not a directory row:
// a header that counts one entry too many makes the first image's header its last slot.
void skipSlotsInsideImages(ByteView file, IconDirectory& directory) {
    std::vector<size_t> inside;
    for (const IconEntry& slot : directory.entries)
        for (const IconEntry& image : directory.entries)
            if (image.status == ERCI_OK && image.index != slot.index && slotLiesIn(file, slot.index, image)) {
                inside.push_back(slot.index);
                break;
            }
    for (size_t index : inside)
        directory.entries[index].status = ERCI_ERR_CORRUPT_SOURCE;
}

// The stored image takes exactly what the directory says, and a PNG's CRCs are right.
bool directorySizeIsTrue(const IconEntry& entry) {
    if (!entry.isPng)
        return !entry.maskCutOff && entry.directorySize == entry.data.size;
    if (entry.directorySize > entry.data.size)
        return false;
    const ByteView stored = entry.data.sub(0, entry.directorySize);
    size_t end = 0;
    return findPngEnd(stored, end) && end == stored.size && pngChecksumsRight(stored);
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

// Every row usable, its size field telling the truth, every PNG entry's CRCs right, and no more
// bytes claimed than the file has: what every reader, not only Windows, takes as it is.
// Whether the entries decode is for the caller to find out.
bool mayBeHandedOn(ByteView file, const IconDirectory& directory) {
    if (directory.kind != IconKind::Icon)
        return false;
    // The sizes are added up before any entry is walked: the walks take no more than the file.
    uint64_t claimed = 0;
    for (const IconEntry& entry : directory.entries) {
        claimed += entry.directorySize;
        if (entry.status != ERCI_OK || claimed > file.size || !directorySizeIsTrue(entry))
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
    directory.entries.assign(count, IconEntry());
    for (size_t i = 0; i < count; ++i)
        probeSlot(file, i, directory.entries[i]);
    skipSlotsInsideImages(file, directory);
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

ByteView storedImage(const IconEntry& entry) { return entry.data.sub(0, storedBytesWithin(entry, entry.data.size)); }

Result decodeIconEntry(const IconEntry& entry, RgbaImage& image, WorkBudget& budget) {
    if (entry.status != ERCI_OK)
        return entry.status;
    return entry.isPng ? decodePng(entry.data, image, budget, PngChecks::IconEntry)
                       : decodeDibEntry(entry.data, image, budget);
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
