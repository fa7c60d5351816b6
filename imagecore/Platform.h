// The few things the batch needs from the operating system, with wide strings on both.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/PngColor.h"
#include "core/Result.h"
#include "io/NewContent.h"

namespace platform {

std::vector<std::wstring> arguments(int argc, char** argv);
// Lets the memory one file's conversion freed serve the next file's.
void keepFreedMemoryForReuse();
bool fileExists(const std::wstring& path);
bool isFolder(const std::wstring& path);
// Each file argument with * or ? in its last part replaced by the files it matches, in name
// order, under the folder part as typed; one that matches none stays as it is. Only where the
// shell leaves patterns to the program (Windows); elsewhere the arguments as given.
std::vector<std::wstring> expandWildcards(const std::vector<std::wstring>& files);
// Names under which this path's file may be reached, case folded: two paths that share one may
// be the same file (links, letter case on folders that ignore it, "./a" against "a").
std::vector<std::wstring> fileKeys(const std::wstring& path);
// A conversion in two halves: the destination's new bytes, built in memory, which needs the
// processor; then those bytes in the destination's place, all or nothing, which waits for the
// disk (for NewContent::LargePng the source copied in pieces instead). `color` says why a
// colour space the source declares was not applied.
tfi::Result convertToBytes(const std::wstring& source, const std::wstring& destination, const std::wstring& option,
                           std::vector<uint8_t>& bytes, tfi::NewContent& content, tfi::ColorNote& color);
tfi::Result writeConverted(const std::wstring& source, const std::wstring& destination,
                           const std::vector<uint8_t>& bytes, tfi::NewContent content);
tfi::Result readFile(const std::wstring& path, std::vector<uint8_t>& bytes);
tfi::Result replaceFile(const std::wstring& destination, const std::vector<uint8_t>& bytes);
void writeLine(const std::wstring& line);
void writeError(const std::wstring& line);

} // namespace platform

// UTF-8 of a wide string (UTF-16 on Windows, UTF-32 elsewhere) and back.
std::string toUtf8(const std::wstring& text);
std::wstring fromUtf8(const std::string& text);
