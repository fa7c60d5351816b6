// The owner-drawn toolbar buttons and their tooltips.
#pragma once

#include <windows.h>

void createToolTips();
void drawToolButton(const DRAWITEMSTRUCT* item);
// How far a pressed button's picture moves right and down at that DPI: round(dpi / 96), at least 1.
int pressedShiftForDpi(UINT dpi);
