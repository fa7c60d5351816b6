// The whole command, from its arguments to its exit status.
#pragma once

#include <string>
#include <vector>

constexpr int kUsageError = 2;

// Runs what the arguments ask for. A command-line error, or an output folder that is not
// there, is reported on standard error before any file is touched.
int runImagecore(const std::vector<std::wstring>& args);
