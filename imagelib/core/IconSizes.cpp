#include "IconSizes.h"

#include <algorithm>

#include "Limits.h"

namespace tfi {
namespace {

const uint32_t kStandardSizes[] = {16, 20, 24, 32, 40, 48, 64, 96, 256};

} // namespace

std::vector<uint32_t> planIconSizes(uint32_t sourceSide, const std::vector<uint32_t>& requested) {
    const bool useDefault = requested.empty();
    std::vector<uint32_t> candidates =
        useDefault ? std::vector<uint32_t>(std::begin(kStandardSizes), std::end(kStandardSizes)) : requested;

    std::vector<uint32_t> sizes;
    for (uint32_t size : candidates)
        if (size <= sourceSide)
            sizes.push_back(size);

    const bool ownSideFits = sourceSide <= kMaxIconEntrySide;
    const bool ownSideMissing = std::find(sizes.begin(), sizes.end(), sourceSide) == sizes.end();
    if (ownSideFits && ownSideMissing && (useDefault || sizes.empty()))
        sizes.push_back(sourceSide);
    if (sizes.empty()) // a requested list all above a source larger than 256
        sizes.push_back(kMaxIconEntrySide);
    std::sort(sizes.begin(), sizes.end());
    return sizes;
}

} // namespace tfi
