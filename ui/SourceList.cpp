// The source file list. The main dialog's sorted list box is the only store of the list: every
// operation reads and writes the control itself, so there is nothing beside it to keep in step.
#include "SourceList.h"

#include "app/AppGlobals.h"
#include "res/resource.h"

#include <windows.h>
#include <commdlg.h>

#include <cwchar>
#include <memory>
#include <new>

namespace {

// Every reader of the list (the duplicate test here, the Convert command) copies items into
// buffers of this many units including the NUL, so longer paths must never become items.
const size_t kItemCapacity = MAX_PATH;

// Room for a folder and many names from one Explorer-style multiple selection.
const DWORD kSelectionCapacity = 8320;

// Lower-case extensions without the dot, separated by single spaces.
const wchar_t kAcceptedExtensions[] = L"png ico";

// Pairs of label and pattern, each ended by a NUL; the literal's own NUL ends the list.
const wchar_t kOpenFileFilter[] = L"PNG Files (*.png)\0*.png\0ICO Files (*.ico)\0*.ico\0";
const wchar_t kOpenFileTitle[] = L"Select Files";
const DWORD kOpenFileFlags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_ALLOWMULTISELECT;

// The full structure with its reserved fields and FlagsEx: 88 bytes in the 32-bit program.
static_assert(sizeof(void*) != 4 || sizeof(OPENFILENAMEW) == 88, "OPENFILENAMEW must be the full structure");

HWND sourceListBox() {
    HWND list = GetDlgItem(g_app.hMainDlg, IDC_SOURCE_LIST);
    return IsWindow(list) ? list : nullptr;
}

int itemCount(HWND list) {
    return static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
}

wchar_t asciiLower(wchar_t c) {
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 0x20) : c;
}

// The text after the last '.' of the whole path, folder part included; empty when there is none.
std::wstring lowerExtension(const std::wstring& path) {
    const size_t dot = path.rfind(L'.');
    if (dot == std::wstring::npos)
        return std::wstring();
    std::wstring extension = path.substr(dot + 1);
    for (wchar_t& c : extension)
        c = asciiLower(c);
    return extension;
}

// With several names the dialog puts a NUL between the folder and the first name; with one
// name the full path runs on with a backslash there. Telling them apart this way needs no file
// access, so a chosen file that cannot be opened for reading still gets its right path.
bool isMultipleSelection(const wchar_t* selection, WORD fileOffset) {
    return fileOffset > 0 && fileOffset < kSelectionCapacity && selection[fileOffset - 1] == L'\0';
}

std::wstring joinFolderAndName(const std::wstring& folder, const wchar_t* name) {
    // A drive root such as "C:\" already ends in the separator.
    if (!folder.empty() && folder.back() == L'\\')
        return folder + name;
    return folder + L'\\' + name;
}

// The list box stores C strings, so a path with a NUL inside would be stored cut.
bool fitsListItem(const std::wstring& path) {
    return path.size() < kItemCapacity && path.find(L'\0') == std::wstring::npos;
}

void addSelectedNames(const wchar_t* selection, WORD fileOffset) {
    const std::wstring folder(selection);
    const wchar_t* const end = selection + kSelectionCapacity;
    const wchar_t* name = selection + fileOffset;
    while (name < end && *name) {
        const size_t length = wcsnlen(name, static_cast<size_t>(end - name));
        if (name + length == end)
            break; // a name the buffer cut off is not a whole name
        addSourceFile(joinFolderAndName(folder, name));
        name += length + 1;
    }
}

void addSelection(const wchar_t* selection, WORD fileOffset) {
    if (isMultipleSelection(selection, fileOffset))
        addSelectedNames(selection, fileOffset);
    else
        addSourceFile(selection);
}

} // namespace

void addSourceFiles() {
    // Zeroed, so the text always ends within the buffer and a multiple selection ends with an
    // empty name even if the dialog left the rest untouched.
    std::unique_ptr<wchar_t[]> selection(new (std::nothrow) wchar_t[kSelectionCapacity]());
    if (!selection)
        return;

    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof(OPENFILENAMEW);
    dialog.hwndOwner = g_app.hMainDlg;
    dialog.hInstance = g_app.hInstance;
    dialog.lpstrFilter = kOpenFileFilter;
    dialog.lpstrFile = selection.get();
    dialog.nMaxFile = kSelectionCapacity;
    dialog.lpstrTitle = kOpenFileTitle;
    dialog.Flags = kOpenFileFlags;
    if (!GetOpenFileNameW(&dialog))
        return;

    // The dialog may fill the buffer to its last unit; keep a terminator for the folder text.
    selection[kSelectionCapacity - 1] = L'\0';
    addSelection(selection.get(), dialog.nFileOffset);
}

int addSourceFile(const std::wstring& path) {
    HWND list = sourceListBox();
    if (!list)
        return -1;
    if (!fitsListItem(path))
        return -1;
    if (isSourceFileListed(path))
        return -1;
    if (!hasSourceExtension(path))
        return -1;
    return static_cast<int>(SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(path.c_str())));
}

bool isSourceFileListed(const std::wstring& path) {
    HWND list = sourceListBox();
    if (!list)
        return false;
    const int count = itemCount(list);
    for (int i = 0; i < count; ++i) {
        // An item that would not fit the buffer cannot have come from this file; skip it
        // rather than let the list box write past the end.
        const LRESULT length = SendMessageW(list, LB_GETTEXTLEN, i, 0);
        if (length <= 0 || static_cast<size_t>(length) >= kItemCapacity)
            continue;
        wchar_t item[kItemCapacity] = {};
        if (SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(item)) > 0 && lstrcmpW(path.c_str(), item) == 0)
            return true;
    }
    return false;
}

bool hasSourceExtension(const std::wstring& path) {
    const std::wstring extension = lowerExtension(path);
    if (extension.empty())
        return false;
    const std::wstring accepted(kAcceptedExtensions);
    size_t start = 0;
    for (;;) {
        const size_t space = accepted.find(L' ', start);
        if (accepted.compare(start, space - start, extension) == 0)
            return true;
        if (space == std::wstring::npos)
            return false;
        start = space + 1;
    }
}

void removeSelectedSourceFiles() {
    HWND list = sourceListBox();
    if (!list)
        return;
    // From the last index down, so deleting keeps the indices still to visit valid.
    for (int i = itemCount(list) - 1; i >= 0; --i) {
        if (SendMessageW(list, LB_GETSEL, i, 0) > 0)
            SendMessageW(list, LB_DELETESTRING, i, 0);
    }
}

void clearSourceFiles() {
    HWND list = sourceListBox();
    if (!list)
        return;
    for (int i = itemCount(list) - 1; i >= 0; --i)
        SendMessageW(list, LB_DELETESTRING, i, 0);
}
