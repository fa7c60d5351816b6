// The few things the batch needs from the operating system, with wide strings on both.
#pragma once

#include <string>
#include <vector>

#include "core/Result.h"

namespace platform {

std::vector<std::wstring> arguments(int argc, char** argv);
bool fileExists(const std::wstring& path);
tfi::Result convertFile(const std::wstring& source, const std::wstring& destination, const std::wstring& option);
void writeLine(const std::wstring& line);
void writeError(const std::wstring& line);

} // namespace platform

// UTF-8 of a wide string (UTF-16 on Windows, UTF-32 elsewhere) and back.
std::string toUtf8(const std::wstring& text);
std::wstring fromUtf8(const std::string& text);
