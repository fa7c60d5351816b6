// The built program as its own process: it ignores its command line, comes up with its title,
// and ends with exit code 0 when the user closes it, also in the middle of a run.
#include <gtest/gtest.h>

#include <string>

#include "FileDialogDriver.h"
#include "ProgramTexts.h"
#include "ProgramUnderTest.h"
#include "WinTest.h"

using namespace mainwindow;

namespace {
// Control ids of the program's main window (res/resource.h), as a user sees them.
const int kConvertButton = 1001;
const int kOutputFolderEdit = 1006;
const int kAddButton = 1010;
const int kSourceList = 1013;
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

// Task Manager's End task, or any program closing windows politely, sends WM_CLOSE to the main
// window in the middle of a run. Here the run waits on its overwrite question meanwhile: the
// window keeps answering, the question stays until answered, No keeps the file, the run stops
// before its next file, and the program ends with code 0 and the folder saved.
TEST(ProgramProcess, ClosedDuringARunWithAQuestionOpenItEndsCleanlyAndKeepsTheFile) {
    ASSERT_FALSE(wintest::distFolder().empty()) << "TARNEL_DIST_DIR is not set";
    wintest::TempDir in;
    wintest::TempDir out;
    std::string picture;
    ASSERT_TRUE(wintest::readFile(wintest::sourceTreeFile(L"tests/imagelib/png/rgba8.png"), picture));
    // Jobs follow the sorted list: a-photo.png asks about its icon, b-photo.png would be next.
    ASSERT_TRUE(wintest::writeFile(in.file(L"a-photo.png"), picture));
    ASSERT_TRUE(wintest::writeFile(in.file(L"b-photo.png"), picture));
    const std::string oldIcon = "an icon from an earlier day";
    ASSERT_TRUE(wintest::writeFile(out.file(L"a-photo.ico"), oldIcon));
    wintest::RegistryValueGuard keep(wintest::kSettingsKey, wintest::kFolderValue);
    DWORD exitCode = 1;

    wintest::runWithDeadline(
        [&] {
            wintest::ChildProcess program(wintest::distFolder() + L"\\" + wintest::kProgramName, in.path());
            ASSERT_TRUE(program.started());
            HWND main = wintest::waitForProcessWindow(program.id(), wintest::kMainTitle, 30000);
            ASSERT_NE(main, nullptr);
            wintest::clickButton(main, kAddButton);
            HWND picker = wintest::waitForProcessWindow(program.id(), wintest::kOpenFileTitle);
            ASSERT_NE(picker, nullptr);
            ASSERT_TRUE(wintest::chooseFileNames(picker, wintest::quotedNames({L"a-photo.png", L"b-photo.png"})));
            ASSERT_TRUE(wintest::waitUntil([&] { return wintest::listItems(GetDlgItem(main, kSourceList)).size() == 2; }));
            SendMessageW(GetDlgItem(main, kOutputFolderEdit), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(out.path().c_str()));

            wintest::clickButton(main, kConvertButton);
            HWND question = wintest::waitForMessageBox(wintest::kCaption, wintest::overwriteText(out.file(L"a-photo.ico")).c_str());
            ASSERT_NE(question, nullptr);
            PostMessageW(main, WM_CLOSE, 0, 0);
            EXPECT_FALSE(program.waitForExit(1000, exitCode)) << "the program ended with the question unanswered";
            EXPECT_TRUE(IsWindow(question));
            EXPECT_TRUE(wintest::isResponsive(main)) << "the close blocked the window's thread";

            wintest::answerMessageBox(question, IDNO);
            EXPECT_TRUE(program.waitForExit(20000, exitCode)) << "the program did not end";
        },
        90000, "a close during a run");

    EXPECT_EQ(exitCode, 0u);
    std::string icon;
    ASSERT_TRUE(wintest::readFile(out.file(L"a-photo.ico"), icon));
    EXPECT_EQ(icon, oldIcon) << "the file was replaced without a Yes";
    EXPECT_FALSE(wintest::fileExists(out.file(L"b-photo.ico"))) << "the run went on after the close";
    std::wstring saved;
    EXPECT_TRUE(wintest::readRegistryString(wintest::kSettingsKey, wintest::kFolderValue, saved));
    EXPECT_EQ(saved, out.path());
}
