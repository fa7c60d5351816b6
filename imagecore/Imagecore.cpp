#include "Imagecore.h"

#include <cstdio>

#include "Batch.h"
#include "CommandLine.h"
#include "Destination.h"
#include "IconFromPictures.h"
#include "List.h"
#include "Platform.h"

namespace {

// Where the command writes: the -o folder, or the folder of --icon's icon. Empty when every
// destination goes beside its source, whose folder is there.
std::wstring writtenFolder(const BatchSettings& settings) {
    if (!settings.iconOutput.empty())
        return destinationFolder(settings.iconOutput, std::wstring());
    return settings.outputFolder;
}

// A folder that is not there would fail every file alike, one line each: it is checked once,
// before the first file.
bool outputFolderThere(const BatchSettings& settings, std::wstring& problem) {
    const std::wstring folder = writtenFolder(settings);
    if (folder.empty() || platform::isFolder(folder))
        return true;
    const wchar_t* const why = platform::fileExists(folder) ? L" is not a folder" : L" does not exist";
    problem = L"the output folder " + folder + why + L"; nothing converted";
    return false;
}

int runSettings(const BatchSettings& settings) {
    if (settings.list)
        return runList(settings);
    return settings.iconOutput.empty() ? runBatch(settings) : runIconFromPictures(settings);
}

} // namespace

int runImagecore(const std::vector<std::wstring>& args) {
    BatchSettings settings;
    std::wstring error;
    if (!parseCommandLine(args, settings, error)) {
        platform::writeError(L"imagecore: " + error);
        std::fputs(kUsageText, stderr);
        return kUsageError;
    }
    if (settings.help) {
        std::fputs(kUsageText, stdout);
        return 0;
    }
    if (!outputFolderThere(settings, error)) {
        platform::writeError(L"imagecore: " + error);
        return kUsageError;
    }
    settings.files = platform::expandWildcards(settings.files);
    platform::keepFreedMemoryForReuse();
    return runSettings(settings);
}
