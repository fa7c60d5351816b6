// Files and folders dropped onto the main window from Explorer.
#pragma once

#include <windows.h>
#include <shellapi.h>

// Makes the window accept dropped files; they arrive as WM_DROPFILES.
void acceptFileDrops(HWND hwnd);
// Adds each dropped file by the rule of the Add command, and the files directly inside each
// dropped folder (not its subfolders), as one batch. Frees the drop.
void addDroppedFiles(HDROP drop);
// Frees the drop without looking at it.
void ignoreDroppedFiles(HDROP drop);
