// imagecore --list: the directory of each icon or cursor, read as --entries reads it.
#pragma once

#include "CommandLine.h"

// One line per directory slot, in directory order; exit status as a batch's, counting entries.
int runList(const BatchSettings& settings);
