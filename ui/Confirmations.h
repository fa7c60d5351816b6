// The progress window's two yes/no questions.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The engine's overwrite callback; runs on the worker thread. userData is the progress dialog.
// Asks only while that window is open and not closing; otherwise answers "keep" unasked.
int confirmOverwrite(int question, void* userData);
// The Stop button's question; on Yes asks the engine to stop and waits a bounded time.
void confirmStop(HWND hwnd);

// The overwrite question is shown by the worker but owned by the progress window, so the two
// threads agree under one guard on when that window may go. Opened by the progress window
// before its run starts.
void openQuestionGate(HWND progressDlg);
// True when the progress window may close now: no question of it is open, and none will be
// shown from now on. False while a question is open; the window stays and tries again later.
bool closeQuestionGate(HWND progressDlg);

// A message box with the product caption, as every question and refusal of the program is shown.
int showProductMessage(HWND owner, const wchar_t* text, UINT type);
// A message's whole sentence with each %1 to %9 replaced by that path. The paths go in as they
// are: a % inside one is never read as a placeholder.
std::wstring withPaths(const wchar_t* text, const std::vector<std::wstring>& paths);
