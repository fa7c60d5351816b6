// Converting a list of files: one line per file, a summary, no questions.
#pragma once

#include "CommandLine.h"

#include <cstddef>
#include <string>

// The process exit status: 0 when nothing failed, 1 otherwise.
int runBatch(const BatchSettings& settings);

// Prints the closing line of counts; returns the exit status.
int summariseBatch(size_t converted, size_t skipped, size_t failed);
