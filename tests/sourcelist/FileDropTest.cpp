// Files and folders dropped onto the real main dialog, posted as Explorer delivers them: the
// same rule as Add for each file, and only the files directly inside a dropped folder.
#include "ListTesting.h"

#include "ui/SourceList.h"

#include <algorithm>

using listtest::listItems;
using wintest::runWithMainDialog;

namespace {

std::vector<std::wstring> sorted(std::vector<std::wstring> paths) {
    std::sort(paths.begin(), paths.end());
    return paths;
}

// Posts the drop and lets the dialog handle it.
void drop(HWND dialog, const std::vector<std::wstring>& paths) {
    wintest::postDrop(dialog, paths);
    wintest::pumpMessages();
}

TEST(FileDrop, FilesAndAFolderEnterByTheRuleOfAdd) {
    wintest::TempDir dir;
    const std::wstring unicode = dir.file(L"\x56FE\x50CF-\xD83D\xDE00.png");
    const std::wstring folder = dir.file(L"folder");
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((folder + L"\\deeper").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((folder + L"\\looks-like.png").c_str(), nullptr));
    for (const std::wstring& path : {dir.file(L"a.png"), dir.file(L"b.ICO"), dir.file(L"c.jpg"), unicode,
                                     folder + L"\\d.png", folder + L"\\e.Ico", folder + L"\\f.txt",
                                     folder + L"\\deeper\\g.png"})
        ASSERT_TRUE(wintest::writeFile(path, "x"));
    const std::wstring tooLong = L"C:\\" + std::wstring(300, L'n') + L".png";

    runWithMainDialog([&](wintest::MainDialogHost& host) {
        HWND list = host.control(IDC_SOURCE_LIST);
        ASSERT_GE(addSourceFile(dir.file(L"a.png")), 0);
        drop(host.dialog(), {dir.file(L"a.png"), dir.file(L"b.ICO"), dir.file(L"c.jpg"), unicode, folder,
                             dir.file(L"A.PNG"), dir.file(L"b.ICO"), tooLong});
        // a.png was listed and b.ICO comes twice: each once. A.PNG differs in case: a new item,
        // as with Add, whether or not the file system would find it.
        EXPECT_EQ(sorted(listItems(list)),
                  sorted({dir.file(L"a.png"), dir.file(L"A.PNG"), dir.file(L"b.ICO"), unicode, folder + L"\\d.png",
                          folder + L"\\e.Ico"}));

        // The folder again adds nothing new.
        const size_t before = listItems(list).size();
        drop(host.dialog(), {folder});
        EXPECT_EQ(listItems(list).size(), before);
    });
}

// Add's dialog lets only existing files through; a drop keeps to the same rule.
TEST(FileDrop, APathThatNamesNoFileIsNotListed) {
    wintest::TempDir dir;
    runWithMainDialog([&](wintest::MainDialogHost& host) {
        drop(host.dialog(), {dir.file(L"gone.png")});
        EXPECT_TRUE(listItems(host.control(IDC_SOURCE_LIST)).empty());
    });
}

// Past the plain form's 259 units, a dropped file and the files of a dropped folder are listed
// whole, whether or not long paths are enabled on the machine.
TEST(FileDrop, FilesAndFoldersOfAboutThreeHundredUnitsAreListed) {
    wintest::TempDir dir;
    const std::wstring deep = dir.path() + L"\\" + std::wstring(120, L'd') + L"\\" + std::wstring(120, L'e');
    for (const std::wstring& folder : {deep.substr(0, dir.path().size() + 121), deep})
        ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + folder).c_str(), nullptr));
    const std::wstring file = deep + L"\\" + std::wstring(60, L'f') + L".png";
    const std::wstring inFolder = deep + L"\\inside.ico";
    for (const std::wstring& path : {file, inFolder})
        ASSERT_TRUE(wintest::writeFile(L"\\\\?\\" + path, "x"));
    ASSERT_GE(file.size(), 300u);

    runWithMainDialog([&](wintest::MainDialogHost& host) {
        drop(host.dialog(), {file});
        EXPECT_EQ(listItems(host.control(IDC_SOURCE_LIST)), std::vector<std::wstring>{file});
        drop(host.dialog(), {deep});
        EXPECT_EQ(sorted(listItems(host.control(IDC_SOURCE_LIST))), sorted({file, inFolder}));
    });
}

} // namespace
