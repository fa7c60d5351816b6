#include "IconsWindowsReads.h"

namespace testimg {
namespace {

struct Entry {
    Bytes data;
    tfi::RgbaImage shown;
    uint16_t bitCount;
};

// An 8-bit bitmap entry whose AND mask makes every fifth diagonal transparent. The colour under
// the mask is black, as icon editors write it: any other colour there inverts the screen.
Entry maskedBitmap(uint32_t side, uint32_t seed) {
    std::vector<uint32_t> palette(256), indices(side * side);
    std::vector<uint8_t> mask(side * side);
    for (uint32_t i = 1; i < palette.size(); ++i)
        palette[i] = (i * 2654435761u + seed) & 0xFFFFFF;
    Entry entry;
    tfi::allocateImage(entry.shown, side, side);
    for (uint32_t y = 0; y < side; ++y)
        for (uint32_t x = 0; x < side; ++x) {
            const uint32_t at = y * side + x;
            mask[at] = (x + y) % 5 == 0;
            indices[at] = mask[at] ? 0 : 1 + (x * 7 + y * 13 + seed) % 255;
            uint8_t* px = entry.shown.row(y) + 4 * x;
            px[0] = uint8_t(palette[indices[at]] >> 16);
            px[1] = uint8_t(palette[indices[at]] >> 8);
            px[2] = uint8_t(palette[indices[at]]);
            px[3] = mask[at] ? 0 : 255;
        }
    entry.data = buildDib(side, side, 8, palette, indices, mask);
    entry.bitCount = 8;
    return entry;
}

Entry pngEntry(uint32_t side, uint32_t seed) {
    Entry entry;
    entry.shown = pattern(side, side, seed);
    entry.data = encodePng(entry.shown);
    entry.bitCount = 32;
    return entry;
}

// The directory row a sound file has for `entry`, holding `data`: Windows picks the entry by
// the directory's size and depth.
IconRow rowOf(const Entry& entry, const Bytes& data) {
    IconRow row;
    row.width = uint8_t(entry.shown.width);
    row.height = uint8_t(entry.shown.height);
    row.bitCount = entry.bitCount;
    row.data = data;
    return row;
}

IconRow rowOf(const Entry& entry) { return rowOf(entry, entry.data); }

IconRow rowClaiming(const Entry& entry, uint32_t size) {
    IconRow row = rowOf(entry);
    row.overrideSize = true;
    row.size = size;
    return row;
}

// A small bitmap entry beside the damaged large one: what a reader that gives up on the large
// one would show instead.
IconWindowsReads withSmallEntry(const std::string& name, const IconRow& large, const tfi::RgbaImage& shown) {
    return {name, buildIcon({rowOf(maskedBitmap(16, 1)), large}), shown};
}

} // namespace

std::vector<IconWindowsReads> iconsWindowsReads() {
    const Entry png = pngEntry(32, 2);
    const Entry bitmap = maskedBitmap(32, 3);
    const uint32_t withoutMask = uint32_t(bitmap.data.size() - 4 * 32); // mask rows: 4 bytes each

    std::vector<IconWindowsReads> icons = {
        withSmallEntry("png-entry-idat-crc", rowOf(png, withWrongCrc(png.data, "IDAT")), png.shown),
        withSmallEntry("png-entry-ihdr-crc", rowOf(png, withWrongCrc(png.data, "IHDR")), png.shown),
        withSmallEntry("png-entry-ancillary-crc", rowOf(png, withChunk(png.data, "tEXt", {'a', 0, 'b'}, false)), png.shown),
        withSmallEntry("size-8", rowClaiming(bitmap, 8), bitmap.shown),
        withSmallEntry("size-40", rowClaiming(bitmap, 40), bitmap.shown),
        withSmallEntry("size-without-mask", rowClaiming(bitmap, withoutMask), bitmap.shown),
        {"size-past-end", buildIcon({rowClaiming(bitmap, 0xFFFFFFFFu)}), bitmap.shown},
    };

    // The first image's header then stands where the third slot would be.
    IconWindowsReads countTooHigh{"count-one-too-high", buildIcon({rowOf(png), rowOf(maskedBitmap(16, 1))}),
                                  png.shown};
    countTooHigh.file[4] = 3;
    icons.push_back(countTooHigh);

    // The file ends inside the mask; the directory counts only what is there.
    const uint32_t cut = 8;
    IconWindowsReads maskCut{"mask-cut-off", buildIcon({rowClaiming(bitmap, uint32_t(bitmap.data.size() - cut))}),
                             bitmap.shown};
    maskCut.file.resize(maskCut.file.size() - cut);
    for (size_t i = 3; i < maskCut.shown.pixels.size(); i += 4)
        maskCut.shown.pixels[i] = 255;
    icons.push_back(maskCut);
    return icons;
}

} // namespace testimg
