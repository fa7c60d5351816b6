// How the first half of a conversion (convertToBytesWith) leaves the second to write the
// destination.
#pragma once

namespace tfi {

enum class NewContent {
    Bytes,    // the bytes made in memory
    LargePng, // the source, a PNG too large to hold, already checked: copied in pieces
};

} // namespace tfi
