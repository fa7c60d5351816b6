// How long adding many paths to the source list takes under Wine: the paths one pick of the
// open-file dialog hands over, added to the real main dialog's list. Run by hand; it prints
// figures and judges nothing. On a display, in the build's own prefix (N: the display the build's
// tests use, TARNEL_TEST_DISPLAY in its CMakeCache.txt):
//
//     scripts/wine-test-env.sh start $PWD/build/windows64/wineprefix :N win64
//     export WINEPREFIX=$PWD/build/windows64/wineprefix DISPLAY=:N
//     scripts/wine-run.sh win64 build/windows64/tests-bin/sourcelist_bench.exe
//
// "list box alone" is LB_ADDSTRING of the same paths into an empty list, redraw held off and
// nothing else: the floor that the list box's own sorting sets. The rest of "into an empty
// list" is ours.
#include "MainDialogHost.h"

#include "app/AppGlobals.h"
#include "res/resource.h"
#include "ui/SourceList.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

const int kRepeats = 3;
const int kCounts[] = {1000, 2000, 4000};

// Camera-style names in the order a pick hands them over, which is not the sorted order.
std::vector<std::wstring> pickedPaths(int count, int firstNumber) {
    std::vector<std::wstring> paths;
    for (int i = 0; i < count; ++i) {
        wchar_t path[MAX_PATH];
        swprintf(path, MAX_PATH, L"C:\\Users\\someone\\Pictures\\Holiday\\holiday-picture-number-%05d.png",
                 firstNumber + i);
        paths.push_back(path);
    }
    std::shuffle(paths.begin(), paths.end(), std::mt19937(4242));
    return paths;
}

double seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

template <typename Work>
double timed(Work work) {
    LARGE_INTEGER from, to;
    QueryPerformanceCounter(&from);
    work();
    QueryPerformanceCounter(&to);
    return seconds(from, to);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Figures {
    double intoEmpty;
    double intoFull;
    double listBoxAlone;
};

Figures measure(wintest::MainDialogHost& host, int count) {
    HWND list = host.control(IDC_SOURCE_LIST);
    const std::vector<std::wstring> first = pickedPaths(count, 0);
    const std::vector<std::wstring> second = pickedPaths(count, count);
    std::vector<double> intoEmpty, intoFull, alone;
    for (int run = 0; run < kRepeats; ++run) {
        clearSourceFiles();
        alone.push_back(timed([&] {
            SendMessageW(list, WM_SETREDRAW, FALSE, 0);
            for (const std::wstring& path : first)
                SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(path.c_str()));
            SendMessageW(list, WM_SETREDRAW, TRUE, 0);
        }));
        clearSourceFiles();
        intoEmpty.push_back(timed([&] { addSourcePaths(first); }));
        // The same pick again, which adds nothing, and then as many new ones.
        intoFull.push_back(timed([&] {
            addSourcePaths(first);
            addSourcePaths(second);
        }));
        if (SendMessageW(list, LB_GETCOUNT, 0, 0) != 2 * count)
            std::printf("warning: the list holds %d items, not %d\n",
                        static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0)), 2 * count);
    }
    clearSourceFiles();
    return {median(intoEmpty), median(intoFull), median(alone)};
}

} // namespace

int main() {
    wintest::MainDialogHost host;
    if (!host.dialog()) {
        std::printf("the main dialog did not open\n");
        return 1;
    }
    std::printf("paths  into an empty list  same pick again + as many new  list box alone  (median of %d, seconds)\n",
                kRepeats);
    for (int count : kCounts) {
        const Figures figures = measure(host, count);
        std::printf("%5d  %18.3f  %30.3f  %14.3f\n", count, figures.intoEmpty, figures.intoFull, figures.listBoxAlone);
    }
    return 0;
}
