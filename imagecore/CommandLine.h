// What the user asked for on the command line.
#pragma once

#include <string>
#include <vector>

struct BatchSettings {
    std::vector<std::wstring> files;
    std::wstring outputFolder; // empty: each file's own folder
    std::wstring option;
    std::wstring iconOutput; // --icon: one icon from all the files, written here
    bool entries = false; // --entries: every entry of each icon as a PNG of its own
    bool list = false;    // --list: each icon's directory, nothing written
    bool overwrite = false;
    bool keepColor = false; // --keep-color: PNG levels as stored, not converted to sRGB
    bool help = false;
    unsigned threads = 0; // 0: one per core
};

constexpr unsigned kMaxThreads = 64;

// The option string each file is converted with: --option, and color=keep for --keep-color.
std::wstring conversionOption(const BatchSettings& settings);

// False with a message for an unknown flag or a flag without its value.
bool parseCommandLine(const std::vector<std::wstring>& args, BatchSettings& settings, std::wstring& error);

extern const char kUsageText[];
