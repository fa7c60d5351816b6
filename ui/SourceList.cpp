// The source file list. The main dialog's sorted list box is the only store of the list between
// commands: a command that adds paths reads the items once into a set for its own use, and the
// set goes when the command ends.
#include "SourceList.h"

#include "Confirmations.h"
#include "RedrawHeld.h"
#include "app/AppGlobals.h"
#include "engine/PathNames.h"
#include "res/resource.h"

#include <windows.h>
#include <cderr.h>
#include <commdlg.h>

#include <cwchar>
#include <memory>
#include <new>
#include <unordered_set>
#include <vector>

namespace {

// A whole folder's worth of files picked at once: a folder path of any length with its NUL, then
// this many names of this length, each with its NUL, and the empty name that ends the list.
const DWORD kSelectableNames = 10000;
const DWORD kSelectableNameLength = 32;
const DWORD kSelectionCapacity = kLongestPath + 1 + kSelectableNames * (kSelectableNameLength + 1) + 1;

// Lower-case extensions without the dot, separated by single spaces.
const wchar_t kAcceptedExtensions[] = L"png ico";

// Pairs of label and pattern, each ended by a NUL; the literal's own NUL ends the list.
const wchar_t kOpenFileFilter[] = L"PNG Files (*.png)\0*.png\0ICO Files (*.ico)\0*.ico\0";
const wchar_t kOpenFileTitle[] = L"Select Files";
// The dialog would otherwise make the folder it was left in the process's current folder, and
// everything that resolves a name against that folder would follow the user's last pick.
const DWORD kOpenFileFlags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_ALLOWMULTISELECT | OFN_NOCHANGEDIR;
const wchar_t kSelectionTooLargeText[] =
    L"The selection was too large, so no file was added. Please select fewer files at a time.";

// The full structure with its reserved fields and FlagsEx, in either width of the program.
static_assert(sizeof(OPENFILENAMEW) == (sizeof(void*) == 4 ? 88 : 152), "OPENFILENAMEW must be the full structure");

// What the list box reserves per item ahead of a large batch: a guess, not a limit.
const size_t kTypicalItemBytes = 64 * sizeof(wchar_t);

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

// The list box stores C strings, so a path with a NUL inside would be stored cut. Every reader
// of the list sizes its buffer from the item, so any path Windows can take fits.
bool fitsListItem(const std::wstring& path) {
    return path.size() <= kLongestPath && path.find(L'\0') == std::wstring::npos;
}

// One command's worth of adding. The items are read once, so each new path is tested against
// them in constant time; comparing code unit by code unit keeps the test exact and
// case-sensitive. The list is not redrawn until the whole batch is in.
class ListBatch {
public:
    explicit ListBatch(HWND list) : list_(list), redraw_(list) {
        const int count = list_ ? itemCount(list_) : 0;
        listed_.reserve(static_cast<size_t>(count > 0 ? count : 0));
        for (int i = 0; i < count; ++i)
            listed_.insert(listItemText(list_, i));
    }
    ListBatch(const ListBatch&) = delete;
    ListBatch& operator=(const ListBatch&) = delete;

    // Room for this many more items, so that a large batch does not grow the list step by step.
    void reserve(size_t more) {
        if (list_ && more > 1)
            SendMessageW(list_, LB_INITSTORAGE, more, more * kTypicalItemBytes);
    }

    int add(const std::wstring& path) {
        if (!list_ || !fitsListItem(path) || listed_.count(path) || !hasSourceExtension(path))
            return -1;
        const LRESULT index = SendMessageW(list_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(path.c_str()));
        if (index >= 0)
            listed_.insert(path);
        return static_cast<int>(index);
    }

private:
    HWND list_;
    RedrawHeld redraw_;
    std::unordered_set<std::wstring> listed_;
};

// With several names the dialog puts a NUL between the folder and the first name; with one
// name the full path runs on with a backslash there. Telling them apart this way needs no file
// access, so a chosen file that cannot be opened for reading still gets its right path.
bool isMultipleSelection(const wchar_t* selection, WORD fileOffset) {
    return fileOffset > 0 && fileOffset < kSelectionCapacity && selection[fileOffset - 1] == L'\0';
}

std::vector<std::wstring> selectedNames(const wchar_t* selection, WORD fileOffset) {
    std::vector<std::wstring> paths;
    const std::wstring folder(selection);
    const wchar_t* const end = selection + kSelectionCapacity;
    const wchar_t* name = selection + fileOffset;
    while (name < end && *name) {
        const size_t length = wcsnlen(name, static_cast<size_t>(end - name));
        if (name + length == end)
            break; // a name the buffer cut off is not a whole name
        paths.push_back(pathInFolder(folder, name));
        name += length + 1;
    }
    return paths;
}

std::vector<std::wstring> selectedPaths(const wchar_t* selection, WORD fileOffset) {
    if (isMultipleSelection(selection, fileOffset))
        return selectedNames(selection, fileOffset);
    return std::vector<std::wstring>{selection};
}

// A pick that did not fit must not vanish without a word: the user learns that nothing of it
// was added and can pick again in parts.
void reportPickFailure() {
    if (CommDlgExtendedError() == FNERR_BUFFERTOOSMALL)
        showProductMessage(g_app.hMainDlg, kSelectionTooLargeText, MB_OK);
}

} // namespace

void addSourceFiles() {
    addSourceFilesWithRoom(kSelectionCapacity);
}

void addSourceFilesWithRoom(DWORD capacity) {
    if (capacity < 2 || capacity > kSelectionCapacity)
        return;
    // Zeroed, so the text always ends within the buffer and a multiple selection ends with an
    // empty name even if the dialog left the rest untouched. Always of the full size, so that
    // reading it never depends on how much the dialog was told it may fill.
    std::unique_ptr<wchar_t[]> selection(new (std::nothrow) wchar_t[kSelectionCapacity]());
    if (!selection)
        return;

    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof(OPENFILENAMEW);
    dialog.hwndOwner = g_app.hMainDlg;
    dialog.hInstance = g_app.hInstance;
    dialog.lpstrFilter = kOpenFileFilter;
    dialog.lpstrFile = selection.get();
    // One unit short of the buffer: whatever the dialog writes, a NUL stays behind it.
    dialog.nMaxFile = capacity - 1;
    dialog.lpstrTitle = kOpenFileTitle;
    dialog.Flags = kOpenFileFlags;
    if (!GetOpenFileNameW(&dialog)) {
        reportPickFailure();
        return;
    }
    addSourcePaths(selectedPaths(selection.get(), dialog.nFileOffset));
}

void addSourcePaths(const std::vector<std::wstring>& paths) {
    ListBatch batch(sourceListBox());
    batch.reserve(paths.size());
    for (const std::wstring& path : paths)
        batch.add(path);
}

int addSourceFile(const std::wstring& path) {
    ListBatch batch(sourceListBox());
    return batch.add(path);
}

bool isSourceFileListed(const std::wstring& path) {
    HWND list = sourceListBox();
    if (!list)
        return false;
    if (path.empty())
        return false;
    const int count = itemCount(list);
    for (int i = 0; i < count; ++i) {
        if (listItemText(list, i) == path)
            return true;
    }
    return false;
}

std::wstring listItemText(HWND list, int index) {
    const LRESULT length = SendMessageW(list, LB_GETTEXTLEN, index, 0);
    if (length == LB_ERR || length <= 0)
        return std::wstring();
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const LRESULT copied = SendMessageW(list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(&text[0]));
    if (copied == LB_ERR || copied <= 0 || copied > length)
        return std::wstring();
    text.resize(static_cast<size_t>(copied));
    return text;
}

std::wstring pathInFolder(const std::wstring& folder, const std::wstring& name) {
    // A drive root such as "C:\" already ends in the separator.
    if (!folder.empty() && folder.back() == L'\\')
        return folder + name;
    return folder + L'\\' + name;
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
    RedrawHeld redraw(list);
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
    RedrawHeld redraw(list);
    for (int i = itemCount(list) - 1; i >= 0; --i)
        SendMessageW(list, LB_DELETESTRING, i, 0);
}

void selectAllSourceFiles() {
    HWND list = sourceListBox();
    if (list)
        SendMessageW(list, LB_SETSEL, TRUE, -1);
}
