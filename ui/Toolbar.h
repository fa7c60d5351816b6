// The owner-drawn toolbar buttons and their tooltips.
#pragma once

#include <windows.h>

void createToolTips();
void drawToolButton(const DRAWITEMSTRUCT* item);
