#include "OutputNaming.h"

#include "ImagePreset.h"

std::wstring formDestPath(const ImagePreset& preset, const std::wstring& sourcePath, const std::wstring& folder) {
    std::wstring result = folder;
    result += L'\\';

    const size_t lastSeparator = sourcePath.rfind(L'\\');
    result += lastSeparator == std::wstring::npos ? sourcePath : sourcePath.substr(lastSeparator + 1);

    const std::wstring extension = preset.getTargetExtension(sourcePath);
    if (extension.empty())
        return result;

    const size_t lastDot = result.rfind(L'.');
    const size_t nameStart = result.rfind(L'\\');
    if (lastDot == std::wstring::npos || lastDot < nameStart) {
        result += L'.';
    } else {
        result.erase(lastDot + 1);
    }
    result += extension;
    return result;
}
