#include "Destination.h"

#include <algorithm>

#include "ImagePreset.h"
#include "OutputNaming.h"

namespace {

#ifdef _WIN32
const wchar_t kSeparator = L'\\';
#else
const wchar_t kSeparator = L'/';
#endif
const wchar_t kRuleSeparator = L'\\'; // formDestPath only knows the backslash
const wchar_t kCurrentFolder[] = L".";

std::wstring normalised(std::wstring path) {
#ifdef _WIN32
    std::replace(path.begin(), path.end(), L'/', L'\\');
#endif
    return path;
}

std::wstring withoutTrailingSeparators(std::wstring folder) {
    while (folder.size() > 1 && folder.back() == kSeparator)
        folder.pop_back();
    return folder;
}

} // namespace

std::wstring destinationFolder(const std::wstring& sourcePath, const std::wstring& outputFolder) {
    const std::wstring source = normalised(sourcePath);
    const size_t slash = source.rfind(kSeparator);
    const std::wstring folder = withoutTrailingSeparators(normalised(outputFolder));
    if (!folder.empty())
        return folder;
    return slash == std::wstring::npos ? kCurrentFolder : source.substr(0, std::max<size_t>(slash, 1));
}

std::wstring sourceFileName(const std::wstring& sourcePath) {
    const std::wstring source = normalised(sourcePath);
    const size_t slash = source.rfind(kSeparator);
    return slash == std::wstring::npos ? source : source.substr(slash + 1);
}

std::wstring pathIn(const std::wstring& folder, const std::wstring& fileName) {
    if (folder.back() == kSeparator)
        return folder + fileName;
    return folder + kSeparator + fileName;
}

std::wstring destinationFor(const std::wstring& sourcePath, const std::wstring& outputFolder) {
    const CImageConverter_PNG_ICO preset;
    // The rule on the bare file name, then joined with this platform's separator.
    const std::wstring ruled = formDestPath(preset, sourceFileName(sourcePath), std::wstring());
    return pathIn(destinationFolder(sourcePath, outputFolder), ruled.substr(ruled.find(kRuleSeparator) + 1));
}
