#include "PathNames.h"

#include <windows.h>

std::wstring fullPathOf(const std::wstring& path) {
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return std::wstring();
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), needed, &full[0], nullptr);
    full.resize(length > 0 && length < needed ? length : 0);
    return full;
}

bool isExistingFile(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool isExistingFolder(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Upper case by the invariant culture, as the file system's own case table does, and not by
// the user's language, which would tell the Turkish dotted and dotless i apart.
std::wstring sameFileKey(const std::wstring& path) {
    std::wstring key = fullPathOf(path);
    if (key.empty())
        key = path;
    if (key.empty())
        return key;
    const int length = static_cast<int>(key.size());
    LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, key.c_str(), length, &key[0], length, nullptr, nullptr,
                  0);
    return key;
}
