// The progress window: starts the run, polls the engine every 100 ms, ends with "Complete"
// or closes itself after a stop.
#pragma once

#include <windows.h>

extern UINT_PTR g_progressTimerId;
// The call that sets the polling timer; tests make it fail, as an exhausted quota of the
// desktop's objects does. Without its timer the window ends at once and starts no run.
extern decltype(&SetTimer) g_setProgressTimer;

// Shows the progress window over owner for one run of the engine's jobs. True when the run
// started and the window ended through Close; false when the window could not be made or the
// run could not start, and then nothing was converted.
bool runProgressDialog(HWND owner);
INT_PTR CALLBACK progressDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
bool onInitProgressDlg(HWND hwnd);
void onProgressTimer(HWND hwnd);
// Asks the run of the open progress window to stop between two files and the window to close
// as soon as no question of it is open. Returns at once; without such a window does nothing.
void stopAndCloseProgress();
