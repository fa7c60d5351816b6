// The source file list: the main dialog's sorted list box is its only store.
#pragma once

#include <string>

void addSourceFiles();
// Index of the new item, or -1 when the path was refused.
int addSourceFile(const std::wstring& path);
bool isSourceFileListed(const std::wstring& path);
bool hasSourceExtension(const std::wstring& path);
void removeSelectedSourceFiles();
void clearSourceFiles();
