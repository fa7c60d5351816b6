// The inflater against zlib on the same bytes: the same output, the same verdict on whether the
// stream is whole and whether input follows it, whatever pieces the input comes in and
// whatever sizes it is read in. The first byte picks the mode: odd deflates the rest with zlib
// (level and strategy from its bits), so whole streams of every block kind get checked; even
// takes the rest as a stream as it is, its checksum ignored by both when bit 1 is set, so that
// a wrong byte cannot hide behind a checksum that fails anyway. The second byte picks the sizes
// of pieces and reads.
#include <zlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/Inflate.h"

namespace {

constexpr size_t kOutputCap = size_t(1) << 20;

class Pieces : public tfi::ByteParts {
public:
    Pieces(const std::vector<uint8_t>& bytes, size_t piece) : bytes_(bytes), piece_(piece) {}
    bool next(tfi::ByteView& part) override {
        if (at_ >= bytes_.size())
            return false;
        const size_t n = std::min(piece_, bytes_.size() - at_);
        part = tfi::ByteView(bytes_.data() + at_, n);
        at_ += n;
        return true;
    }

private:
    const std::vector<uint8_t>& bytes_;
    size_t piece_;
    size_t at_ = 0;
};

std::vector<uint8_t> deflated(const uint8_t* data, size_t size, uint8_t mode) {
    const int level = (mode >> 1) % 10;
    const int strategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};
    z_stream z{};
    std::vector<uint8_t> out(compressBound(static_cast<uLong>(size)) + 64);
    if (deflateInit2(&z, level, Z_DEFLATED, 15, 8, strategies[(mode >> 5) % 5]) != Z_OK)
        return {};
    z.next_in = const_cast<Bytef*>(data);
    z.avail_in = static_cast<uInt>(size);
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int status = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return status == Z_STREAM_END ? out : std::vector<uint8_t>{};
}

struct Reference {
    std::vector<uint8_t> output;
    bool ended = false;     // the stream ended with its checksum right
    bool inputLeft = false; // bytes follow the stream
};

Reference zlibInflate(const std::vector<uint8_t>& stream, bool checksum) {
    Reference ref;
    ref.output.resize(kOutputCap);
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        __builtin_trap();
    if (!checksum)
        inflateValidate(&z, 0);
    z.next_in = const_cast<Bytef*>(stream.data());
    z.avail_in = static_cast<uInt>(stream.size());
    z.next_out = ref.output.data();
    z.avail_out = static_cast<uInt>(ref.output.size());
    const int status = inflate(&z, Z_FINISH);
    ref.ended = status == Z_STREAM_END;
    ref.inputLeft = z.avail_in > 0;
    ref.output.resize(z.total_out);
    inflateEnd(&z);
    return ref;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const uint8_t mode = data[0], sizes = data[1];
    const std::vector<uint8_t> stream =
        mode & 1 ? deflated(data + 2, size - 2, mode) : std::vector<uint8_t>(data + 2, data + size);
    const bool checksum = (mode & 1) || !(mode & 2);
    const Reference ref = zlibInflate(stream, checksum);
    if ((mode & 1) && !ref.ended)
        __builtin_trap(); // zlib must read back what it wrote

    Pieces pieces(stream, 1 + (size_t(sizes & 15) << (sizes & 15)) % 70000);
    tfi::Inflater inflater(pieces, checksum);
    const size_t readSize = 1 + (size_t(sizes >> 4) * 4099) % 65536;
    std::vector<uint8_t> ours(readSize);
    size_t got = 0;
    bool whole = true;
    while (got < ref.output.size()) {
        const size_t n = std::min(readSize, ref.output.size() - got);
        if (!inflater.read(ours.data(), n)) {
            whole = false;
            break;
        }
        if (!std::equal(ours.begin(), ours.begin() + static_cast<std::ptrdiff_t>(n), ref.output.begin() + got))
            __builtin_trap();
        got += n;
    }
    if (ref.ended) {
        // Every byte zlib made is ours too, nothing more, and the end is where zlib found it.
        if (!whole || !inflater.reachEnd() || inflater.endsHere() == ref.inputLeft)
            __builtin_trap();
    } else if (ref.output.size() < kOutputCap) {
        // zlib found the stream damaged or cut short after what it made: reading on fails here
        // too, and never reaches an end.
        for (; whole && got < kOutputCap; got += readSize)
            whole = inflater.read(ours.data(), readSize);
        if (whole || inflater.reachEnd())
            __builtin_trap();
    }
    return 0;
}
