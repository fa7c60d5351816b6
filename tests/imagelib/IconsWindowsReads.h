// Icon files damaged the way files in the wild are, which Windows' own loader still reads and
// draws, each with the picture Windows shows for it: the picture the conversion must give.
#pragma once

#include <string>
#include <vector>

#include "TestImages.h"

namespace testimg {

struct IconWindowsReads {
    std::string name;
    Bytes file;
    tfi::RgbaImage shown; // at the size of the entry Windows takes as the largest
};

std::vector<IconWindowsReads> iconsWindowsReads();

} // namespace testimg
