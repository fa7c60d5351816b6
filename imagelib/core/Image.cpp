#include "Image.h"

#include <new>

#include "CheckedMath.h"
#include "Limits.h"

namespace tfi {

bool imageWithinCaps(uint64_t width, uint64_t height) {
    if (width == 0 || height == 0 || width > kMaxImageSide || height > kMaxImageSide)
        return false;
    uint64_t bytes = 0;
    return checkedMultiply(width * height, kRgbaBytesPerPixel, bytes) && bytes <= kMaxImageBytes &&
           fitsInSizeT(bytes);
}

Result allocateImage(RgbaImage& image, uint32_t width, uint32_t height) {
    if (!imageWithinCaps(width, height))
        return ERCI_ERR_TOO_LARGE;
    const size_t bytes = static_cast<size_t>(width) * height * kRgbaBytesPerPixel;
    image.width = 0;
    image.height = 0;
    std::vector<uint8_t>().swap(image.pixels);
    // The standard library reports a failed allocation by throwing; this is the one place
    // the core turns that into a result.
    try {
        image.pixels.assign(bytes, 0);
    } catch (const std::bad_alloc&) {
        return ERCI_ERR_OUT_OF_MEMORY;
    }
    image.width = width;
    image.height = height;
    return ERCI_OK;
}

} // namespace tfi
