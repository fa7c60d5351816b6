#include "AreaReducer.h"

#include <algorithm>
#include <new>

namespace tfi {
namespace {

uint32_t proportionalSide(uint32_t side, uint32_t longer, uint32_t maxSide) {
    const uint64_t scaled = (uint64_t(side) * maxSide + longer / 2) / longer;
    return static_cast<uint32_t>(std::max<uint64_t>(1, scaled));
}

// Source index to cell, and how many source indices each cell takes in.
void mapToCells(uint32_t full, uint32_t cells, std::vector<uint32_t>& cellOf, std::vector<uint32_t>& inCell) {
    cellOf.resize(full);
    inCell.assign(cells, 0);
    for (uint32_t i = 0; i < full; ++i) {
        cellOf[i] = static_cast<uint32_t>(uint64_t(i) * cells / full);
        ++inCell[cellOf[i]];
    }
}

uint8_t roundedQuotient(uint64_t sum, uint64_t count) { return static_cast<uint8_t>((sum + count / 2) / count); }

} // namespace

void reducedSize(uint32_t width, uint32_t height, uint32_t maxSide, uint32_t& outWidth, uint32_t& outHeight) {
    const uint32_t longer = std::max(width, height);
    if (longer <= maxSide) {
        outWidth = width;
        outHeight = height;
        return;
    }
    outWidth = proportionalSide(width, longer, maxSide);
    outHeight = proportionalSide(height, longer, maxSide);
}

Result AreaReducer::start(uint32_t maxSide) {
    reducedSize(header_.width, header_.height, maxSide, width_, height_);
    try {
        mapToCells(header_.width, width_, cellOfColumn_, columnsInCell_);
        mapToCells(header_.height, height_, cellOfRow_, rowsInCell_);
        sums_.assign(size_t(width_) * height_ * kSums, 0);
        rgba_.resize(size_t(header_.width) * kRgbaBytesPerPixel);
    } catch (const std::bad_alloc&) {
        return ERCI_ERR_OUT_OF_MEMORY;
    }
    return ERCI_OK;
}

void AreaReducer::put(const uint8_t* samples, uint32_t count, uint32_t y, const png::Pass& pass) {
    png::expandRow(samples, count, header_, info_, rgba_.data(), kRgbaBytesPerPixel);
    uint32_t* cells = sums_.data() + size_t(cellOfRow_[y]) * width_ * kSums;
    const uint8_t* pixel = rgba_.data();
    for (uint32_t i = 0, x = pass.x0; i < count; ++i, x += pass.dx, pixel += kRgbaBytesPerPixel) {
        uint32_t* sum = cells + size_t(cellOfColumn_[x]) * kSums;
        const uint32_t alpha = pixel[3];
        sum[0] += alpha * pixel[0];
        sum[1] += alpha * pixel[1];
        sum[2] += alpha * pixel[2];
        sum[3] += alpha;
    }
}

Result AreaReducer::finish(RgbaImage& reduced) const {
    const Result r = allocateImage(reduced, width_, height_);
    if (r != ERCI_OK)
        return r;
    const uint32_t* sum = sums_.data();
    for (uint32_t cy = 0; cy < height_; ++cy) {
        uint8_t* out = reduced.row(cy);
        for (uint32_t cx = 0; cx < width_; ++cx, sum += kSums, out += kRgbaBytesPerPixel) {
            const uint64_t pixels = uint64_t(columnsInCell_[cx]) * rowsInCell_[cy];
            const uint32_t alpha = sum[3];
            out[3] = roundedQuotient(alpha, pixels);
            if (alpha == 0)
                continue; // fully transparent: its colour is nobody's
            for (int c = 0; c < 3; ++c)
                out[c] = roundedQuotient(sum[c], alpha);
        }
    }
    return ERCI_OK;
}

} // namespace tfi
