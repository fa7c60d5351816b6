// Which entries an icon made from a picture gets.
#pragma once

#include <cstdint>
#include <vector>

namespace tfi {

// Ascending entry sides for a source whose longer side is `sourceSide`. Default set: the
// standard sizes up to the source's side, plus the source's own side when it is at most 256
// and not standard, so a small picture is neither enlarged nor lost. A requested list drops
// sizes above the source; when none is left the source's own side is the one entry.
std::vector<uint32_t> planIconSizes(uint32_t sourceSide, const std::vector<uint32_t>& requested);

} // namespace tfi
