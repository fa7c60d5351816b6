// Paths past the 259 units of the plain form, through the built program: a source and an output
// folder of about 300 units each. The entry is put into the list directly, as a drop would put
// it: Wine's own open-file dialog cannot take such a path.
#include "ProgramDriving.h"
#include "ProgramTexts.h"
#include "WinTest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace e2e;
using namespace wintest;

namespace {

const size_t kAboutThreeHundred = 300;
const size_t kFolderNameLength = 100;

// The extended form, in which the test itself makes and reads such paths.
std::wstring extended(const std::wstring& path) {
    return L"\\\\?\\" + path;
}

// A folder inside parent of at least `length` units, made of names of 100 units.
std::wstring makeDeepFolder(const std::wstring& parent, size_t length, wchar_t letter) {
    std::wstring folder = parent;
    while (folder.size() < length) {
        folder += L"\\" + std::wstring(kFolderNameLength, letter);
        if (!CreateDirectoryW(extended(folder).c_str(), nullptr))
            return std::wstring();
    }
    return folder;
}

std::string picture() {
    std::string bytes;
    readFile(sourceTreeFile(L"tests/imagelib/png/rgba8.png"), bytes);
    return bytes;
}

void putEntry(HWND main, const std::wstring& path) {
    SendMessageW(GetDlgItem(main, kSourceList), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(path.c_str()));
}

TEST(LongPaths, SourceAndFolderOfAboutThreeHundredUnitsConvertAndTheFolderIsRemembered) {
    TempDir in;
    TempDir out;
    const std::wstring sourceFolder = makeDeepFolder(in.path(), kAboutThreeHundred, L's');
    const std::wstring folder = makeDeepFolder(out.path(), kAboutThreeHundred, L'o');
    ASSERT_FALSE(sourceFolder.empty());
    ASSERT_FALSE(folder.empty());
    const std::wstring source = sourceFolder + L"\\long way.png";
    const std::wstring icon = folder + L"\\long way.ico";
    ASSERT_TRUE(writeFile(extended(source), picture()));
    ASSERT_GE(source.size(), kAboutThreeHundred);
    ASSERT_GE(folder.size(), kAboutThreeHundred);
    std::wstring remembered;
    std::wstring shownAfterRestart;

    withProgram(in.path(), [&](const ChildProcess& program, HWND main) {
        putEntry(main, source);
        ASSERT_EQ(std::vector<std::wstring>{source}, entries(main));
        setFolderText(main, folder);
        convertAndClose(main, program.id(), L"1 / 1 (100%)");
        EXPECT_EQ(std::vector<int>{1}, selection(main)) << "the converted entry is not selected";
        EXPECT_EQ(std::vector<std::wstring>{source}, entries(main));
    }, [&](const std::wstring& saved) {
        remembered = saved;
        withProgram(in.path(), [&](const ChildProcess&, HWND main) {
            shownAfterRestart = controlText(main, kOutputFolderEdit);
        });
    });

    EXPECT_TRUE(fileExists(extended(icon))) << "no icon in the long folder";
    EXPECT_EQ(folder, remembered);
    EXPECT_EQ(folder, shownAfterRestart) << "the folder was not loaded at the next start";
}

} // namespace
