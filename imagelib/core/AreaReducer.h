// Area averaging of rows as they are unfiltered, in any order (interlace passes too): every
// source pixel adds to the one cell of the reduced picture it falls in. Colour is weighed by
// alpha, as the resampler weighs it, so that colour hidden under transparent pixels does not
// bleed into the edges.
#pragma once

#include <cstdint>
#include <vector>

#include "Image.h"
#include "PngRows.h"
#include "Result.h"

namespace tfi {

// The reduced picture's size: the source's own when its longer side is at most `maxSide`,
// else that side made `maxSide` and the other in proportion (at least 1).
void reducedSize(uint32_t width, uint32_t height, uint32_t maxSide, uint32_t& outWidth, uint32_t& outHeight);

class AreaReducer : public png::RowSink {
public:
    AreaReducer(const PngHeader& header, const png::ColorInfo& info) : header_(header), info_(info) {}

    // The cells for a picture of `maxSide` at most; ERCI_ERR_OUT_OF_MEMORY when they cannot be had.
    Result start(uint32_t maxSide);
    void put(const uint8_t* samples, uint32_t count, uint32_t y, const png::Pass& pass) override;
    // The averages, once every row is in.
    Result finish(RgbaImage& reduced) const;

private:
    static constexpr int kSums = 4; // alpha-weighted red, green, blue; alpha

    const PngHeader& header_;
    const png::ColorInfo& info_;
    uint32_t width_ = 0, height_ = 0;
    std::vector<uint32_t> cellOfColumn_, cellOfRow_;
    std::vector<uint32_t> columnsInCell_, rowsInCell_;
    std::vector<uint32_t> sums_;
    std::vector<uint8_t> rgba_;
};

} // namespace tfi
