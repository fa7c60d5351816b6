#include "ConversionLibrary.h"

#include "PathNames.h"

#include <windows.h>

#include <atomic>

const wchar_t kConversionLibraryName[] = L"TarnelFreeImage.dll";
const char kConversionFunctionName[] = "gf_convertImage_OneFile";

namespace {

// Written once on the user-interface thread before any worker starts; read by workers.
std::atomic<ConvertOneFileFunction> g_convertOneFile{nullptr};

} // namespace

LibraryLoad loadConversionLibrary(const std::wstring& folder) {
    if (g_convertOneFile)
        return LibraryLoad::Loaded;
    // A full path with the flag that lets the library's own imports come from System32: no
    // folder but this one is searched for it.
    const std::wstring path = extendedPath(folder + L"\\" + kConversionLibraryName);
    HMODULE library = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Windows 7 without update KB2533623 knows neither flag; a full path is still searched for
    // nowhere else.
    if (!library && GetLastError() == ERROR_INVALID_PARAMETER)
        library = LoadLibraryExW(path.c_str(), nullptr, 0);
    if (!library)
        return LibraryLoad::FileMissing;
    FARPROC found = GetProcAddress(library, kConversionFunctionName);
    if (!found) {
        FreeLibrary(library);
        return LibraryLoad::FunctionMissing;
    }
    // Through void (*)(): the one function pointer type GCC lets any other be cast from quietly.
    g_convertOneFile = reinterpret_cast<ConvertOneFileFunction>(reinterpret_cast<void (*)()>(found));
    return LibraryLoad::Loaded;
}

ConvertOneFileFunction conversionFunction() {
    return g_convertOneFile;
}
