// Where a source file's converted copy goes: the program's naming rule (CImageConverter_PNG_ICO
// and formDestPath) applied to this platform's paths.
#pragma once

#include <string>

// outputFolder empty: the source's own folder. On Windows '/' counts as '\' in both paths.
std::wstring destinationFor(const std::wstring& source, const std::wstring& outputFolder);
