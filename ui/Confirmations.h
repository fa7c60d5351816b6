// The progress window's two yes/no questions.
#pragma once

#include <windows.h>

// The engine's overwrite callback; runs on the worker thread. userData is the progress dialog.
int confirmOverwrite(int question, void* userData);
// The Stop button's question; on Yes asks the engine to stop and waits a bounded time.
void confirmStop(HWND hwnd);
