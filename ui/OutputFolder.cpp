// The output folder: the edit box of the main dialog, its memory per user in the registry, the
// folder browser that fills it, and Open, which shows it in the shell.
#include "OutputFolder.h"

#include "Confirmations.h"
#include "MainDialog.h"
#include "app/AppGlobals.h"
#include "engine/ImagePreset.h"
#include "engine/PathNames.h"
#include "res/resource.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cwchar>
#include <memory>
#include <vector>

wchar_t browsePath[MAX_PATH];

// The shell call behind Open. Tests point it at a recorder so that no file manager starts.
decltype(&ShellExecuteW) g_shellExecuteForOpen = ShellExecuteW;
decltype(&RegSetValueExW) g_setSettingsValue = RegSetValueExW;

namespace {

const wchar_t kSettingsRoot[] = L"Software\\";
const wchar_t kProductKeyName[] = L"Tarnel Image Converter";
const wchar_t kOutputFolderValue[] = L"out_dir";
// The longest path Windows takes, with its NUL: a longer value names no folder.
const DWORD kMaxOutputFolderBytes = (kLongestPath + 1) * sizeof(wchar_t);

const wchar_t kBrowseTitle[] = L"Select a folder";
const UINT kBrowseFlags = BIF_RETURNONLYFSDIRS | BIF_NONEWFOLDERBUTTON;

const wchar_t kOpenVerb[] = L"open";
// ShellExecuteW answers a value above this one when the shell took the folder.
const INT_PTR kShellExecuteFailedAtMost = 32;
const wchar_t kOpenFailedText[] = L"The folder '%1' could not be opened.";
const wchar_t kNotRememberedText[] =
    L"The output folder '%1' could not be remembered, so it will not be filled in at the next start.";
const wchar_t kSurroundingBlanks[] = L" \t";
const wchar_t kQuote = L'"';

// Closes the key it owns on every return path.
class RegKey {
public:
    RegKey() = default;
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    ~RegKey() {
        if (key_)
            RegCloseKey(key_);
    }
    HKEY get() const { return key_; }
    HKEY* receive() { return &key_; }
    explicit operator bool() const { return key_ != nullptr; }

private:
    HKEY key_ = nullptr;
};

struct CoTaskMemDeleter {
    void operator()(void* memory) const { CoTaskMemFree(memory); }
};
using ItemIdList = std::unique_ptr<ITEMIDLIST, CoTaskMemDeleter>;

// Opens the settings key with the given access, creating it when it does not exist yet, so
// that the first start leaves an empty key behind. Created keys get read and write access.
bool openSettingsKey(REGSAM access, RegKey& key) {
    const std::wstring path = makeSettingsKeyPath();
    // An empty subkey path would open the root itself.
    if (path.empty())
        return false;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, access, key.receive()) == ERROR_SUCCESS)
        return true;
    *key.receive() = nullptr;
    const LONG created = RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                         KEY_READ | KEY_WRITE, nullptr, key.receive(), nullptr);
    if (created == ERROR_SUCCESS)
        return true;
    *key.receive() = nullptr;
    return false;
}

// True when "out_dir" is a string short enough to be a folder we would have saved.
bool hasLoadableFolderValue(HKEY key) {
    DWORD type = 0;
    DWORD size = sizeof(DWORD);
    if (RegQueryValueExW(key, kOutputFolderValue, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return false;
    return type == REG_SZ && size <= kMaxOutputFolderBytes;
}

std::wstring readFolderValue(HKEY key) {
    // One unit more than the value may hold, so that a value stored without its NUL is still
    // read whole and the text ends inside the buffer.
    std::vector<wchar_t> data(kLongestPath + 2, L'\0');
    DWORD type = 0;
    DWORD size = kMaxOutputFolderBytes;
    if (RegQueryValueExW(key, kOutputFolderValue, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return std::wstring();
    return std::wstring(data.data(), wcsnlen(data.data(), size / sizeof(wchar_t)));
}

HWND outputFolderEdit() {
    HWND edit = GetDlgItem(g_app.hMainDlg, IDC_OUTPUT_FOLDER);
    return IsWindow(edit) ? edit : nullptr;
}

// A text too long for browsePath opens the browser on its default selection rather than on a
// cut path that names some other folder.
void seedBrowsePath(const std::wstring& folder) {
    browsePath[0] = L'\0';
    if (folder.size() < MAX_PATH)
        wcsncpy(browsePath, folder.c_str(), MAX_PATH);
}

std::wstring trimBlanks(const std::wstring& text) {
    const size_t first = text.find_first_not_of(kSurroundingBlanks);
    if (first == std::wstring::npos)
        return std::wstring();
    return text.substr(first, text.find_last_not_of(kSurroundingBlanks) - first + 1);
}

bool isDriveLetter(wchar_t c) {
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

bool isSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

void reportOpenFailure(const std::wstring& folder) {
    const std::wstring text = withPaths(kOpenFailedText, {folder});
    showProductMessage(g_app.hMainDlg, text.c_str(), MB_OK);
}

} // namespace

const wchar_t kFolderMissingText[] = L"The output folder doesn't exist.";
const wchar_t kFolderNotFullText[] = L"Please enter the full path of the output folder, for example C:\\Icons.";

bool isFullPath(const std::wstring& path) {
    if (path.size() >= 3 && isDriveLetter(path[0]) && path[1] == L':' && isSeparator(path[2]))
        return true;
    return path.size() >= 2 && isSeparator(path[0]) && isSeparator(path[1]);
}

bool refuseRelativeFolder(const std::wstring& folder) {
    if (isFullPath(folder))
        return false;
    showProductMessage(g_app.hMainDlg, kFolderNotFullText, MB_OK);
    return true;
}

// Windows finds "C:\out " as the folder C:\out, but "C:\out \x.ico" in no folder at all: a
// folder that passes the check must also be the one the files are written to.
std::wstring cleanFolderText(const std::wstring& text) {
    std::wstring folder = trimBlanks(text);
    if (folder.size() >= 2 && folder.front() == kQuote && folder.back() == kQuote)
        folder = trimBlanks(folder.substr(1, folder.size() - 2));
    return folder;
}

std::wstring outputFolderPath(HWND mainDlg) {
    return cleanFolderText(getOutputFolderText(mainDlg));
}

std::wstring makeSettingsKeyPath() {
    if (!g_app.pPreset)
        return std::wstring();
    return std::wstring(kSettingsRoot) + kProductKeyName + L'\\' + g_app.pPreset->getTargetExtension(L"");
}

std::wstring loadOutputFolder() {
    RegKey key;
    if (!openSettingsKey(KEY_READ, key))
        return std::wstring();
    if (!hasLoadableFolderValue(key.get()))
        return std::wstring();
    return readFolderValue(key.get());
}

bool saveOutputFolder(const std::wstring& folder) {
    RegKey key;
    if (!openSettingsKey(KEY_READ | KEY_WRITE, key))
        return false;
    // An empty text is written too, as the NUL alone, so an emptied box is remembered as empty.
    const DWORD bytes = static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t));
    return g_setSettingsValue(key.get(), kOutputFolderValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                              bytes) == ERROR_SUCCESS;
}

void rememberOutputFolder(const std::wstring& folder) {
    if (saveOutputFolder(folder))
        return;
    const std::wstring text = withPaths(kNotRememberedText, {folder});
    showProductMessage(g_app.hMainDlg, text.c_str(), MB_OK);
}

void browseOutputFolder() {
    const std::wstring folder = outputFolderPath(g_app.hMainDlg);
    if (!folder.empty() && refuseRelativeFolder(folder))
        return;
    seedBrowsePath(folder);

    BROWSEINFOW browser = {};
    browser.hwndOwner = g_app.hMainDlg;
    browser.lpszTitle = kBrowseTitle;
    browser.ulFlags = kBrowseFlags;
    browser.lpfn = browseFolderCallback;
    ItemIdList chosen(SHBrowseForFolderW(&browser));
    if (!chosen)
        return;

    // An item without a file-system path leaves the box as it was, not emptied or half-written.
    std::vector<wchar_t> path(kLongestPath + 1, L'\0');
    if (!SHGetPathFromIDListEx(chosen.get(), path.data(), static_cast<DWORD>(path.size()), GPFIDL_DEFAULT))
        return;
    seedBrowsePath(path.data());
    if (HWND edit = outputFolderEdit())
        SetWindowTextW(edit, path.data());
}

int CALLBACK browseFolderCallback(HWND hwnd, UINT message, LPARAM, LPARAM) {
    if (message == BFFM_INITIALIZED)
        SendMessageW(hwnd, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(browsePath));
    return 0;
}

void openOutputFolder() {
    const std::wstring folder = outputFolderPath(g_app.hMainDlg);
    if (folder.empty() || refuseRelativeFolder(folder))
        return;
    // Normalised, and never a bare name that the shell would look up as a program.
    const std::wstring full = fullPathOf(folder);
    if (full.empty() || !isExistingFolder(full)) {
        showProductMessage(g_app.hMainDlg, kFolderMissingText, MB_OK);
        return;
    }
    const HINSTANCE result = g_shellExecuteForOpen(nullptr, kOpenVerb, full.c_str(), nullptr, nullptr, SW_SHOW);
    if (reinterpret_cast<INT_PTR>(result) <= kShellExecuteFailedAtMost)
        reportOpenFailure(full);
}
