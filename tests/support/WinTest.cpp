#include "WinTest.h"

#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace wintest {

namespace {
const DWORD kPollMs = 20;

struct TopLevelSearch {
    const std::function<bool(HWND)>* match;
    HWND found;
};

BOOL CALLBACK matchVisibleTopLevel(HWND hwnd, LPARAM lParam) {
    TopLevelSearch* search = reinterpret_cast<TopLevelSearch*>(lParam);
    if (!IsWindowVisible(hwnd) || !(*search->match)(hwnd))
        return TRUE;
    search->found = hwnd;
    return FALSE;
}

// The first visible top-level window, of any process, that match accepts; null when none.
HWND findVisibleTopLevel(const std::function<bool(HWND)>& match) {
    TopLevelSearch search = {&match, nullptr};
    EnumWindows(matchVisibleTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Polls findVisibleTopLevel until it finds a window; null after timeoutMs.
HWND waitForVisibleTopLevel(const std::function<bool(HWND)>& match, DWORD timeoutMs) {
    HWND found = nullptr;
    waitUntil(
        [&] {
            found = findVisibleTopLevel(match);
            return found != nullptr;
        },
        timeoutMs);
    return found;
}

bool hasClass(HWND hwnd, const wchar_t* className) {
    wchar_t name[256] = {};
    GetClassNameW(hwnd, name, 256);
    return lstrcmpW(name, className) == 0;
}

struct DriverCall {
    const std::function<bool()>* driver;
    bool succeeded;
};

DWORD WINAPI runDriver(LPVOID parameter) {
    DriverCall* call = static_cast<DriverCall*>(parameter);
    call->succeeded = (*call->driver)();
    return 0;
}
} // namespace

void pumpMessages(DWORD ms) {
    const DWORD start = GetTickCount();
    do {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (ms)
            Sleep(1);
    } while (GetTickCount() - start < ms);
}

bool waitUntil(const std::function<bool()>& predicate, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (predicate())
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return false;
        pumpMessages(kPollMs);
    }
}

HWND waitForWindow(const wchar_t* className, const wchar_t* title, DWORD timeoutMs) {
    return waitForVisibleTopLevel(
        [&](HWND hwnd) { return (!className || hasClass(hwnd, className)) && (!title || windowText(hwnd) == title); },
        timeoutMs);
}

HWND waitForOwnedWindow(HWND owner, DWORD timeoutMs) {
    return waitForVisibleTopLevel([&](HWND hwnd) { return GetWindow(hwnd, GW_OWNER) == owner; }, timeoutMs);
}

bool sendCommandWhileDriving(HWND dialog, int controlId, const std::function<bool()>& driver) {
    return runWhileDriving([&] { sendCommand(dialog, controlId); }, driver);
}

bool runWhileDriving(const std::function<void()>& action, const std::function<bool()>& driver) {
    DriverCall call = {&driver, false};
    HANDLE helper = CreateThread(nullptr, 0, runDriver, &call, 0, nullptr);
    if (!helper)
        return false;
    action();
    // The modal window is gone, so the driver is at its end; pump while it finishes any
    // message it still sends to this thread.
    while (MsgWaitForMultipleObjects(1, &helper, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0)
        pumpMessages();
    CloseHandle(helper);
    return call.succeeded;
}

HDROP makeDrop(const std::vector<std::wstring>& paths) {
    std::wstring list;
    for (const std::wstring& path : paths)
        list += path + L'\0';
    list += L'\0';
    const size_t bytes = sizeof(DROPFILES) + list.size() * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GHND, bytes);
    if (!memory)
        return nullptr;
    DROPFILES* header = static_cast<DROPFILES*>(GlobalLock(memory));
    header->pFiles = sizeof(DROPFILES);
    header->fWide = TRUE;
    memcpy(reinterpret_cast<BYTE*>(header) + sizeof(DROPFILES), list.data(), list.size() * sizeof(wchar_t));
    GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}

void postDrop(HWND window, const std::vector<std::wstring>& paths) {
    PostMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(makeDrop(paths)), 0);
}

std::wstring windowText(HWND hwnd) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length))
        return std::wstring();
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]), SMTO_ABORTIFHUNG, 2000,
                        &copied);
    text.resize(copied);
    return text;
}

std::wstring controlText(HWND dialog, int controlId) {
    HWND control = GetDlgItem(dialog, controlId);
    return control ? windowText(control) : std::wstring();
}

void clickButton(HWND dialog, int controlId) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(controlId, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, controlId)));
}

void sendCommand(HWND dialog, int controlId) {
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(controlId, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, controlId)));
}

std::vector<std::wstring> listItems(HWND list) {
    std::vector<std::wstring> items;
    const int count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        const LRESULT length = SendMessageW(list, LB_GETTEXTLEN, i, 0);
        std::wstring item(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
        SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(&item[0]));
        item.resize(static_cast<size_t>(length > 0 ? length : 0));
        items.push_back(item);
    }
    return items;
}

std::vector<int> listSelection(HWND list) {
    std::vector<int> selected;
    const int count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i)
        selected.push_back(SendMessageW(list, LB_GETSEL, i, 0) > 0 ? 1 : 0);
    return selected;
}

std::wstring messageBoxText(HWND box) {
    return controlText(box, 0xFFFF);
}

std::vector<int> messageBoxButtons(HWND box) {
    std::vector<int> buttons;
    for (int id : {IDOK, IDCANCEL, IDYES, IDNO}) {
        HWND button = GetDlgItem(box, id);
        if (button && IsWindowVisible(button))
            buttons.push_back(id);
    }
    return buttons;
}

HWND waitForMessageBox(const wchar_t* caption, const wchar_t* text, DWORD timeoutMs) {
    return waitForVisibleTopLevel(
        [&](HWND hwnd) {
            if (!hasClass(hwnd, L"#32770") || windowText(hwnd) != caption)
                return false;
            const std::wstring boxText = messageBoxText(hwnd);
            return !boxText.empty() && (!text || boxText == text);
        },
        timeoutMs);
}

void answerMessageBox(HWND box, int button) {
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
}

bool isResponsive(HWND hwnd, DWORD timeoutMs) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(hwnd, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &result) != 0;
}

MessageBoxAnswerer::MessageBoxAnswerer(std::wstring caption, std::vector<int> answers)
    : caption_(std::move(caption)), answers_(std::move(answers)) {
    InitializeCriticalSection(&guard_);
    thread_ = CreateThread(nullptr, 0, threadProc, this, 0, nullptr);
}

MessageBoxAnswerer::~MessageBoxAnswerer() {
    InterlockedExchange(&stop_, 1);
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    DeleteCriticalSection(&guard_);
}

DWORD WINAPI MessageBoxAnswerer::threadProc(LPVOID self) {
    static_cast<MessageBoxAnswerer*>(self)->run();
    return 0;
}

void MessageBoxAnswerer::run() {
    while (!stop_) {
        HWND box = findVisibleTopLevel(
            [&](HWND hwnd) { return hasClass(hwnd, L"#32770") && windowText(hwnd) == caption_; });
        if (!box || messageBoxText(box).empty()) {
            Sleep(kPollMs);
            continue;
        }
        SeenMessageBox seenBox;
        seenBox.owner = GetWindow(box, GW_OWNER);
        seenBox.caption = caption_;
        seenBox.text = messageBoxText(box);
        seenBox.buttons = messageBoxButtons(box);
        size_t index;
        EnterCriticalSection(&guard_);
        index = seen_.size();
        seen_.push_back(seenBox);
        LeaveCriticalSection(&guard_);
        const int answer = answers_.empty() ? IDOK : answers_[index < answers_.size() ? index : answers_.size() - 1];
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, answer)));
        // Wait for this box to go before looking for the next one.
        for (int i = 0; i < 500 && IsWindow(box) && IsWindowVisible(box); ++i)
            Sleep(kPollMs);
    }
}

std::vector<SeenMessageBox> MessageBoxAnswerer::seen() {
    EnterCriticalSection(&guard_);
    std::vector<SeenMessageBox> copy = seen_;
    LeaveCriticalSection(&guard_);
    return copy;
}

bool MessageBoxAnswerer::waitForCount(size_t n, DWORD timeoutMs) {
    return waitUntil([&] { return seen().size() >= n; }, timeoutMs);
}

TempDir::TempDir() {
    wchar_t base[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, base);
    static LONG counter = 0;
    wchar_t name[64];
    swprintf(name, 64, L"tarnel-test-%lu-%ld", GetCurrentProcessId(), InterlockedIncrement(&counter));
    path_ = std::wstring(base) + name;
    removeTree(path_);
    CreateDirectoryW(path_.c_str(), nullptr);
}

TempDir::~TempDir() {
    removeTree(path_);
}

void removeTree(const std::wstring& path) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring child = path + L"\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                removeTree(child);
            } else {
                SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(path.c_str());
}

bool writeFile(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

bool readFile(const std::wstring& path, std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const DWORD size = GetFileSize(file, nullptr);
    bytes.assign(size, '\0');
    DWORD read = 0;
    const BOOL ok = size == 0 || ReadFile(file, &bytes[0], size, &read, nullptr);
    CloseHandle(file);
    return ok && read == size;
}

bool fileExists(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

RegistryValueGuard::RegistryValueGuard(std::wstring subKey, std::wstring valueName)
    : subKey_(std::move(subKey)), valueName_(std::move(valueName)) {
    existed_ = readRegistryValue(subKey_, valueName_, type_, data_);
}

RegistryValueGuard::~RegistryValueGuard() {
    if (existed_)
        writeRegistryValue(subKey_, valueName_, type_, data_.data(), static_cast<DWORD>(data_.size()));
    else
        deleteRegistryValue(subKey_, valueName_);
}

bool readRegistryValue(const std::wstring& subKey, const std::wstring& valueName, DWORD& type,
                       std::vector<BYTE>& data) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    DWORD size = 0;
    bool ok = RegQueryValueExW(key, valueName.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS;
    if (ok) {
        data.assign(size, 0);
        ok = RegQueryValueExW(key, valueName.c_str(), nullptr, &type, data.data(), &size) == ERROR_SUCCESS;
        data.resize(size);
    }
    RegCloseKey(key);
    if (!ok)
        data.clear();
    return ok;
}

bool readRegistryString(const std::wstring& subKey, const std::wstring& valueName, std::wstring& value) {
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!readRegistryValue(subKey, valueName, type, data) || type != REG_SZ)
        return false;
    // The stored units may lack their NUL or end in half a unit: whole units, then a NUL.
    std::vector<wchar_t> text(data.size() / sizeof(wchar_t) + 1, L'\0');
    std::copy(data.begin(), data.begin() + (text.size() - 1) * sizeof(wchar_t), reinterpret_cast<BYTE*>(text.data()));
    value.assign(text.data());
    return true;
}

bool writeRegistryValue(const std::wstring& subKey, const std::wstring& valueName, DWORD type, const void* data,
                        DWORD size) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, subKey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    const LONG status = RegSetValueExW(key, valueName.c_str(), 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

bool writeRegistryString(const std::wstring& subKey, const std::wstring& valueName, const std::wstring& value) {
    return writeRegistryValue(subKey, valueName, REG_SZ, value.c_str(),
                              static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

bool deleteRegistryValue(const std::wstring& subKey, const std::wstring& valueName) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, subKey.c_str(), 0, KEY_WRITE, &key) != ERROR_SUCCESS)
        return true;
    const LONG status = RegDeleteValueW(key, valueName.c_str());
    RegCloseKey(key);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

namespace {
struct DeadlineBody {
    std::function<void()> body;
};
DWORD WINAPI runDeadlineBody(LPVOID parameter) {
    static_cast<DeadlineBody*>(parameter)->body();
    return 0;
}
} // namespace

void runWithDeadline(const std::function<void()>& body, DWORD timeoutMs, const char* what) {
    DeadlineBody call = {body};
    HANDLE thread = CreateThread(nullptr, 0, runDeadlineBody, &call, 0, nullptr);
    if (WaitForSingleObject(thread, timeoutMs) != WAIT_OBJECT_0) {
        fprintf(stderr, "[  FAILED  ] deadline of %lu ms passed: %s (deadlock?)\n", timeoutMs, what);
        fflush(stderr);
        TerminateProcess(GetCurrentProcess(), 3);
    }
    CloseHandle(thread);
}

std::wstring envVar(const wchar_t* name) {
    wchar_t value[32768];
    const DWORD length = GetEnvironmentVariableW(name, value, 32768);
    return length && length < 32768 ? std::wstring(value, length) : std::wstring();
}

// The test environment gives Linux paths; Wine maps them under drive Z:.
std::wstring windowsPath(const std::wstring& linuxPath) {
    std::wstring path = linuxPath;
    for (wchar_t& c : path) {
        if (c == L'/')
            c = L'\\';
    }
    return path.empty() ? path : L"Z:" + path;
}

std::wstring sourceTreeFile(const std::wstring& relative) {
    return windowsPath(envVar(L"TARNEL_SOURCE_DIR") + L"/" + relative);
}

std::wstring distFolder() {
    return windowsPath(envVar(L"TARNEL_DIST_DIR"));
}

ChildProcess::ChildProcess(const std::wstring& programPath, const std::wstring& workingFolder,
                           const std::wstring& arguments) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    std::wstring commandLine = L"\"" + programPath + L"\"";
    if (!arguments.empty())
        commandLine += L" " + arguments;
    started_ = CreateProcessW(programPath.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                              workingFolder.empty() ? nullptr : workingFolder.c_str(), &startup, &info_) != FALSE;
}

ChildProcess::~ChildProcess() {
    if (!started_)
        return;
    if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(info_.hProcess, 1);
        WaitForSingleObject(info_.hProcess, 5000);
    }
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
}

bool ChildProcess::waitForExit(DWORD timeoutMs, DWORD& exitCode) {
    if (!started_ || WaitForSingleObject(info_.hProcess, timeoutMs) != WAIT_OBJECT_0)
        return false;
    return GetExitCodeProcess(info_.hProcess, &exitCode) != FALSE;
}

HWND waitForProcessWindow(DWORD processId, const wchar_t* title, DWORD timeoutMs) {
    return waitForVisibleTopLevel(
        [&](HWND hwnd) {
            DWORD owningProcess = 0;
            GetWindowThreadProcessId(hwnd, &owningProcess);
            return owningProcess == processId && windowText(hwnd) == title;
        },
        timeoutMs);
}

double secondsNow() {
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

} // namespace wintest
