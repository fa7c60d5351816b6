// The output folder: the edit box, its memory in the registry, the folder browser and Open.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>

extern wchar_t browsePath[MAX_PATH];

std::wstring makeSettingsKeyPath();
std::wstring loadOutputFolder();
bool saveOutputFolder(const std::wstring& folder);
void browseOutputFolder();
int CALLBACK browseFolderCallback(HWND hwnd, UINT message, LPARAM lParam, LPARAM data);
void openOutputFolder();

// The shell call behind Open; tests replace it so that no file manager starts.
extern decltype(&ShellExecuteW) g_shellExecuteForOpen;
