// The Add command with the real open-file dialog, worked from a helper thread as a user would:
// go to a folder, type one name or several quoted names into the name box, press Open.
#include "ListTesting.h"

#include "FileDialogDriver.h"
#include "ProgramTexts.h"

#include "ui/SourceList.h"

#include <dlgs.h>

#include <algorithm>
#include <cstdio>

using listtest::listItems;
using wintest::quotedNames;
using wintest::runWithMainDialog;

namespace {

const int kFilterComboId = cmb1;

// Ends a dialog the driver could not finish, with any message box it put up, so that the Add
// command returns and the test fails instead of hanging.
void abandon(HWND dialog) {
    if (HWND box = wintest::waitForOwnedWindow(dialog, 0))
        PostMessageW(box, WM_CLOSE, 0, 0);
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
}

HWND waitForFileDialog() {
    return wintest::waitForWindow(L"#32770", wintest::kOpenFileTitle);
}

// The driver of one Add command: in folder (none: stay), choose what is typed.
std::function<bool()> choose(const std::wstring& folder, const std::wstring& typed) {
    return [=] {
        HWND dialog = waitForFileDialog();
        if (!dialog)
            return false;
        const bool chosen =
            (folder.empty() || wintest::goToFolder(dialog, folder)) && wintest::chooseFileNames(dialog, typed);
        if (!chosen)
            abandon(dialog);
        return chosen;
    };
}

bool addThroughDialog(HWND mainDialog, const std::wstring& folder, const std::wstring& typed) {
    return wintest::sendCommandWhileDriving(mainDialog, IDC_ADD, choose(folder, typed));
}

void createFiles(const wintest::TempDir& dir, const std::vector<std::wstring>& names) {
    for (const std::wstring& name : names)
        ASSERT_TRUE(wintest::writeFile(dir.file(name), "x")) << testing::PrintToString(name);
}

std::vector<std::wstring> pathsIn(const wintest::TempDir& dir, const std::vector<std::wstring>& names) {
    std::vector<std::wstring> paths;
    for (const std::wstring& name : names)
        paths.push_back(dir.file(name));
    return paths;
}

// In code-unit order, for comparing contents where the list box's collation is not the point.
std::vector<std::wstring> sorted(std::vector<std::wstring> paths) {
    std::sort(paths.begin(), paths.end());
    return paths;
}

// Files in the root of drive C: of the test's own Wine prefix, removed again at the end.
class RootFiles {
public:
    explicit RootFiles(const std::vector<std::wstring>& names) {
        wchar_t unique[32];
        swprintf(unique, 32, L"tarnel-%lu-", GetCurrentProcessId());
        for (const std::wstring& name : names) {
            names_.push_back(unique + name);
            wintest::writeFile(path(names_.back()), "x");
        }
    }
    ~RootFiles() {
        for (const std::wstring& name : names_)
            DeleteFileW(path(name).c_str());
    }
    const std::vector<std::wstring>& names() const { return names_; }
    static std::wstring path(const std::wstring& name) { return kRoot + name; }
    static const std::wstring kRoot;

private:
    std::vector<std::wstring> names_;
};
const std::wstring RootFiles::kRoot = L"C:\\";

TEST(AddCommand, OneChosenFileIsAddedUnderItsFullPath) {
    wintest::TempDir dir;
    createFiles(dir, {L"one.png"});
    runWithMainDialog([&](wintest::MainDialogHost& host) {
        ASSERT_TRUE(addThroughDialog(host.dialog(), L"", dir.file(L"one.png")));
        EXPECT_EQ(listItems(host.control(IDC_SOURCE_LIST)), std::vector<std::wstring>{dir.file(L"one.png")});
    });
}

TEST(AddCommand, DialogOffersPngThenIcoFiles) {
    runWithMainDialog([&](wintest::MainDialogHost& host) {
        std::vector<std::wstring> filters;
        const bool seen = wintest::sendCommandWhileDriving(host.dialog(), IDC_ADD, [&] {
            HWND dialog = waitForFileDialog();
            if (!dialog)
                return false;
            HWND combo = GetDlgItem(dialog, kFilterComboId);
            const int count = combo ? static_cast<int>(SendMessageW(combo, CB_GETCOUNT, 0, 0)) : 0;
            for (int i = 0; i < count; ++i) {
                wchar_t label[128] = {};
                SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(label));
                filters.push_back(label);
            }
            filters.push_back(wintest::windowText(combo)); // the filter it opens on
            abandon(dialog);
            return true;
        });
        ASSERT_TRUE(seen) << "no dialog titled \"Select Files\"";
        EXPECT_EQ(filters,
                  (std::vector<std::wstring>{L"PNG Files (*.png)", L"ICO Files (*.ico)", L"PNG Files (*.png)"}));
    });
}

// The test for one file does not open it, so a file another program holds locked is added too.
TEST(AddCommand, OneChosenFileThatCannotBeOpenedIsAddedUnderItsFullPath) {
    wintest::TempDir dir;
    createFiles(dir, {L"locked.png"});
    const std::wstring path = dir.file(L"locked.png");
    HANDLE lock = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    FILE* reader = _wfopen(path.c_str(), L"rb");
    EXPECT_EQ(reader, nullptr) << "the lock does not keep readers out, so this test shows nothing";
    if (reader)
        fclose(reader);
    runWithMainDialog([&](wintest::MainDialogHost& host) {
        ASSERT_TRUE(addThroughDialog(host.dialog(), dir.path(), L"locked.png"));
        EXPECT_EQ(listItems(host.control(IDC_SOURCE_LIST)), std::vector<std::wstring>{path});
    });
    CloseHandle(lock);
}

TEST(AddCommand, SeveralChosenFilesAreAddedWithTheirFolder) {
    wintest::TempDir dir;
    const std::vector<std::wstring> names = {L"a.png", L"b.ico"};
    createFiles(dir, names);
    runWithMainDialog([&](wintest::MainDialogHost& host) {
        ASSERT_TRUE(addThroughDialog(host.dialog(), dir.path(), quotedNames(names)));
        EXPECT_EQ(listItems(host.control(IDC_SOURCE_LIST)), pathsIn(dir, names));
    });
}

TEST(AddCommand, SeveralFilesInADriveRootGetOneBackslash) {
    RootFiles files({L"a.png", L"b.ico"});
    runWithMainDialog([&](wintest::MainDialogHost& host) {
        ASSERT_TRUE(addThroughDialog(host.dialog(), RootFiles::kRoot, quotedNames(files.names())));
        EXPECT_EQ(listItems(host.control(IDC_SOURCE_LIST)),
                  (std::vector<std::wstring>{RootFiles::path(files.names()[0]), RootFiles::path(files.names()[1])}));
    });
}

TEST(AddCommand, OnlyPngAndIcoInAnyCaseEnter) {
    wintest::TempDir dir;
    const std::vector<std::wstring> names = {L"a.png", L"b.ICO", L"c.jpg", L"d.txt", L"e.Png", L"f", L"g.ico.bak"};
    createFiles(dir, names);
    runWithMainDialog([&](wintest::MainDialogHost& host) {
        ASSERT_TRUE(addThroughDialog(host.dialog(), dir.path(), quotedNames(names)));
        EXPECT_EQ(listItems(host.control(IDC_SOURCE_LIST)), pathsIn(dir, {L"a.png", L"b.ICO", L"e.Png"}));
    });
}

TEST(AddCommand, SkipsAListedFileAndAddsOneDifferingOnlyInCase) {
    wintest::TempDir dir;
    createFiles(dir, {L"a.png", L"b.png"});
    runWithMainDialog([&](wintest::MainDialogHost& host) {
        ASSERT_TRUE(addThroughDialog(host.dialog(), dir.path(), quotedNames({L"a.png", L"b.png"})));
        // Chosen again, with one name typed in another letter case.
        ASSERT_TRUE(addThroughDialog(host.dialog(), dir.path(), quotedNames({L"a.png", L"B.PNG"})));
        // Where the collation puts "B.PNG" against "b.png" is the list box's business.
        EXPECT_EQ(sorted(listItems(host.control(IDC_SOURCE_LIST))), sorted(pathsIn(dir, {L"a.png", L"b.png", L"B.PNG"})));
    });
}

TEST(AddCommand, ItemsAreSortedWhateverTheOrderOfChoosing) {
    wintest::TempDir dir;
    const std::vector<std::wstring> sorted = {L"apple.png", L"kiwi.ico", L"mango.png", L"pear.ico"};
    createFiles(dir, sorted);
    runWithMainDialog([&](wintest::MainDialogHost& host) {
        ASSERT_TRUE(addThroughDialog(host.dialog(), dir.path(), quotedNames({L"pear.ico", L"apple.png"})));
        ASSERT_TRUE(addThroughDialog(host.dialog(), dir.path(), quotedNames({L"mango.png", L"kiwi.ico"})));
        EXPECT_EQ(listItems(host.control(IDC_SOURCE_LIST)), pathsIn(dir, sorted));
    });
}

TEST(AddCommand, CancelAddsNothing) {
    wintest::TempDir dir;
    createFiles(dir, {L"a.png"});
    runWithMainDialog([&](wintest::MainDialogHost& host) {
        ASSERT_GE(addSourceFile(L"C:\\kept.png"), 0);
        const bool cancelled = wintest::sendCommandWhileDriving(host.dialog(), IDC_ADD, [&] {
            HWND dialog = waitForFileDialog();
            if (!dialog || !wintest::goToFolder(dialog, dir.path()))
                return false;
            SetWindowTextW(wintest::fileNameBox(dialog), L"a.png");
            wintest::clickButton(dialog, IDCANCEL);
            return wintest::waitUntil([&] { return !IsWindow(dialog); });
        });
        ASSERT_TRUE(cancelled);
        EXPECT_EQ(listItems(host.control(IDC_SOURCE_LIST)), std::vector<std::wstring>{L"C:\\kept.png"});
    });
}

TEST(AddCommand, NamesBeyondAsciiArriveUnchanged) {
    wintest::TempDir dir;
    const std::vector<std::wstring> names = {
        L"\x0444\x0430\x0439\x043B.png",   // Cyrillic
        L"\x56FE\x50CF.ico",               // CJK
        L"smile-\xD83D\xDE00.png",         // U+1F600, outside the basic plane
    };
    createFiles(dir, names);
    runWithMainDialog([&](wintest::MainDialogHost& host) {
        ASSERT_TRUE(addThroughDialog(host.dialog(), dir.path(), quotedNames(names)));
        EXPECT_EQ(sorted(listItems(host.control(IDC_SOURCE_LIST))), sorted(pathsIn(dir, names)));
        // One at a time too: a single choice takes the other road through the result buffer.
        clearSourceFiles();
        ASSERT_TRUE(addThroughDialog(host.dialog(), dir.path(), names[2]));
        EXPECT_EQ(listItems(host.control(IDC_SOURCE_LIST)), std::vector<std::wstring>{dir.file(names[2])});
    });
}

// A folder's worth of files picked at once, as Ctrl+A in the dialog would: all of them enter.
TEST(AddCommandAtScale, ThreeThousandNamesPickedAtOnceAllEnter) {
    wintest::TempDir dir;
    std::vector<std::wstring> names;
    for (int i = 0; i < 3000; ++i) {
        wchar_t name[40];
        swprintf(name, 40, L"holiday-picture-number-%05d.png", i); // 32 units, as a camera names them
        names.push_back(name);
    }
    createFiles(dir, names);
    runWithMainDialog(
        [&](wintest::MainDialogHost& host) {
            ASSERT_GE(addSourceFile(L"C:\\already\\listed.png"), 0);
            ASSERT_TRUE(addThroughDialog(host.dialog(), dir.path(), quotedNames(names)));
            std::vector<std::wstring> expected = pathsIn(dir, names);
            expected.push_back(L"C:\\already\\listed.png");
            EXPECT_EQ(sorted(listItems(host.control(IDC_SOURCE_LIST))), sorted(expected));
        },
        180000, "a pick of 3,000 files");
}

// A pick that does not fit is refused whole and said so, in a box owned by the main window; the
// list stays as it was. The dialog is told it has less room than Add gives it, so that one name
// is too long: Wine's dialog reports a multiple selection that does not fit only on Windows.
TEST(AddCommandAtScale, APickThatDoesNotFitIsRefusedWithAMessage) {
    wintest::TempDir dir;
    const std::vector<std::wstring> names = {L"a-name-longer-than-the-room.png"};
    createFiles(dir, names);
    runWithMainDialog([&](wintest::MainDialogHost& host) {
        ASSERT_GE(addSourceFile(L"C:\\kept.png"), 0);
        wintest::SeenMessageBox seen;
        const bool refused = wintest::runWhileDriving([] { addSourceFilesWithRoom(16); }, [&] {
            HWND dialog = waitForFileDialog();
            if (!dialog || !wintest::goToFolder(dialog, dir.path()) || !wintest::typeFileNameAndOpen(dialog, names[0])) {
                abandon(dialog);
                return false;
            }
            HWND box = wintest::waitForMessageBox(wintest::kCaption, nullptr);
            if (!box) {
                abandon(dialog);
                return false;
            }
            seen.owner = GetWindow(box, GW_OWNER);
            seen.text = wintest::messageBoxText(box);
            seen.buttons = wintest::messageBoxButtons(box);
            wintest::answerMessageBox(box, IDOK);
            return wintest::waitUntil([&] { return !IsWindow(box); });
        });
        ASSERT_TRUE(refused) << "no message after the pick";
        EXPECT_EQ(seen.owner, host.dialog());
        EXPECT_EQ(seen.text, wintest::kSelectionTooLargeText);
        EXPECT_EQ(seen.buttons, std::vector<int>{IDOK});
        EXPECT_EQ(listItems(host.control(IDC_SOURCE_LIST)), std::vector<std::wstring>{L"C:\\kept.png"});
    });
}

} // namespace
