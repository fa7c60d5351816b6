// Converting a list of files: one line per file, a summary, no questions.
#pragma once

#include "CommandLine.h"

// The process exit status: 0 when nothing failed, 1 otherwise.
int runBatch(const BatchSettings& settings);
