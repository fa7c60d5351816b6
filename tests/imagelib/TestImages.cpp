#include "TestImages.h"

#include <zlib.h>

#include <algorithm>

#include <gtest/gtest.h>

#include "core/IconReader.h"
#include "core/PngEncoder.h"

namespace testimg {
namespace {

void put16(Bytes& b, uint32_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void put32(Bytes& b, uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}
void setBe32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = uint8_t(v >> (24 - 8 * i));
}
uint32_t get32(const Bytes& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t(b[at + 3]) << 24);
}

} // namespace

tfi::RgbaImage pattern(uint32_t width, uint32_t height, uint32_t seed, bool alpha) {
    tfi::RgbaImage image;
    tfi::allocateImage(image, width, height);
    uint32_t state = seed * 2654435761u + 1;
    for (size_t i = 0; i < image.pixels.size(); ++i) {
        state = state * 1664525u + 1013904223u;
        image.pixels[i] = uint8_t(state >> 24);
        if (i % 4 == 3 && !alpha)
            image.pixels[i] = 255;
    }
    if (alpha && image.pixels.size() >= 8) {
        image.pixels[3] = 0;
        image.pixels[7] = 255;
    }
    return image;
}

tfi::RgbaImage disc(uint32_t side, const uint8_t color[3]) {
    tfi::RgbaImage image;
    tfi::allocateImage(image, side, side);
    const double c = side / 2.0, r = side * 0.4;
    for (uint32_t y = 0; y < side; ++y)
        for (uint32_t x = 0; x < side; ++x) {
            const double dx = x + 0.5 - c, dy = y + 0.5 - c;
            if (dx * dx + dy * dy <= r * r) {
                uint8_t* p = image.row(y) + 4 * x;
                p[0] = color[0];
                p[1] = color[1];
                p[2] = color[2];
                p[3] = 255;
            }
        }
    return image;
}

Bytes encodePng(const tfi::RgbaImage& image) {
    Bytes out;
    tfi::encodePng(image, out);
    return out;
}

Bytes buildIcon(const std::vector<IconRow>& rows, uint16_t type) {
    Bytes out;
    put16(out, 0);
    put16(out, type);
    put16(out, uint32_t(rows.size()));
    uint32_t offset = uint32_t(6 + 16 * rows.size());
    for (const IconRow& r : rows) {
        out.push_back(r.width);
        out.push_back(r.height);
        out.push_back(0);
        out.push_back(0);
        put16(out, 1);
        put16(out, r.bitCount);
        put32(out, r.overrideSize ? r.size : uint32_t(r.data.size()));
        put32(out, r.overrideOffset ? r.offset : offset);
        offset += uint32_t(r.data.size());
    }
    for (const IconRow& r : rows)
        out.insert(out.end(), r.data.begin(), r.data.end());
    return out;
}

Bytes buildDib(uint32_t width, uint32_t height, uint16_t bits, const std::vector<uint32_t>& palette,
               const std::vector<uint32_t>& pixels, const std::vector<uint8_t>& mask) {
    const uint32_t stride = (width * bits + 31) / 32 * 4;
    const uint32_t maskStride = (width + 31) / 32 * 4;
    Bytes out;
    put32(out, 40);
    put32(out, width);
    put32(out, height * 2);
    put16(out, 1);
    put16(out, bits);
    put32(out, 0);
    put32(out, (stride + maskStride) * height);
    put32(out, 0);
    put32(out, 0);
    put32(out, uint32_t(palette.size()));
    put32(out, 0);
    for (uint32_t c : palette)
        put32(out, c & 0xFFFFFF); // stored B, G, R, 0
    for (uint32_t row = 0; row < height; ++row) {
        const uint32_t y = height - 1 - row;
        Bytes line(stride, 0);
        for (uint32_t x = 0; x < width; ++x) {
            const uint32_t v = pixels[y * width + x];
            if (bits < 8) {
                line[x * bits / 8] |= uint8_t(v << (8 - bits - (x * bits) % 8));
            } else {
                for (uint32_t k = 0; k < bits / 8u; ++k)
                    line[x * bits / 8 + k] = uint8_t(v >> (8 * k));
            }
        }
        out.insert(out.end(), line.begin(), line.end());
    }
    for (uint32_t row = 0; row < height; ++row) {
        const uint32_t y = height - 1 - row;
        Bytes line(maskStride, 0);
        for (uint32_t x = 0; x < width; ++x)
            if (mask[y * width + x])
                line[x / 8] |= uint8_t(0x80 >> (x % 8));
        out.insert(out.end(), line.begin(), line.end());
    }
    return out;
}

Bytes withDeclaredSize(Bytes png, uint32_t width, uint32_t height) {
    setBe32(png, 16, width);
    setBe32(png, 20, height);
    setBe32(png, 29, uint32_t(crc32(0, png.data() + 12, 17)));
    return png;
}

Bytes withWrongCrc(Bytes png, const char type[4]) {
    for (size_t at = 8; at + 12 <= png.size();) {
        const size_t length = size_t(png[at]) << 24 | png[at + 1] << 16 | png[at + 2] << 8 | png[at + 3];
        if (std::equal(type, type + 4, png.begin() + at + 4)) {
            png[at + 8 + length + 3] ^= 0x5A;
            break;
        }
        at += 12 + length;
    }
    return png;
}

namespace {

Bytes chunkOf(const char type[4], const Bytes& data, bool rightCrc = true) {
    Bytes chunk(8 + data.size() + 4, 0);
    setBe32(chunk, 0, uint32_t(data.size()));
    for (size_t i = 0; i < 4; ++i)
        chunk[4 + i] = uint8_t(type[i]);
    std::copy(data.begin(), data.end(), chunk.begin() + 8);
    const uint32_t crc = uint32_t(crc32(0, chunk.data() + 4, uInt(data.size() + 4))) ^ (rightCrc ? 0 : 1);
    setBe32(chunk, chunk.size() - 4, crc);
    return chunk;
}

} // namespace

Bytes rawPng(uint32_t width, uint32_t height, uint8_t colorType, uint8_t depth, const Bytes& samples) {
    const size_t rowBytes = samples.size() / height;
    Bytes raw;
    for (uint32_t y = 0; y < height; ++y) {
        raw.push_back(0);
        raw.insert(raw.end(), samples.begin() + y * rowBytes, samples.begin() + (y + 1) * rowBytes);
    }
    Bytes data(compressBound(uLong(raw.size())));
    uLongf size = uLongf(data.size());
    compress(data.data(), &size, raw.data(), uLong(raw.size()));
    data.resize(size);
    Bytes ihdr(8);
    setBe32(ihdr, 0, width);
    setBe32(ihdr, 4, height);
    ihdr.insert(ihdr.end(), {depth, colorType, 0, 0, 0});
    Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    for (const Bytes& chunk : {chunkOf("IHDR", ihdr), chunkOf("IDAT", data), chunkOf("IEND", {})})
        png.insert(png.end(), chunk.begin(), chunk.end());
    return png;
}

Bytes iccpData(const Bytes& profile) {
    Bytes data = {'p', 0, 0}; // a name, its end, the deflate method
    Bytes packed(compressBound(uLong(profile.size())));
    uLongf size = uLongf(packed.size());
    compress(packed.data(), &size, profile.data(), uLong(profile.size()));
    data.insert(data.end(), packed.begin(), packed.begin() + size);
    return data;
}

Bytes withChunk(Bytes png, const char type[4], const Bytes& data, bool rightCrc) {
    const Bytes chunk = chunkOf(type, data, rightCrc);
    const size_t afterHeader = 8 + 25;
    png.insert(png.begin() + afterHeader, chunk.begin(), chunk.end());
    return png;
}

std::vector<DirRow> readDirectory(const Bytes& icon) {
    std::vector<DirRow> rows;
    const uint32_t count = icon[4] | (icon[5] << 8);
    for (uint32_t i = 0; i < count; ++i) {
        const size_t at = 6 + 16 * i;
        rows.push_back({icon[at], icon[at + 1], uint16_t(icon[at + 4] | (icon[at + 5] << 8)),
                        uint16_t(icon[at + 6] | (icon[at + 7] << 8)), get32(icon, at + 8), get32(icon, at + 12)});
    }
    return rows;
}

tfi::RgbaImage transparentCleared(tfi::RgbaImage image) {
    for (size_t i = 0; i < image.pixels.size(); i += 4)
        if (image.pixels[i + 3] == 0)
            image.pixels[i] = image.pixels[i + 1] = image.pixels[i + 2] = 0;
    return image;
}

bool samePixels(const tfi::RgbaImage& a, const tfi::RgbaImage& b) {
    return a.width == b.width && a.height == b.height && a.pixels == b.pixels;
}

tfi::RgbaImage entryOfSide(const Bytes& icon, uint32_t side) {
    tfi::IconDirectory dir;
    tfi::RgbaImage image;
    EXPECT_EQ(tfi::readIconDirectory(tfi::ByteView(icon), dir), ERCI_OK);
    for (const tfi::IconEntry& entry : dir.entries)
        if (tfi::decodeIconEntry(entry, image) == ERCI_OK && image.width == side)
            return image;
    ADD_FAILURE() << "no entry of " << side;
    return image;
}

} // namespace testimg
