// The source file list: the main dialog's sorted list box is its only store.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The Add command: the open-file dialog, then every chosen path through addSourcePaths. A pick
// that does not fit is refused whole, with a message.
void addSourceFiles();
// The same with the dialog told it may fill only this many units (at most what Add gives it).
void addSourceFilesWithRoom(DWORD capacity);
// Adds each path that passes the rule (fits an item, png or ico, not yet listed) as one batch:
// the list is read once and redrawn once, whatever the number of paths.
void addSourcePaths(const std::vector<std::wstring>& paths);
// One path by the same rule: index of the new item, or -1 when the path was refused.
int addSourceFile(const std::wstring& path);
bool isSourceFileListed(const std::wstring& path);
// The whole text of one item of a list box, however long, sized by the list box itself; empty
// for an index it does not hold.
std::wstring listItemText(HWND list, int index);
bool hasSourceExtension(const std::wstring& path);
// name inside folder, with one backslash between them.
std::wstring pathInFolder(const std::wstring& folder, const std::wstring& name);
void removeSelectedSourceFiles();
void clearSourceFiles();
void selectAllSourceFiles();
