#include "CommandLine.h"

const char kUsageText[] =
    "Usage: imagecore [options] FILE...\n"
    "Converts PNG files to icons and icon files to PNG, one destination per file:\n"
    "a file whose name ends in lower-case .png becomes NAME.ico, any other file NAME.png.\n"
    "\n"
    "  -o, --output DIR   write into DIR (default: beside each source)\n"
    "  -f, --overwrite    replace existing destinations (default: skip them)\n"
    "      --option STR   conversion option, e.g. \"sizes=16,32,48,256\" or \"png\" or both\n"
    "                     joined by ';'\n"
    "  -h, --help         show this text\n"
    "\n"
    "Exit status: 0 when every file was converted or skipped, 1 when any failed, 2 for a\n"
    "command-line error.\n";

namespace {

bool takesValue(const std::wstring& arg) { return arg == L"-o" || arg == L"--output" || arg == L"--option"; }

void applyValue(const std::wstring& flag, const std::wstring& value, BatchSettings& settings) {
    if (flag == L"--option")
        settings.option = value;
    else
        settings.outputFolder = value;
}

} // namespace

bool parseCommandLine(const std::vector<std::wstring>& args, BatchSettings& settings, std::wstring& error) {
    bool onlyFiles = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::wstring& arg = args[i];
        if (onlyFiles || arg.empty() || arg[0] != L'-' || arg == L"-") {
            settings.files.push_back(arg);
        } else if (arg == L"--") {
            onlyFiles = true;
        } else if (arg == L"-h" || arg == L"--help") {
            settings.help = true;
        } else if (arg == L"-f" || arg == L"--overwrite") {
            settings.overwrite = true;
        } else if (takesValue(arg)) {
            if (i + 1 >= args.size()) {
                error = arg + L" needs a value";
                return false;
            }
            applyValue(arg, args[++i], settings);
        } else {
            error = L"unknown option " + arg;
            return false;
        }
    }
    if (settings.files.empty() && !settings.help) {
        error = L"no files given";
        return false;
    }
    return true;
}
