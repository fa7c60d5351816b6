// The built program as its own process: it ignores its command line, comes up with its title,
// and ends with exit code 0 when the user closes it.
#include <gtest/gtest.h>

#include <string>

#include "ProgramTexts.h"
#include "ProgramUnderTest.h"
#include "WinTest.h"

using namespace mainwindow;

TEST(ProgramProcess, ClosedByTheUserItExitsWithCodeZero) {
    enum Route { EscKey, CloseMessage };
    struct Row {
        const char* name;
        const wchar_t* arguments;
        Route route;
    };
    const Row rows[] = {
        {"Esc, no arguments", L"", EscKey},
        {"Esc, arguments are ignored", L"--help /convert C:\\x.png", EscKey},
        {"title-bar close", L"", CloseMessage},
    };
    ASSERT_FALSE(wintest::distFolder().empty()) << "TARNEL_DIST_DIR is not set";
    wintest::RegistryValueGuard keep(wintest::kSettingsKey, wintest::kFolderValue);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        wintest::runWithDeadline(
            [&] {
                wintest::ChildProcess program(wintest::distFolder() + L"\\" + wintest::kProgramName, L"", row.arguments);
                ASSERT_TRUE(program.started());
                HWND window = wintest::waitForProcessWindow(program.id(), wintest::kMainTitle, 30000);
                ASSERT_NE(window, nullptr);
                if (row.route == EscKey) {
                    // The key goes to the focused control, as the keyboard would deliver it.
                    ASSERT_TRUE(wintest::waitUntil([&] { return focusedWindow(program.threadId()) != nullptr; }));
                    pressKey(program.threadId(), VK_ESCAPE);
                } else {
                    PostMessageW(window, WM_CLOSE, 0, 0);
                }
                DWORD exitCode = 1;
                EXPECT_TRUE(program.waitForExit(20000, exitCode)) << "the program did not end";
                EXPECT_EQ(exitCode, 0u);
            },
            60000, row.name);
    }
}
