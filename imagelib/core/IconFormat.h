// The icon container's fixed layout, shared by its reader and its writer.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tfi {

enum class IconKind : uint16_t { Icon = 1, Cursor = 2 };

// Reserved word, type, entry count.
constexpr size_t kIconHeaderSize = 6;
// Width, height, colours, reserved, planes, bit count, bytes, offset.
constexpr size_t kIconDirEntrySize = 16;

} // namespace tfi
