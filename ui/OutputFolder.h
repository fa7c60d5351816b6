// The output folder: the edit box, its memory in the registry, the folder browser and Open.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include "engine/PathNames.h"

#include <string>

extern wchar_t browsePath[MAX_PATH];

// The folder as the program checks, uses and saves it: the edit box's text without leading and
// trailing spaces and one pair of surrounding double quotes, as Explorer's "Copy as path" gives.
std::wstring outputFolderPath(HWND mainDlg);
std::wstring cleanFolderText(const std::wstring& text);
// The refusal of a folder text that names no existing folder.
extern const wchar_t kFolderMissingText[];
// A path with a drive (C:\...) or a server (\\server\...) in front: one that does not depend on
// the process's current folder.
bool isFullPath(const std::wstring& path);
// Tells the user, under the product caption, that the output folder needs its full path, and
// answers true, when folder is not one; answers false and shows nothing for a full path.
bool refuseRelativeFolder(const std::wstring& folder);

std::wstring makeSettingsKeyPath();
std::wstring loadOutputFolder();
// True when the folder was written to the settings.
bool saveOutputFolder(const std::wstring& folder);
// Saves the folder, and tells the user when it could not be: the box would otherwise come up
// with an older folder, or empty, at the next start with nothing said.
void rememberOutputFolder(const std::wstring& folder);
void browseOutputFolder();
int CALLBACK browseFolderCallback(HWND hwnd, UINT message, LPARAM lParam, LPARAM data);
// Opens the output folder in the shell when it is an existing folder, by its full path, and
// nothing else: a program, a document or an address typed into the box is never started.
void openOutputFolder();

// The shell call behind Open; tests replace it so that no file manager starts.
extern decltype(&ShellExecuteW) g_shellExecuteForOpen;
// The registry call that saves the folder; tests make it fail.
extern decltype(&RegSetValueExW) g_setSettingsValue;
