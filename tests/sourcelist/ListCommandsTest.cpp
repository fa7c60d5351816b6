// The source list without the open-file dialog: the extension filter, adding single paths,
// duplicates, sorting, and the Remove and Clear commands of the real main dialog.
#include "ListTesting.h"

#include "app/AppGlobals.h"
#include "ui/SourceList.h"

#include <algorithm>

using listtest::listItems;
using wintest::runWithMainDialog;

namespace {

struct ExtensionCase {
    const wchar_t* path;
    bool accepted;
};

const ExtensionCase kExtensionCases[] = {
    {L"C:\\images\\a.png", true},
    {L"C:\\images\\a.PNG", true},
    {L"C:\\images\\a.Ico", true},
    {L"C:\\images\\a.ICO", true},
    {L"C:\\images\\a.ico.png", true},
    {L".png", true},
    {L"C:\\images\\a.jpg", false},
    {L"C:\\images\\a.pn", false},
    {L"C:\\images\\a.pngx", false},
    {L"C:\\images\\a.png ico", false}, // the whole accepted list is not an extension
    {L"C:\\images\\a.png.bak", false},
    {L"C:\\images\\a", false},
    {L"C:\\images\\a.", false},
    {L"C:\\images.png\\a", false}, // the last dot is in the folder: the "extension" has a backslash
    {L"", false},
    {L"png", false},
    {L"C:\\images\\a.\xFF30\xFF2E\xFF27", false}, // full-width letters are not lowered
};

TEST(SourceExtension, AcceptsOnlyPngAndIcoInAnyCase) {
    for (const ExtensionCase& row : kExtensionCases)
        EXPECT_EQ(hasSourceExtension(row.path), row.accepted) << "path: " << testing::PrintToString(std::wstring(row.path));
}

TEST(SourceList, AddsNewPathsAndSkipsExactDuplicates) {
    runWithMainDialog([](wintest::MainDialogHost& host) {
        HWND list = host.control(IDC_SOURCE_LIST);
        EXPECT_GE(addSourceFile(L"C:\\images\\a.png"), 0);
        EXPECT_TRUE(isSourceFileListed(L"C:\\images\\a.png"));
        EXPECT_EQ(addSourceFile(L"C:\\images\\a.png"), -1);
        // Case-sensitive: another letter case is another item.
        EXPECT_FALSE(isSourceFileListed(L"C:\\images\\A.PNG"));
        EXPECT_GE(addSourceFile(L"C:\\images\\A.PNG"), 0);
        EXPECT_EQ(addSourceFile(L"C:\\images\\a.jpg"), -1);
        EXPECT_EQ(addSourceFile(L""), -1);
        const std::vector<std::wstring> items = listItems(list);
        ASSERT_EQ(items.size(), 2u);
        EXPECT_NE(std::find(items.begin(), items.end(), L"C:\\images\\a.png"), items.end());
        EXPECT_NE(std::find(items.begin(), items.end(), L"C:\\images\\A.PNG"), items.end());
    });
}

TEST(SourceList, ReturnsTheSortedIndexOfTheNewItem) {
    runWithMainDialog([](wintest::MainDialogHost& host) {
        EXPECT_EQ(addSourceFile(L"C:\\b.png"), 0);
        EXPECT_EQ(addSourceFile(L"C:\\a.png"), 0);
        EXPECT_EQ(addSourceFile(L"C:\\c.png"), 2);
        EXPECT_EQ(addSourceFile(L"C:\\b.ico"), 1);
    });
}

// Any path Windows takes is listed whole: past the plain form's 259 units up to the 32,767 of the
// extended form.
TEST(SourceList, ListsPathsOfAnyLengthWindowsTakes) {
    runWithMainDialog([](wintest::MainDialogHost& host) {
        const std::wstring folder = L"C:\\";
        const std::wstring plainLimit = folder + std::wstring(MAX_PATH - folder.size() - 4, L'm') + L".png";
        const std::wstring longest = folder + std::wstring(32767 - folder.size() - 4, L'n') + L".png";
        const std::wstring tooLong = folder + std::wstring(32768 - folder.size() - 4, L'o') + L".png";
        ASSERT_EQ(plainLimit.size(), 260u);
        ASSERT_EQ(longest.size(), 32767u);
        EXPECT_GE(addSourceFile(plainLimit), 0);
        EXPECT_GE(addSourceFile(longest), 0);
        EXPECT_TRUE(isSourceFileListed(longest));
        EXPECT_EQ(addSourceFile(tooLong), -1);
        EXPECT_EQ(addSourceFile(std::wstring(L"C:\\x\0y.png", 10)), -1); // a NUL would cut the item
        EXPECT_EQ(listItems(host.control(IDC_SOURCE_LIST)), (std::vector<std::wstring>{plainLimit, longest}));
    });
}

// An item that did not come through addSourceFile, longer than any buffer of 260 units, is
// read whole by the duplicate test: not cut, not skipped, and the items after it still count.
TEST(SourceList, DuplicateTestReadsAnOverlongItemWhole) {
    runWithMainDialog([](wintest::MainDialogHost& host) {
        const std::wstring overlong = L"C:\\m" + std::wstring(2000, L'z') + L".png";
        SendMessageW(host.control(IDC_SOURCE_LIST), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(overlong.c_str()));
        ASSERT_GE(addSourceFile(L"C:\\zz.png"), 1) << "sorts after the overlong item";
        EXPECT_TRUE(isSourceFileListed(overlong));
        EXPECT_FALSE(isSourceFileListed(overlong.substr(0, MAX_PATH - 1)));
        EXPECT_EQ(addSourceFile(L"C:\\zz.png"), -1);
        EXPECT_EQ(listItems(host.control(IDC_SOURCE_LIST)).size(), 2u);
    });
}

TEST(SourceList, KeepsSortedOrderWhateverTheOrderOfAdding) {
    const std::vector<std::wstring> sorted = {L"C:\\img\\alpha.png", L"C:\\img\\beta.ico", L"C:\\img\\delta.PNG",
                                              L"C:\\img\\gamma.png", L"D:\\omega.ico"};
    std::vector<std::wstring> order = sorted;
    std::reverse(order.begin(), order.end());
    const std::vector<std::vector<std::wstring>> orders = {
        sorted, order, {sorted[2], sorted[0], sorted[4], sorted[1], sorted[3]}};
    for (const std::vector<std::wstring>& adding : orders) {
        runWithMainDialog([&](wintest::MainDialogHost& host) {
            for (const std::wstring& path : adding)
                addSourceFile(path);
            EXPECT_EQ(listItems(host.control(IDC_SOURCE_LIST)), sorted);
        });
    }
}

TEST(SourceList, OperationsWithoutTheListBoxDoNothing) {
    runWithMainDialog([](wintest::MainDialogHost& host) {
        addSourceFile(L"C:\\kept.png");
        const HWND dialog = g_app.hMainDlg;
        g_app.hMainDlg = nullptr;
        EXPECT_EQ(addSourceFile(L"C:\\a.png"), -1);
        EXPECT_FALSE(isSourceFileListed(L"C:\\kept.png"));
        removeSelectedSourceFiles();
        clearSourceFiles();
        g_app.hMainDlg = dialog;
        EXPECT_EQ(listItems(host.control(IDC_SOURCE_LIST)), std::vector<std::wstring>{L"C:\\kept.png"});
    });
}

const std::vector<std::wstring> kFive = {L"C:\\1.png", L"C:\\2.png", L"C:\\3.png", L"C:\\4.png", L"C:\\5.png"};

void addAll(const std::vector<std::wstring>& paths) {
    for (const std::wstring& path : paths)
        ASSERT_GE(addSourceFile(path), 0);
}

void select(HWND list, int index) {
    SendMessageW(list, LB_SETSEL, TRUE, index);
}

TEST(RemoveCommand, RemovesTheSelectedItemsAndKeepsTheOrderOfTheRest) {
    runWithMainDialog([](wintest::MainDialogHost& host) {
        HWND list = host.control(IDC_SOURCE_LIST);
        addAll(kFive);
        select(list, 1);
        select(list, 3);
        wintest::sendCommand(host.dialog(), IDC_REMOVE);
        EXPECT_EQ(listItems(list), (std::vector<std::wstring>{kFive[0], kFive[2], kFive[4]}));
    });
}

TEST(RemoveCommand, RemovesAdjacentAndEndItems) {
    runWithMainDialog([](wintest::MainDialogHost& host) {
        HWND list = host.control(IDC_SOURCE_LIST);
        addAll(kFive);
        select(list, 0);
        select(list, 3);
        select(list, 4);
        wintest::sendCommand(host.dialog(), IDC_REMOVE);
        EXPECT_EQ(listItems(list), (std::vector<std::wstring>{kFive[1], kFive[2]}));
    });
}

TEST(RemoveCommand, WithoutASelectionRemovesNothing) {
    runWithMainDialog([](wintest::MainDialogHost& host) {
        HWND list = host.control(IDC_SOURCE_LIST);
        addAll(kFive);
        wintest::sendCommand(host.dialog(), IDC_REMOVE);
        EXPECT_EQ(listItems(list), kFive);
    });
}

TEST(ClearCommand, EmptiesTheList) {
    runWithMainDialog([](wintest::MainDialogHost& host) {
        HWND list = host.control(IDC_SOURCE_LIST);
        addAll(kFive);
        select(list, 2);
        wintest::sendCommand(host.dialog(), IDC_CLEAR);
        EXPECT_TRUE(listItems(list).empty());
        // The list takes new items afterwards as before.
        EXPECT_EQ(addSourceFile(kFive[0]), 0);
    });
}

TEST(ListCommands, RemoveAndClearOnAnEmptyListDoNothing) {
    runWithMainDialog([](wintest::MainDialogHost& host) {
        HWND list = host.control(IDC_SOURCE_LIST);
        wintest::sendCommand(host.dialog(), IDC_REMOVE);
        wintest::sendCommand(host.dialog(), IDC_CLEAR);
        EXPECT_TRUE(listItems(list).empty());
        EXPECT_TRUE(IsWindow(host.dialog()));
    });
}

} // namespace
