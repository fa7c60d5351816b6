// imagecore --entries: every entry of each icon or cursor as a PNG file of its own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Batch.h"
#include "CommandLine.h"
#include "core/Result.h"

// One job for each directory slot of each file, in directory order. Each file is read once here
// to learn its entries; a file that is no icon, or a slot that holds no readable entry, becomes
// a job that only reports why.
std::vector<BatchJob> entryJobs(const BatchSettings& settings);

// Entry `entry` of the icon or cursor `source` as PNG bytes.
tfi::Result entryToBytes(const std::wstring& source, size_t entry, std::vector<uint8_t>& bytes);
