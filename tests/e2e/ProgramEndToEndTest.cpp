// The built program, started from its distribution folder, used as a user would use it: Add
// with the open-file dialog, the output folder typed, Convert, the questions answered, Close,
// Remove, and the program closed. What it wrote is checked here with the Windows icon loader
// and a look at the PNG signature, and afterwards by Pillow (check_outputs.py).
#include "FileDialogDriver.h"
#include "ProgramDriving.h"
#include "ProgramTexts.h"
#include "WinTest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace e2e;
using namespace wintest;

namespace {

const DWORD kDeadlineMs = 240000;

bool isIcon(const std::wstring& path) {
    HANDLE icon = LoadImageW(nullptr, path.c_str(), IMAGE_ICON, 0, 0, LR_LOADFROMFILE | LR_DEFAULTSIZE);
    if (!icon)
        return false;
    DestroyIcon(static_cast<HICON>(icon));
    return true;
}

bool isPng(const std::wstring& path) {
    std::string bytes;
    return readFile(path, bytes) && bytes.compare(0, 8, "\x89PNG\r\n\x1a\n", 8) == 0;
}

TEST(ProgramEndToEnd, ConvertsPickedFilesAndRemembersTheFolder) {
    const std::wstring work = windowsPath(envVar(L"TARNEL_E2E_DIR"));
    ASSERT_FALSE(work.empty()) << "TARNEL_E2E_DIR is not set";
    const std::wstring in = work + L"\\in";
    const std::wstring out = work + L"\\out";
    ASSERT_TRUE(fileExists(in + L"\\wide.png")) << "the sources were not made";
    removeTree(out);
    ASSERT_TRUE(CreateDirectoryW(out.c_str(), nullptr));
    // An older output of one source: the first run asks about it, and Yes replaces it.
    ASSERT_TRUE(writeFile(out + L"\\multi.png", "left over from an earlier day"));

    // Jobs follow the sorted list: broken.png, multi.ico, UPPER.PNG, wide.png.
    const std::vector<std::wstring> sources = {in + L"\\broken.png", in + L"\\multi.ico", in + L"\\UPPER.PNG",
                                               in + L"\\wide.png"};
    const std::vector<std::wstring> outputs = {out + L"\\multi.png", out + L"\\UPPER.png", out + L"\\wide.ico"};
    MessageBoxAnswerer answerer(kCaption, {IDYES, IDNO});
    std::wstring remembered;

    withProgram(
        in,
        [&](const ChildProcess& program, HWND main) {
            clickButton(main, kAddButton);
            HWND picker = waitForProcessWindow(program.id(), kOpenFileTitle);
            ASSERT_TRUE(picker != nullptr) << "no open-file dialog";
            // It opens in the program's working folder, so the names alone are enough.
            ASSERT_TRUE(chooseFileNames(picker, quotedNames({L"wide.png", L"UPPER.PNG", L"multi.ico", L"broken.png"})));
            ASSERT_TRUE(waitUntil([&] { return entryCount(main) == 4; })) << entryCount(main) << " entries";
            EXPECT_EQ(sources, entries(main));
            setFolderText(main, out);

            // First run: one question, for the older multi.png, answered Yes; broken.png fails.
            convertAndClose(main, program.id(), L"3 / 4 (75%)");
            EXPECT_EQ((std::vector<int>{0, 1, 1, 1}), selection(main));
            EXPECT_TRUE(isIcon(out + L"\\wide.ico"));
            EXPECT_TRUE(isPng(out + L"\\UPPER.png"));
            EXPECT_TRUE(isPng(out + L"\\multi.png")) << "Yes did not replace the older file";
            EXPECT_FALSE(fileExists(out + L"\\broken.ico"));
            ASSERT_EQ(1u, answerer.seen().size());
            std::vector<std::string> firstBytes(outputs.size());
            for (size_t i = 0; i < outputs.size(); ++i)
                ASSERT_TRUE(readFile(outputs[i], firstBytes[i]));

            // Second run: a question per existing output, in job order, all answered No.
            convertAndClose(main, program.id(), L"3 / 4 (75%)");
            EXPECT_EQ((std::vector<int>{0, 1, 1, 1}), selection(main));
            for (size_t i = 0; i < outputs.size(); ++i) {
                std::string bytes;
                ASSERT_TRUE(readFile(outputs[i], bytes));
                EXPECT_EQ(firstBytes[i], bytes) << "No changed the file";
            }

            // Remove takes out the converted entries, leaving the one that failed.
            clickButton(main, kRemoveButton);
            EXPECT_TRUE(waitUntil([&] { return entryCount(main) == 1; }));
            EXPECT_EQ(std::vector<std::wstring>{sources[0]}, entries(main));
        },
        [&](const std::wstring& saved) { remembered = saved; }, kDeadlineMs);

    EXPECT_EQ(out, remembered);
    const std::vector<SeenMessageBox> seen = answerer.seen();
    ASSERT_EQ(4u, seen.size());
    EXPECT_EQ(overwriteText(outputs[0]), seen[0].text);
    for (size_t i = 0; i < outputs.size(); ++i)
        EXPECT_EQ(overwriteText(outputs[i]), seen[i + 1].text) << "second run, question " << i;
}

} // namespace
