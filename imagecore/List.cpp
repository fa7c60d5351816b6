#include "List.h"

#include <map>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "Entries.h"
#include "Platform.h"

namespace {

// An entry counts as read only when it decodes, with a budget of its own: what --entries does
// before it writes the entry, so the two never disagree about an entry.
tfi::Result decodeAlone(const tfi::IconEntry& entry) {
    tfi::RgbaImage image;
    try {
        return tfi::decodeIconEntry(entry, image);
    } catch (const std::bad_alloc&) {
        return ERCI_ERR_OUT_OF_MEMORY;
    }
}

// Rows that point at one stored image are decoded once: a file may hold 256 rows over one
// large entry, and decoding it 256 times would take minutes.
class EntryReadings {
public:
    tfi::Result of(const tfi::IconEntry& entry) {
        if (entry.status != ERCI_OK)
            return entry.status;
        const auto key = std::make_pair(entry.data.data, entry.data.size);
        auto known = results_.find(key);
        if (known == results_.end())
            known = results_.emplace(key, decodeAlone(entry)).first;
        return known->second;
    }

private:
    std::map<std::pair<const uint8_t*, size_t>, tfi::Result> results_;
};

// WxH, depth, storage and the bytes the entry takes as read; the directory's own figure too when
// it says otherwise, as damaged files do.
std::wstring entryFigures(tfi::IconKind kind, const tfi::IconEntry& entry) {
    const size_t bytes = tfi::storedImage(entry).size;
    std::wstring text = std::to_wstring(entry.width) + L"x" + std::to_wstring(entry.height) + L", " +
                        std::to_wstring(entryDepth(entry)) + L" bpp, " + (entry.isPng ? L"PNG" : L"BMP") + L", " +
                        std::to_wstring(bytes) + L" bytes";
    if (entry.directorySize != bytes)
        text += L" (the directory says " + std::to_wstring(entry.directorySize) + L")";
    if (kind == tfi::IconKind::Cursor)
        text += L", hotspot " + std::to_wstring(entry.hotspotX) + L"," + std::to_wstring(entry.hotspotY);
    return text;
}

// False when the file or any of its entries could not be read.
bool listFile(const std::wstring& source) {
    std::vector<uint8_t> bytes;
    tfi::IconDirectory directory;
    std::wstring problem;
    if (!readIconFile(source, bytes, directory, problem)) {
        platform::writeLine(source + L": FAILED: " + problem);
        return false;
    }
    EntryReadings readings;
    bool everyEntry = true;
    for (const tfi::IconEntry& entry : directory.entries) {
        const tfi::Result r = readings.of(entry);
        const std::wstring figures =
            r == ERCI_OK ? entryFigures(directory.kind, entry) : L"FAILED: " + fromUtf8(tfi::resultMessage(r));
        platform::writeLine(entryLabel(source, entry.index) + L": " + figures);
        everyEntry = everyEntry && r == ERCI_OK;
    }
    return everyEntry;
}

} // namespace

int runList(const BatchSettings& settings) {
    bool everyFile = true;
    for (const std::wstring& source : settings.files)
        everyFile = listFile(source) && everyFile;
    return everyFile ? 0 : 1;
}
