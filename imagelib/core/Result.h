// The library's result codes are the public enum; the core uses them unchanged so that no
// translation table can drift.
#pragma once

#include "TarnelFreeImage.h"

namespace tfi {

using Result = _tag_ERCI_RESULT;

const char* resultMessage(Result result);

} // namespace tfi
