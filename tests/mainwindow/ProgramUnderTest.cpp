#include "ProgramUnderTest.h"

#include "ProgramTexts.h"
#include "WinTest.h"
#include "app/AppGlobals.h"
#include "app/ImageCache.h"
#include "app/OleSession.h"
#include "res/resource.h"
#include "ui/MainDialog.h"

namespace mainwindow {

ProgramUnderTest::ProgramUnderTest(HMODULE pictures) : pictures_(pictures ? pictures : GetModuleHandleW(nullptr)) {
    thread_ = CreateThread(nullptr, 0, threadProc, this, 0, &threadId_);
    if (!thread_)
        return;
    dialog_ = wintest::waitForWindow(L"#32770", wintest::kMainTitle, 15000);
    // Another process may show a window of the same title; only ours counts.
    if (dialog_ && GetWindowThreadProcessId(dialog_, nullptr) != threadId_)
        dialog_ = nullptr;
}

ProgramUnderTest::~ProgramUnderTest() {
    if (!thread_)
        return;
    if (WaitForSingleObject(thread_, 0) == WAIT_TIMEOUT && dialog_ && IsWindow(dialog_))
        PostMessageW(dialog_, WM_CLOSE, 0, 0);
    // The test runs under a deadline, which catches a close that never ends.
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
}

bool ProgramUnderTest::waitForEnd(DWORD timeoutMs) {
    return thread_ && WaitForSingleObject(thread_, timeoutMs) == WAIT_OBJECT_0;
}

DWORD WINAPI ProgramUnderTest::threadProc(LPVOID self) {
    static_cast<ProgramUnderTest*>(self)->run();
    return 0;
}

void ProgramUnderTest::run() {
    HINSTANCE program = GetModuleHandleW(nullptr);
    appStartup();
    loadButtonImages(pictures_);
    // Pictures from another module model a program whose pictures are missing; the icon and
    // the dialog still come from the program's own module.
    g_app.hInstance = program;
    {
        OleSession ole;
        record_.dialogResult = DialogBoxParamW(program, MAKEINTRESOURCEW(IDD_MAIN), nullptr, mainDlgProc, 0);
    }
    record_.engineAfterClose = g_app.pConvertCore;
    record_.toolTipAfterClose = g_app.hToolTip;
    record_.imagesBeforeShutdown = g_buttonImages.size();
    appShutdown();
    record_.imagesAfterShutdown = g_buttonImages.size();
    record_.gdiplusTokenAfterShutdown = g_gdiplusToken;
}

HWND focusedWindow(DWORD threadId) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    if (!GetGUIThreadInfo(threadId, &info))
        return nullptr;
    return info.hwndFocus;
}

void pressKey(DWORD threadId, UINT virtualKey) {
    HWND target = focusedWindow(threadId);
    if (!target)
        target = GetActiveWindow();
    const UINT scan = MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC);
    PostMessageW(target, WM_KEYDOWN, virtualKey, 1 | (scan << 16));
    PostMessageW(target, WM_KEYUP, virtualKey, 1 | (scan << 16) | (3u << 30));
}

namespace {
BOOL CALLBACK countVisible(HWND hwnd, LPARAM lParam) {
    wchar_t name[64] = {};
    GetClassNameW(hwnd, name, 64);
    if (IsWindowVisible(hwnd) && lstrcmpiW(name, L"tooltips_class32") != 0)
        ++*reinterpret_cast<int*>(lParam);
    return TRUE;
}
} // namespace

int countVisibleWindows(DWORD threadId) {
    int count = 0;
    EnumThreadWindows(threadId, countVisible, reinterpret_cast<LPARAM>(&count));
    return count;
}

} // namespace mainwindow
