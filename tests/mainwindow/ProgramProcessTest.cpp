// The built program as its own process: it ignores its command line, comes up with its title,
// and ends with exit code 0 when the user closes it.
#include <gtest/gtest.h>

#include <string>

#include "ProgramUnderTest.h"
#include "WinTest.h"

using namespace mainwindow;

namespace {

struct WindowOfProcess {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK matchProcessWindow(HWND hwnd, LPARAM lParam) {
    WindowOfProcess* request = reinterpret_cast<WindowOfProcess*>(lParam);
    DWORD processId = 0;
    GetWindowThreadProcessId(hwnd, &processId);
    if (processId != request->processId || !IsWindowVisible(hwnd) || wintest::windowText(hwnd) != kTitle)
        return TRUE;
    request->found = hwnd;
    return FALSE;
}

HWND waitForProgramWindow(DWORD processId, DWORD timeoutMs) {
    WindowOfProcess request = {processId, nullptr};
    wintest::waitUntil(
        [&] {
            EnumWindows(matchProcessWindow, reinterpret_cast<LPARAM>(&request));
            return request.found != nullptr;
        },
        timeoutMs);
    return request.found;
}

// The started program; ended by force only if a test left it running.
class StartedProgram {
public:
    explicit StartedProgram(const std::wstring& arguments) {
        const std::wstring path = wintest::distFolder() + L"\\TarnelPngToIco.exe";
        std::wstring commandLine = L"\"" + path + L"\" " + arguments;
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        started_ = CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                  &startup, &process_);
    }
    ~StartedProgram() {
        if (!started_)
            return;
        if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT)
            TerminateProcess(process_.hProcess, 99);
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
    }
    StartedProgram(const StartedProgram&) = delete;
    StartedProgram& operator=(const StartedProgram&) = delete;

    bool started() const { return started_; }
    const PROCESS_INFORMATION& info() const { return process_; }
    // The exit code, or -1 when the program has not ended after timeoutMs.
    long exitCode(DWORD timeoutMs) const {
        if (WaitForSingleObject(process_.hProcess, timeoutMs) != WAIT_OBJECT_0)
            return -1;
        DWORD code = 0;
        GetExitCodeProcess(process_.hProcess, &code);
        return static_cast<long>(code);
    }

private:
    BOOL started_ = FALSE;
    PROCESS_INFORMATION process_ = {};
};

} // namespace

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
    RememberedFolderGuard keep;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        wintest::runWithDeadline(
            [&] {
                StartedProgram program(row.arguments);
                ASSERT_TRUE(program.started());
                HWND window = waitForProgramWindow(program.info().dwProcessId, 30000);
                ASSERT_NE(window, nullptr);
                if (row.route == EscKey) {
                    // The key goes to the focused control, as the keyboard would deliver it.
                    ASSERT_TRUE(wintest::waitUntil([&] { return focusedWindow(program.info().dwThreadId) != nullptr; }));
                    pressKey(program.info().dwThreadId, VK_ESCAPE);
                } else {
                    PostMessageW(window, WM_CLOSE, 0, 0);
                }
                EXPECT_EQ(program.exitCode(20000), 0);
            },
            60000, row.name);
    }
}
