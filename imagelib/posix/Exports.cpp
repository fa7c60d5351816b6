// The portable part of the C interface, for the Linux build.
#include "TarnelFreeImage.h"

#include "core/Result.h"

extern "C" const char* gf_resultMessage(enum _tag_ERCI_RESULT result) { return tfi::resultMessage(result); }
