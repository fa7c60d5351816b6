// Helpers for tests that drive the program's real windows under Wine: finding windows,
// reading their texts the way another process would, answering message boxes from a second
// thread, temporary folders, and a deadline so that a deadlock fails a test instead of CI.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <functional>
#include <string>
#include <vector>

namespace wintest {

// Polls until a top-level window of this process or another with that class (may be null) and
// title (may be null) exists and is visible; null after timeoutMs.
HWND waitForWindow(const wchar_t* className, const wchar_t* title, DWORD timeoutMs = 10000);
// Polls until predicate() is true; false after timeoutMs. Pumps this thread's messages meanwhile.
bool waitUntil(const std::function<bool()>& predicate, DWORD timeoutMs = 10000);
// Lets this thread's windows handle what is queued for them, for about ms.
void pumpMessages(DWORD ms = 0);

// Polls until a visible top-level window owned by owner exists (a modal dialog opened over it);
// null after timeoutMs.
HWND waitForOwnedWindow(HWND owner, DWORD timeoutMs = 10000);

// Runs a command of a dialog that opens a modal window: the command is sent on this thread, so
// it runs inside the dialog's own procedure, while driver works the modal window from a helper
// thread. The driver must end that window, or the command does not return (use a deadline).
// Answers what the driver answered.
bool sendCommandWhileDriving(HWND dialog, int controlId, const std::function<bool()>& driver);
// The same for any action of this thread that opens a modal window.
bool runWhileDriving(const std::function<void()>& action, const std::function<bool()>& driver);

// Files dropped as Explorer hands them over: a DROPFILES header and the wide paths, in global
// memory of this process. Whoever handles the WM_DROPFILES that carries it frees it.
HDROP makeDrop(const std::vector<std::wstring>& paths);
// Posts a drop of these paths to a window of this process, as Explorer delivers one.
void postDrop(HWND window, const std::vector<std::wstring>& paths);

// The text of a window read with WM_GETTEXT, which also works across processes.
std::wstring windowText(HWND hwnd);
std::wstring controlText(HWND dialog, int controlId);
// Presses a dialog button as a click would reach the dialog (posted, so it works across threads).
void clickButton(HWND dialog, int controlId);
// The same command sent and handled before this returns; for the dialog's own thread.
void sendCommand(HWND dialog, int controlId);

// The items of a list box in display order, and which of them are selected (1) or not (0);
// the messages are sent, so the list may belong to another process.
std::vector<std::wstring> listItems(HWND list);
std::vector<int> listSelection(HWND list);

// A message box that a watcher saw and answered.
struct SeenMessageBox {
    HWND owner = nullptr;
    std::wstring caption;
    std::wstring text;
    std::vector<int> buttons; // which of IDOK, IDCANCEL, IDYES, IDNO the box offers, in that order
};

// Answers every message box with the given caption that appears while it lives, on its own
// thread, pressing answers[i] for the i-th box (the last answer repeats). Boxes it saw are kept
// in order.
class MessageBoxAnswerer {
public:
    MessageBoxAnswerer(std::wstring caption, std::vector<int> answers);
    ~MessageBoxAnswerer();
    std::vector<SeenMessageBox> seen();
    // Waits until at least n boxes were answered; false after timeoutMs.
    bool waitForCount(size_t n, DWORD timeoutMs = 10000);

private:
    static DWORD WINAPI threadProc(LPVOID self);
    void run();
    std::wstring caption_;
    std::vector<int> answers_;
    std::vector<SeenMessageBox> seen_;
    CRITICAL_SECTION guard_;
    HANDLE thread_ = nullptr;
    volatile LONG stop_ = 0;
};

// The static text of a message box (the control with id 0xFFFF).
std::wstring messageBoxText(HWND box);
// Which of IDOK, IDCANCEL, IDYES, IDNO the box offers, in that order.
std::vector<int> messageBoxButtons(HWND box);
// For a test that must answer a box at a moment of its choosing: polls until a visible box with
// that caption and exactly that text exists (any text when text is null); null after timeoutMs.
HWND waitForMessageBox(const wchar_t* caption, const wchar_t* text, DWORD timeoutMs = 10000);
// Presses one button of a box, as a click would (posted, so it works from any thread).
void answerMessageBox(HWND box, int button);
// True when the window answers a sent message within timeoutMs: its thread is not blocked.
bool isResponsive(HWND hwnd, DWORD timeoutMs = 5000);

// A fresh folder under the temporary folder, removed with everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::wstring& path() const { return path_; }
    std::wstring file(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

bool writeFile(const std::wstring& path, const std::string& bytes);
bool readFile(const std::wstring& path, std::string& bytes);
bool fileExists(const std::wstring& path);
void removeTree(const std::wstring& path);

// Remembers a registry value under HKEY_CURRENT_USER and puts it back as it was (or deletes it
// when it did not exist), so a test that makes the program save settings leaves none behind.
class RegistryValueGuard {
public:
    RegistryValueGuard(std::wstring subKey, std::wstring valueName);
    ~RegistryValueGuard();
    RegistryValueGuard(const RegistryValueGuard&) = delete;
    RegistryValueGuard& operator=(const RegistryValueGuard&) = delete;

private:
    std::wstring subKey_;
    std::wstring valueName_;
    bool existed_ = false;
    DWORD type_ = 0;
    std::vector<BYTE> data_;
};
// Values under HKEY_CURRENT_USER, for tests that set up or check what the program stores.
// A value of any type, as stored; false when it is missing.
bool readRegistryValue(const std::wstring& subKey, const std::wstring& valueName, DWORD& type,
                       std::vector<BYTE>& data);
// A REG_SZ value up to its first NUL; false when it is missing or of another type.
bool readRegistryString(const std::wstring& subKey, const std::wstring& valueName, std::wstring& value);
// Stores exactly these bytes with this type, creating the key when needed.
bool writeRegistryValue(const std::wstring& subKey, const std::wstring& valueName, DWORD type, const void* data,
                        DWORD size);
// Stores text as REG_SZ with its terminating NUL, as the program saves a string.
bool writeRegistryString(const std::wstring& subKey, const std::wstring& valueName, const std::wstring& value);
// True when the value is gone afterwards, also when it or its key never existed.
bool deleteRegistryValue(const std::wstring& subKey, const std::wstring& valueName);

// A steady clock in seconds, for the benches' figures.
double secondsNow();

// Runs body on its own thread; if it has not finished after timeoutMs the whole test process
// ends with a failure message, so a deadlock cannot hang the test run.
void runWithDeadline(const std::function<void()>& body, DWORD timeoutMs, const char* what);

// A program started as a process of its own, in a working folder of the test's choosing (empty:
// this process's), with arguments after its quoted path; ended by force only if it is still
// running when this goes.
class ChildProcess {
public:
    ChildProcess(const std::wstring& programPath, const std::wstring& workingFolder,
                 const std::wstring& arguments = std::wstring());
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return started_; }
    DWORD id() const { return info_.dwProcessId; }
    // The main thread, which shows the program's first windows.
    DWORD threadId() const { return info_.dwThreadId; }
    // False when the process is still running after timeoutMs.
    bool waitForExit(DWORD timeoutMs, DWORD& exitCode);

private:
    PROCESS_INFORMATION info_ = {};
    bool started_ = false;
};

// A visible top-level window of that process with that title; null after timeoutMs.
HWND waitForProcessWindow(DWORD processId, const wchar_t* title, DWORD timeoutMs = 10000);

// The Windows path under which Wine shows a Linux path (drive Z:).
std::wstring windowsPath(const std::wstring& linuxPath);
// The folder that holds the program, its DLL and core\imagecore.exe (from the test environment).
std::wstring distFolder();
// A file of the source tree (a path relative to its top, with forward slashes), as Wine sees it.
std::wstring sourceTreeFile(const std::wstring& relative);
std::wstring envVar(const wchar_t* name);

} // namespace wintest
