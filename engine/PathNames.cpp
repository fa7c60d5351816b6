#include "PathNames.h"

#include <windows.h>

#include <cwchar>

namespace {

const wchar_t kDeviceStart[] = L"\\\\?\\";
const wchar_t kLocalDeviceStart[] = L"\\\\.\\";
const wchar_t kServerStart[] = L"\\\\";
const wchar_t kExtendedServerStart[] = L"\\\\?\\UNC\\";

bool startsWith(const std::wstring& text, const std::wstring& start) {
    return text.compare(0, start.size(), start) == 0;
}

DWORD attributesOf(const std::wstring& path) {
    return GetFileAttributesW(extendedPath(path).c_str());
}

} // namespace

std::wstring fullPathOf(const std::wstring& path) {
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return std::wstring();
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), needed, &full[0], nullptr);
    full.resize(length > 0 && length < needed ? length : 0);
    return full;
}

std::wstring extendedPath(const std::wstring& path) {
    if (path.size() < MAX_PATH || startsWith(path, kDeviceStart) || startsWith(path, kLocalDeviceStart))
        return path;
    const std::wstring full = fullPathOf(path);
    if (full.empty())
        return path;
    if (startsWith(full, kServerStart))
        return kExtendedServerStart + full.substr(wcslen(kServerStart));
    return kDeviceStart + full;
}

bool isExistingFile(const std::wstring& path) {
    const DWORD attributes = attributesOf(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool isExistingFolder(const std::wstring& path) {
    const DWORD attributes = attributesOf(path);
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

namespace {

// The buffer grows until the whole path fits: a cut path would name some other file. Empty when
// the path is unknown.
std::wstring programPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (length == 0)
            return std::wstring();
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        if (path.size() > kLongestPath)
            return std::wstring();
        path.resize(path.size() * 2);
    }
}

} // namespace

std::wstring programFolder() {
    std::wstring path = programPath();
    const size_t lastSeparator = path.rfind(L'\\');
    if (lastSeparator != std::wstring::npos)
        path.erase(lastSeparator);
    return path;
}
