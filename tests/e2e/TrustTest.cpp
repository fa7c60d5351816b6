// The built program as a user drives it, where its results must be trusted: a failed
// replacement never counts as converted, a run never writes over its own outputs or sources,
// the folder box is taken as the user meant it, and Open never starts a program.
#include "FileDialogDriver.h"
#include "ProgramDriving.h"
#include "ProgramTexts.h"
#include "WinTest.h"

#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace e2e;
using namespace wintest;

namespace {

// The longest path that Windows takes without its extended form.
const size_t kLongestPath = MAX_PATH - 1;

std::string picture() {
    std::string bytes;
    readFile(sourceTreeFile(L"tests/imagelib/png/rgba8.png"), bytes);
    return bytes;
}

std::string contentOf(const std::wstring& path) {
    std::string bytes;
    readFile(path, bytes);
    return bytes;
}

TEST(Trust, FailedReplacementsAnsweredYesCountAsNotConvertedAndKeepTheOldFiles) {
    TempDir in;
    TempDir out;
    ASSERT_TRUE(writeFile(in.file(L"t_damaged.png"), "no longer a picture"));
    ASSERT_TRUE(writeFile(in.file(L"t_locked.png"), picture()));
    ASSERT_TRUE(writeFile(out.file(L"t_damaged.ico"), "the damaged picture's old icon"));
    ASSERT_TRUE(writeFile(out.file(L"t_locked.ico"), "a read-only icon"));
    ASSERT_TRUE(SetFileAttributesW(out.file(L"t_locked.ico").c_str(), FILE_ATTRIBUTE_READONLY));
    MessageBoxAnswerer answerer(kCaption, {IDYES});

    withProgram(in.path(), [&](const ChildProcess& program, HWND main) {
        addSources(program, main, quotedNames({L"t_damaged.png", L"t_locked.png"}), 2);
        setFolderText(main, out.path());
        convertAndClose(main, program.id(), L"0 / 2 (0%)");
        EXPECT_EQ((std::vector<int>{0, 0}), selection(main)) << "a failed file was selected for removal";
    });

    EXPECT_EQ(2u, answerer.seen().size()) << "the user is still asked about each existing file";
    EXPECT_EQ("the damaged picture's old icon", contentOf(out.file(L"t_damaged.ico")));
    EXPECT_EQ("a read-only icon", contentOf(out.file(L"t_locked.ico"))) << "a read-only file was replaced";
    SetFileAttributesW(out.file(L"t_locked.ico").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(Trust, JobsThatWouldWriteTheSameFileOrASourceAreRefusedBeforeAnythingIsWritten) {
    TempDir in;
    TempDir out;
    for (const wchar_t* folder : {L"a", L"b", L"c"})
        ASSERT_TRUE(CreateDirectoryW(in.file(folder).c_str(), nullptr));
    const std::wstring first = in.file(L"a\\t_same.png");
    const std::wstring second = in.file(L"b\\T_SAME.png");
    const std::wstring icon = in.file(L"c\\x.ico");
    const std::wstring png = in.file(L"c\\x.png");
    for (const std::wstring& path : {first, second, png})
        ASSERT_TRUE(writeFile(path, picture()));
    ASSERT_TRUE(writeFile(icon, "an icon whose job would write over x.png"));

    withProgram(in.path(), [&](const ChildProcess& program, HWND main) {
        // Names differ only in letter case, as Windows does not tell them apart.
        addSources(program, main, first, 1);
        addSources(program, main, second, 1);
        setFolderText(main, out.path());
        expectRefusal(program, main, kConvertButton,
                      L"'" + first + L"' and '" + second + L"' would both be converted to '" +
                          out.file(L"T_SAME.ico") + L"'.\nPlease remove one of them from the list.");
        EXPECT_FALSE(fileExists(out.file(L"t_same.ico")));

        clickButton(main, kClearButton);
        ASSERT_TRUE(waitUntil([&] { return entryCount(main) == 0; }));
        addSources(program, main, icon, 1);
        addSources(program, main, png, 1);
        // Windows drops the trailing dot: this is the sources' own folder.
        setFolderText(main, in.file(L"c."));
        expectRefusal(program, main, kConvertButton,
                      L"Converting '" + icon + L"' would replace '" + png +
                          L"', which is also in the list.\nPlease choose another output folder.");
    });
    EXPECT_EQ(picture(), contentOf(png)) << "a source was replaced";
}

// A folder typed as a bare name would be found under whichever folder the process stands in,
// which the user never sees: it is refused, whichever folder the last Add dialog showed.
TEST(Trust, RelativeFolderIsRefusedAfterAnAddDialogInAnotherFolder) {
    TempDir start;
    TempDir picked;
    for (const TempDir* folder : {&start, &picked})
        ASSERT_TRUE(CreateDirectoryW(folder->file(L"out").c_str(), nullptr));
    ASSERT_TRUE(writeFile(picked.file(L"pic.png"), picture()));

    withProgram(start.path(), [&](const ChildProcess& program, HWND main) {
        addSources(program, main, picked.file(L"pic.png"), 1);
        setFolderText(main, L"out");
        expectRefusal(program, main, kConvertButton, kFolderNotFullText);
    });
    EXPECT_FALSE(fileExists(start.file(L"out\\pic.ico")));
    EXPECT_FALSE(fileExists(picked.file(L"out\\pic.ico")));
}

// a.PNG becomes a.png, which Windows finds as a.PNG itself: nothing to ask, nothing to write.
TEST(Trust, SourceConvertedIntoItsOwnFolderUnderItsOwnNameIsLeftUnasked) {
    TempDir in;
    ASSERT_TRUE(writeFile(in.file(L"a.PNG"), picture()));
    MessageBoxAnswerer answerer(kCaption, {IDYES});

    withProgram(in.path(), [&](const ChildProcess& program, HWND main) {
        addSources(program, main, L"a.PNG", 1);
        setFolderText(main, in.path());
        convertAndClose(main, program.id(), L"1 / 1 (100%)");
    });
    EXPECT_TRUE(answerer.seen().empty()) << "the user was asked to replace the source with itself";
    EXPECT_EQ(picture(), contentOf(in.file(L"a.PNG")));
}

// A folder of exactly this many characters inside parent, made of one long name.
std::wstring folderOfLength(const std::wstring& parent, size_t length) {
    return parent + L"\\" + std::wstring(length - parent.size() - 1, L'd');
}

TEST(Trust, FolderTextWithSpacesOrQuotesAndTheLongestDestinationConvert) {
    TempDir in;
    TempDir out;
    ASSERT_TRUE(writeFile(in.file(L"pic.png"), picture()));
    // CreateDirectoryW takes folders of up to 247 characters, room for an 8.3 name.
    const std::wstring deep = folderOfLength(out.path(), MAX_PATH - 13);
    ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
    const std::wstring longName(kLongestPath - deep.size() - 1 - 4, L'n');
    ASSERT_TRUE(writeFile(in.file(longName + L".png"), picture()));
    const std::wstring longest = deep + L"\\" + longName + L".ico";
    ASSERT_EQ(kLongestPath, longest.size());
    std::wstring remembered;

    withProgram(in.path(), [&](const ChildProcess& program, HWND main) {
        addSources(program, main, L"pic.png", 1);
        setFolderText(main, out.path() + L" ");
        convertAndClose(main, program.id(), L"1 / 1 (100%)");
        EXPECT_TRUE(fileExists(out.file(L"pic.ico"))) << "trailing space";

        ASSERT_TRUE(DeleteFileW(out.file(L"pic.ico").c_str()));
        // As Explorer's "Copy as path" gives it.
        setFolderText(main, L"\"" + out.path() + L"\"");
        convertAndClose(main, program.id(), L"1 / 1 (100%)");
        EXPECT_TRUE(fileExists(out.file(L"pic.ico"))) << "quoted folder";

        clickButton(main, kClearButton);
        ASSERT_TRUE(waitUntil([&] { return entryCount(main) == 0; }));
        addSources(program, main, longName + L".png", 1);
        setFolderText(main, deep);
        convertAndClose(main, program.id(), L"1 / 1 (100%)");
        EXPECT_TRUE(fileExists(longest)) << "a destination of " << kLongestPath << " characters";

        setFolderText(main, L" \"" + out.path() + L"\" ");
    }, [&](const std::wstring& saved) { remembered = saved; });
    EXPECT_EQ(out.path(), remembered) << "the folder was saved as typed";
}

bool isProcessRunning(const wchar_t* exeName, bool endIt) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    bool found = false;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (lstrcmpiW(entry.szExeFile, exeName) != 0)
            continue;
        found = true;
        HANDLE process = endIt ? OpenProcess(PROCESS_TERMINATE, FALSE, entry.th32ProcessID) : nullptr;
        if (process) {
            TerminateProcess(process, 1);
            CloseHandle(process);
        }
    }
    CloseHandle(snapshot);
    return found;
}

TEST(Trust, OpenWithAProgramsNameStartsNothingAndAsksForTheFullPath) {
    TempDir in;
    isProcessRunning(L"notepad.exe", true);
    withProgram(in.path(), [&](const ChildProcess& program, HWND main) {
        setFolderText(main, L"notepad");
        expectRefusal(program, main, kOpenButton, kFolderNotFullText);
    });
    Sleep(kSeveralTicksMs);
    EXPECT_FALSE(isProcessRunning(L"notepad.exe", true)) << "Open started a program";
}

} // namespace
