// Works an open-file dialog as a user would: type a folder or one name or several quoted names
// into the name box and press Open. The text goes in as a sent WM_SETTEXT, so the dialog may
// belong to this process or to the program started as a process of its own.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace wintest {

// The name box: a combo box in the Explorer-style template, a plain edit in older ones; null
// when the dialog has neither.
HWND fileNameBox(HWND dialog);
// Each name in quotes, separated by one space, as a user types several names into the box.
std::wstring quotedNames(const std::vector<std::wstring>& names);
// Puts text into the name box and presses Open; false when there is no name box.
bool typeFileNameAndOpen(HWND dialog, const std::wstring& text);
// The same, then waits for the dialog to end, which it does once it took the choice.
bool chooseFileNames(HWND dialog, const std::wstring& text, DWORD timeoutMs = 10000);

// The folder the dialog shows. Only for a dialog of this process: the answer comes back
// through a buffer of the caller's.
std::wstring fileDialogFolder(HWND dialog);
// Types a folder and presses Open, which goes to that folder as it does for a user; true once
// the dialog shows it. Only for a dialog of this process, as fileDialogFolder.
bool goToFolder(HWND dialog, const std::wstring& folder, DWORD timeoutMs = 10000);

} // namespace wintest
