// The Open button shows an existing folder through the shell's "open" verb, refuses anything
// else, and does nothing for an empty box. The shell call is recorded instead of made, so no
// file manager starts.
#include "FolderTesting.h"
#include "ui/OutputFolder.h"

#include <shellapi.h>

#include <vector>

using namespace foldertest;
using wintest::runWithMainDialog;

namespace {

struct ShellCall {
    HWND owner;
    std::wstring verb;
    std::wstring file;
    bool hasParameters;
    bool hasDirectory;
    INT show;
};

std::vector<ShellCall> g_shellCalls;
// What the recorded call answers; above 32 is what success looks like.
const INT_PTR kShellOpened = 33;
INT_PTR g_shellAnswer = kShellOpened;

HINSTANCE WINAPI recordShellCall(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR directory,
                                 INT show) {
    g_shellCalls.push_back({owner, verb ? verb : L"(null)", file ? file : L"(null)", parameters != nullptr,
                            directory != nullptr, show});
    return reinterpret_cast<HINSTANCE>(g_shellAnswer);
}

class ShellCallRecorder {
public:
    explicit ShellCallRecorder(INT_PTR answer = kShellOpened) : previous_(g_shellExecuteForOpen) {
        g_shellCalls.clear();
        g_shellAnswer = answer;
        g_shellExecuteForOpen = recordShellCall;
    }
    ~ShellCallRecorder() { g_shellExecuteForOpen = previous_; }

private:
    decltype(&ShellExecuteW) previous_;
};

TEST(OpenCommand, EmptyBoxOpensNothing) {
    runWithMainDialog([](wintest::MainDialogHost& host) {
        ShellCallRecorder recorder;
        typeFolder(host, L"");
        wintest::sendCommand(host.dialog(), IDC_OPEN_FOLDER);
        EXPECT_TRUE(g_shellCalls.empty());
    });
}

// Only an existing folder opens, by its full path; anything else the shell could run or open
// (a program found on the search path, a document, an address) gets the missing-folder refusal.
TEST(OpenCommand, OpensOnlyAnExistingFolderByItsFullPath) {
    wintest::TempDir temp;
    const std::wstring unicode = temp.file(L"\x0412\x044B\x0445\x043E\x0434 \xD83D\xDE00");
    ASSERT_TRUE(CreateDirectoryW(unicode.c_str(), nullptr));
    ASSERT_TRUE(wintest::writeFile(temp.file(L"letter.txt"), "a document"));
    // Past the plain form's 259 units: found, and handed to the shell by its full path.
    const std::wstring deep = temp.file(std::wstring(150, L'o')) + L"\\" + std::wstring(150, L'p');
    for (const std::wstring& folder : {deep.substr(0, deep.rfind(L'\\')), deep})
        ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + folder).c_str(), nullptr));
    const std::wstring missing = L"The output folder doesn't exist.";
    const std::wstring notFull = wintest::kFolderNotFullText;
    struct Row {
        std::wstring typed;
        std::wstring opened; // empty: refused
        std::wstring refusal;
    };
    const Row rows[] = {
        {temp.path(), temp.path(), L""},
        {L" \"" + temp.path() + L"\" ", temp.path(), L""}, // as Explorer's "Copy as path" gives it
        {unicode, unicode, L""},
        {deep, deep, L""},
        {L"notepad", L"", notFull},
        {L"no such folder", L"", notFull},
        {temp.file(L"no such folder"), L"", missing},
        {temp.file(L"letter.txt"), L"", missing},
        {L"https://example.com/", L"", notFull},
    };
    for (const Row& row : rows) {
        wintest::MessageBoxAnswerer answerer(wintest::kCaption, {IDOK});
        HWND mainWindow = nullptr;
        runWithMainDialog([&](wintest::MainDialogHost& host) {
            mainWindow = host.dialog();
            ShellCallRecorder recorder;
            typeFolder(host, row.typed);
            wintest::sendCommand(host.dialog(), IDC_OPEN_FOLDER);
            if (row.opened.empty()) {
                EXPECT_TRUE(g_shellCalls.empty());
                return;
            }
            ASSERT_EQ(g_shellCalls.size(), 1u);
            const ShellCall& call = g_shellCalls[0];
            EXPECT_EQ(call.owner, nullptr);
            EXPECT_EQ(call.verb, L"open");
            EXPECT_EQ(call.file, row.opened);
            EXPECT_FALSE(call.hasParameters);
            EXPECT_FALSE(call.hasDirectory);
            EXPECT_EQ(call.show, SW_SHOW);
        });
        const std::vector<wintest::SeenMessageBox> seen = answerer.seen();
        if (row.opened.empty()) {
            ASSERT_EQ(seen.size(), 1u);
            EXPECT_EQ(seen[0].text, row.refusal);
            EXPECT_EQ(seen[0].owner, mainWindow);
        } else {
            EXPECT_TRUE(seen.empty());
        }
    }
}

// A folder the shell could not open is not passed over in silence.
TEST(OpenCommand, AShellThatCannotOpenTheFolderIsReported) {
    wintest::TempDir temp;
    wintest::MessageBoxAnswerer answerer(wintest::kCaption, {IDOK});
    HWND mainWindow = nullptr;
    runWithMainDialog([&](wintest::MainDialogHost& host) {
        mainWindow = host.dialog();
        ShellCallRecorder recorder(SE_ERR_ACCESSDENIED);
        typeFolder(host, temp.path());
        wintest::sendCommand(host.dialog(), IDC_OPEN_FOLDER);
        EXPECT_EQ(g_shellCalls.size(), 1u);
    });
    const std::vector<wintest::SeenMessageBox> seen = answerer.seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, L"The folder '" + temp.path() + L"' could not be opened.");
    EXPECT_EQ(seen[0].owner, mainWindow);
}

} // namespace
