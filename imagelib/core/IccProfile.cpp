#include "IccProfile.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "CheckedMath.h"

namespace tfi {
namespace {

constexpr size_t kHeaderSize = 128;
constexpr size_t kTagCountSize = 4;
constexpr size_t kTagEntrySize = 12;
// lcms2 refuses profiles with more tags than this; real ones have about twenty.
constexpr uint32_t kMaxTags = 100;
constexpr size_t kTypeHeaderSize = 8; // type signature, reserved
constexpr double kS15Fixed16Unit = 65536.0;
constexpr double kU8Fixed8Unit = 256.0;
// Colorants of real devices lie within [-1, 2]; anything far outside is not a colour.
constexpr double kMaxColorantMagnitude = 16.0;
// A curve's parameters beyond this are no curve a device has.
constexpr double kMaxCurveParameter = 1e4;

constexpr uint32_t kVersionTwo = 2, kVersionFour = 4;
constexpr uint32_t kRgbSpace = fourCharCode('R', 'G', 'B', ' ');
constexpr uint32_t kGreySpace = fourCharCode('G', 'R', 'A', 'Y');
constexpr uint32_t kXyzConnection = fourCharCode('X', 'Y', 'Z', ' ');
constexpr uint32_t kLabConnection = fourCharCode('L', 'a', 'b', ' ');
// A grey curve to L* is sampled this finely on its way to luminance.
constexpr size_t kLightnessSamples = 4096;
constexpr double kMaxLightness = 100.0;
constexpr double kLabEpsilon = 6.0 / 29.0;
constexpr uint32_t kLinkClass = fourCharCode('l', 'i', 'n', 'k');
constexpr uint32_t kAbstractClass = fourCharCode('a', 'b', 's', 't');
constexpr uint32_t kNamedColourClass = fourCharCode('n', 'm', 'c', 'l');

constexpr uint32_t kColorantTags[3] = {fourCharCode('r', 'X', 'Y', 'Z'), fourCharCode('g', 'X', 'Y', 'Z'),
                                       fourCharCode('b', 'X', 'Y', 'Z')};
constexpr uint32_t kCurveTags[3] = {fourCharCode('r', 'T', 'R', 'C'), fourCharCode('g', 'T', 'R', 'C'),
                                    fourCharCode('b', 'T', 'R', 'C')};
constexpr uint32_t kGreyCurveTag = fourCharCode('k', 'T', 'R', 'C');
constexpr uint32_t kLutTags[] = {fourCharCode('A', '2', 'B', '0'), fourCharCode('A', '2', 'B', '1'),
                                 fourCharCode('A', '2', 'B', '2')};
constexpr uint32_t kXyzType = fourCharCode('X', 'Y', 'Z', ' ');
constexpr uint32_t kCurveType = fourCharCode('c', 'u', 'r', 'v');
constexpr uint32_t kParametricType = fourCharCode('p', 'a', 'r', 'a');
// Parameters of parametric curve types 0 to 4, in the order g, a, b, c, d, e, f.
constexpr uint32_t kParametricCounts[] = {1, 3, 4, 5, 7};

double s15Fixed16(const uint8_t* p) { return static_cast<int32_t>(readBe32(p)) / kS15Fixed16Unit; }

class TagTable {
public:
    explicit TagTable(ByteView profile) : profile_(profile) {}

    bool read() {
        if (!rangeFits(kHeaderSize, kTagCountSize, profile_.size))
            return false;
        count_ = readBe32(profile_.data + kHeaderSize);
        return count_ <= kMaxTags &&
               rangeFits(kHeaderSize + kTagCountSize, uint64_t(count_) * kTagEntrySize, profile_.size);
    }

    // The first tag of this signature; an empty view when there is none, false when it lies
    // outside the profile.
    bool find(uint32_t signature, ByteView& tag) const {
        tag = ByteView();
        for (uint32_t i = 0; i < count_; ++i) {
            const uint8_t* entry = profile_.data + kHeaderSize + kTagCountSize + size_t(i) * kTagEntrySize;
            if (readBe32(entry) != signature)
                continue;
            const uint32_t offset = readBe32(entry + 4), size = readBe32(entry + 8);
            if (!rangeFits(offset, size, profile_.size) || size < kTypeHeaderSize)
                return false;
            tag = profile_.sub(offset, size);
            return true;
        }
        return true;
    }

    bool has(uint32_t signature) const {
        ByteView tag;
        return find(signature, tag) && tag.size > 0;
    }

private:
    ByteView profile_;
    uint32_t count_ = 0;
};

bool readColorant(ByteView tag, double xyz[3]) {
    constexpr size_t kXyzTagSize = kTypeHeaderSize + 12;
    if (tag.size < kXyzTagSize || readBe32(tag.data) != kXyzType)
        return false;
    for (int i = 0; i < 3; ++i) {
        xyz[i] = s15Fixed16(tag.data + kTypeHeaderSize + 4 * i);
        if (std::fabs(xyz[i]) > kMaxColorantMagnitude)
            return false;
    }
    return true;
}

bool readSampledCurve(ByteView tag, ToneCurve& curve) {
    constexpr size_t kCountSize = 4;
    if (tag.size < kTypeHeaderSize + kCountSize)
        return false;
    const uint32_t count = readBe32(tag.data + kTypeHeaderSize);
    const uint8_t* values = tag.data + kTypeHeaderSize + kCountSize;
    if (!rangeFits(kTypeHeaderSize + kCountSize, uint64_t(count) * 2, tag.size))
        return false;
    if (count == 0) {
        curve = ToneCurve();
    } else if (count == 1) {
        const double exponent = readBe16(values) / kU8Fixed8Unit;
        if (exponent <= 0)
            return false;
        curve = ToneCurve::gamma(exponent);
    } else {
        std::vector<uint16_t> table(count);
        for (uint32_t i = 0; i < count; ++i)
            table[i] = readBe16(values + 2 * size_t(i));
        curve = ToneCurve(std::move(table));
    }
    return true;
}

bool readParametricCurve(ByteView tag, ToneCurve& curve) {
    constexpr size_t kFunctionSize = 4; // type, reserved
    if (tag.size < kTypeHeaderSize + kFunctionSize)
        return false;
    const uint16_t function = readBe16(tag.data + kTypeHeaderSize);
    if (function >= sizeof(kParametricCounts) / sizeof(kParametricCounts[0]))
        return false;
    const uint32_t count = kParametricCounts[function];
    if (!rangeFits(kTypeHeaderSize + kFunctionSize, size_t(count) * 4, tag.size))
        return false;
    double v[7] = {0, 0, 0, 0, 0, 0, 0};
    for (uint32_t i = 0; i < count; ++i) {
        v[i] = s15Fixed16(tag.data + kTypeHeaderSize + kFunctionSize + 4 * i);
        if (std::fabs(v[i]) > kMaxCurveParameter)
            return false;
    }
    ToneCurve::Parameters p;
    p.g = v[0];
    if (count == 1) {
        curve = ToneCurve(p);
        return true;
    }
    p.a = v[1];
    p.b = v[2];
    if (count <= 4) {
        // Below -b/a the curve is 0, or the constant c of type 2; a of 0 leaves that constant.
        p.d = p.a != 0 ? -p.b / p.a : 2.0;
        p.e = p.f = count == 4 ? v[3] : 0.0;
    } else {
        p.c = v[3];
        p.d = v[4];
        p.e = v[5];
        p.f = v[6];
    }
    curve = ToneCurve(p);
    return true;
}

bool readCurve(ByteView tag, ToneCurve& curve) {
    switch (readBe32(tag.data)) {
    case kCurveType: return readSampledCurve(tag, curve);
    case kParametricType: return readParametricCurve(tag, curve);
    default: return false;
    }
}

// Y of the neutral of lightness L*, as CIELAB defines it.
double luminanceOfLightness(double lightness) {
    const double t = (lightness + 16) / 116;
    return t > kLabEpsilon ? t * t * t : 3 * kLabEpsilon * kLabEpsilon * (t - 4.0 / 29.0);
}

// Over a Lab connection a grey profile's curve gives L* (0 to 1 for 0 to 100), not luminance.
ToneCurve luminanceCurve(const ToneCurve& lightness) {
    std::vector<uint16_t> table(kLightnessSamples);
    for (size_t i = 0; i < kLightnessSamples; ++i) {
        const double y = luminanceOfLightness(kMaxLightness * lightness.linear(double(i) / (kLightnessSamples - 1)));
        table[i] = static_cast<uint16_t>(std::lround(std::min(1.0, std::max(0.0, y)) * 65535));
    }
    return ToneCurve(std::move(table));
}

// A profile without the tags of a matrix/TRC conversion is a LUT profile when it has lookup
// tables instead, and damaged when it has neither.
IccVerdict withoutMatrixTags(const TagTable& tags) {
    for (uint32_t lut : kLutTags)
        if (tags.has(lut))
            return IccVerdict::Unsupported;
    return IccVerdict::Damaged;
}

IccVerdict readGrey(const TagTable& tags, uint32_t connection, ColorSpace& space) {
    ByteView tag;
    if (!tags.find(kGreyCurveTag, tag))
        return IccVerdict::Damaged;
    if (tag.size == 0)
        return withoutMatrixTags(tags);
    ToneCurve curve;
    if (!readCurve(tag, curve))
        return IccVerdict::Damaged;
    space.curves[0] = connection == kLabConnection ? luminanceCurve(curve) : curve;
    space.grey = true;
    return IccVerdict::Usable;
}

IccVerdict readRgb(const TagTable& tags, ColorSpace& space) {
    Matrix3 colorants;
    for (int c = 0; c < 3; ++c) {
        ByteView colorant, curve;
        if (!tags.find(kColorantTags[c], colorant) || !tags.find(kCurveTags[c], curve))
            return IccVerdict::Damaged;
        if (colorant.size == 0 || curve.size == 0)
            return withoutMatrixTags(tags);
        double xyz[3];
        if (!readColorant(colorant, xyz) || !readCurve(curve, space.curves[c]))
            return IccVerdict::Damaged;
        for (int r = 0; r < 3; ++r)
            colorants.m[r][c] = xyz[r];
    }
    Matrix3 unused;
    if (!invert(colorants, unused))
        return IccVerdict::Damaged; // colorants that span no space would make every colour grey
    space.grey = false;
    space.toLinearSrgb = xyzD50ToLinearSrgb() * colorants;
    return IccVerdict::Usable;
}

} // namespace

IccVerdict readIccProfile(ByteView profile, ColorSpace& space) {
    if (profile.size < kHeaderSize + kTagCountSize)
        return IccVerdict::Damaged;
    // A profile shorter than it says is damaged; bytes after its end are not part of it.
    const uint32_t declared = readBe32(profile.data);
    if (declared > profile.size || declared < kHeaderSize + kTagCountSize)
        return IccVerdict::Damaged;
    profile.size = declared;
    const uint32_t version = profile.data[8];
    const uint32_t deviceClass = readBe32(profile.data + 12);
    const uint32_t colourSpace = readBe32(profile.data + 16);
    const uint32_t connection = readBe32(profile.data + 20);
    if ((version != kVersionTwo && version != kVersionFour) || deviceClass == kLinkClass ||
        deviceClass == kAbstractClass || deviceClass == kNamedColourClass)
        return IccVerdict::Unsupported;
    TagTable tags(profile);
    if (!tags.read())
        return IccVerdict::Damaged;
    switch (colourSpace) {
    case kRgbSpace: return connection == kXyzConnection ? readRgb(tags, space) : IccVerdict::Unsupported;
    case kGreySpace:
        return connection == kXyzConnection || connection == kLabConnection ? readGrey(tags, connection, space)
                                                                            : IccVerdict::Unsupported;
    default: return IccVerdict::Unsupported;
    }
}

} // namespace tfi
