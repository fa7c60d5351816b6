// Where a source file's converted copy goes: the program's naming rule (CImageConverter_PNG_ICO
// and formDestPath) applied to this platform's paths.
#pragma once

#include <string>

// outputFolder empty: the source's own folder. On Windows '/' counts as '\' in both paths.
std::wstring destinationFor(const std::wstring& source, const std::wstring& outputFolder);

// The folder destinationFor writes into, without a trailing separator (but for a root).
std::wstring destinationFolder(const std::wstring& source, const std::wstring& outputFolder);
// The last component of the source path.
std::wstring sourceFileName(const std::wstring& source);
// `fileName` in `folder`, joined with this platform's separator.
std::wstring pathIn(const std::wstring& folder, const std::wstring& fileName);
