// imagecore --entries: every entry of each icon or cursor as a PNG file of its own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Batch.h"
#include "CommandLine.h"
#include "core/IconReader.h"
#include "core/Result.h"

// One job for each directory slot of each file, in directory order. Each file is read once here
// to learn its entries; a file that is no icon, or a slot that holds no readable entry, becomes
// a job that only reports why.
std::vector<BatchJob> entryJobs(const BatchSettings& settings);

// The file's bytes and its directory, which points into them; false with the reason when it is
// no icon or cursor, or cannot be read.
bool readIconFile(const std::wstring& source, std::vector<uint8_t>& bytes, tfi::IconDirectory& directory,
                  std::wstring& problem);

// The depth an entry is named and listed by: its own, a PNG entry counting as 32 bits.
uint32_t entryDepth(const tfi::IconEntry& entry);

// How a line names an entry: the file, then the entry's place in the directory counted from 1.
std::wstring entryLabel(const std::wstring& source, size_t index);

// Entry `entry` of the icon or cursor `source` as PNG bytes.
tfi::Result entryToBytes(const std::wstring& source, size_t entry, std::vector<uint8_t>& bytes);
