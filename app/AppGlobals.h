// The application state record: one instance, owned by the user-interface thread.
#pragma once

#include <windows.h>

class ConvertCore;
class ImagePreset;

struct AppGlobals {
    HINSTANCE hInstance;
    HWND hMainDlg;
    HICON hAppIcon;
    HWND hToolTip;
    ConvertCore* pConvertCore; // owned; lives as long as the main dialog
    ImagePreset* pPreset;      // lives until the process ends
};

extern AppGlobals g_app;
extern ULONG_PTR g_gdiplusToken;

// Starts GDI+, resets g_app and creates the one preset. Always true.
bool appStartup();
// Disposes every cached picture, then shuts GDI+ down.
void appShutdown();
