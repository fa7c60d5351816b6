// Converting a list of files: one line per file, a summary, no questions.
#pragma once

#include "CommandLine.h"

#include <cstddef>
#include <cstdint>
#include <string>

// One destination of a batch: a whole source converted, or one entry of an icon taken out.
struct BatchJob {
    static constexpr size_t kWholeFile = SIZE_MAX;

    std::wstring source;
    std::wstring destination;
    std::wstring label;          // how its line names it
    size_t entry = kWholeFile; // the icon's directory slot, for --entries
    std::wstring problem;      // known before converting: no destination, the line says why
};

// The process exit status: 0 when nothing failed, 1 otherwise.
int runBatch(const BatchSettings& settings);

// Prints the closing line of counts; returns the exit status.
int summariseBatch(size_t converted, size_t skipped, size_t failed);
