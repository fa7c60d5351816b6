// How long the built program takes to show its main window, and the command-line converter to
// convert one small picture, each started afresh from the distribution folder: the figures that
// tell whether a change to how the binaries start costs the user anything. Run by hand; it prints
// medians and judges nothing. In the build's own prefix, on its display (N: TARNEL_TEST_DISPLAY
// in its CMakeCache.txt):
//
//     scripts/wine-test-env.sh start $PWD/build/windows/wineprefix :N win32
//     export WINEPREFIX=$PWD/build/windows/wineprefix DISPLAY=:N TARNEL_DIST_DIR=$PWD/build/windows/dist
//     export TARNEL_SOURCE_DIR=$PWD
//     scripts/wine-run.sh win32 build/windows/tests-bin/start_bench.exe
#include "ProgramTexts.h"
#include "WinTest.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

const int kRepeats = 9;
const DWORD kStartLimitMs = 30000;

// Milliseconds from the process's creation until the main window is visible; negative if it
// never appears.
double programStartMs() {
    wintest::TempDir working;
    const double begin = wintest::secondsNow();
    wintest::ChildProcess program(wintest::distFolder() + L"\\" + wintest::kProgramName, working.path());
    HWND main = program.started() ? wintest::waitForProcessWindow(program.id(), wintest::kMainTitle, kStartLimitMs)
                                  : nullptr;
    const double elapsed = (wintest::secondsNow() - begin) * 1000;
    if (!main)
        return -1;
    PostMessageW(main, WM_CLOSE, 0, 0);
    DWORD exitCode = 0;
    program.waitForExit(kStartLimitMs, exitCode);
    return elapsed;
}

// Milliseconds for one whole run of core\imagecore.exe over one small picture.
double coreConversionMs() {
    wintest::TempDir working;
    std::string picture;
    wintest::readFile(wintest::sourceTreeFile(L"tests/imagelib/png/rgba8.png"), picture);
    wintest::writeFile(working.file(L"pic.png"), picture);
    const double begin = wintest::secondsNow();
    wintest::ChildProcess core(wintest::distFolder() + L"\\core\\imagecore.exe", working.path(), L"pic.png");
    DWORD exitCode = 1;
    const bool ended = core.waitForExit(kStartLimitMs, exitCode);
    const double elapsed = (wintest::secondsNow() - begin) * 1000;
    return ended && exitCode == 0 && wintest::fileExists(working.file(L"pic.ico")) ? elapsed : -1;
}

void printMedian(const char* what, const std::function<double()>& measure) {
    std::vector<double> runs;
    for (int i = 0; i < kRepeats; ++i)
        runs.push_back(measure());
    std::sort(runs.begin(), runs.end());
    std::printf("%-52s median %7.1f ms  (fastest %7.1f, slowest %7.1f, %d runs)\n", what, runs[kRepeats / 2], runs[0],
                runs[kRepeats - 1], kRepeats);
}

} // namespace

int main() {
    printMedian("program: start to visible main window", programStartMs);
    printMedian("core\\imagecore.exe: one small PNG to an icon", coreConversionMs);
    return 0;
}
