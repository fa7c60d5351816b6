#include "CommandLine.h"

#include "io/ConvertFileFlow.h"

const char kUsageText[] =
    "Usage: imagecore [options] FILE...\n"
    "       imagecore [-f] --icon OUT.ico PICTURE...\n"
    "       imagecore [-o DIR] [-f] [-j N] --entries ICON...\n"
    "       imagecore --list ICON...\n"
    "Converts PNG files to icons and icon files to PNG, one destination per file:\n"
    "a file whose name ends in lower-case .png becomes NAME.ico, any other file NAME.png.\n"
    "With --icon, makes one icon from PNG pictures drawn at their own sizes (at most\n"
    "256 px each); the other standard sizes are made from the next larger picture.\n"
    "With --entries, writes every entry of each icon or cursor as a PNG of its own,\n"
    "NAME-WxH-Dbpp.png in directory order (NAME-WxH-Dbpp-2.png for a second entry of one\n"
    "size and depth; a PNG entry counts as 32 bpp); an unreadable entry is reported on\n"
    "its own line and the others are still written.\n"
    "With --list, writes nothing and prints each icon's or cursor's directory, one line\n"
    "per entry in directory order, read as --entries reads it:\n"
    "  NAME entry N: WxH, D bpp, PNG|BMP, B bytes[ (the directory says B2)][, hotspot X,Y]\n"
    "  NAME entry N: FAILED: REASON\n"
    "D as in --entries' names; B the bytes the entry takes as read, B2 the directory's\n"
    "figure when it differs; the hotspot for a cursor.\n"
    "In Windows, * and ? in the last part of a FILE make it a pattern for the files (not\n"
    "folders) it matches, in name order; a pattern that matches none fails on its own line.\n"
    "\n"
    "  -o, --output DIR   write into DIR, an existing folder (default: beside each source)\n"
    "  -f, --overwrite    replace existing destinations (default: skip them)\n"
    "      --option STR   conversion option, e.g. \"sizes=16,32,48,256\" or \"png\" or both\n"
    "                     joined by ';'\n"
    "      --keep-color   keep a PNG's stored levels: do not convert them to sRGB from\n"
    "                     the colour space the PNG declares (its profile, cICP, gAMA)\n"
    "      --icon OUT     make the one icon OUT (ending in .ico) from the files\n"
    "      --entries      take every entry out of each icon, as described above\n"
    "      --list         list the entries of each icon, as described above\n"
    "  -j, --jobs N       convert on N threads (default: one per core); lines, files and\n"
    "                     exit status are the same as with -j 1\n"
    "  -h, --help         show this text\n"
    "\n"
    "Exit status: 0 when every file (or entry) was converted, skipped or listed, 1 when\n"
    "any failed, 2 for a command-line error or an output folder that is not there (then\n"
    "nothing is converted).\n";

namespace {

bool takesValue(const std::wstring& arg) {
    return arg == L"-o" || arg == L"--output" || arg == L"--option" || arg == L"-j" || arg == L"--jobs" ||
           arg == L"--icon";
}

// A whole number from 1 to kMaxThreads, digits only.
bool parseThreads(const std::wstring& text, unsigned& threads) {
    if (text.empty() || text.size() > 2 || text.find_first_not_of(L"0123456789") != std::wstring::npos)
        return false;
    threads = static_cast<unsigned>(std::stoul(text));
    return threads >= 1 && threads <= kMaxThreads;
}

bool endsInIco(const std::wstring& path) {
    tfi::OutputFormat format = tfi::OutputFormat::Png;
    return tfi::outputFormatForPath(path, format) && format == tfi::OutputFormat::Icon;
}

bool applyValue(const std::wstring& flag, const std::wstring& value, BatchSettings& settings, std::wstring& error) {
    if (flag == L"-j" || flag == L"--jobs") {
        if (parseThreads(value, settings.threads))
            return true;
        error = flag + L" takes a whole number from 1 to " + std::to_wstring(kMaxThreads);
        return false;
    }
    if (flag == L"--icon" && !endsInIco(value)) {
        error = L"--icon takes a destination ending in .ico";
        return false;
    }
    (flag == L"--option" ? settings.option : flag == L"--icon" ? settings.iconOutput : settings.outputFolder) = value;
    return true;
}

} // namespace

std::wstring conversionOption(const BatchSettings& settings) {
    if (!settings.keepColor)
        return settings.option;
    return settings.option + (settings.option.empty() ? L"" : L";") + L"color=keep";
}

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
        } else if (arg == L"--entries") {
            settings.entries = true;
        } else if (arg == L"--list") {
            settings.list = true;
        } else if (arg == L"--keep-color") {
            settings.keepColor = true;
        } else if (arg == L"-f" || arg == L"--overwrite") {
            settings.overwrite = true;
        } else if (takesValue(arg)) {
            if (i + 1 >= args.size()) {
                error = arg + L" needs a value";
                return false;
            }
            if (!applyValue(arg, args[i + 1], settings, error))
                return false;
            ++i;
        } else {
            error = L"unknown option " + arg;
            return false;
        }
    }
    if (settings.files.empty() && !settings.help) {
        error = L"no files given";
        return false;
    }
    if (settings.list && (settings.entries || !settings.iconOutput.empty() || !settings.option.empty() ||
                          !settings.outputFolder.empty())) {
        error = L"--list only reads the files: it takes no --entries, --icon, --option and no -o";
        return false;
    }
    if (!settings.iconOutput.empty() && (!settings.option.empty() || !settings.outputFolder.empty() || settings.entries)) {
        error = L"--icon makes its icon by its own rule: it takes no --option, no -o and no --entries";
        return false;
    }
    if (settings.entries && !settings.option.empty()) {
        error = L"--entries writes each entry as it is stored: it takes no --option";
        return false;
    }
    return true;
}
