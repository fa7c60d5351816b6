// How long the main window stays busy after a large run: from Close in the progress window until
// the main window answers again with every converted entry selected. The run itself goes through
// a scripted engine that writes small files, so only the program's own work after it counts.
// Run by hand; it prints figures and judges nothing. On a display, in the build's own prefix
// (N: the display the build's tests use, TARNEL_TEST_DISPLAY in its CMakeCache.txt):
//
//     scripts/wine-test-env.sh start $PWD/build/windows/wineprefix :N win32
//     export WINEPREFIX=$PWD/build/windows/wineprefix DISPLAY=:N WINEPATH=Z:$PWD/build/windows/dist
//     scripts/wine-run.sh win32 build/windows/tests-bin/convertbench/convert_bench.exe
//
// "selecting alone" is the program's marking of the converted entries once more after the run
// (median of a few), the part of the first figure that grows with the list.
// "one at a time, redrawn" selects the same entries the way the program once did, one
// LB_SETSEL after another with the list redrawing after each: the figure the program had.
#include "FakeEngine.h"
#include "MainDialogHost.h"
#include "ProgramTexts.h"
#include "WinTest.h"

#include "app/AppGlobals.h"
#include "res/resource.h"
#include "ui/ConvertCommand.h"
#include "ui/SourceList.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

const int kEntries = 2000;
const int kRepeats = 5;
const DWORD kRunTimeoutMs = 600000;

std::vector<std::wstring> sourcePaths(const wintest::TempDir& in) {
    std::vector<std::wstring> paths;
    for (int i = 0; i < kEntries; ++i) {
        wchar_t name[32];
        swprintf(name, 32, L"picture-%05d.png", i);
        paths.push_back(in.file(name));
    }
    return paths;
}

int selectedCount(HWND list) {
    return static_cast<int>(SendMessageW(list, LB_GETSELCOUNT, 0, 0));
}

// Seconds from the press of Close until Convert has returned to the main window's loop.
double afterRun(HWND main) {
    double closePressed = 0;
    wintest::runWhileDriving([&] { wintest::sendCommand(main, IDC_CONVERT); },
                             [&] {
                                 HWND progress = wintest::waitForWindow(L"#32770", wintest::kProgressTitle);
                                 if (!progress || !wintest::waitUntil(
                                                      [&] { return wintest::controlText(progress, IDC_PROGRESS_FILE) ==
                                                                   L"Complete"; },
                                                      kRunTimeoutMs))
                                     return false;
                                 closePressed = wintest::secondsNow();
                                 wintest::clickButton(progress, IDC_CLOSE);
                                 return true;
                             });
    return wintest::secondsNow() - closePressed;
}

double selectingAlone(HWND list) {
    std::vector<double> times;
    for (int run = 0; run < kRepeats; ++run) {
        SendMessageW(list, LB_SETSEL, FALSE, -1);
        const double start = wintest::secondsNow();
        markConvertedFiles();
        wintest::pumpMessages();
        times.push_back(wintest::secondsNow() - start);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

double oneAtATimeRedrawn(HWND list) {
    SendMessageW(list, LB_SETSEL, FALSE, -1);
    const double start = wintest::secondsNow();
    for (int i = 0; i < kEntries; ++i)
        SendMessageW(list, LB_SETSEL, TRUE, i);
    wintest::pumpMessages();
    return wintest::secondsNow() - start;
}

} // namespace

int main() {
    const std::wstring coreFolder = getCorePath().substr(0, getCorePath().rfind(L'\\'));
    CreateDirectoryW(coreFolder.c_str(), nullptr);
    wintest::writeFile(getCorePath(), "only its presence counts");
    wintest::TempDir in;
    wintest::TempDir out;
    wintest::RegistryValueGuard savedFolder(wintest::kSettingsKey, wintest::kFolderValue);
    {
        wintest::MainDialogHost host;
        if (!host.dialog()) {
            std::printf("the main dialog did not open\n");
            return 1;
        }
        // The close path ends the engine that the window holds, this one included.
        ConvertCore::destroy(g_app.pConvertCore);
        g_app.pConvertCore = new FakeEngine(g_app.pPreset);
        addSourcePaths(sourcePaths(in));
        SetWindowTextW(host.control(IDC_OUTPUT_FOLDER), out.path().c_str());
        HWND list = host.control(IDC_SOURCE_LIST);

        const double busy = afterRun(host.dialog());
        const int selected = selectedCount(list);
        const double selecting = selectingAlone(list);
        const double before = oneAtATimeRedrawn(list);
        std::printf("entries  Close until the main window answers  selecting alone  one at a time, redrawn  (seconds)\n");
        std::printf("%7d  %34.3f  %15.3f  %22.3f\n", kEntries, busy, selecting, before);
        if (selected != kEntries)
            std::printf("warning: %d entries were selected after the run, not %d\n", selected, kEntries);
    }
    wintest::removeTree(coreFolder);
    return 0;
}
