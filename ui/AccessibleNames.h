// Names that screen readers announce for the main window's controls whose own text does not
// say what they are.
#pragma once

#include <windows.h>

// Names the source list, the output folder box and the browse button through the standard
// accessibility interface; the window looks as before. For the life of the controls.
void nameControlsForScreenReaders(HWND mainDlg);
