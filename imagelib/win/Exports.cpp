// The DLL's exported C interface. The conversion and the messages live in the static layers;
// this file only gives them their exported names.
#include "TarnelFreeImage.h"

#include "core/Result.h"
#include "win/WinFiles.h"

extern "C" {

TFI_API enum _tag_ERCI_RESULT gf_convertImage_OneFile(const wchar_t* source, const wchar_t* destination,
                                                      const wchar_t* option) {
    return tfi::convertFileW(source, destination, option);
}

TFI_API const char* gf_resultMessage(enum _tag_ERCI_RESULT result) { return tfi::resultMessage(result); }
}
