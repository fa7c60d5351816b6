// For tests that show one of the program's modal windows on the test thread and work it from a
// second thread, as a user would while the window's own loop runs. Header-only, because it
// records a gtest failure when the window does not come up.
#pragma once

#include "WinTest.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <thread>

namespace wintest {

// Shows a modal window with showModal on this thread while drive() works it from a helper
// thread; finish() then ends whatever drive() left open, so that a failed check ends the test
// instead of hanging it. The window worked is the visible dialog titled title; what names it in
// failures and for the deadline, which ends the test process as runWithDeadline does. Answers
// what showModal answered (how the window ended).
inline INT_PTR runDrivenDialog(const wchar_t* title, const std::function<INT_PTR()>& showModal,
                               const std::function<void(HWND)>& drive, const std::function<void(HWND)>& finish,
                               DWORD timeoutMs, const char* what) {
    INT_PTR result = -1;
    runWithDeadline(
        [&] {
            std::thread driver([&] {
                HWND window = waitForWindow(L"#32770", title);
                EXPECT_TRUE(window != nullptr) << "the " << what << " did not appear";
                if (!window)
                    return;
                drive(window);
                finish(window);
            });
            result = showModal();
            driver.join();
        },
        timeoutMs, what);
    return result;
}

} // namespace wintest
