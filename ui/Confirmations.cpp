// Placeholder until the questions land: never replace, never stop.
#include "Confirmations.h"

int confirmOverwrite(int, void*) { return 0; }
void confirmStop(HWND) {}
