// Placeholder until the source list lands: the commands do nothing.
#include "SourceList.h"

void addSourceFiles() {}
int addSourceFile(const std::wstring&) { return -1; }
bool isSourceFileListed(const std::wstring&) { return false; }
bool hasSourceExtension(const std::wstring&) { return false; }
void removeSelectedSourceFiles() {}
void clearSourceFiles() {}
