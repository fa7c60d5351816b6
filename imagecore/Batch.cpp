#include "Batch.h"

#include <string>

#include "Destination.h"
#include "Platform.h"

namespace {

enum class Outcome { Converted, Skipped, Failed };

struct Tally {
    size_t converted = 0, skipped = 0, failed = 0;
    void add(Outcome o) {
        (o == Outcome::Converted ? converted : o == Outcome::Skipped ? skipped : failed)++;
    }
};

std::wstring widen(const char* ascii) { return std::wstring(ascii, ascii + std::char_traits<char>::length(ascii)); }

std::wstring progressPrefix(size_t index, size_t total) {
    return L"[" + std::to_wstring(index + 1) + L"/" + std::to_wstring(total) + L"] ";
}

Outcome convertOne(const std::wstring& source, const BatchSettings& settings, std::wstring& report) {
    const std::wstring destination = destinationFor(source, settings.outputFolder);
    report = source + L" -> " + destination + L": ";
    if (!settings.overwrite && platform::fileExists(destination)) {
        report += L"skipped, destination exists (use -f to replace)";
        return Outcome::Skipped;
    }
    const tfi::Result r = platform::convertFile(source, destination, settings.option);
    report += r == ERCI_OK ? L"converted" : L"FAILED: " + widen(tfi::resultMessage(r));
    return r == ERCI_OK ? Outcome::Converted : Outcome::Failed;
}

} // namespace

int runBatch(const BatchSettings& settings) {
    Tally tally;
    const size_t total = settings.files.size();
    for (size_t i = 0; i < total; ++i) {
        std::wstring report;
        tally.add(convertOne(settings.files[i], settings, report));
        platform::writeLine(progressPrefix(i, total) + report);
    }
    platform::writeLine(std::to_wstring(tally.converted) + L" converted, " + std::to_wstring(tally.skipped) +
                        L" skipped, " + std::to_wstring(tally.failed) + L" failed");
    return tally.failed == 0 ? 0 : 1;
}
