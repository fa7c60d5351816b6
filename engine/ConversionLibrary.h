// TarnelFreeImage.dll, reached by its full path in a folder we name and nowhere else: our
// processes look for DLLs in System32 only, and a DLL of that name found anywhere else could be
// anyone's.
#pragma once

#include <TarnelFreeImage.h>

#include <string>

typedef enum _tag_ERCI_RESULT (*ConvertOneFileFunction)(const wchar_t* source, const wchar_t* destination,
                                                         const wchar_t* option);

enum class LibraryLoad { Loaded, FileMissing, FunctionMissing };

// The library's file name, as the user sees it beside the program.
extern const wchar_t kConversionLibraryName[];
// The conversion function's exported name.
extern const char kConversionFunctionName[];

// Loads folder\TarnelFreeImage.dll and finds its conversion function. Once loaded, the library
// stays for the life of the process and later calls answer Loaded.
LibraryLoad loadConversionLibrary(const std::wstring& folder);
// The loaded library's conversion function; null until loadConversionLibrary succeeded.
ConvertOneFileFunction conversionFunction();
