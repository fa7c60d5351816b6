#include "IconSizes.h"

#include <algorithm>

#include "Limits.h"

namespace tfi {
namespace {

// What Windows asks an icon for at display scales of 100 to 400 %: the taskbar at 125, 150, 250
// and 300 % wants 30, 36, 60 and 72, Start at 250 % wants 80. A size the icon lacks is scaled
// from another entry by Windows itself, and turns soft where the user looks most.
const uint32_t kStandardSizes[] = {16, 20, 24, 30, 32, 36, 40, 48, 60, 64, 72, 80, 96, 256};

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
