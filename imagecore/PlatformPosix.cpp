#include <sys/stat.h>

#include <cstdio>

#include "Platform.h"
#include "posix/PosixFiles.h"

namespace platform {

std::vector<std::wstring> arguments(int argc, char** argv) {
    std::vector<std::wstring> args;
    for (int i = 1; i < argc; ++i)
        args.push_back(fromUtf8(argv[i]));
    return args;
}

bool fileExists(const std::wstring& path) {
    struct stat info;
    return ::stat(toUtf8(path).c_str(), &info) == 0;
}

tfi::Result convertFile(const std::wstring& source, const std::wstring& destination, const std::wstring& option) {
    return tfi::convertFile(toUtf8(source), toUtf8(destination), toUtf8(option));
}

void writeLine(const std::wstring& line) {
    std::fputs((toUtf8(line) + "\n").c_str(), stdout);
    std::fflush(stdout);
}

void writeError(const std::wstring& line) { std::fputs((toUtf8(line) + "\n").c_str(), stderr); }

} // namespace platform
