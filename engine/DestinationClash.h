// Jobs of one run that would write the same file as an earlier job, or replace another job's
// source. Found before the run starts: a run must never replace its own output, nor a source
// before that source's own job has read it.
#pragma once

#include <string>
#include <vector>

class ImagePreset;

struct DestinationClash {
    enum Kind { None, SameDestination, ReplacesSource };
    Kind kind = None;
    // The job that clashes, and the earlier job whose destination it shares (SameDestination)
    // or the job whose source it would replace (ReplacesSource).
    std::wstring source;
    std::wstring otherSource;
    std::wstring destination;
};

// The first clash in job order among the sources converted into folder; kind None when there
// is none. A job whose destination is its own source does not clash: it is not converted.
DestinationClash findDestinationClash(const ImagePreset& preset, const std::vector<std::wstring>& sources,
                                      const std::wstring& folder);
