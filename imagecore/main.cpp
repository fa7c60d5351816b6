// imagecore: the command-line converter. Same library, same naming rule as the program.
#include <cstdio>

#include "Batch.h"
#include "CommandLine.h"
#include "IconFromPictures.h"
#include "Platform.h"

namespace {
constexpr int kUsageError = 2;
}

int main(int argc, char** argv) {
    BatchSettings settings;
    std::wstring error;
    if (!parseCommandLine(platform::arguments(argc, argv), settings, error)) {
        platform::writeError(L"imagecore: " + error);
        std::fputs(kUsageText, stderr);
        return kUsageError;
    }
    if (settings.help) {
        std::fputs(kUsageText, stdout);
        return 0;
    }
    platform::keepFreedMemoryForReuse();
    return settings.iconOutput.empty() ? runBatch(settings) : runIconFromPictures(settings);
}
