// The "..." button: the folder browser opens on the typed folder, and what the user picks there
// replaces the box's text; cancelling, or picking something that is no folder, leaves it alone.
#include "FolderTesting.h"

#include "ui/OutputFolder.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <vector>

using namespace foldertest;
using wintest::runWithMainDialog;

namespace {

struct SelectionRequest {
    WPARAM isPath;
    std::wstring path;
};

// The selection requests the callback sent, seen on the way to the browser window.
std::vector<SelectionRequest> g_requests;

void recordRequest(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == BFFM_SETSELECTIONW)
        g_requests.push_back({wParam, lParam ? reinterpret_cast<const wchar_t*>(lParam) : L"(null)"});
}

LRESULT CALLBACK recordingWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    recordRequest(message, wParam, lParam);
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK recordingHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code >= 0) {
        const CWPSTRUCT* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
        recordRequest(sent->message, sent->wParam, sent->lParam);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Watches what this thread sends to its windows, the browser among them, while it lives.
class SentMessageRecorder {
public:
    SentMessageRecorder() {
        g_requests.clear();
        hook_ = SetWindowsHookExW(WH_CALLWNDPROC, recordingHook, nullptr, GetCurrentThreadId());
    }
    ~SentMessageRecorder() {
        if (hook_)
            UnhookWindowsHookEx(hook_);
    }
    bool active() const { return hook_ != nullptr; }

private:
    HHOOK hook_ = nullptr;
};

// A window of our own in the browser's place, for calling the callback directly.
class RecordingWindow {
public:
    RecordingWindow() {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = recordingWindowProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"TarnelRecordingWindow";
        RegisterClassW(&windowClass);
        hwnd_ = CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                windowClass.hInstance, nullptr);
        g_requests.clear();
    }
    ~RecordingWindow() { DestroyWindow(hwnd_); }
    HWND hwnd() const { return hwnd_; }

private:
    HWND hwnd_ = nullptr;
};

std::wstring itemText(HWND tree, HTREEITEM item) {
    wchar_t text[MAX_PATH] = {};
    TVITEMW request = {};
    request.mask = TVIF_TEXT;
    request.hItem = item;
    request.pszText = text;
    request.cchTextMax = MAX_PATH;
    SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&request));
    return text;
}

HTREEITEM rootItem(HWND tree) {
    return reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
}

HTREEITEM childNamed(HWND tree, HTREEITEM parent, const std::wstring& name) {
    HTREEITEM child = reinterpret_cast<HTREEITEM>(
        SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(parent)));
    while (child && itemText(tree, child) != name)
        child = reinterpret_cast<HTREEITEM>(
            SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(child)));
    return child;
}

// The name the shell shows for a folder of its own, such as My Computer.
std::wstring shellDisplayName(int csidl) {
    PIDLIST_ABSOLUTE item = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, &item)))
        return std::wstring();
    SHFILEINFOW info = {};
    SHGetFileInfoW(reinterpret_cast<LPCWSTR>(item), 0, &info, sizeof(info), SHGFI_PIDL | SHGFI_DISPLAYNAME);
    CoTaskMemFree(item);
    return info.szDisplayName;
}

std::wstring shellFolderPath(int csidl) {
    wchar_t path[MAX_PATH] = {};
    return SUCCEEDED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)) ? path : L"";
}

// Which item the user picks in the browser's tree before pressing a button.
using Pick = std::function<HTREEITEM(HWND tree)>;

HTREEITEM keepSelection(HWND) {
    return nullptr;
}

// The driver of one browse command: pick an item, press the button, wait for the browser to go.
std::function<bool()> pickAndPress(HWND mainDialog, Pick pick, int button) {
    return [=] {
        HWND browser = wintest::waitForOwnedWindow(mainDialog);
        if (!browser)
            return false;
        HWND tree = FindWindowExW(browser, nullptr, WC_TREEVIEWW, nullptr);
        bool picked = true;
        if (tree) {
            if (HTREEITEM item = pick(tree))
                picked = SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item)) != FALSE;
        }
        wintest::clickButton(browser, picked ? button : IDCANCEL);
        const bool closed = wintest::waitUntil([&] { return !IsWindow(browser); });
        if (!closed)
            PostMessageW(browser, WM_COMMAND, IDCANCEL, 0);
        return picked && closed;
    };
}

bool browse(const wintest::MainDialogHost& host, Pick pick, int button) {
    return wintest::sendCommandWhileDriving(host.dialog(), IDC_BROWSE, pickAndPress(host.dialog(), pick, button));
}

TEST(BrowseCallback, AsksTheBrowserToSelectTheSeededPathWhenItStarts) {
    const wchar_t* const seeds[] = {L"C:\\windows", L"", L"C:\\\x56FE\x50CF\\\xD83D\xDE00"};
    for (const wchar_t* seed : seeds) {
        RecordingWindow browser;
        lstrcpynW(browsePath, seed, MAX_PATH);
        EXPECT_EQ(browseFolderCallback(browser.hwnd(), BFFM_INITIALIZED, 0, 0), 0);
        ASSERT_EQ(g_requests.size(), 1u);
        EXPECT_EQ(g_requests[0].isPath, static_cast<WPARAM>(TRUE));
        EXPECT_EQ(g_requests[0].path, seed);
    }
}

TEST(BrowseCallback, IgnoresEveryOtherMessage) {
    RecordingWindow browser;
    lstrcpynW(browsePath, L"C:\\windows", MAX_PATH);
    const UINT others[] = {BFFM_SELCHANGED, BFFM_VALIDATEFAILEDW, BFFM_IUNKNOWN, 0};
    for (UINT message : others)
        EXPECT_EQ(browseFolderCallback(browser.hwnd(), message, 0, 0), 0);
    EXPECT_TRUE(g_requests.empty());
}

TEST(BrowseCommand, OpensOnTheTypedFolderAndCancelKeepsTheText) {
    wintest::TempDir typed;
    runWithMainDialog([&](wintest::MainDialogHost& host) {
        typeFolder(host, typed.path());
        SentMessageRecorder recorder;
        ASSERT_TRUE(recorder.active());
        ASSERT_TRUE(browse(host, keepSelection, IDCANCEL));
        ASSERT_EQ(g_requests.size(), 1u);
        EXPECT_EQ(g_requests[0].isPath, static_cast<WPARAM>(TRUE));
        EXPECT_EQ(g_requests[0].path, typed.path());
        EXPECT_EQ(folderText(host), typed.path());
    });
}

// A cut path would name another folder, so an overlong text opens the browser on no path.
TEST(BrowseCommand, OverlongTextSeedsNoPathAndSurvivesCancel) {
    const std::wstring overlong = L"C:\\" + std::wstring(400, L'x');
    runWithMainDialog([&](wintest::MainDialogHost& host) {
        typeFolder(host, overlong);
        SentMessageRecorder recorder;
        ASSERT_TRUE(browse(host, keepSelection, IDCANCEL));
        ASSERT_EQ(g_requests.size(), 1u);
        EXPECT_EQ(g_requests[0].path, L"");
        EXPECT_EQ(folderText(host), overlong);
    });
}

TEST(BrowseCommand, ChosenFolderReplacesTheWholeText) {
    const std::wstring desktop = shellFolderPath(CSIDL_DESKTOPDIRECTORY);
    ASSERT_FALSE(desktop.empty());
    runWithMainDialog([&](wintest::MainDialogHost& host) {
        typeFolder(host, L"C:\\somewhere else entirely");
        // The root of the browser's tree is the desktop.
        ASSERT_TRUE(browse(host, rootItem, IDOK));
        EXPECT_EQ(folderText(host), desktop);
        EXPECT_STREQ(browsePath, desktop.c_str());
    });
}

TEST(BrowseCommand, ChoiceWithoutAFolderPathKeepsTheText) {
    const std::wstring myComputer = shellDisplayName(CSIDL_DRIVES);
    ASSERT_FALSE(myComputer.empty());
    runWithMainDialog([&](wintest::MainDialogHost& host) {
        typeFolder(host, L"C:\\kept");
        const bool chosen = browse(
            host, [&](HWND tree) { return childNamed(tree, rootItem(tree), myComputer); }, IDOK);
        ASSERT_TRUE(chosen) << "could not pick " << testing::PrintToString(myComputer);
        EXPECT_EQ(folderText(host), L"C:\\kept");
    });
}

// A bare name would be looked up from the process's current folder: the user is asked for the
// full path, the browser does not open (the command would not return while it is open), and the
// text stays.
TEST(BrowseCommand, RelativeTextAsksForTheFullPathAndKeepsIt) {
    wintest::MessageBoxAnswerer answerer(wintest::kCaption, {IDOK});
    runWithMainDialog([&](wintest::MainDialogHost& host) {
        typeFolder(host, L"out");
        wintest::sendCommand(host.dialog(), IDC_BROWSE);
        EXPECT_EQ(folderText(host), L"out");
    });
    const std::vector<wintest::SeenMessageBox> seen = answerer.seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, wintest::kFolderNotFullText);
}

} // namespace
