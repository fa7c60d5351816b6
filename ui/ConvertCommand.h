// The Convert command: checks, fills the engine, runs the progress window, marks the results.
#pragma once

#include <string>

// True when the progress window was shown.
bool convertSourceFiles();
// The folder of the program file + "\core\imagecore.exe".
std::wstring getCorePath();
// Selects exactly the list entries whose job ended with its destination in place.
void markConvertedFiles();
