// The reader of PNG sources too large to hold, on arbitrary bytes: read in pieces it must agree
// with the decode in memory wherever that one succeeds, as stored and converted to sRGB alike,
// and what it copies must be a sound PNG.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/Image.h"
#include "core/LargePng.h"
#include "core/PngDecoder.h"

namespace {

class MemorySink : public tfi::ByteSink {
public:
    bool write(const uint8_t* data, size_t size) override {
        bytes.insert(bytes.end(), data, data + size);
        return true;
    }
    std::vector<uint8_t> bytes;
};

bool sameWhereVisible(const tfi::RgbaImage& whole, const tfi::RgbaImage& streamed) {
    if (whole.width != streamed.width || whole.height != streamed.height)
        return false;
    for (size_t i = 0; i < whole.pixels.size(); i += tfi::kRgbaBytesPerPixel) {
        const bool visible = whole.pixels[i + 3] != 0;
        for (size_t c = 0; c < tfi::kRgbaBytesPerPixel; ++c)
            if ((visible || c == 3) && whole.pixels[i + c] != streamed.pixels[i + c])
                return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first byte picks the reduced picture's side, so that cells of every shape get made.
    if (size == 0)
        return 0;
    const uint32_t maxSide = 1u + data[0] % 64;
    const tfi::ByteView png(data + 1, size - 1);
    tfi::MemorySourceFile file(png);

    tfi::RgbaImage reduced, whole, streamed;
    const tfi::Result r = tfi::decodeLargePngReduced(file, reduced, maxSide);
    if (r == ERCI_OK && (reduced.longerSide() > maxSide || reduced.width == 0 || reduced.height == 0))
        __builtin_trap();
    if (tfi::decodePng(png, whole) == ERCI_OK) {
        if (tfi::checkLargePng(file) != ERCI_OK ||
            tfi::decodeLargePngReduced(file, streamed, whole.longerSide()) != ERCI_OK ||
            !sameWhereVisible(whole, streamed))
            __builtin_trap();
    }
    // Converted to sRGB from the colour space the file declares, the two readers agree too, on
    // the pixels and on why a declared space was not applied.
    tfi::RgbaImage wholeInSrgb, streamedInSrgb;
    tfi::WorkBudget budget;
    tfi::ColorNote wholeNote = tfi::ColorNote::None, streamedNote = tfi::ColorNote::None;
    if (tfi::decodePngToSrgb(png, wholeInSrgb, budget, wholeNote) == ERCI_OK) {
        if (tfi::decodeLargePngReduced(file, streamedInSrgb, wholeInSrgb.longerSide(), &streamedNote) != ERCI_OK ||
            streamedNote != wholeNote || !sameWhereVisible(wholeInSrgb, streamedInSrgb))
            __builtin_trap();
    }
    if (tfi::checkLargePng(file) != ERCI_OK)
        return 0;
    // A copy has every CRC right, so it passes itself and is copied as it is.
    MemorySink copy, again;
    if (tfi::copyLargePng(file, copy) != ERCI_OK)
        __builtin_trap();
    tfi::MemorySourceFile copied{tfi::ByteView(copy.bytes)};
    if (tfi::checkLargePng(copied) != ERCI_OK || tfi::copyLargePng(copied, again) != ERCI_OK ||
        again.bytes != copy.bytes)
        __builtin_trap();
    return 0;
}
