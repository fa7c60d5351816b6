#include "IconsWindowsReads.h"

namespace testimg {
namespace {

struct Entry {
    Bytes data;
    tfi::RgbaImage shown;
};

// An 8-bit bitmap entry whose AND mask makes every fifth diagonal transparent.
Entry maskedBitmap(uint32_t side, uint32_t seed) {
    std::vector<uint32_t> palette(256), indices(side * side);
    std::vector<uint8_t> mask(side * side);
    for (uint32_t i = 0; i < palette.size(); ++i)
        palette[i] = (i * 2654435761u + seed) & 0xFFFFFF;
    Entry entry;
    tfi::allocateImage(entry.shown, side, side);
    for (uint32_t y = 0; y < side; ++y)
        for (uint32_t x = 0; x < side; ++x) {
            const uint32_t at = y * side + x;
            indices[at] = (x * 7 + y * 13 + seed) & 255;
            mask[at] = (x + y) % 5 == 0;
            uint8_t* px = entry.shown.row(y) + 4 * x;
            px[0] = uint8_t(palette[indices[at]] >> 16);
            px[1] = uint8_t(palette[indices[at]] >> 8);
            px[2] = uint8_t(palette[indices[at]]);
            px[3] = mask[at] ? 0 : 255;
        }
    entry.data = buildDib(side, side, 8, palette, indices, mask);
    return entry;
}

Entry pngEntry(uint32_t side, uint32_t seed) {
    Entry entry;
    entry.shown = pattern(side, side, seed);
    entry.data = encodePng(entry.shown);
    return entry;
}

IconRow rowOf(const Bytes& data) {
    IconRow row;
    row.data = data;
    return row;
}

IconRow rowClaiming(const Bytes& data, uint32_t size) {
    IconRow row = rowOf(data);
    row.overrideSize = true;
    row.size = size;
    return row;
}

// A small bitmap entry beside the damaged large one: what a reader that gives up on the large
// one would show instead.
IconWindowsReads withSmallEntry(const std::string& name, const IconRow& large, const tfi::RgbaImage& shown) {
    return {name, buildIcon({rowOf(maskedBitmap(16, 1).data), large}), shown};
}

} // namespace

std::vector<IconWindowsReads> iconsWindowsReads() {
    const Entry png = pngEntry(32, 2);
    const Entry bitmap = maskedBitmap(32, 3);
    const uint32_t withoutMask = uint32_t(bitmap.data.size() - 4 * 32); // mask rows: 4 bytes each

    std::vector<IconWindowsReads> icons = {
        withSmallEntry("png-entry-idat-crc", rowOf(withWrongCrc(png.data, "IDAT")), png.shown),
        withSmallEntry("png-entry-ihdr-crc", rowOf(withWrongCrc(png.data, "IHDR")), png.shown),
        withSmallEntry("png-entry-ancillary-crc", rowOf(withChunk(png.data, "tEXt", {'a', 0, 'b'}, false)), png.shown),
        withSmallEntry("size-8", rowClaiming(bitmap.data, 8), bitmap.shown),
        withSmallEntry("size-40", rowClaiming(bitmap.data, 40), bitmap.shown),
        withSmallEntry("size-without-mask", rowClaiming(bitmap.data, withoutMask), bitmap.shown),
        {"size-past-end", buildIcon({rowClaiming(bitmap.data, 0xFFFFFFFFu)}), bitmap.shown},
    };

    // The first image's header then stands where the third slot would be.
    IconWindowsReads countTooHigh{"count-one-too-high", buildIcon({rowOf(png.data), rowOf(maskedBitmap(16, 1).data)}),
                                  png.shown};
    countTooHigh.file[4] = 3;
    icons.push_back(countTooHigh);

    IconWindowsReads maskCut{"mask-cut-off", buildIcon({rowOf(bitmap.data)}), bitmap.shown};
    maskCut.file.resize(maskCut.file.size() - 8);
    for (size_t i = 3; i < maskCut.shown.pixels.size(); i += 4)
        maskCut.shown.pixels[i] = 255;
    icons.push_back(maskCut);
    return icons;
}

} // namespace testimg
