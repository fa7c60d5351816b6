#include "DestinationClash.h"

#include "OutputNaming.h"
#include "PathNames.h"

#include <unordered_map>

namespace {

// The first job that holds each key.
using FirstJobByKey = std::unordered_map<std::wstring, size_t>;

DestinationClash clash(DestinationClash::Kind kind, const std::wstring& source, const std::wstring& otherSource,
                       const std::wstring& destination) {
    DestinationClash found;
    found.kind = kind;
    found.source = source;
    found.otherSource = otherSource;
    found.destination = destination;
    return found;
}

} // namespace

DestinationClash findDestinationClash(const ImagePreset& preset, const std::vector<std::wstring>& sources,
                                      const std::wstring& folder) {
    std::vector<std::wstring> sourceKeys;
    FirstJobByKey jobBySource;
    for (size_t i = 0; i < sources.size(); ++i) {
        sourceKeys.push_back(sameFileKey(sources[i]));
        jobBySource.emplace(sourceKeys[i], i);
    }
    FirstJobByKey jobByDestination;
    for (size_t i = 0; i < sources.size(); ++i) {
        const std::wstring destination = formDestPath(preset, sources[i], folder);
        const std::wstring key = sameFileKey(destination);
        const auto writer = jobByDestination.find(key);
        if (writer != jobByDestination.end())
            return clash(DestinationClash::SameDestination, sources[i], sources[writer->second], destination);
        const auto reader = jobBySource.find(key);
        if (reader != jobBySource.end() && key != sourceKeys[i])
            return clash(DestinationClash::ReplacesSource, sources[i], sources[reader->second], destination);
        jobByDestination.emplace(key, i);
    }
    return DestinationClash();
}
