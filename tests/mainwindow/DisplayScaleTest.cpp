// The main window at other display scales. The built program runs at 100, 150 and 200 %, set
// for the session the way a user sets it (LogPixels, which each process reads as it starts):
// the window grows with the scale, each toolbar button shows the picture drawn for that scale
// pixel for pixel, and the output folder row stays whole inside the window. Each scale leaves a
// screenshot in the build folder's screenshots folder. A window moved to a monitor of another
// scale takes the rectangle Windows suggests, and that scale's pictures and icons.
//
// Wine treats every program as per-monitor aware, manifest or not; the manifest's declaration is
// checked with the other resources (tests/resources).
//
// LogPixels belongs to the whole Wine prefix; this file's tests hold the display, as every
// window test does, so no other window test runs meanwhile, and they put the value back.
#include <gtest/gtest.h>

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <algorithm>
#include <memory>
#include <string>

#include "ProgramTexts.h"
#include "ProgramUnderTest.h"
#include "TestCanvas.h"
#include "WinTest.h"
#include "app/DisplayScale.h"
#include "engine/ImagePreset.h"
#include "res/resource.h"

using namespace mainwindow;

namespace {

const wchar_t kDesktopKey[] = L"Control Panel\\Desktop";
const wchar_t kLogPixels[] = L"LogPixels";
// How far the window may miss the exact multiple of its 100 % size: the dialog manager measures
// dialog units on the font, whose average character grows in whole pixels (Wine's font makes the
// window 1.85 times as wide at 200 %, not 2).
const double kSizeTolerance = 0.10;

struct Scale {
    DWORD dpi;
    UINT pictureSet; // the set the program must show: 0 is 32 pixels, 2 is 48, 4 is 64
};

class GdiplusSession {
public:
    GdiplusSession() {
        Gdiplus::GdiplusStartupInput input;
        Gdiplus::GdiplusStartup(&token_, &input, nullptr);
    }
    ~GdiplusSession() { Gdiplus::GdiplusShutdown(token_); }

private:
    ULONG_PTR token_ = 0;
};

SIZE clientSize(HWND window) {
    RECT rect = {};
    GetClientRect(window, &rect);
    return {rect.right, rect.bottom};
}

RECT rectInClient(HWND window, HWND control) {
    RECT rect = {};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// True when the button shows exactly its resting look with that picture.
bool showsPicture(HWND button, UINT pictureId) {
    std::unique_ptr<Gdiplus::Image> picture(decodePicture(pictureId));
    const SIZE size = clientSize(button);
    if (!picture || size.cx <= 0 || size.cy <= 0)
        return false;
    Canvas shown(size.cx, size.cy);
    Canvas expected(size.cx, size.cy);
    captureClientArea(button, shown);
    paintRestingButton(expected, *picture);
    return shown.copy() == expected.copy();
}

void expectToolbarPictures(HWND window, UINT pictureSet) {
    for (const ToolButtonDef* button = g_toolButtons; button->controlId != 0; ++button) {
        HWND control = GetDlgItem(window, static_cast<int>(button->controlId));
        const UINT pictureId = IDR_PNG_IN_SET(button->pngResourceId, pictureSet);
        EXPECT_TRUE(wintest::waitUntil([&] { return showsPicture(control, pictureId); }, 10000))
            << "button " << button->controlId << " does not show picture " << pictureId;
    }
}

// Every control of the row lies whole inside the client area, in its order from left to right.
void expectOutputRowInside(HWND window) {
    const SIZE client = clientSize(window);
    RECT previous = {0, 0, 0, 0};
    for (int id : {IDC_OUTPUT_FOLDER, IDC_BROWSE, IDC_OPEN_FOLDER}) {
        const RECT rect = rectInClient(window, GetDlgItem(window, id));
        EXPECT_GE(rect.left, previous.right) << id;
        EXPECT_GE(rect.top, 0) << id;
        EXPECT_LE(rect.right, client.cx) << id;
        EXPECT_LE(rect.bottom, client.cy) << id;
        previous = rect;
    }
    const RECT label = rectInClient(window, GetDlgItem(window, IDC_OUTPUT_LABEL));
    EXPECT_LE(label.bottom, rectInClient(window, GetDlgItem(window, IDC_OUTPUT_FOLDER)).top);
    EXPECT_GE(label.left, 0);
}

// The screen shows the control: its frame or text stands out from the window's face. A control
// placed right but never painted (or covered) shows one flat colour.
bool isOnScreen(HWND control) {
    RECT rect = {};
    GetWindowRect(control, &rect);
    Canvas shown(rect.right - rect.left, rect.bottom - rect.top);
    captureScreen({rect.left, rect.top}, shown);
    const std::vector<uint32_t> pixels = shown.copy();
    return std::any_of(pixels.begin(), pixels.end(), [&](uint32_t p) { return p != pixels.front(); });
}

void expectOutputRowShown(HWND window) {
    for (int id : {IDC_OUTPUT_LABEL, IDC_OUTPUT_FOLDER, IDC_BROWSE, IDC_OPEN_FOLDER})
        EXPECT_TRUE(wintest::waitUntil([&] { return isOnScreen(GetDlgItem(window, id)); }, 10000)) << id;
}

bool saveScreenshot(HWND window, DWORD dpi) {
    RECT rect = {};
    GetWindowRect(window, &rect);
    Canvas shot(rect.right - rect.left, rect.bottom - rect.top);
    captureScreen({rect.left, rect.top}, shot);
    std::vector<uint32_t> pixels = shot.copy();
    Gdiplus::Bitmap bitmap(shot.width(), shot.height(), shot.width() * 4, PixelFormat32bppRGB,
                           reinterpret_cast<BYTE*>(pixels.data()));
    const CLSID pngEncoder = {0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
    const std::wstring folder = wintest::windowsPath(wintest::envVar(L"TARNEL_BINARY_DIR")) + L"\\screenshots";
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring path = folder + L"\\main-window-" + std::to_wstring(dpi) + L"dpi.png";
    return bitmap.Save(path.c_str(), &pngEncoder, nullptr) == Gdiplus::Ok && wintest::fileExists(path);
}

void checkProgramAtScale(const Scale& scale, SIZE& at100) {
    wintest::ChildProcess program(wintest::distFolder() + L"\\" + wintest::kProgramName, L"");
    ASSERT_TRUE(program.started());
    HWND window = wintest::waitForProcessWindow(program.id(), wintest::kMainTitle, 30000);
    ASSERT_NE(window, nullptr);

    const SIZE client = clientSize(window);
    if (scale.dpi == kDefaultDpi)
        at100 = client;
    const double factor = static_cast<double>(scale.dpi) / kDefaultDpi;
    EXPECT_NEAR(client.cx, at100.cx * factor, at100.cx * factor * kSizeTolerance);
    EXPECT_NEAR(client.cy, at100.cy * factor, at100.cy * factor * kSizeTolerance);

    expectToolbarPictures(window, scale.pictureSet);
    expectOutputRowInside(window);
    expectOutputRowShown(window);
    EXPECT_TRUE(saveScreenshot(window, scale.dpi));

    PostMessageW(window, WM_CLOSE, 0, 0);
    DWORD exitCode = 1;
    EXPECT_TRUE(program.waitForExit(20000, exitCode));
    EXPECT_EQ(exitCode, 0u);
}

} // namespace

TEST(DisplayScale, WindowGrowsWithTheScaleAndShowsThatScalesPictures) {
    ASSERT_FALSE(wintest::distFolder().empty()) << "TARNEL_DIST_DIR is not set";
    const Scale scales[] = {{96, 0}, {144, 2}, {192, 4}};
    GdiplusSession gdiplus;
    wintest::RegistryValueGuard keepScale(kDesktopKey, kLogPixels);
    wintest::RegistryValueGuard keepFolder(wintest::kSettingsKey, wintest::kFolderValue);
    SIZE at100 = {0, 0};
    for (const Scale& scale : scales) {
        SCOPED_TRACE(scale.dpi);
        ASSERT_TRUE(wintest::writeRegistryValue(kDesktopKey, kLogPixels, REG_DWORD, &scale.dpi, sizeof(scale.dpi)));
        wintest::runWithDeadline([&] { checkProgramAtScale(scale, at100); }, 90000, "the program at a display scale");
    }
}

TEST(DisplayScale, MainWindowTakesTheSuggestedRectAndTheNewScalesPicturesAndIcons) {
    const UINT dpi = 120;
    const UINT pictureSet = 1;
    wintest::RegistryValueGuard keepFolder(wintest::kSettingsKey, wintest::kFolderValue);
    wintest::runWithDeadline(
        [&] {
            ProgramUnderTest program;
            HWND dialog = program.dialog();
            ASSERT_NE(dialog, nullptr);
            RECT before = {};
            GetWindowRect(dialog, &before);
            const RECT suggested = {10, 20, 10 + (before.right - before.left) * 5 / 4,
                                    20 + (before.bottom - before.top) * 5 / 4};
            SendMessageW(dialog, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));

            RECT now = {};
            GetWindowRect(dialog, &now);
            EXPECT_TRUE(EqualRect(&now, &suggested));
            expectToolbarPictures(dialog, pictureSet);
            HICON big = reinterpret_cast<HICON>(SendMessageW(dialog, WM_GETICON, ICON_BIG, 0));
            HICON small = reinterpret_cast<HICON>(SendMessageW(dialog, WM_GETICON, ICON_SMALL, 0));
            EXPECT_EQ(iconSide(big), systemMetricForDpi(SM_CXICON, dpi));
            EXPECT_EQ(iconSide(small), systemMetricForDpi(SM_CXSMICON, dpi));
        },
        60000, "a change of display scale");
}
