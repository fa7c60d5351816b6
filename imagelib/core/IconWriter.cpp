#include "IconWriter.h"

#include <algorithm>
#include <new>

#include "Bytes.h"
#include "DibEntry.h"
#include "IconFormat.h"
#include "IconSizes.h"
#include "Limits.h"
#include "PngEncoder.h"
#include "Resample.h"

namespace tfi {
namespace {

constexpr uint16_t kPlanes = 1;
constexpr uint16_t kBitCount = 32;
// A smaller picture is resampled from an already made entry at least this many times its
// side instead of from the source: as sharp, and large sources are read only once or twice.
constexpr uint32_t kCascadeRatio = 2;
// Entries up to this side get crisp outlines (sharpenSolidEdges): the sizes that designers draw
// by hand (Tango up to 32 px, Adwaita up to 48) and that Windows shows at 100 % scale. Larger
// entries are left as a plain downscale makes them.
constexpr uint32_t kCrispOutlineMaxSide = 48;

struct Rendered {
    RgbaImage image;
    Placement placement; // where the picture sits inside the square
    std::vector<uint8_t> encoded;
};

// The directory stores 256 as 0 in its one-byte width and height.
uint8_t directorySideByte(uint32_t side) { return side >= kMaxIconEntrySide ? 0 : static_cast<uint8_t>(side); }

// The picture part of the smallest made entry that is large enough, else the whole source.
// Only the picture part: resampling the transparent margin too would soften its edges.
PixelRect cascadeBase(const RgbaImage& source, const std::vector<Rendered>& done, uint32_t side) {
    PixelRect base = wholeImage(source);
    uint32_t baseSide = source.longerSide();
    for (const Rendered& r : done) {
        if (r.image.width < side * kCascadeRatio || r.image.width >= baseSide)
            continue;
        const Placement& p = r.placement;
        base = PixelRect{r.image.row(p.top) + size_t(p.left) * kRgbaBytesPerPixel, p.width, p.height,
                         size_t(r.image.width) * kRgbaBytesPerPixel};
        baseSide = r.image.width;
    }
    return base;
}

// Bitmaps up to 48 px: the sizes any reader may ask for, old ones and remote sessions
// included. Larger entries are PNG, which every Windows since Vista reads at any size, and
// which keeps the many sizes of the default icon within the bytes of fewer bitmaps.
bool storedAsPng(uint32_t side, bool everyEntryPng) { return everyEntryPng || side > kMaxBitmapEntrySide; }

Result encodeEntry(const RgbaImage& image, bool everyEntryPng, std::vector<uint8_t>& out) {
    // What lies under alpha 0 is invisible; cleared, it costs next to nothing.
    if (storedAsPng(image.width, everyEntryPng))
        return encodePng(image, out, TransparentColour::Clear);
    appendDibEntry(image, out);
    return ERCI_OK;
}

// Whether the entry of `side` made from a picture of width x height gets crisp outlines: made
// smaller than the picture (a picture at its own size is kept exactly), and small.
bool crispOutlines(uint32_t width, uint32_t height, uint32_t side) {
    return side <= kCrispOutlineMaxSide && side < std::max(width, height);
}

// The solid parts of a picture under each of its entries that get crisp outlines.
class CrispCovers {
public:
    // Measured for all such entries of `sides` in one pass over the picture.
    Result measure(const RgbaImage& picture, const std::vector<uint32_t>& sides) {
        std::vector<Placement> placements;
        for (uint32_t side : sides)
            if (crispOutlines(picture.width, picture.height, side)) {
                sides_.push_back(side);
                placements.push_back(placeInSquare(picture.width, picture.height, side));
            }
        // No pass over the picture when no entry needs one (large entries only, or a picture kept
        // at its own size).
        return placements.empty() ? ERCI_OK : measureSolidCover(wholeImage(picture), placements, covers_);
    }

    // Null for an entry that keeps the plain downscale.
    const SolidCover* of(uint32_t side) const {
        const auto at = std::find(sides_.begin(), sides_.end(), side);
        return at == sides_.end() ? nullptr : &covers_[size_t(at - sides_.begin())];
    }

private:
    std::vector<uint32_t> sides_;
    std::vector<SolidCover> covers_;
};

// The entry of `side` made from `base`, a picture of pictureWidth x pictureHeight (or the
// picture part of a larger entry made from one). With `cover`, the solid parts of that picture
// under the entry's pixels, its outlines are made crisp; the entry's image stays the plain
// downscale, from which smaller entries are made.
Result makeEntry(const PixelRect& base, uint32_t pictureWidth, uint32_t pictureHeight, uint32_t side,
                 bool everyEntryPng, const SolidCover* cover, Rendered& entry) {
    entry.placement = placeInSquare(pictureWidth, pictureHeight, side);
    const Result r = renderSquare(base, side, entry.placement, entry.image);
    if (r != ERCI_OK)
        return r;
    if (!cover)
        return encodeEntry(entry.image, everyEntryPng, entry.encoded);
    RgbaImage crisp = entry.image;
    sharpenSolidEdges(*cover, entry.placement, crisp);
    return encodeEntry(crisp, everyEntryPng, entry.encoded);
}

void appendDirectory(const std::vector<Rendered>& entries, std::vector<uint8_t>& out) {
    appendLe16(out, 0);
    appendLe16(out, static_cast<uint16_t>(IconKind::Icon));
    appendLe16(out, static_cast<uint32_t>(entries.size()));
    uint32_t offset = static_cast<uint32_t>(kIconHeaderSize + kIconDirEntrySize * entries.size());
    for (const Rendered& e : entries) {
        out.push_back(directorySideByte(e.image.width));
        out.push_back(directorySideByte(e.image.height));
        out.push_back(0); // colour count: none for true colour
        out.push_back(0); // reserved
        appendLe16(out, kPlanes);
        appendLe16(out, kBitCount);
        appendLe32(out, static_cast<uint32_t>(e.encoded.size()));
        appendLe32(out, offset);
        offset += static_cast<uint32_t>(e.encoded.size());
    }
}

void assemble(const std::vector<Rendered>& entries, std::vector<uint8_t>& out) {
    out.clear();
    appendDirectory(entries, out);
    for (const Rendered& e : entries)
        out.insert(out.end(), e.encoded.begin(), e.encoded.end());
}

Result buildChecked(const RgbaImage& source, const ConvertOptions& options, std::vector<uint8_t>& out) {
    const std::vector<uint32_t> sides =
        planIconSizes(source.longerSide(), options.sizes);
    CrispCovers covers;
    const Result measured = covers.measure(source, sides);
    if (measured != ERCI_OK)
        return measured;
    // Largest first, so each smaller entry can be taken from a made one.
    std::vector<Rendered> entries;
    entries.reserve(sides.size());
    for (auto it = sides.rbegin(); it != sides.rend(); ++it) {
        Rendered rendered;
        const Result r = makeEntry(cascadeBase(source, entries, *it), source.width, source.height, *it,
                                   options.everyEntryPng, covers.of(*it), rendered);
        if (r != ERCI_OK)
            return r;
        entries.push_back(std::move(rendered));
    }
    std::reverse(entries.begin(), entries.end());
    assemble(entries, out);
    return ERCI_OK;
}

// The picture of exactly `side`, else the smallest one larger; null when all are smaller.
const RgbaImage* pictureFor(const std::vector<RgbaImage>& pictures, uint32_t side) {
    const RgbaImage* best = nullptr;
    for (const RgbaImage& p : pictures)
        if (p.longerSide() >= side && (!best || p.longerSide() < best->longerSide()))
            best = &p;
    return best;
}

std::vector<uint32_t> pictureSides(const std::vector<RgbaImage>& pictures) {
    uint32_t largest = 0;
    for (const RgbaImage& p : pictures)
        largest = std::max(largest, p.longerSide());
    std::vector<uint32_t> sides = planIconSizes(largest, {});
    for (const RgbaImage& p : pictures)
        sides.push_back(p.longerSide());
    std::sort(sides.begin(), sides.end());
    sides.erase(std::unique(sides.begin(), sides.end()), sides.end());
    return sides;
}

Result buildFromPicturesChecked(const std::vector<RgbaImage>& pictures, std::vector<uint8_t>& out) {
    if (pictures.empty())
        return ERCI_ERR_INVALID_ARGUMENT;
    for (const RgbaImage& p : pictures)
        if (p.longerSide() > kMaxIconEntrySide)
            return ERCI_ERR_TOO_LARGE;
    std::vector<Rendered> entries;
    for (uint32_t side : pictureSides(pictures)) {
        const RgbaImage& base = *pictureFor(pictures, side);
        CrispCovers covers;
        const Result measured = covers.measure(base, {side});
        if (measured != ERCI_OK)
            return measured;
        Rendered rendered;
        const Result r = makeEntry(wholeImage(base), base.width, base.height, side, false, covers.of(side), rendered);
        if (r != ERCI_OK)
            return r;
        entries.push_back(std::move(rendered));
    }
    assemble(entries, out);
    return ERCI_OK;
}

} // namespace

Result buildIcon(const RgbaImage& source, const ConvertOptions& options, std::vector<uint8_t>& out) {
    try {
        return buildChecked(source, options, out);
    } catch (const std::bad_alloc&) {
        return ERCI_ERR_OUT_OF_MEMORY;
    }
}

Result buildIconFromPictures(const std::vector<RgbaImage>& pictures, std::vector<uint8_t>& out) {
    try {
        return buildFromPicturesChecked(pictures, out);
    } catch (const std::bad_alloc&) {
        return ERCI_ERR_OUT_OF_MEMORY;
    }
}

} // namespace tfi
