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

// A file argument that is a wildcard pattern no file matched: cmd.exe hands every pattern on as
// typed, and POSIX shells one that matches nothing. Its line says so rather than that the file
// cannot be read.
bool matchedNoFile(const std::wstring& file);
extern const wchar_t kMatchedNoFile[];

// The process exit status: 0 when nothing failed, 1 otherwise.
int runBatch(const BatchSettings& settings);

// Prints the closing line of counts; returns the exit status.
int summariseBatch(size_t converted, size_t skipped, size_t failed);
