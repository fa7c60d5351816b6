// The Open button hands the box's text to the shell's "open" verb, and does nothing for an
// empty box. The shell call is recorded instead of made, so no file manager starts.
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

HINSTANCE WINAPI recordShellCall(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR directory,
                                 INT show) {
    g_shellCalls.push_back({owner, verb ? verb : L"(null)", file ? file : L"(null)", parameters != nullptr,
                            directory != nullptr, show});
    return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(33)); // what success looks like
}

class ShellCallRecorder {
public:
    ShellCallRecorder() : previous_(g_shellExecuteForOpen) {
        g_shellCalls.clear();
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

TEST(OpenCommand, HandsTheTextUnchangedToTheShellsOpenVerb) {
    const std::wstring texts[] = {
        L"C:\\out",
        L" C:\\padded\\ ",                               // not trimmed
        L"no such folder",                               // not checked either: the shell reports
        L"C:\\\x0412\x044B\x0445\x043E\x0434\\\xD83D\xDE00", // Cyrillic and U+1F600
    };
    for (const std::wstring& text : texts) {
        runWithMainDialog([&](wintest::MainDialogHost& host) {
            ShellCallRecorder recorder;
            typeFolder(host, text);
            wintest::sendCommand(host.dialog(), IDC_OPEN_FOLDER);
            ASSERT_EQ(g_shellCalls.size(), 1u);
            const ShellCall& call = g_shellCalls[0];
            EXPECT_EQ(call.owner, nullptr);
            EXPECT_EQ(call.verb, L"open");
            EXPECT_EQ(call.file, text);
            EXPECT_FALSE(call.hasParameters);
            EXPECT_FALSE(call.hasDirectory);
            EXPECT_EQ(call.show, SW_SHOW);
        });
    }
}

} // namespace
