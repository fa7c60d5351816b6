#include <windows.h>
#include <shellapi.h>

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
                           std::vector<uint8_t>& bytes, tfi::NewContent& content) {
    return tfi::convertToBytesW(source.c_str(), destination.c_str(), option.c_str(), bytes, content);
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
