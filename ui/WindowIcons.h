// The main window's title-bar and Alt+Tab icons.
#pragma once

#include <windows.h>

// Gives the window the application icon at the big and small icon sizes of that DPI, each from
// the icon's own entries, and keeps them in g_app.hAppIcon (the big one) until they are
// replaced. Icons that fail to load leave the window without that icon.
void setWindowIcons(HWND hwnd, UINT dpi);
