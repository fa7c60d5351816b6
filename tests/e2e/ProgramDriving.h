// What the end-to-end tests do to the built program's windows, as a user reaches them: its
// controls by the ids a user's clicks arrive with, its list, and a run from Convert to Close.
#pragma once

#include "FileDialogDriver.h"
#include "ProgramTexts.h"
#include "WinTest.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace e2e {

// Long enough for the progress window's timer to tick a few times.
const DWORD kSeveralTicksMs = 600;

// Control ids of the program's windows (res/resource.h).
const int kConvertButton = 1001;
const int kBrowseButton = 1004;
const int kOutputFolderEdit = 1006;
const int kAddButton = 1010;
const int kRemoveButton = 1011;
const int kClearButton = 1012;
const int kSourceList = 1013;
const int kOpenButton = 1014;
const int kProgressFile = 1016;
const int kProgressCount = 1018;
const int kCloseButton = 1021;

inline void setText(HWND control, const std::wstring& text) {
    SendMessageW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

inline void setFolderText(HWND main, const std::wstring& text) {
    setText(GetDlgItem(main, kOutputFolderEdit), text);
}

inline int entryCount(HWND main) {
    return static_cast<int>(SendMessageW(GetDlgItem(main, kSourceList), LB_GETCOUNT, 0, 0));
}

inline std::vector<int> selection(HWND main) {
    return wintest::listSelection(GetDlgItem(main, kSourceList));
}

inline std::vector<std::wstring> entries(HWND main) {
    return wintest::listItems(GetDlgItem(main, kSourceList));
}

// Adds files through the open-file dialog: names in the program's working folder, or one path.
inline void addSources(DWORD programId, HWND main, const std::wstring& typed, int newEntries) {
    using namespace wintest;
    const int before = entryCount(main);
    clickButton(main, kAddButton);
    HWND picker = waitForProcessWindow(programId, kOpenFileTitle);
    ASSERT_TRUE(picker != nullptr) << "no open-file dialog";
    ASSERT_TRUE(chooseFileNames(picker, typed));
    ASSERT_TRUE(waitUntil([&] { return entryCount(main) == before + newEntries; })) << entryCount(main) << " entries";
}

inline void addSources(const wintest::ChildProcess& program, HWND main, const std::wstring& typed, int newEntries) {
    addSources(program.id(), main, typed, newEntries);
}

// Presses the button and expects the refusal with exactly that text, owned by the main window,
// and no run.
inline void expectRefusal(const wintest::ChildProcess& program, HWND main, int button, const std::wstring& text) {
    using namespace wintest;
    clickButton(main, button);
    HWND box = waitForMessageBox(kCaption, text.c_str());
    ASSERT_TRUE(box != nullptr) << "no refusal";
    EXPECT_EQ(main, GetWindow(box, GW_OWNER));
    EXPECT_EQ(std::vector<int>{IDOK}, messageBoxButtons(box));
    answerMessageBox(box, IDOK);
    EXPECT_EQ(nullptr, waitForProcessWindow(program.id(), kProgressTitle, kSeveralTicksMs)) << "a run began";
    EXPECT_TRUE(waitUntil([&] { return isResponsive(main, 100); }));
}

// Presses Convert, waits for the run to complete, checks its count line and presses Close.
inline void convertAndClose(HWND main, DWORD programId, const wchar_t* countLine) {
    wintest::clickButton(main, kConvertButton);
    HWND progress = wintest::waitForProcessWindow(programId, wintest::kProgressTitle);
    ASSERT_TRUE(progress != nullptr) << "no progress window";
    ASSERT_TRUE(
        wintest::waitUntil([&] { return wintest::controlText(progress, kProgressFile) == L"Complete"; }, 60000));
    EXPECT_EQ(countLine, wintest::controlText(progress, kProgressCount));
    wintest::clickButton(progress, kCloseButton);
    ASSERT_TRUE(wintest::waitUntil([&] { return !IsWindow(progress); }));
    ASSERT_TRUE(wintest::isResponsive(main));
}

// Starts the built program in a working folder of the test's, runs drive on its main window,
// then closes it as a user would; it must end with exit code 0. afterExit sees the folder it
// saved.
inline void withProgram(const std::wstring& workingFolder,
                        const std::function<void(const wintest::ChildProcess&, HWND)>& drive,
                        const std::function<void(const std::wstring&)>& afterExit = nullptr,
                        DWORD deadlineMs = 180000) {
    using namespace wintest;
    RegistryValueGuard savedFolder(kSettingsKey, kFolderValue);
    runWithDeadline(
        [&] {
            ChildProcess program(distFolder() + L"\\" + kProgramName, workingFolder);
            ASSERT_TRUE(program.started()) << "the program did not start";
            HWND main = waitForProcessWindow(program.id(), kMainTitle, 30000);
            ASSERT_TRUE(main != nullptr) << "no main window";
            drive(program, main);
            PostMessageW(main, WM_CLOSE, 0, 0);
            DWORD exitCode = 1;
            EXPECT_TRUE(program.waitForExit(30000, exitCode)) << "the program did not end";
            EXPECT_EQ(0u, exitCode);
            std::wstring saved;
            if (afterExit && readRegistryString(kSettingsKey, kFolderValue, saved))
                afterExit(saved);
        },
        deadlineMs, "the program");
}

} // namespace e2e
