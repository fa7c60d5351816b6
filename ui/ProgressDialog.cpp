// Placeholder until the progress window lands.
#include "ProgressDialog.h"

UINT_PTR g_progressTimerId = 0;

INT_PTR CALLBACK progressDlgProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
bool onInitProgressDlg(HWND) { return false; }
void onProgressTimer(HWND) {}
