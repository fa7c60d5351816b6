#include "Entries.h"

#include <map>
#include <tuple>

#include "Destination.h"
#include "Platform.h"
#include "core/Converter.h"
#include "core/IconReader.h"

namespace {

constexpr uint32_t kPngEntryDepth = 32; // a PNG entry is drawn as 32-bit, whatever its own layout

std::wstring stemOf(const std::wstring& source) {
    const std::wstring name = sourceFileName(source);
    const size_t dot = name.rfind(L'.');
    return dot == std::wstring::npos || dot == 0 ? name : name.substr(0, dot);
}

// NAME-WxH-Dbpp.png, and NAME-WxH-Dbpp-N.png for the Nth entry of one size and depth.
std::wstring entryFileName(const std::wstring& stem, uint32_t width, uint32_t height, uint32_t depth,
                           unsigned repeat) {
    std::wstring name = stem + L"-" + std::to_wstring(width) + L"x" + std::to_wstring(height) + L"-" +
                        std::to_wstring(depth) + L"bpp";
    if (repeat > 1)
        name += L"-" + std::to_wstring(repeat);
    return name + L".png";
}

void addJobsOfFile(const BatchSettings& settings, const std::wstring& source, std::vector<BatchJob>& jobs) {
    std::vector<uint8_t> bytes;
    tfi::IconDirectory directory;
    std::wstring problem;
    if (!readIconFile(source, bytes, directory, problem)) {
        jobs.push_back({source, L"", source, BatchJob::kWholeFile, problem});
        return;
    }
    const std::wstring folder = destinationFolder(source, settings.outputFolder);
    const std::wstring stem = stemOf(source);
    std::map<std::tuple<uint32_t, uint32_t, uint32_t>, unsigned> seen;
    for (const tfi::IconEntry& entry : directory.entries) {
        const std::wstring label = entryLabel(source, entry.index);
        if (entry.status != ERCI_OK) {
            jobs.push_back({source, L"", label, entry.index, fromUtf8(tfi::resultMessage(entry.status))});
            continue;
        }
        const uint32_t depth = entryDepth(entry);
        const unsigned repeat = ++seen[std::make_tuple(entry.width, entry.height, depth)];
        const std::wstring name = entryFileName(stem, entry.width, entry.height, depth, repeat);
        jobs.push_back({source, pathIn(folder, name), label, entry.index, L""});
    }
}

} // namespace

bool readIconFile(const std::wstring& source, std::vector<uint8_t>& bytes, tfi::IconDirectory& directory,
                  std::wstring& problem) {
    if (matchedNoFile(source)) {
        problem = kMatchedNoFile;
        return false;
    }
    tfi::Result r = platform::readFile(source, bytes);
    if (r == ERCI_OK)
        r = tfi::readIconDirectory(tfi::ByteView(bytes), directory);
    if (r != ERCI_OK)
        problem = r == ERCI_ERR_UNSUPPORTED_SOURCE ? L"not an icon or cursor file" : fromUtf8(tfi::resultMessage(r));
    return r == ERCI_OK;
}

uint32_t entryDepth(const tfi::IconEntry& entry) { return entry.isPng ? kPngEntryDepth : entry.bitsPerPixel; }

std::wstring entryLabel(const std::wstring& source, size_t index) {
    return source + L" entry " + std::to_wstring(index + 1);
}

std::vector<BatchJob> entryJobs(const BatchSettings& settings) {
    std::vector<BatchJob> jobs;
    for (const std::wstring& source : settings.files)
        addJobsOfFile(settings, source, jobs);
    return jobs;
}

tfi::Result entryToBytes(const std::wstring& source, size_t entry, std::vector<uint8_t>& bytes) {
    std::vector<uint8_t> file;
    const tfi::Result r = platform::readFile(source, file);
    if (r != ERCI_OK)
        return r;
    return tfi::convertIconEntryToPng(tfi::ByteView(file), entry, bytes);
}
