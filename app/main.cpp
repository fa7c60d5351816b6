// Entry point: the modal main dialog is the program's whole running life.
#include <windows.h>

#include "app/AppGlobals.h"
#include "app/ImageCache.h"
#include "app/OleSession.h"
#include "engine/ConversionLibrary.h"
#include "engine/PathNames.h"
#include "res/resource.h"
#include "ui/MainDialog.h"
#include "ui/ProductText.h"

#include <string>

namespace {

// The exit codes Windows' loader ends a process with when an imported DLL or function is missing.
const int kExitLibraryMissing = static_cast<int>(0xC0000135);
const int kExitFunctionMissing = static_cast<int>(0xC0000139);

std::wstring missingLibraryText(LibraryLoad load, const std::wstring& folder) {
    if (load == LibraryLoad::FileMissing)
        return std::wstring(L"The code execution cannot proceed because ") + kConversionLibraryName +
               L" was not found. Reinstalling the program may fix this problem.";
    const std::string function = kConversionFunctionName;
    return L"The procedure entry point " + std::wstring(function.begin(), function.end()) +
           L" could not be located in the dynamic link library " + folder + L"\\" + kConversionLibraryName + L".";
}

// GDI+ reaches the imaging codecs through a delay-load. Windows resolves one within the process's
// default directories, System32 alone; Wine's loader resolves it, and what the codecs import in
// turn, from the program's folder first. Loaded here from System32, they are found loaded later.
void loadImagingCodecsFromSystem32() {
    LoadLibraryExW(L"windowscodecs.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

// The conversion library is loaded by its full path rather than imported, so Windows' loader no
// longer says when it is missing: the program says it in the loader's words, before any window,
// and ends as the loader would. Zero when the library is ready.
int loadConversionLibraryOrSay() {
    const std::wstring folder = programFolder();
    const LibraryLoad load = loadConversionLibrary(folder);
    if (load == LibraryLoad::Loaded)
        return 0;
    MessageBoxW(nullptr, missingLibraryText(load, folder).c_str(), kProductCaption, MB_OK | MB_ICONERROR);
    return load == LibraryLoad::FileMissing ? kExitLibraryMissing : kExitFunctionMissing;
}

} // namespace

// The command line is ignored: the program has no options.
int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, PWSTR, int) {
    if (const int loaderExitCode = loadConversionLibraryOrSay())
        return loaderExitCode;
    loadImagingCodecsFromSystem32();
    appStartup();
    loadButtonImages(hInstance);
    {
        OleSession ole;
        DialogBoxParamW(hInstance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, mainDlgProc, 0);
    }
    appShutdown();
    return 0;
}
