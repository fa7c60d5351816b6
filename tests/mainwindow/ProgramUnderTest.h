// Runs the program's life the way its entry point does (start-up, toolbar pictures, the modal
// main dialog, shutdown) on a thread of its own, so that the test thread can drive the dialog
// as a user would, and records what the shell left behind at each step.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

namespace mainwindow {

// What the shell looked like once the dialog had ended, before and after its shutdown.
struct ShutdownRecord {
    INT_PTR dialogResult = -1;
    void* engineAfterClose = nullptr;
    HWND toolTipAfterClose = nullptr;
    size_t imagesBeforeShutdown = 0;
    size_t imagesAfterShutdown = 0;
    ULONG_PTR gdiplusTokenAfterShutdown = 0;
};

class ProgramUnderTest {
public:
    // pictures: the module the toolbar pictures are loaded from; the dialog and the icon always
    // come from the test executable, which carries the program's resources.
    explicit ProgramUnderTest(HMODULE pictures = nullptr);
    // Closes a dialog still open through its close path and waits for the thread.
    ~ProgramUnderTest();
    ProgramUnderTest(const ProgramUnderTest&) = delete;
    ProgramUnderTest& operator=(const ProgramUnderTest&) = delete;

    // The main dialog once it is visible; null if it did not come up.
    HWND dialog() const { return dialog_; }
    HWND control(int id) const { return GetDlgItem(dialog_, id); }
    DWORD threadId() const { return threadId_; }
    // Waits for the dialog to end and the shutdown to run; false after timeoutMs.
    bool waitForEnd(DWORD timeoutMs = 10000);
    const ShutdownRecord& record() const { return record_; }

private:
    static DWORD WINAPI threadProc(LPVOID self);
    void run();

    HMODULE pictures_;
    HANDLE thread_ = nullptr;
    DWORD threadId_ = 0;
    HWND dialog_ = nullptr;
    ShutdownRecord record_;
};

// Posts a key press and release to the control that has the focus in that thread, as the
// keyboard would deliver them; the modal loop's dialog-message handling sees them.
void pressKey(DWORD threadId, UINT virtualKey);
HWND focusedWindow(DWORD threadId);
// Visible top-level windows of a thread, tooltips excluded.
int countVisibleWindows(DWORD threadId);

} // namespace mainwindow
