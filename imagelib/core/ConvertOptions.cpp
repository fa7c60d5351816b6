#include "ConvertOptions.h"

#include <algorithm>
#include <cctype>

#include "Limits.h"

namespace tfi {
namespace {

const char kTokenSeparator = ';';
const char kListSeparator = ',';
const char kSizesKey[] = "sizes";
const char kPngFlag[] = "png";
const char kColorKey[] = "color";
const char kKeepColor[] = "keep";
const char kSrgbColor[] = "srgb";
constexpr size_t kMaxSizeDigits = 3;

std::string trim(const std::string& s) {
    const size_t first = s.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::string();
    const size_t last = s.find_last_not_of(" \t");
    return s.substr(first, last - first + 1);
}

std::string lowerAscii(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::vector<std::string> split(const std::string& s, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t end = s.find(separator, start);
        parts.push_back(trim(s.substr(start, end == std::string::npos ? std::string::npos : end - start)));
        if (end == std::string::npos)
            return parts;
        start = end + 1;
    }
}

bool parseSize(const std::string& text, uint32_t& size) {
    if (text.empty() || text.size() > kMaxSizeDigits)
        return false;
    size = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        size = size * 10 + static_cast<uint32_t>(c - '0');
    }
    return size >= 1 && size <= kMaxIconEntrySide;
}

bool parseSizeList(const std::string& text, std::vector<uint32_t>& sizes) {
    for (const std::string& item : split(text, kListSeparator)) {
        uint32_t size = 0;
        if (!parseSize(item, size) || std::find(sizes.begin(), sizes.end(), size) != sizes.end())
            return false;
        sizes.push_back(size);
    }
    return true;
}

bool parseColor(const std::string& text, ConvertOptions& options) {
    const std::string value = lowerAscii(trim(text));
    options.keepStoredColor = value == kKeepColor;
    return value == kKeepColor || value == kSrgbColor;
}

// Each key once.
struct KeysSeen {
    bool sizes = false, color = false;
};

bool applyToken(const std::string& token, ConvertOptions& options, KeysSeen& seen) {
    const size_t equals = token.find('=');
    const std::string name = lowerAscii(trim(token.substr(0, equals)));
    if (equals == std::string::npos) {
        if (name != kPngFlag || options.everyEntryPng)
            return false;
        options.everyEntryPng = true;
        return true;
    }
    const std::string value = token.substr(equals + 1);
    if (name == kSizesKey && !seen.sizes) {
        seen.sizes = true;
        return parseSizeList(value, options.sizes);
    }
    if (name == kColorKey && !seen.color) {
        seen.color = true;
        return parseColor(value, options);
    }
    return false;
}

} // namespace

Result parseConvertOptions(const std::string& text, ConvertOptions& options) {
    options = ConvertOptions();
    if (trim(text).empty())
        return ERCI_OK;
    KeysSeen seen;
    for (const std::string& token : split(text, kTokenSeparator)) {
        if (!applyToken(token, options, seen))
            return ERCI_ERR_BAD_OPTION;
    }
    std::sort(options.sizes.begin(), options.sizes.end());
    return ERCI_OK;
}

} // namespace tfi
