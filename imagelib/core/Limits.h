// Caps that keep one conversion well inside a 32-bit process: whatever a file declares, the
// library never allocates or works beyond these.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tfi {

constexpr uint32_t kMaxImageSide = 32768;
// One decoded RGBA image (the source, or the icon entry chosen for output).
constexpr uint64_t kMaxImageBytes = 128ull * 1024 * 1024;
// A source file is read whole; together with its decoded image this stays under ~200 MiB.
constexpr uint64_t kMaxSourceFileBytes = 64ull * 1024 * 1024;
constexpr uint32_t kMaxIconEntries = 256;
// Icons written by us never exceed this side; the directory byte 0 stands for it.
constexpr uint32_t kMaxIconEntrySide = 256;
// zlib cannot expand data by more than about 1032:1, so a PNG whose image data is smaller
// than this fraction of what its header promises is truncated; it is refused before the
// pixel buffer is allocated.
constexpr uint64_t kMaxDeflateRatio = 1032;
constexpr uint64_t kDeflateSlackBytes = 1024;

} // namespace tfi
