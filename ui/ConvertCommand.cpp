// Placeholder until the Convert command lands: it converts nothing and says so by returning false.
#include "ConvertCommand.h"

bool convertSourceFiles() { return false; }
std::wstring getCorePath() { return std::wstring(); }
void markConvertedFiles() {}
