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
// Pixels: one source at the caps, and as much again, e.g. every entry of an icon with 256 entries
// of 256 px (16.8M), or 16 entries of the largest side read. Decoding costs about 15 ns a
// pixel here, allocation included: about 1 s for the whole budget.
constexpr uint64_t kMaxDecodedPixelsPerConversion = 2 * kMaxImagePixels;
// Inflated PNG image data: what the largest source needs at 16 bits a channel (8 bytes a pixel
// and a filter byte a row, 256 MiB), and a quarter more for the other entries an icon makes us try.
constexpr uint64_t kMaxInflatedBytesPerConversion = 320ull * 1024 * 1024;
// zlib cannot expand data by more than about 1032:1, so a PNG whose image data is smaller
// than this fraction of what its header promises is truncated; it is refused before the
// pixel buffer is allocated.
constexpr uint64_t kMaxDeflateRatio = 1032;
constexpr uint64_t kDeflateSlackBytes = 1024;

} // namespace tfi
