// Paths as Windows resolves and compares them, for telling whether two names are one file, and
// what stands at a path.
#pragma once

#include <string>

// The full path the platform makes of a path (relative parts resolved, "." and ".." segments
// and a last name's trailing dots and spaces dropped); empty when it cannot make one.
std::wstring fullPathOf(const std::wstring& path);
// Equal for two paths that name the same file on a Windows file system, which compares names
// without regard to letter case.
std::wstring sameFileKey(const std::wstring& path);
// A file (not a folder) stands at the path, whether or not it may be read.
bool isExistingFile(const std::wstring& path);
bool isExistingFolder(const std::wstring& path);
