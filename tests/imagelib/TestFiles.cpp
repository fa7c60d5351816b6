#include "TestFiles.h"

#include <cstdio>
#include <cstdlib>

#ifdef _WIN32
#include <windows.h>

#include "win/WinFiles.h"
#else
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include "posix/PosixFiles.h"
#endif

namespace testfiles {
namespace {

#ifdef _WIN32
const char kSep = '\\';
std::wstring wide(const std::string& s) {
    std::wstring w(MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, nullptr, 0), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, &w[0], int(w.size()));
    w.pop_back();
    return w;
}
std::string narrow(const std::wstring& w) {
    std::string s(WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, &s[0], int(s.size()), nullptr, nullptr);
    s.pop_back();
    return s;
}
#else
const char kSep = '/';
#endif

} // namespace

std::string sourcePath(const std::string& relative) {
    const char* root = std::getenv("TARNEL_SOURCE_DIR");
    std::string path = root ? root : ".";
#ifdef _WIN32
    if (!path.empty() && path[0] == '/')
        path = "Z:" + path; // Wine maps the Unix root to Z:
#endif
    return path + "/" + relative;
}

testimg::Bytes readFile(const std::string& path) {
#ifdef _WIN32
    FILE* f = _wfopen(wide(path).c_str(), L"rb");
#else
    FILE* f = std::fopen(path.c_str(), "rb");
#endif
    testimg::Bytes data;
    if (!f)
        return data;
    uint8_t buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof(buffer), f)) > 0)
        data.insert(data.end(), buffer, buffer + n);
    std::fclose(f);
    return data;
}

void writeFile(const std::string& path, const testimg::Bytes& data) {
#ifdef _WIN32
    FILE* f = _wfopen(wide(path).c_str(), L"wb");
#else
    FILE* f = std::fopen(path.c_str(), "wb");
#endif
    if (!f)
        return;
    if (!data.empty())
        std::fwrite(data.data(), 1, data.size(), f);
    std::fclose(f);
}

bool exists(const std::string& path) {
#ifdef _WIN32
    return GetFileAttributesW(wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
#else
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
#endif
}

ScratchFolder::ScratchFolder() {
#ifdef _WIN32
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    static int counter = 0;
    path_ = narrow(temp) + "tfi-test-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
    CreateDirectoryW(wide(path_).c_str(), nullptr);
#else
    char pattern[] = "/tmp/tfi-test-XXXXXX";
    path_ = ::mkdtemp(pattern) ? pattern : "/tmp";
#endif
}

ScratchFolder::~ScratchFolder() {
    for (const std::string& name : names()) {
#ifdef _WIN32
        DeleteFileW(wide(file(name)).c_str());
#else
        ::unlink(file(name).c_str());
#endif
    }
#ifdef _WIN32
    RemoveDirectoryW(wide(path_).c_str());
#else
    ::rmdir(path_.c_str());
#endif
}

std::string ScratchFolder::file(const std::string& name) const { return path_ + kSep + name; }

std::vector<std::string> ScratchFolder::names() const {
    std::vector<std::string> result;
#ifdef _WIN32
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileW(wide(path_ + "\\*").c_str(), &data);
    if (h == INVALID_HANDLE_VALUE)
        return result;
    do {
        const std::string name = narrow(data.cFileName);
        if (name != "." && name != "..")
            result.push_back(name);
    } while (FindNextFileW(h, &data));
    FindClose(h);
#else
    DIR* dir = ::opendir(path_.c_str());
    if (!dir)
        return result;
    while (dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..")
            result.push_back(name);
    }
    ::closedir(dir);
#endif
    return result;
}

tfi::Result convertFile(const std::string& source, const std::string& destination, const std::string& option) {
#ifdef _WIN32
    return tfi::convertFileW(wide(source).c_str(), wide(destination).c_str(), wide(option).c_str());
#else
    return tfi::convertFile(source, destination, option);
#endif
}

} // namespace testfiles
