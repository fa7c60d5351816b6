// Files for the tests: the committed fixtures and a private scratch folder, on either build.
#pragma once

#include <string>
#include <vector>

#include "TestImages.h"

namespace testfiles {

// A path below the source tree (TARNEL_SOURCE_DIR), usable by this build's file functions.
std::string sourcePath(const std::string& relative);
testimg::Bytes readFile(const std::string& path);
void writeFile(const std::string& path, const testimg::Bytes& data);
bool exists(const std::string& path);

// A fresh empty folder, removed with its files when the object goes.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const;
    std::vector<std::string> names() const;

private:
    std::string path_;
};

// The library's file conversion with UTF-8 paths.
tfi::Result convertFile(const std::string& source, const std::string& destination, const std::string& option = "");

} // namespace testfiles
