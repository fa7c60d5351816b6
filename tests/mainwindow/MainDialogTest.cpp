// The main dialog as the entry point shows it: what start-up sets, the template's controls, the
// remembered folder, the routes that close it, the messages it ignores, and its tooltips.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <mutex>
#include <string>
#include <vector>

#include "ProgramTexts.h"
#include "ProgramUnderTest.h"
#include "TestCanvas.h"
#include "WinTest.h"
#include "app/AppGlobals.h"
#include "app/ImageCache.h"
#include "engine/ConvertCore.h"
#include "res/resource.h"
#include "ui/MainDialog.h"

using namespace mainwindow;
using wintest::kFolderValue;
using wintest::kSettingsKey;

namespace {

const DWORD kDeadlineMs = 60000;

LONG_PTR styleOf(HWND hwnd) {
    return GetWindowLongPtrW(hwnd, GWL_STYLE);
}

std::wstring classOf(HWND hwnd) {
    wchar_t name[64] = {};
    GetClassNameW(hwnd, name, 64);
    return name;
}

} // namespace

TEST(MainDialogStartUp, TitleAndBothIconsComeFromTheProgram) {
    wintest::runWithDeadline(
        [] {
            ProgramUnderTest program;
            HWND dialog = program.dialog();
            ASSERT_NE(dialog, nullptr);
            EXPECT_EQ(wintest::windowText(dialog), wintest::kMainTitle);

            // Each icon is made at its own size, so that neither is a stretched copy of the other.
            HICON big = reinterpret_cast<HICON>(SendMessageW(dialog, WM_GETICON, ICON_BIG, 0));
            HICON small = reinterpret_cast<HICON>(SendMessageW(dialog, WM_GETICON, ICON_SMALL, 0));
            EXPECT_EQ(big, g_app.hAppIcon);
            EXPECT_EQ(iconSide(big), GetSystemMetrics(SM_CXICON));
            EXPECT_EQ(iconSide(small), GetSystemMetrics(SM_CXSMICON));

            // Both show icon 107's own entries of their sizes.
            for (HICON shown : {big, small}) {
                const int side = iconSide(shown);
                HICON entry = static_cast<HICON>(
                    LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON, side, side, 0));
                ASSERT_NE(entry, nullptr);
                Canvas fromWindow(side, side);
                Canvas fromResource(side, side);
                drawIcon(fromWindow, shown);
                drawIcon(fromResource, entry);
                DestroyIcon(entry);
                EXPECT_EQ(fromWindow.copy(), fromResource.copy()) << side;
            }
        },
        kDeadlineMs, "title and icons");
}

TEST(MainDialogStartUp, StateRecordIsFilledAndFocusIsOnTheFirstButton) {
    wintest::runWithDeadline(
        [] {
            ProgramUnderTest program;
            HWND dialog = program.dialog();
            ASSERT_NE(dialog, nullptr);
            EXPECT_EQ(g_app.hInstance, GetModuleHandleW(nullptr));
            EXPECT_EQ(g_app.hMainDlg, dialog);
            EXPECT_NE(g_app.hAppIcon, nullptr);
            EXPECT_NE(g_app.pConvertCore, nullptr);
            EXPECT_NE(g_app.pPreset, nullptr);
            EXPECT_TRUE(IsWindow(g_app.hToolTip));
            EXPECT_EQ(SendMessageW(program.control(IDC_SOURCE_LIST), LB_GETCOUNT, 0, 0), 0);
            EXPECT_EQ(focusedWindow(program.threadId()), program.control(IDC_ADD));
        },
        kDeadlineMs, "state record");
}

// The template, control by control, in tab order: class, text, styles and place.
TEST(MainDialogStartUp, ControlsAreThoseOfTheTemplate) {
    struct Row {
        int id;
        const wchar_t* className;
        const wchar_t* text;
        LONG style;        // every bit listed must be set
        bool border;       // WS_BORDER, or the sunken edge the dialog manager gives an edit box instead
        RECT dialogUnits;  // x, y, width, height
    };
    const LONG child = WS_CHILD | WS_VISIBLE;
    const Row rows[] = {
        {IDC_ADD, L"Button", L"Add", child | BS_OWNERDRAW | WS_TABSTOP, false, {0, 0, 36, 25}},
        {IDC_REMOVE, L"Button", L"Remove", child | BS_OWNERDRAW | WS_TABSTOP, false, {35, 0, 36, 25}},
        {IDC_CLEAR, L"Button", L"Clear", child | BS_OWNERDRAW | WS_TABSTOP, false, {71, 0, 36, 25}},
        {IDC_CONVERT, L"Button", L"Convert", child | BS_OWNERDRAW | WS_TABSTOP, false, {107, 0, 36, 25}},
        {IDC_SOURCE_LIST, L"ListBox", L"",
         // WS_VSCROLL is not listed: the list box drops it while the list is short enough.
         child | LBS_NOTIFY | LBS_SORT | LBS_NOINTEGRALHEIGHT | LBS_EXTENDEDSEL | WS_TABSTOP, true,
         {0, 25, 371, 129}},
        {IDC_OUTPUT_LABEL, L"Static", L"Output Folder:", child | SS_LEFT | WS_GROUP, false, {7, 159, 48, 8}},
        {IDC_OUTPUT_FOLDER, L"Edit", nullptr, child | ES_AUTOHSCROLL | WS_TABSTOP, true, {7, 172, 295, 14}},
        {IDC_BROWSE, L"Button", L"...", child | BS_PUSHBUTTON | WS_TABSTOP, false, {305, 172, 20, 14}},
        {IDC_OPEN_FOLDER, L"Button", L"Open", child | BS_PUSHBUTTON | WS_TABSTOP, false, {325, 172, 40, 14}},
    };
    wintest::runWithDeadline(
        [&] {
            ProgramUnderTest program;
            HWND dialog = program.dialog();
            ASSERT_NE(dialog, nullptr);
            const LONG_PTR dialogStyle = styleOf(dialog);
            EXPECT_EQ(dialogStyle & (WS_POPUP | WS_CAPTION | WS_SYSMENU), WS_POPUP | WS_CAPTION | WS_SYSMENU);
            EXPECT_EQ(dialogStyle & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), 0);
            EXPECT_EQ(GetMenu(dialog), nullptr);

            HWND previous = nullptr;
            for (const Row& row : rows) {
                SCOPED_TRACE(row.id);
                HWND control = program.control(row.id);
                ASSERT_NE(control, nullptr);
                EXPECT_EQ(classOf(control), row.className);
                if (row.text) {
                    EXPECT_EQ(wintest::windowText(control), row.text);
                }
                EXPECT_EQ(styleOf(control) & row.style, row.style);
                const bool bordered = (styleOf(control) & WS_BORDER) ||
                                      (GetWindowLongPtrW(control, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
                EXPECT_EQ(bordered, row.border);
                EXPECT_TRUE(IsWindowEnabled(control));
                // Template order is tab order: each control follows the previous one.
                EXPECT_EQ(GetWindow(control, GW_HWNDPREV), previous);
                previous = control;

                // The dialog manager scales position and size each on its own, as MapDialogRect
                // does with the four numbers.
                RECT expected = row.dialogUnits;
                MapDialogRect(dialog, &expected);
                RECT actual = {};
                GetWindowRect(control, &actual);
                MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&actual), 2);
                EXPECT_EQ(actual.left, expected.left);
                EXPECT_EQ(actual.top, expected.top);
                EXPECT_EQ(actual.right - actual.left, expected.right);
                EXPECT_EQ(actual.bottom - actual.top, expected.bottom);
            }
        },
        kDeadlineMs, "template controls");
}

// Needs the output-folder code (loadOutputFolder), not just a placeholder that remembers nothing.
TEST(MainDialogRememberedFolder, IsShownInTheEditBox) {
    const std::wstring folders[] = {
        L"C:\\Converted Icons",
        L"D:\\Out",
        L"\\\\server\\share\\icons",
        L"C:\\B\u00fcro\\\u30a2\u30a4\u30b3\u30f3",
        L"  C:\\kept as typed\\  ",
    };
    wintest::RegistryValueGuard keep(kSettingsKey, kFolderValue);
    for (const std::wstring& folder : folders) {
        SCOPED_TRACE(std::string(folder.begin(), folder.end()));
        ASSERT_TRUE(wintest::writeRegistryString(kSettingsKey, kFolderValue, folder));
        wintest::runWithDeadline(
            [&] {
                ProgramUnderTest program;
                ASSERT_NE(program.dialog(), nullptr);
                EXPECT_EQ(wintest::controlText(program.dialog(), IDC_OUTPUT_FOLDER), folder);
                EXPECT_EQ(getOutputFolderText(program.dialog()), folder);
            },
            kDeadlineMs, "remembered folder");
    }
}

TEST(MainDialogRememberedFolder, NoneSavedLeavesTheEditBoxEmpty) {
    wintest::RegistryValueGuard keep(kSettingsKey, kFolderValue);
    ASSERT_TRUE(wintest::deleteRegistryValue(kSettingsKey, kFolderValue));
    wintest::runWithDeadline(
        [&] {
            ProgramUnderTest program;
            ASSERT_NE(program.dialog(), nullptr);
            EXPECT_EQ(wintest::controlText(program.dialog(), IDC_OUTPUT_FOLDER), L"");
            EXPECT_EQ(getOutputFolderText(program.dialog()), L"");
        },
        kDeadlineMs, "no remembered folder");
}

TEST(MainDialogOutputFolderText, MissingControlGivesAnEmptyText) {
    EXPECT_EQ(getOutputFolderText(nullptr), L"");
    EXPECT_EQ(getOutputFolderText(GetDesktopWindow()), L"");
}

// Every way a user closes the window ends in the one close path: the folder as typed is saved
// (empty included), the engine and the tooltips are gone, the dialog answers 2, and the
// pictures are disposed before GDI+ shuts down.
TEST(MainDialogClosing, EveryRouteGoesThroughTheClosePath) {
    enum Route { EscKey, CloseMessage, TitleBarClose };
    struct Row {
        const char* name;
        Route route;
        const wchar_t* typed;
    };
    const Row rows[] = {
        {"Esc", EscKey, L"C:\\Typed by hand"},
        {"WM_CLOSE", CloseMessage, L"E:\\Icons\\out"},
        {"title-bar close", TitleBarClose, L"F:\\x"},
        {"Esc with an empty box", EscKey, L""},
    };
    wintest::RegistryValueGuard keep(kSettingsKey, kFolderValue);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(wintest::writeRegistryString(kSettingsKey, kFolderValue, L"C:\\Before"));
        wintest::runWithDeadline(
            [&] {
                ProgramUnderTest program;
                HWND dialog = program.dialog();
                ASSERT_NE(dialog, nullptr);
                HWND toolTip = g_app.hToolTip;
                ASSERT_TRUE(IsWindow(toolTip));
                SendMessageW(program.control(IDC_OUTPUT_FOLDER), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(row.typed));

                switch (row.route) {
                case EscKey:
                    pressKey(program.threadId(), VK_ESCAPE);
                    break;
                case CloseMessage:
                    PostMessageW(dialog, WM_CLOSE, 0, 0);
                    break;
                case TitleBarClose:
                    PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
                    break;
                }
                ASSERT_TRUE(program.waitForEnd(15000));

                const ShutdownRecord& record = program.record();
                EXPECT_EQ(record.dialogResult, IDCANCEL);
                EXPECT_EQ(record.engineAfterClose, nullptr);
                EXPECT_EQ(record.toolTipAfterClose, nullptr);
                EXPECT_FALSE(IsWindow(toolTip));
                EXPECT_EQ(record.imagesBeforeShutdown, 4u);
                EXPECT_EQ(record.imagesAfterShutdown, 0u);
                EXPECT_EQ(record.gdiplusTokenAfterShutdown, 0u);

                std::wstring saved;
                EXPECT_TRUE(wintest::readRegistryString(kSettingsKey, kFolderValue, saved));
                EXPECT_EQ(saved, row.typed);
            },
            kDeadlineMs, row.name);
    }
}

namespace {

// Steps of the close path and of a worker, in the order they happened, from any thread.
class EventLog {
public:
    void add(const char* event) {
        std::lock_guard<std::mutex> hold(guard_);
        events_.push_back(event);
    }
    std::vector<std::string> events() {
        std::lock_guard<std::mutex> hold(guard_);
        return events_;
    }
    bool contains(const std::string& event) {
        const std::vector<std::string> seen = events();
        for (const std::string& e : seen)
            if (e == event)
                return true;
        return false;
    }

private:
    std::mutex guard_;
    std::vector<std::string> events_;
};

// An engine whose one conversion lasts until the test lets it end, like a large file still in
// hand after a stop.
class HeldEngine : public ConvertCore {
public:
    HeldEngine(ImagePreset* presetToUse, EventLog& log, HANDLE release)
        : ConvertCore(presetToUse), log_(log), release_(release) {}
    ~HeldEngine() override { log_.add("engine destroyed"); }
    bool clearJobs() override {
        log_.add("jobs cleared");
        return ConvertCore::clearJobs();
    }
    bool convert(const std::wstring&, const std::wstring&) override {
        log_.add("conversion begun");
        WaitForSingleObject(release_, INFINITE);
        log_.add("conversion ended");
        return true;
    }

private:
    EventLog& log_;
    HANDLE release_;
};

} // namespace

// After a confirmed stop the progress window may close while the worker still converts its
// last file; closing the main window then must wait for that file before the engine goes.
TEST(MainDialogClosing, WaitsForAWorkerStillFinishingItsFile) {
    wintest::RegistryValueGuard keep(kSettingsKey, kFolderValue);
    wintest::TempDir output;
    EventLog log;
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(release, nullptr);
    wintest::runWithDeadline(
        [&] {
            ProgramUnderTest program;
            // Destroyed before the program: a failed check must not leave the close path waiting.
            struct Releaser {
                HANDLE event;
                ~Releaser() { SetEvent(event); }
            } releaser{release};
            ASSERT_NE(program.dialog(), nullptr);
            // The dialog is idle in its modal loop and no run exists yet: swap in the held engine.
            ConvertCore::destroy(g_app.pConvertCore);
            HeldEngine* engine = new HeldEngine(g_app.pPreset, log, release);
            g_app.pConvertCore = engine;
            engine->outputFolder = output.path();
            ASSERT_TRUE(engine->addJob(L"C:\\pictures\\large.png"));
            ASSERT_TRUE(engine->start());
            ASSERT_TRUE(wintest::waitUntil([&] { return log.contains("conversion begun"); }));

            pressKey(program.threadId(), VK_ESCAPE);
            ASSERT_TRUE(wintest::waitUntil([&] { return log.contains("jobs cleared"); }));
            // The close path is under way but cannot end while the file is in hand.
            EXPECT_FALSE(program.waitForEnd(0));
            EXPECT_FALSE(log.contains("engine destroyed"));

            SetEvent(release);
            ASSERT_TRUE(program.waitForEnd(15000));
            EXPECT_EQ(program.record().dialogResult, IDCANCEL);
            EXPECT_EQ(program.record().engineAfterClose, nullptr);
            const std::vector<std::string> expected = {"conversion begun", "jobs cleared", "conversion ended",
                                                       "engine destroyed"};
            EXPECT_EQ(log.events(), expected);
        },
        kDeadlineMs, "close during a conversion");
    SetEvent(release);
    CloseHandle(release);
}

// OK (Enter), and the notifications of the list box, the edit box and the label, are not
// commands: the dialog stays as it was and opens nothing.
TEST(MainDialogIgnores, OkAndNotificationsOfOtherControls) {
    struct Row {
        const char* name;
        WORD id;
        WORD code;
    };
    const Row rows[] = {
        {"IDOK", IDOK, BN_CLICKED},
        {"list double-click", IDC_SOURCE_LIST, LBN_DBLCLK},
        {"list selection change", IDC_SOURCE_LIST, LBN_SELCHANGE},
        {"list focus", IDC_SOURCE_LIST, LBN_SETFOCUS},
        {"edit change", IDC_OUTPUT_FOLDER, EN_CHANGE},
        {"edit update", IDC_OUTPUT_FOLDER, EN_UPDATE},
        {"label click", IDC_OUTPUT_LABEL, STN_CLICKED},
        {"unknown id", 4242, BN_CLICKED},
    };
    wintest::RegistryValueGuard keep(kSettingsKey, kFolderValue);
    ASSERT_TRUE(wintest::writeRegistryString(kSettingsKey, kFolderValue, L"C:\\Stays"));
    wintest::runWithDeadline(
        [&] {
            ProgramUnderTest program;
            HWND dialog = program.dialog();
            ASSERT_NE(dialog, nullptr);
            void* engine = g_app.pConvertCore;
            const int windowsBefore = countVisibleWindows(program.threadId());
            for (const Row& row : rows) {
                SCOPED_TRACE(row.name);
                SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(row.id, row.code),
                             reinterpret_cast<LPARAM>(GetDlgItem(dialog, row.id)));
                wintest::pumpMessages(50);
                EXPECT_TRUE(IsWindowVisible(dialog));
                EXPECT_EQ(g_app.pConvertCore, engine);
                EXPECT_EQ(countVisibleWindows(program.threadId()), windowsBefore);
                EXPECT_EQ(wintest::controlText(dialog, IDC_OUTPUT_FOLDER), L"C:\\Stays");
            }

            // Enter in the edit box is the dialog manager's IDOK.
            SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(program.control(IDC_OUTPUT_FOLDER)), TRUE);
            ASSERT_TRUE(wintest::waitUntil(
                [&] { return focusedWindow(program.threadId()) == program.control(IDC_OUTPUT_FOLDER); }, 5000));
            pressKey(program.threadId(), VK_RETURN);
            // A message sent after the posted keys is handled after them.
            SendMessageW(dialog, WM_NULL, 0, 0);
            EXPECT_TRUE(IsWindowVisible(dialog));
            EXPECT_EQ(countVisibleWindows(program.threadId()), windowsBefore);
            EXPECT_FALSE(program.waitForEnd(0));
        },
        kDeadlineMs, "ignored commands");
}

TEST(MainDialogToolTips, OneToolPerToolbarButtonWithItsText) {
    struct Row {
        int id;
        const wchar_t* text;
    };
    const Row rows[] = {{IDC_ADD, L"Add"}, {IDC_REMOVE, L"Remove"}, {IDC_CLEAR, L"Clear"}, {IDC_CONVERT, L"Convert"}};
    wintest::runWithDeadline(
        [&] {
            ProgramUnderTest program;
            HWND dialog = program.dialog();
            ASSERT_NE(dialog, nullptr);
            HWND tip = g_app.hToolTip;
            ASSERT_TRUE(IsWindow(tip));
            EXPECT_EQ(classOf(tip), L"tooltips_class32");
            EXPECT_EQ(styleOf(tip) & (WS_POPUP | TTS_ALWAYSTIP), WS_POPUP | TTS_ALWAYSTIP);
            EXPECT_EQ(GetWindow(tip, GW_OWNER), dialog);
            ASSERT_EQ(SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0), 4);

            for (size_t i = 0; i < 4; ++i) {
                SCOPED_TRACE(rows[i].id);
                wchar_t text[256] = {};
                TOOLINFOW tool = {};
                tool.cbSize = sizeof(tool);
                tool.lpszText = text;
                ASSERT_TRUE(SendMessageW(tip, TTM_ENUMTOOLSW, i, reinterpret_cast<LPARAM>(&tool)));
                EXPECT_EQ(tool.hwnd, dialog);
                EXPECT_EQ(reinterpret_cast<HWND>(tool.uId), program.control(rows[i].id));
                EXPECT_EQ(tool.uFlags & (TTF_IDISHWND | TTF_SUBCLASS), static_cast<UINT>(TTF_IDISHWND | TTF_SUBCLASS));
                EXPECT_STREQ(text, rows[i].text);
            }

            // The list box and the edit box have no tip.
            for (int id : {IDC_SOURCE_LIST, IDC_OUTPUT_FOLDER}) {
                TOOLINFOW tool = {};
                tool.cbSize = sizeof(tool);
                tool.hwnd = dialog;
                tool.uId = reinterpret_cast<UINT_PTR>(program.control(id));
                EXPECT_FALSE(SendMessageW(tip, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&tool)));
            }
        },
        kDeadlineMs, "tooltips");
}

// With no picture resources the window still opens and closes normally; nothing is cached.
TEST(MainDialogWithoutPictures, OpensAndClosesNormally) {
    wintest::RegistryValueGuard keep(kSettingsKey, kFolderValue);
    wintest::runWithDeadline(
        [&] {
            ProgramUnderTest program(GetModuleHandleW(L"kernel32.dll"));
            HWND dialog = program.dialog();
            ASSERT_NE(dialog, nullptr);
            // A repaint of the buttons finds no pictures and must not make entries for them.
            RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
            SendMessageW(dialog, WM_NULL, 0, 0);
            EXPECT_TRUE(g_buttonImages.empty());
            EXPECT_EQ(SendMessageW(g_app.hToolTip, TTM_GETTOOLCOUNT, 0, 0), 4);
            pressKey(program.threadId(), VK_ESCAPE);
            ASSERT_TRUE(program.waitForEnd(15000));
            EXPECT_EQ(program.record().dialogResult, IDCANCEL);
            EXPECT_EQ(program.record().imagesBeforeShutdown, 0u);
        },
        kDeadlineMs, "no pictures");
}
