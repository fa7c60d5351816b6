#include "PngColor.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "IccProfile.h"
#include "SrgbTransform.h"

namespace tfi {
namespace {

constexpr uint32_t kCICP = fourCharCode('c', 'I', 'C', 'P');
constexpr uint32_t kICCP = fourCharCode('i', 'C', 'C', 'P');
constexpr uint32_t kSRGB = fourCharCode('s', 'R', 'G', 'B');
constexpr uint32_t kGAMA = fourCharCode('g', 'A', 'M', 'A');
constexpr uint32_t kCHRM = fourCharCode('c', 'H', 'R', 'M');

constexpr double kPngFixedUnit = 100000.0;
constexpr size_t kGamaSize = 4;
constexpr size_t kChrmSize = 32;
constexpr size_t kCicpSize = 4;
constexpr size_t kMaxProfileNameBytes = 79;
constexpr uint8_t kDeflateMethod = 0;
constexpr size_t kProfileSizeField = 4;

// Most encoders write gAMA 1/2.2 to mean sRGB; libpng takes a gamma within 5 % of it, with no
// other primaries, as sRGB, and so do we, so that such files keep their levels exactly.
constexpr double kSrgbFileGamma = 1 / 2.2;
constexpr double kSrgbGammaTolerance = 0.05;
// cHRM values as encoders round sRGB's own; libpng's match of sRGB endpoints allows as much.
constexpr double kSrgbChromaticityTolerance = 0.001;
// Decoding exponents of real files lie near 1 to 2.8; beyond these a gAMA is nonsense.
constexpr double kMinDecodingExponent = 0.1, kMaxDecodingExponent = 10;

// cICP code points (ITU-T H.273) of the SDR pictures we convert.
enum CicpPrimaries : uint8_t { kBt709Primaries = 1, kBt2020Primaries = 9, kDisplayP3Primaries = 12 };
enum CicpTransfer : uint8_t {
    kBt709Transfer = 1,
    kGamma22Transfer = 4,
    kGamma28Transfer = 5,
    kBt601Transfer = 6,
    kLinearTransfer = 8,
    kSrgbTransfer = 13,
    kBt2020TenBitTransfer = 14,
    kBt2020TwelveBitTransfer = 15,
    kPqTransfer = 16,
    kHlgTransfer = 18,
};
constexpr uint8_t kRgbMatrix = 0, kFullRange = 1;
constexpr double kGamma22 = 2.2, kGamma28 = 2.8;

const Primaries kBt2020 = {{0.708, 0.292}, {0.170, 0.797}, {0.131, 0.046}, {0.3127, 0.3290}};
const Primaries kDisplayP3 = {{0.680, 0.320}, {0.265, 0.690}, {0.150, 0.060}, {0.3127, 0.3290}};

KeptChunk* slotOf(uint32_t type, PngColorChunks& chunks) {
    switch (type) {
    case kCICP: return &chunks.cicp;
    case kICCP: return &chunks.iccp;
    case kSRGB: return &chunks.srgb;
    case kGAMA: return &chunks.gama;
    case kCHRM: return &chunks.chrm;
    default: return nullptr;
    }
}

// What a conversion from `space` makes of the picture: a grey picture keeps one curve, its
// neutrals staying neutral whatever the primaries.
bool convertFrom(ColorSpace space, bool greyPicture, ColorSpace& out) {
    space.grey = greyPicture;
    out = space;
    return true;
}

bool keepStored(ColorNote why, ColorNote& note) {
    note = why;
    return false;
}

bool cicpPrimaries(uint8_t code, Primaries& primaries) {
    switch (code) {
    case kBt709Primaries: primaries = srgbPrimaries(); return true;
    case kBt2020Primaries: primaries = kBt2020; return true;
    case kDisplayP3Primaries: primaries = kDisplayP3; return true;
    default: return false;
    }
}

bool cicpTransfer(uint8_t code, ToneCurve& curve) {
    switch (code) {
    case kBt709Transfer:
    case kBt601Transfer:
    case kBt2020TenBitTransfer:
    case kBt2020TwelveBitTransfer: curve = ToneCurve::bt709(); return true;
    case kGamma22Transfer: curve = ToneCurve::gamma(kGamma22); return true;
    case kGamma28Transfer: curve = ToneCurve::gamma(kGamma28); return true;
    case kLinearTransfer: curve = ToneCurve(); return true;
    case kSrgbTransfer: curve = ToneCurve::srgb(); return true;
    default: return false;
    }
}

// HDR transfers are left as stored: there is no one right way to map their tones to SDR, and
// viewers differ in the way they choose.
bool fromCicp(const KeptChunk& chunk, bool greyPicture, ColorSpace& space, ColorNote& note) {
    if (chunk.data.size() != kCicpSize)
        return keepStored(ColorNote::CicpUnsupported, note);
    const uint8_t primariesCode = chunk.data[0], transferCode = chunk.data[1];
    if (transferCode == kPqTransfer || transferCode == kHlgTransfer)
        return keepStored(ColorNote::HdrTransfer, note);
    Primaries primaries;
    ToneCurve curve;
    ColorSpace declared;
    if (chunk.data[2] != kRgbMatrix || chunk.data[3] != kFullRange || !cicpPrimaries(primariesCode, primaries) ||
        !cicpTransfer(transferCode, curve) || !colorSpaceOf(primaries, curve, declared))
        return keepStored(ColorNote::CicpUnsupported, note);
    if (primariesCode == kBt709Primaries && transferCode == kSrgbTransfer)
        return false;
    return convertFrom(declared, greyPicture, space);
}

// The profile's own size comes first: read it, check it against the cap, then inflate exactly
// that much, so that the buffer is sized once and never beyond the cap, whatever the chunk.
ColorNote inflateProfile(ByteView compressed, std::vector<uint8_t>& profile) {
    z_stream stream;
    std::memset(&stream, 0, sizeof(stream));
    if (inflateInit(&stream) != Z_OK)
        return ColorNote::ProfileDamaged;
    stream.next_in = const_cast<Bytef*>(compressed.data);
    stream.avail_in = static_cast<uInt>(compressed.size);
    uint8_t sizeField[kProfileSizeField];
    stream.next_out = sizeField;
    stream.avail_out = kProfileSizeField;
    int status = inflate(&stream, Z_SYNC_FLUSH);
    const uint32_t declared = stream.avail_out == 0 ? readBe32(sizeField) : 0;
    ColorNote note = ColorNote::ProfileDamaged;
    if (declared > kMaxIccProfileBytes) {
        note = ColorNote::ProfileUnsupported;
    } else if (declared >= kProfileSizeField && (status == Z_OK || status == Z_STREAM_END)) {
        profile.assign(sizeField, sizeField + kProfileSizeField);
        profile.resize(declared);
        stream.next_out = profile.data() + kProfileSizeField;
        stream.avail_out = static_cast<uInt>(declared - kProfileSizeField);
        if (stream.avail_out > 0)
            status = inflate(&stream, Z_FINISH);
        // Bytes after the profile's declared end are not part of it.
        if (stream.avail_out == 0 && (status == Z_OK || status == Z_STREAM_END || status == Z_BUF_ERROR))
            note = ColorNote::None;
    }
    inflateEnd(&stream);
    return note;
}

bool fromIccp(const KeptChunk& chunk, bool greyPicture, ColorSpace& space, ColorNote& note) {
    if (chunk.oversized)
        return keepStored(ColorNote::ProfileUnsupported, note);
    const std::vector<uint8_t>& data = chunk.data;
    const size_t nameEnd = std::find(data.begin(), data.end(), uint8_t(0)) - data.begin();
    if (nameEnd == 0 || nameEnd > kMaxProfileNameBytes || nameEnd + 2 > data.size() || data[nameEnd + 1] != kDeflateMethod)
        return keepStored(ColorNote::ProfileDamaged, note);
    std::vector<uint8_t> profile;
    const ByteView compressed(data.data() + nameEnd + 2, data.size() - nameEnd - 2);
    const ColorNote inflated = inflateProfile(compressed, profile);
    if (inflated != ColorNote::None)
        return keepStored(inflated, note);
    ColorSpace declared;
    switch (readIccProfile(ByteView(profile), declared)) {
    case IccVerdict::Damaged: return keepStored(ColorNote::ProfileDamaged, note);
    case IccVerdict::Unsupported: return keepStored(ColorNote::ProfileUnsupported, note);
    case IccVerdict::Usable: break;
    }
    if (declared.grey != greyPicture)
        return keepStored(ColorNote::ProfileMismatch, note);
    if (!declared.grey && !matrixFitsTransform(declared.toLinearSrgb))
        return keepStored(ColorNote::ProfileDamaged, note); // colorants of no real device
    if (isSrgbUpToRounding(declared))
        return false;
    space = declared;
    return true;
}

double pngFixed(const std::vector<uint8_t>& data, size_t index) { return readBe32(data.data() + 4 * index) / kPngFixedUnit; }

// cHRM's primaries when they are sound; false for a missing or unusable chunk, which is then
// ignored as libpng ignores it.
bool chrmPrimaries(const KeptChunk& chunk, Primaries& primaries) {
    if (!chunk.present || chunk.data.size() != kChrmSize)
        return false;
    const std::vector<uint8_t>& d = chunk.data;
    primaries = {{pngFixed(d, 2), pngFixed(d, 3)}, {pngFixed(d, 4), pngFixed(d, 5)},
                 {pngFixed(d, 6), pngFixed(d, 7)}, {pngFixed(d, 0), pngFixed(d, 1)}};
    Matrix3 unused;
    return rgbToXyzD50(primaries, unused);
}

bool near(const Chromaticity& a, const Chromaticity& b) {
    return std::fabs(a.x - b.x) <= kSrgbChromaticityTolerance && std::fabs(a.y - b.y) <= kSrgbChromaticityTolerance;
}

bool areSrgbPrimaries(const Primaries& p) {
    const Primaries& s = srgbPrimaries();
    return near(p.red, s.red) && near(p.green, s.green) && near(p.blue, s.blue) && near(p.white, s.white);
}

// gAMA alone means sRGB's primaries, as the format says.
bool fromGama(const PngColorChunks& chunks, bool greyPicture, ColorSpace& space) {
    if (chunks.gama.data.size() != kGamaSize)
        return false;
    const double fileGamma = readBe32(chunks.gama.data.data()) / kPngFixedUnit;
    if (fileGamma <= 0 || 1 / fileGamma < kMinDecodingExponent || 1 / fileGamma > kMaxDecodingExponent)
        return false;
    Primaries primaries = srgbPrimaries();
    const bool ownPrimaries = chrmPrimaries(chunks.chrm, primaries) && !areSrgbPrimaries(primaries);
    if (!ownPrimaries && std::fabs(fileGamma / kSrgbFileGamma - 1) <= kSrgbGammaTolerance)
        return false;
    ColorSpace declared;
    if (!colorSpaceOf(primaries, ToneCurve::gamma(1 / fileGamma), declared) ||
        !matrixFitsTransform(declared.toLinearSrgb))
        return false;
    return convertFrom(declared, greyPicture, space);
}

} // namespace

const char* colorNoteMessage(ColorNote note) {
    switch (note) {
    case ColorNote::None: return "";
    case ColorNote::ProfileUnsupported: return "colour profile not applied: not an RGB or grey matrix profile";
    case ColorNote::ProfileDamaged: return "colour profile damaged, not applied";
    case ColorNote::ProfileMismatch: return "colour profile not applied: made for another colour type";
    case ColorNote::HdrTransfer: return "HDR transfer, PQ or HLG, not applied: levels kept as stored";
    case ColorNote::CicpUnsupported: return "cICP colour space not applied: not one we convert";
    }
    return "";
}

bool isColorChunk(uint32_t type) {
    return type == kCICP || type == kICCP || type == kSRGB || type == kGAMA || type == kCHRM;
}

void keepColorChunk(uint32_t type, ByteView data, PngColorChunks& chunks) {
    KeptChunk* slot = slotOf(type, chunks);
    if (!slot || slot->present)
        return;
    slot->present = true;
    slot->oversized = data.size > kMaxIccpChunkBytes;
    if (!slot->oversized)
        slot->data.assign(data.data, data.data + data.size);
}

bool declaredColorSpace(const PngColorChunks& chunks, bool greyPicture, ColorSpace& space, ColorNote& note) {
    note = ColorNote::None;
    if (chunks.cicp.present)
        return fromCicp(chunks.cicp, greyPicture, space, note);
    if (chunks.iccp.present)
        return fromIccp(chunks.iccp, greyPicture, space, note);
    if (chunks.srgb.present)
        return false;
    if (chunks.gama.present)
        return fromGama(chunks, greyPicture, space);
    return false; // cHRM alone names no curve: left as stored
}

} // namespace tfi
