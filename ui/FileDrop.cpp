// Files dropped from Explorer. WM_DROPFILES (not an OLE drop target) because all the program
// needs is the list of paths: it keeps the program free of COM on its window thread, of a
// reference-counted target object and of registering and revoking it around the dialog's life.
#include "FileDrop.h"

#include "SourceList.h"
#include "app/ScopedHandle.h"
#include "engine/PathNames.h"

#include <string>
#include <vector>

namespace {

const UINT kDropCountQuery = 0xFFFFFFFF;

// The whole path of one dropped item, however long.
std::wstring droppedPath(HDROP drop, UINT index) {
    const UINT length = DragQueryFileW(drop, index, nullptr, 0);
    if (length == 0)
        return std::wstring();
    std::wstring path(static_cast<size_t>(length) + 1, L'\0');
    const UINT copied = DragQueryFileW(drop, index, &path[0], length + 1);
    path.resize(copied <= length ? copied : 0);
    return path;
}

// Only the files directly inside: a folder dropped by mistake must not pull in a whole tree.
void appendFilesInFolder(const std::wstring& folder, std::vector<std::wstring>& paths) {
    WIN32_FIND_DATAW entry;
    FindHandle find(FindFirstFileW(extendedPath(pathInFolder(folder, L"*")).c_str(), &entry));
    if (!find.valid())
        return;
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            paths.push_back(pathInFolder(folder, entry.cFileName));
    } while (FindNextFileW(find.get(), &entry));
}

} // namespace

void acceptFileDrops(HWND hwnd) {
    DragAcceptFiles(hwnd, TRUE);
}

void addDroppedFiles(HDROP drop) {
    DropHandle handle(drop);
    if (!drop)
        return;
    std::vector<std::wstring> paths;
    const UINT count = DragQueryFileW(drop, kDropCountQuery, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        const std::wstring path = droppedPath(drop, i);
        if (path.empty())
            continue;
        // Add lists only files that exist, as its dialog lets no other name through; a drop is
        // held to the same rule, so a stale path from another program never becomes an entry.
        if (isExistingFolder(path))
            appendFilesInFolder(path, paths);
        else if (isExistingFile(path))
            paths.push_back(path);
    }
    addSourcePaths(paths);
}

void ignoreDroppedFiles(HDROP drop) {
    DropHandle handle(drop);
}
