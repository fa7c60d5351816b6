#include <sys/stat.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cwctype>

#include "Platform.h"
#include "io/ConvertFileFlow.h"
#include "posix/PosixFiles.h"

namespace platform {

std::vector<std::wstring> arguments(int argc, char** argv) {
    std::vector<std::wstring> args;
    for (int i = 1; i < argc; ++i)
        args.push_back(fromUtf8(argv[i]));
    return args;
}

// glibc gives a freed block of more than about 128 KiB back to the system at once, so every
// file's decoded picture and entries came back as fresh pages: page faults and zeroing, which
// threads of one process also queue for. Blocks up to 8 MiB (a 1024 px picture and less) now
// stay in the heap, and up to twice that stays unreturned when freed.
void keepFreedMemoryForReuse() {
#ifdef __GLIBC__
    constexpr int kHeapBlockBytes = 8 * 1024 * 1024;
    mallopt(M_MMAP_THRESHOLD, kHeapBlockBytes);
    mallopt(M_TRIM_THRESHOLD, 2 * kHeapBlockBytes);
#endif
}

bool fileExists(const std::wstring& path) {
    struct stat info;
    return ::stat(toUtf8(path).c_str(), &info) == 0;
}

bool isFolder(const std::wstring& path) {
    struct stat info;
    return ::stat(toUtf8(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The shell has expanded them.
std::vector<std::wstring> expandWildcards(const std::vector<std::wstring>& files) { return files; }

namespace {

bool resolved(const std::string& path, std::string& out) {
    char buffer[PATH_MAX];
    if (!::realpath(path.c_str(), buffer))
        return false;
    out = buffer;
    return true;
}

std::wstring folded(const std::string& path) {
    std::wstring key = fromUtf8(path);
    for (wchar_t& c : key)
        c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    return key;
}

} // namespace

// The file itself with every link resolved, and the name in its resolved folder: a rename
// replaces a link there rather than the file it points to.
std::vector<std::wstring> fileKeys(const std::wstring& path) {
    const std::string narrow = toUtf8(path);
    const size_t slash = narrow.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : narrow.substr(0, slash);
    const std::string name = slash == std::string::npos ? narrow : narrow.substr(slash + 1);
    std::vector<std::wstring> keys;
    std::string full;
    if (resolved(folder, full))
        keys.push_back(folded(full + "/" + name));
    else
        keys.push_back(folded(narrow));
    if (resolved(narrow, full))
        keys.push_back(folded(full));
    return keys;
}

tfi::Result convertToBytes(const std::wstring& source, const std::wstring& destination, const std::wstring& option,
                           std::vector<uint8_t>& bytes, tfi::NewContent& content, tfi::ColorNote& color) {
    return tfi::convertToBytesWith<tfi::PosixFiles>(toUtf8(source), toUtf8(destination), toUtf8(option), bytes,
                                                    content, color);
}

tfi::Result writeConverted(const std::wstring& source, const std::wstring& destination,
                           const std::vector<uint8_t>& bytes, tfi::NewContent content) {
    return tfi::replaceWith<tfi::PosixFiles>(toUtf8(source), toUtf8(destination), bytes, content);
}

tfi::Result readFile(const std::wstring& path, std::vector<uint8_t>& bytes) {
    return tfi::PosixFiles::readWholeFile(toUtf8(path), bytes);
}

tfi::Result replaceFile(const std::wstring& destination, const std::vector<uint8_t>& bytes) {
    return tfi::replaceFileWith<tfi::PosixFiles>(toUtf8(destination), bytes);
}

void writeLine(const std::wstring& line) {
    std::fputs((toUtf8(line) + "\n").c_str(), stdout);
    std::fflush(stdout);
}

void writeError(const std::wstring& line) { std::fputs((toUtf8(line) + "\n").c_str(), stderr); }

} // namespace platform
