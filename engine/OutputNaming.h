// The destination path of a source file in an output folder. Portable: the command-line
// converter uses the same rule as the program's engine.
#pragma once

#include <string>

class ImagePreset;

// folder + "\" + the source's file name, its extension replaced by the preset's target
// extension. Only the backslash separates folders; the folder is used unchanged, so a folder
// that ends in a backslash gives two of them.
std::wstring formDestPath(const ImagePreset& preset, const std::wstring& sourcePath, const std::wstring& folder);
