#include "IconFromPictures.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "Batch.h"
#include "Platform.h"
#include "core/Converter.h"
#include "core/IconWriter.h"
#include "core/Limits.h"

namespace {

std::wstring pictureProblem(tfi::Result r) {
    if (r == ERCI_ERR_TOO_LARGE)
        return L"larger than " + std::to_wstring(tfi::kMaxIconEntrySide) +
               L" px; --icon puts each picture in at its own size";
    if (r == ERCI_ERR_UNSUPPORTED_SOURCE)
        return L"not a PNG picture";
    return fromUtf8(tfi::resultMessage(r));
}

bool sideTaken(const std::vector<tfi::RgbaImage>& pictures, uint32_t side) {
    return std::any_of(pictures.begin(), pictures.end(),
                       [side](const tfi::RgbaImage& p) { return p.longerSide() == side; });
}

// Empty when the picture was read, else why not; `color` says why a colour space it declares
// was not applied.
std::wstring readPicture(const std::wstring& file, const tfi::ConvertOptions& options, tfi::RgbaImage& picture,
                         tfi::WorkBudget& budget, tfi::ColorNote& color) {
    if (matchedNoFile(file))
        return kMatchedNoFile;
    std::vector<uint8_t> bytes;
    tfi::Result r = platform::readFile(file, bytes);
    if (r == ERCI_OK)
        r = tfi::decodeIconPicture(tfi::ByteView(bytes), options, picture, budget, color);
    return r == ERCI_OK ? L"" : pictureProblem(r);
}

// All pictures, or false after a line for each one that could not be taken. With one picture
// to a size, the pictures stay well inside one conversion's work budget.
bool readPictures(const BatchSettings& settings, std::vector<tfi::RgbaImage>& pictures) {
    tfi::WorkBudget budget;
    tfi::ConvertOptions options;
    options.keepStoredColor = settings.keepColor;
    bool everyOne = true;
    for (const std::wstring& file : settings.files) {
        tfi::RgbaImage picture;
        tfi::ColorNote color = tfi::ColorNote::None;
        std::wstring problem = readPicture(file, options, picture, budget, color);
        if (problem.empty() && sideTaken(pictures, picture.longerSide()))
            problem = L"another picture is " + std::to_wstring(picture.longerSide()) + L" px too";
        if (!problem.empty()) {
            platform::writeLine(file + L": FAILED: " + problem);
            everyOne = false;
            continue;
        }
        if (color != tfi::ColorNote::None)
            platform::writeLine(file + L": " + fromUtf8(tfi::colorNoteMessage(color)));
        pictures.push_back(std::move(picture));
    }
    return everyOne;
}

std::wstring joined(const std::vector<std::wstring>& files) {
    std::wstring text;
    for (const std::wstring& file : files)
        text += (text.empty() ? L"" : L", ") + file;
    return text;
}

} // namespace

int runIconFromPictures(const BatchSettings& settings) {
    const std::wstring& destination = settings.iconOutput;
    const std::wstring report = joined(settings.files) + L" -> " + destination + L": ";
    if (!settings.overwrite && platform::fileExists(destination)) {
        platform::writeLine(report + L"skipped, destination exists (use -f to replace)");
        return summariseBatch(0, 1, 0);
    }
    std::vector<tfi::RgbaImage> pictures;
    if (!readPictures(settings, pictures)) {
        platform::writeLine(report + L"FAILED: not every picture could be taken; nothing written");
        return summariseBatch(0, 0, 1);
    }
    std::vector<uint8_t> icon;
    tfi::Result r = tfi::buildIconFromPictures(pictures, icon);
    if (r == ERCI_OK)
        r = platform::replaceFile(destination, icon);
    platform::writeLine(report + (r == ERCI_OK ? L"converted" : L"FAILED: " + fromUtf8(tfi::resultMessage(r))));
    return r == ERCI_OK ? summariseBatch(1, 0, 0) : summariseBatch(0, 0, 1);
}
