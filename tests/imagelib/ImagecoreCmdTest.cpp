// imagecore.exe started by the command interpreter, as a user types it: cmd.exe hands patterns
// on as they are, so the program expands them itself.
#include <gtest/gtest.h>

#include <algorithm>

#include "TestImages.h"
#include "WinTest.h"

namespace {

std::wstring systemProgram(const wchar_t* name) {
    wchar_t folder[MAX_PATH];
    GetSystemDirectoryW(folder, MAX_PATH);
    return std::wstring(folder) + L"\\" + name;
}

// `commandLine` run by cmd.exe in `folder`: its exit status, and what it printed in `output`
// (line ends as "\n").
DWORD runInCmd(const std::wstring& folder, const std::wstring& commandLine, std::string& output) {
    wintest::ChildProcess cmd(systemProgram(L"cmd.exe"), folder, L"/c " + commandLine + L" > printed.txt 2>&1");
    DWORD status = ~0u;
    EXPECT_TRUE(cmd.waitForExit(60000, status));
    wintest::readFile(folder + L"\\printed.txt", output);
    output.erase(std::remove(output.begin(), output.end(), '\r'), output.end());
    return status;
}

TEST(ImagecoreUnderCmd, APatternConvertsEveryPngOfItsFolderInNameOrder) {
    wintest::TempDir dir;
    for (const wchar_t* folder : {L"in", L"out", L"in\\folder.png"})
        ASSERT_TRUE(CreateDirectoryW(dir.file(folder).c_str(), nullptr));
    const testimg::Bytes png = testimg::encodePng(testimg::pattern(20, 20, 1));
    for (const wchar_t* name : {L"b.png", L"a.png", L"C.PNG", L"d.pngx", L"notes.txt"})
        ASSERT_TRUE(wintest::writeFile(dir.file(L"in\\") + name, std::string(png.begin(), png.end())));

    std::string output;
    const std::wstring imagecore = wintest::distFolder() + L"\\core\\imagecore.exe";
    const DWORD status = runInCmd(dir.path(), imagecore + L" -o out in\\*.png in\\*.gif", output);
    EXPECT_EQ(status, 1u) << output; // the pattern that matched nothing
    EXPECT_EQ(output, "[1/4] in\\a.png -> out\\a.ico: converted\n"
                      "[2/4] in\\b.png -> out\\b.ico: converted\n"
                      "[3/4] in\\C.PNG -> out\\C.png: converted\n"
                      "[4/4] in\\*.gif: FAILED: no file matches this pattern\n"
                      "3 converted, 0 skipped, 1 failed\n");
    for (const wchar_t* made : {L"a.ico", L"b.ico", L"C.png"})
        EXPECT_TRUE(wintest::fileExists(dir.file(L"out\\") + made));
}

} // namespace
