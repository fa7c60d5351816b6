// A plain entry point for a fuzz target: runs every file of the given folders through it once.
// Without libFuzzer this turns the seed corpus into an ordinary regression test.
#include <dirent.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

bool readFile(const std::string& path, std::vector<uint8_t>& data) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    uint8_t buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof(buffer), f)) > 0)
        data.insert(data.end(), buffer, buffer + n);
    std::fclose(f);
    return true;
}

int replayFolder(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) {
        std::fprintf(stderr, "cannot open %s\n", folder.c_str());
        return -1;
    }
    int count = 0;
    while (dirent* e = ::readdir(dir)) {
        const std::string path = folder + "/" + e->d_name;
        struct stat info;
        std::vector<uint8_t> data;
        if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || !readFile(path, data))
            continue;
        LLVMFuzzerTestOneInput(data.data(), data.size());
        ++count;
    }
    ::closedir(dir);
    return count;
}

} // namespace

int main(int argc, char** argv) {
    int total = 0;
    for (int i = 1; i < argc; ++i) {
        const int n = replayFolder(argv[i]);
        if (n < 0)
            return 1;
        total += n;
    }
    std::printf("replayed %d inputs\n", total);
    return total > 0 ? 0 : 1;
}
