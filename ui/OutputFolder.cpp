// Placeholder until the output folder lands: nothing is remembered.
#include "OutputFolder.h"

wchar_t browsePath[MAX_PATH];

std::wstring makeSettingsKeyPath() { return std::wstring(); }
std::wstring loadOutputFolder() { return std::wstring(); }
bool saveOutputFolder(const std::wstring&) { return false; }
void browseOutputFolder() {}
int CALLBACK browseFolderCallback(HWND, UINT, LPARAM, LPARAM) { return 0; }
void openOutputFolder() {}
