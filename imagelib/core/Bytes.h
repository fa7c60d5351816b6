// Bounded views and endian helpers over raw file bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tfi {

struct ByteView {
    const uint8_t* data = nullptr;
    size_t size = 0;

    ByteView() = default;
    ByteView(const uint8_t* d, size_t n) : data(d), size(n) {}
    explicit ByteView(const std::vector<uint8_t>& v) : data(v.data()), size(v.size()) {}

    // The caller has checked the range with rangeFits.
    ByteView sub(size_t offset, size_t length) const { return ByteView(data + offset, length); }
};

// A four-character signature as big-endian formats store it (PNG chunk types, ICC tags).
constexpr uint32_t fourCharCode(char a, char b, char c, char d) {
    return (static_cast<uint32_t>(a) << 24) | (static_cast<uint32_t>(b) << 16) | (static_cast<uint32_t>(c) << 8) |
           static_cast<uint32_t>(d);
}

inline uint16_t readLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t readLe32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t readLe64(const uint8_t* p) { return readLe32(p) | (uint64_t(readLe32(p + 4)) << 32); }
inline int32_t readLe32Signed(const uint8_t* p) { return static_cast<int32_t>(readLe32(p)); }
inline uint16_t readBe16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
inline uint32_t readBe32(const uint8_t* p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

inline void appendLe16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
inline void appendLe32(std::vector<uint8_t>& out, uint32_t v) {
    appendLe16(out, v & 0xFFFFu);
    appendLe16(out, v >> 16);
}
inline void appendBe32(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v >> 24));
    out.push_back(static_cast<uint8_t>(v >> 16));
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}
inline void writeLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void writeLe32At(std::vector<uint8_t>& out, size_t at, uint32_t v) { writeLe32(out.data() + at, v); }

} // namespace tfi
