#include "WinFiles.h"

#include <windows.h>

#include <cwchar>

#include "core/Limits.h"
#include "io/ConvertFileFlow.h"

namespace tfi {
namespace {

const wchar_t kTempPrefix[] = L"~tfi";
const wchar_t kExtendedPrefix[] = L"\\\\?\\";
const wchar_t kExtendedUncPrefix[] = L"\\\\?\\UNC\\";
const wchar_t kDevicePrefix[] = L"\\\\.\\";
const wchar_t kUncPrefix[] = L"\\\\";
// The longest plain path the platform takes without its extended form, NUL excluded.
constexpr size_t kMaxPlainPathLength = MAX_PATH - 1;
// The extended form's own limit, which no full path in it can pass.
constexpr DWORD kMaxExtendedPathLength = 32767;
const wchar_t kTempSuffix[] = L".tmp";
constexpr int kTempNameAttempts = 16;
// WriteFile takes a DWORD count; chunks keep each call well below it.
constexpr DWORD kIoChunkBytes = 16u * 1024 * 1024;

class UniqueHandle {
public:
    explicit UniqueHandle(HANDLE h) : handle_(h) {}
    ~UniqueHandle() { close(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE release() {
        const HANDLE h = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        return h;
    }
    bool close() {
        const HANDLE h = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        return h == INVALID_HANDLE_VALUE || CloseHandle(h) != 0;
    }

private:
    HANDLE handle_;
};

bool readAllAt(HANDLE file, uint64_t offset, uint8_t* data, size_t size) {
    while (size > 0) {
        const DWORD want = size > kIoChunkBytes ? kIoChunkBytes : static_cast<DWORD>(size);
        OVERLAPPED at = {};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD got = 0;
        if (!ReadFile(file, data, want, &got, &at) || got == 0)
            return false;
        data += got;
        offset += got;
        size -= got;
    }
    return true;
}

bool writeAll(HANDLE file, const uint8_t* data, size_t size) {
    while (size > 0) {
        const DWORD want = size > kIoChunkBytes ? kIoChunkBytes : static_cast<DWORD>(size);
        DWORD done = 0;
        if (!WriteFile(file, data, want, &done, nullptr) || done != want)
            return false;
        data += done;
        size -= done;
    }
    return true;
}

// The folder part including its separator; empty for a bare file name (current folder).
std::wstring folderPrefixOf(const std::wstring& path) {
    const size_t separator = path.find_last_of(L"\\/:");
    return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator + 1);
}

std::wstring hex(unsigned long value) {
    const wchar_t digits[] = L"0123456789abcdef";
    std::wstring text;
    do {
        text.insert(text.begin(), digits[value & 0xF]);
        value >>= 4;
    } while (value);
    return text;
}

bool startsWith(const std::wstring& text, const wchar_t* prefix) {
    return text.compare(0, wcslen(prefix), prefix) == 0;
}

// The extended form lifts the length limit from the temporary file beside a destination just
// short of it, whose own name is longer than the destination's. A path already in a device or
// extended form is taken as it is.
std::wstring extendedLengthPath(const std::wstring& path) {
    if (startsWith(path, kExtendedPrefix) || startsWith(path, kDevicePrefix))
        return path;
    std::vector<wchar_t> buffer(kMaxExtendedPathLength + 1);
    const DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    if (length == 0 || length >= buffer.size())
        return path;
    const std::wstring full(buffer.data(), length);
    if (startsWith(full, kUncPrefix))
        return kExtendedUncPrefix + full.substr(wcslen(kUncPrefix));
    return kExtendedPrefix + full;
}

// A plain path too long for the platform is refused as it always was: where the caller cannot
// see the file that stands there, it cannot have asked before it is replaced.
bool isWritablePathLength(const std::wstring& destination) {
    return startsWith(destination, kExtendedPrefix) || destination.size() <= kMaxPlainPathLength;
}

// Windows refuses to replace a read-only file; Wine replaces it. Refused here on both, so that
// the outcome does not depend on the platform.
bool isReadOnlyFile(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
           !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Creates a fresh, uniquely named file beside the destination.
UniqueHandle createTempBeside(const std::wstring& destination, std::wstring& tempPath) {
    static volatile LONG counter = 0;
    const std::wstring prefix = folderPrefixOf(destination) + kTempPrefix + hex(GetCurrentProcessId()) + L"-";
    for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
        tempPath = prefix + hex(static_cast<unsigned long>(InterlockedIncrement(&counter))) + hex(GetTickCount()) +
                   kTempSuffix;
        HANDLE h = CreateFileW(tempPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS)
            return UniqueHandle(h);
    }
    return UniqueHandle(INVALID_HANDLE_VALUE);
}

bool asciiOption(const wchar_t* option, std::string& text) {
    text.clear();
    for (const wchar_t* p = option; p && *p; ++p) {
        if (*p > 0x7F)
            return false;
        text.push_back(static_cast<char>(*p));
    }
    return true;
}

} // namespace

Result WinSource::open(const std::wstring& path) {
    close();
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size;
    if (!file.valid() || GetFileType(file.get()) != FILE_TYPE_DISK || !GetFileSizeEx(file.get(), &size) ||
        size.QuadPart < 0)
        return ERCI_ERR_READ_SOURCE;
    size_ = static_cast<uint64_t>(size.QuadPart);
    handle_ = file.release();
    return ERCI_OK;
}

void WinSource::close() {
    if (handle_)
        CloseHandle(static_cast<HANDLE>(handle_));
    handle_ = nullptr;
}

bool WinSource::readAt(uint64_t offset, uint8_t* out, size_t length) {
    return handle_ && offset <= size_ && length <= size_ - offset &&
           readAllAt(static_cast<HANDLE>(handle_), offset, out, length);
}

Result WinFiles::replaceFileFrom(const Path& plainDestination, const Fill& fill) {
    if (!isWritablePathLength(plainDestination))
        return ERCI_ERR_WRITE_DESTINATION;
    const std::wstring destination = extendedLengthPath(plainDestination);
    if (isReadOnlyFile(destination))
        return ERCI_ERR_WRITE_DESTINATION;
    std::wstring tempPath;
    UniqueHandle temp = createTempBeside(destination, tempPath);
    if (!temp.valid())
        return ERCI_ERR_WRITE_DESTINATION;
    HandleSink<HANDLE> sink(temp.get(), writeAll);
    Result r = fill(sink);
    // On the disk before it replaces anything: otherwise a crash soon after the move can leave
    // the user an empty file where the old one was.
    if (r == ERCI_OK && !FlushFileBuffers(temp.get()))
        r = ERCI_ERR_WRITE_DESTINATION;
    if (!temp.close() && r == ERCI_OK)
        r = ERCI_ERR_WRITE_DESTINATION;
    if (r == ERCI_OK &&
        !MoveFileExW(tempPath.c_str(), destination.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        r = ERCI_ERR_WRITE_DESTINATION;
    if (r != ERCI_OK)
        DeleteFileW(tempPath.c_str());
    return r;
}

namespace {

Result checkedArguments(const wchar_t* source, const wchar_t* destination, const wchar_t* option,
                        std::string& optionText) {
    if (!source || !destination)
        return ERCI_ERR_INVALID_ARGUMENT;
    return asciiOption(option, optionText) ? ERCI_OK : ERCI_ERR_BAD_OPTION;
}

} // namespace

Result convertFileW(const wchar_t* source, const wchar_t* destination, const wchar_t* option) {
    std::string optionText;
    const Result r = checkedArguments(source, destination, option, optionText);
    return r == ERCI_OK ? convertFileWith<WinFiles>(std::wstring(source), std::wstring(destination), optionText) : r;
}

Result convertToBytesW(const wchar_t* source, const wchar_t* destination, const wchar_t* option,
                       std::vector<uint8_t>& output, NewContent& content, ColorNote& color) {
    std::string optionText;
    color = ColorNote::None;
    const Result r = checkedArguments(source, destination, option, optionText);
    return r == ERCI_OK ? convertToBytesWith<WinFiles>(std::wstring(source), std::wstring(destination), optionText,
                                                       output, content, color)
                        : r;
}

} // namespace tfi
