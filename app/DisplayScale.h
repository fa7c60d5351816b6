// The display scale (DPI) of windows. Windows 10 tells it per window and per monitor; the
// functions for that are looked up at run time, so that the program still starts on Windows 7
// and 8, where every window has the scale of the session.
#pragma once

#include <windows.h>

// 100 %: the DPI that dialog units, icon sizes and the 32-pixel toolbar pictures were made for.
const UINT kDefaultDpi = 96;

// The DPI the session had when this process started.
UINT systemDpi();
// The DPI of the monitor the window is on; the system DPI where Windows cannot tell.
UINT windowDpi(HWND hwnd);
// A size of GetSystemMetrics (icons, borders) as it is at that DPI.
int systemMetricForDpi(int index, UINT dpi);
// Moves and sizes the window to the rectangle that WM_DPICHANGED suggests in its lParam, so that
// it keeps its place under the pointer while it takes the new monitor's scale.
void takeSuggestedRect(HWND hwnd, LPARAM suggestedRect);
