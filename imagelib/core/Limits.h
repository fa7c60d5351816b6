// Caps that keep one conversion well inside a 32-bit process: whatever a file declares, the
// library never allocates or works beyond these.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tfi {

constexpr uint32_t kMaxImageSide = 32768;
// One decoded RGBA image (the source, or the icon entry chosen for output).
constexpr uint64_t kMaxImageBytes = 128ull * 1024 * 1024;
constexpr uint64_t kMaxImagePixels = kMaxImageBytes / 4; // RGBA, 4 bytes a pixel
// A source file is read whole; together with its decoded image this stays under ~200 MiB.
constexpr uint64_t kMaxSourceFileBytes = 64ull * 1024 * 1024;
constexpr uint32_t kMaxIconEntries = 256;
// Icons written by us never exceed this side; the directory byte 0 stands for it.
constexpr uint32_t kMaxIconEntrySide = 256;
// Entries we write up to this side are bitmaps, larger ones PNG.
constexpr uint32_t kMaxBitmapEntrySide = 48;
// Icons read: real ones stop around 1024 px. An entry up to twice that side is still read
// (16 MiB decoded); a larger one is refused from its header as too large, so that one icon
// cannot make us decode, and then encode, pictures at the full image caps. PNG sources keep
// the full caps.
constexpr uint32_t kMaxReadableEntrySide = 2048;
// When the best entries of an icon all fail to decode, the file is hopeless or hostile; the
// ones ranked below these are not tried.
constexpr size_t kMaxEntriesTried = 8;

// The caps above bound one image; these bound one whole conversion, across every image and
// entry it decodes (an icon may hold 256 of them), so that a small file cannot keep the user
// waiting. Each decode states its cost before it starts and is refused as too large when the
// rest of the budget cannot pay for it.
// Pixels: as many as in one image at the caps. A PNG source is always within it; an icon may
// decode all 256 entries of 256 px (16.8M), or the best kMaxEntriesTried entries of the
// largest side read. Decoding costs about 15 ns a pixel here, allocation included: about half
// a second for the whole budget.
constexpr uint64_t kMaxDecodedPixelsPerConversion = kMaxImagePixels;
// Inflated PNG image data: as much as in one image at the caps at 16 bits a channel (8 bytes a
// pixel), with room for its filter bytes; inflating the whole budget takes about half a second.
constexpr uint64_t kMaxInflatedBytesPerConversion = 8 * kMaxImagePixels + 1024 * 1024;
// zlib cannot expand data by more than about 1032:1, so a PNG whose image data is smaller
// than this fraction of what its header promises is truncated; it is refused before the
// pixel buffer is allocated.
constexpr uint64_t kMaxDeflateRatio = 1032;
constexpr uint64_t kDeflateSlackBytes = 1024;

// PNG sources beyond the image or source-file caps are never held whole: read in pieces and
// reduced row by row, by area averaging, to a picture of at most kMaxReducedSide a side, from
// which the icon is made (four times its largest entry). Their own caps: the largest side a
// common image tool opens by default, squared, and a file of 1 GiB. The work grows with the
// pixels and the inflated bytes: about 15 ns a pixel for 8-bit RGBA here, 25 ns at 16 bits a
// channel (most of it zlib's), so 4 to 6 s for the largest.
constexpr uint64_t kMaxLargeSourcePixels = 16384ull * 16384;
constexpr uint64_t kMaxLargeSourceFileBytes = 1024ull * 1024 * 1024;
constexpr uint32_t kMaxReducedSide = 1024;
// A large source's image data at 16 bits a channel, with room for its filter bytes.
constexpr uint64_t kMaxLargeInflatedBytes = 8 * kMaxLargeSourcePixels + 1024 * 1024;

} // namespace tfi
