// Paths as Windows resolves and compares them, for telling whether two names are one file, and
// what stands at a path.
#pragma once

#include <cstddef>
#include <string>

// The longest path Windows takes, in UTF-16 units without the NUL.
const size_t kLongestPath = 32767;

// The full path the platform makes of a path (relative parts resolved, "." and ".." segments
// and a last name's trailing dots and spaces dropped); empty when it cannot make one.
std::wstring fullPathOf(const std::wstring& path);
// Equal for two paths that name the same file on a Windows file system, which compares names
// without regard to letter case.
std::wstring sameFileKey(const std::wstring& path);
// The path in the form Windows takes at any length (\\?\C:\... or \\?\UNC\server\...), for
// a path too long for the plain form, where a machine without long paths enabled refuses it;
// a shorter path, and one already in a device form, as it is. For file calls only: the user
// and every comparison see the path as it was given.
std::wstring extendedPath(const std::wstring& path);
// A file (not a folder) stands at the path, whether or not it may be read.
bool isExistingFile(const std::wstring& path);
bool isExistingFolder(const std::wstring& path);
// The folder the program file stands in, without a closing separator; empty when unknown.
std::wstring programFolder();
