#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>

#include "Platform.h"
#include "io/ConvertFileFlow.h"
#include "win/WinFiles.h"

namespace platform {

// The narrow argv of a mingw program is in the ANSI code page; the wide command line is not.
std::vector<std::wstring> arguments(int, char**) {
    SetConsoleOutputCP(CP_UTF8);
    std::vector<std::wstring> args;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide)
        return args;
    for (int i = 1; i < count; ++i)
        args.push_back(wide[i]);
    LocalFree(wide);
    return args;
}

// Left to the Windows heap, which has no such setting.
void keepFreedMemoryForReuse() {}

bool fileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool isFolder(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

namespace {

class FindHandle {
public:
    explicit FindHandle(HANDLE search) : search_(search) {}
    ~FindHandle() {
        if (found())
            FindClose(search_);
    }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    bool found() const { return search_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return search_; }

private:
    HANDLE search_;
};

// Letter case as the file system ignores it.
int compareNames(const wchar_t* a, int aLength, const wchar_t* b, int bLength) {
    return CompareStringOrdinal(a, aLength, b, bLength, TRUE) - CSTR_EQUAL;
}

bool sameLetter(wchar_t a, wchar_t b) { return compareNames(&a, 1, &b, 1) == 0; }

// Case-insensitive, '*' for any run and '?' for one character. FindFirstFileW also matches the
// short 8.3 names, so "*.png" would find "a.pngx" (short name A~1.PNG); the long name decides.
bool nameMatches(const std::wstring& name, const std::wstring& pattern) {
    if (pattern == L"*.*")
        return true; // every name, dot or not, as on every Windows
    size_t n = 0, p = 0, star = std::wstring::npos, starName = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == L'*') {
            star = p++;
            starName = n;
        } else if (p < pattern.size() && (pattern[p] == L'?' || sameLetter(pattern[p], name[n]))) {
            ++p;
            ++n;
        } else if (star != std::wstring::npos) {
            p = star + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    return pattern.find_first_not_of(L'*', p) == std::wstring::npos;
}

bool namedBefore(const std::wstring& a, const std::wstring& b) {
    const int order = compareNames(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()));
    return order != 0 ? order < 0 : a < b;
}

// Where the last part of the path starts: after its last separator, or after a bare drive.
size_t lastPartAt(const std::wstring& path) {
    const size_t separator = path.find_last_of(L"\\/");
    if (separator != std::wstring::npos)
        return separator + 1;
    return path.size() >= 2 && path[1] == L':' ? 2 : 0;
}

void appendMatches(const std::wstring& pattern, std::vector<std::wstring>& files) {
    const std::wstring folder = pattern.substr(0, lastPartAt(pattern));
    const std::wstring namePattern = pattern.substr(folder.size());
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    const FindHandle search(FindFirstFileW(pattern.c_str(), &found));
    for (bool more = search.found(); more; more = FindNextFileW(search.get(), &found) != FALSE)
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && nameMatches(found.cFileName, namePattern))
            names.push_back(found.cFileName);
    if (names.empty()) {
        files.push_back(pattern); // its line says that nothing matched
        return;
    }
    std::sort(names.begin(), names.end(), namedBefore);
    for (const std::wstring& name : names)
        files.push_back(folder + name);
}

} // namespace

std::vector<std::wstring> expandWildcards(const std::vector<std::wstring>& files) {
    std::vector<std::wstring> expanded;
    for (const std::wstring& file : files) {
        if (file.find_first_of(L"*?", lastPartAt(file)) == std::wstring::npos)
            expanded.push_back(file);
        else
            appendMatches(file, expanded);
    }
    return expanded;
}

// The full path in upper case, as the file system compares names.
std::vector<std::wstring> fileKeys(const std::wstring& path) {
    std::wstring full(MAX_PATH, L'\0');
    DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr);
    if (length >= full.size()) {
        full.resize(length);
        length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr);
    }
    full.resize(length < full.size() ? length : 0);
    if (full.empty())
        full = path;
    CharUpperBuffW(&full[0], static_cast<DWORD>(full.size()));
    return {full};
}

tfi::Result convertToBytes(const std::wstring& source, const std::wstring& destination, const std::wstring& option,
                           std::vector<uint8_t>& bytes, tfi::NewContent& content, tfi::ColorNote& color) {
    return tfi::convertToBytesW(source.c_str(), destination.c_str(), option.c_str(), bytes, content, color);
}

tfi::Result writeConverted(const std::wstring& source, const std::wstring& destination,
                           const std::vector<uint8_t>& bytes, tfi::NewContent content) {
    return tfi::replaceWith<tfi::WinFiles>(source, destination, bytes, content);
}

tfi::Result readFile(const std::wstring& path, std::vector<uint8_t>& bytes) {
    return tfi::WinFiles::readWholeFile(path, bytes);
}

tfi::Result replaceFile(const std::wstring& destination, const std::vector<uint8_t>& bytes) {
    return tfi::replaceFileWith<tfi::WinFiles>(destination, bytes);
}

void writeLine(const std::wstring& line) {
    std::fputs((toUtf8(line) + "\n").c_str(), stdout);
    std::fflush(stdout);
}

void writeError(const std::wstring& line) { std::fputs((toUtf8(line) + "\n").c_str(), stderr); }

} // namespace platform
