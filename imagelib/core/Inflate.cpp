#include "Inflate.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace tfi {
namespace {

constexpr unsigned kMaxCodeBits = 15;
constexpr unsigned kLiteralSymbols = 288; // 286 and 287 take part in the fixed code only
constexpr unsigned kEndOfBlock = 256;
constexpr unsigned kMaxLiteralLengthCodes = 286;
constexpr unsigned kMaxDistanceCodes = 30;
constexpr unsigned kCodeLengthSymbols = 19;
constexpr unsigned kMaxMatch = 258;
constexpr size_t kWindow = 32768; // the farthest a match may reach back

// Output is decoded into one buffer: the last kWindow bytes of what came before, then up to a
// chunk of new bytes. A match may run kMaxMatch bytes past the chunk's end, and a copy writes
// up to 7 bytes beyond the match. Most streams (icon entries) are small: they get a small
// chunk, and only a stream longer than that moves on to the large one, which keeps the moves
// of the window rare.
constexpr size_t kSmallChunk = size_t(1) << 15;
constexpr size_t kLargeChunk = size_t(1) << 18;
constexpr size_t kSlack = kMaxMatch + 8;

const uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                  31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const uint16_t kDistanceBase[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
                                    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
const uint8_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
const uint8_t kCodeLengthOrder[kCodeLengthSymbols] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// Bits least significant first, as deflate packs them. Past the end of the input, zero bits
// stand in and are counted, so that decoding needs no test per bit: a stream that consumed any
// of them is cut short, which `overrun` tells.
class BitReader {
public:
    explicit BitReader(ByteParts& parts) : parts_(parts) {}

    // At least 57 bits in the buffer: a whole length and distance, extra bits included.
    void refill() {
        if (end_ - next_ >= 8) {
            bits_ |= readLe64(next_) << count_;
            next_ += (63 - count_) >> 3;
            count_ |= 56;
            return;
        }
        while (count_ <= 56) {
            if (next_ == end_ && !nextPart()) {
                count_ += 8;
                phantom_ += 8;
                continue;
            }
            bits_ |= uint64_t(*next_++) << count_;
            count_ += 8;
        }
    }

    uint64_t peek() const { return bits_; }
    void consume(unsigned n) {
        bits_ >>= n;
        count_ -= n;
    }
    uint32_t take(unsigned n) {
        const uint32_t value = static_cast<uint32_t>(bits_ & ((uint64_t(1) << n) - 1));
        consume(n);
        return value;
    }
    void alignToByte() { consume(count_ & 7); }
    bool overrun() const { return count_ < phantom_; }

    // Byte-aligned bytes straight into `out`; how many there were.
    size_t copyBytes(uint8_t* out, size_t n) {
        size_t copied = 0;
        while (copied < n && count_ >= phantom_ + 8) {
            out[copied++] = static_cast<uint8_t>(bits_);
            consume(8);
        }
        if (copied == n || count_ != phantom_)
            return copied;
        bits_ = 0; // what refill looked ahead at is about to be copied past
        while (copied < n && (next_ != end_ || nextPart())) {
            const size_t piece = std::min(n - copied, static_cast<size_t>(end_ - next_));
            std::memcpy(out + copied, next_, piece);
            next_ += piece;
            copied += piece;
        }
        return copied;
    }

    // Whether any input is left after what was decoded (the decoder stops on a byte boundary).
    bool inputLeft() { return count_ >= phantom_ + 8 || next_ != end_ || nextPart(); }

private:
    bool nextPart() {
        if (phantom_ > 0)
            return false; // the input ended; what a source offers later would come after zeros
        ByteView part;
        while (parts_.next(part)) {
            if (part.size > 0) {
                next_ = part.data;
                end_ = part.data + part.size;
                return true;
            }
        }
        return false;
    }

    ByteParts& parts_;
    const uint8_t* next_ = nullptr;
    const uint8_t* end_ = nullptr;
    uint64_t bits_ = 0;
    unsigned count_ = 0;
    unsigned phantom_ = 0;
};

// A canonical Huffman code: a table indexed by the next rootBits bits for codes that short,
// and the code counted out bit by bit (as the format defines it) for the longer, rarer ones.
class HuffmanCode {
public:
    enum class Kind { CodeLengths, Symbols };

    // False when the lengths do not make a prefix code zlib would take: over-subscribed, or
    // incomplete other than a lone one-bit code of symbols (or none, for distances).
    bool build(const uint8_t* lengths, unsigned n, Kind kind) {
        std::fill(std::begin(count_), std::end(count_), 0);
        for (unsigned i = 0; i < n; ++i)
            ++count_[lengths[i]];
        count_[0] = 0;
        unsigned longest = kMaxCodeBits;
        while (longest > 0 && count_[longest] == 0)
            --longest;
        if (longest == 0) {
            rootBits_ = 1;
            fast_[0] = fast_[1] = 0; // every code is invalid
            return kind == Kind::Symbols;
        }
        int left = 1;
        for (unsigned len = 1; len <= kMaxCodeBits; ++len) {
            left = 2 * left - count_[len];
            if (left < 0)
                return false;
        }
        if (left > 0 && (kind == Kind::CodeLengths || longest != 1))
            return false;

        uint16_t offset[kMaxCodeBits + 2] = {};
        for (unsigned len = 1; len <= kMaxCodeBits; ++len)
            offset[len + 1] = static_cast<uint16_t>(offset[len] + count_[len]);
        for (unsigned symbol = 0; symbol < n; ++symbol)
            if (lengths[symbol] != 0)
                sorted_[offset[lengths[symbol]]++] = static_cast<uint16_t>(symbol);
        fillFastTable(lengths, n, longest);
        return true;
    }

    // The next symbol, or -1 for a code that is not in the table.
    int decode(BitReader& in) const {
        const uint16_t entry = fast_[in.peek() & ((1u << rootBits_) - 1)];
        if (entry != 0) {
            in.consume(entry & 15u);
            return entry >> 4;
        }
        return decodeLong(in);
    }

private:
    static constexpr unsigned kMaxRootBits = 10;

    void fillFastTable(const uint8_t* lengths, unsigned n, unsigned longest) {
        rootBits_ = std::min(kMaxRootBits, longest);
        const unsigned size = 1u << rootBits_;
        std::fill(fast_, fast_ + size, uint16_t(0));
        unsigned nextCode[kMaxCodeBits + 1] = {};
        for (unsigned len = 1, code = 0; len <= kMaxCodeBits; ++len) {
            code = (code + count_[len - 1]) << 1;
            nextCode[len] = code;
        }
        for (unsigned symbol = 0; symbol < n; ++symbol) {
            const unsigned len = lengths[symbol];
            if (len == 0 || len > rootBits_)
                continue;
            const unsigned code = nextCode[len]++;
            unsigned reversed = 0;
            for (unsigned b = 0; b < len; ++b)
                reversed |= ((code >> b) & 1u) << (len - 1 - b);
            for (unsigned i = reversed; i < size; i += 1u << len)
                fast_[i] = static_cast<uint16_t>((symbol << 4) | len);
        }
    }

    int decodeLong(BitReader& in) const {
        const uint64_t bits = in.peek();
        int code = 0, first = 0, index = 0;
        for (unsigned len = 1; len <= kMaxCodeBits; ++len) {
            code |= static_cast<int>((bits >> (len - 1)) & 1u);
            const int count = count_[len];
            if (code - first < count) {
                in.consume(len);
                return sorted_[index + code - first];
            }
            index += count;
            first = (first + count) << 1;
            code <<= 1;
        }
        return -1;
    }

    unsigned rootBits_ = 1;
    uint16_t fast_[1u << kMaxRootBits] = {}; // (symbol << 4) | length; 0 when longer than the root
    uint16_t count_[kMaxCodeBits + 1] = {};
    uint16_t sorted_[kLiteralSymbols] = {};
};

struct FixedCodes {
    HuffmanCode literals, distances;
    FixedCodes() {
        uint8_t lengths[kLiteralSymbols];
        std::fill(lengths, lengths + 144, uint8_t(8));
        std::fill(lengths + 144, lengths + 256, uint8_t(9));
        std::fill(lengths + 256, lengths + 280, uint8_t(7));
        std::fill(lengths + 280, lengths + kLiteralSymbols, uint8_t(8));
        literals.build(lengths, kLiteralSymbols, HuffmanCode::Kind::Symbols);
        std::fill(lengths, lengths + 32, uint8_t(5));
        distances.build(lengths, 32, HuffmanCode::Kind::Symbols);
    }
};

// Built once: a stream of many tiny fixed-code blocks then costs no table building.
const FixedCodes& fixedCodes() {
    static const FixedCodes codes;
    return codes;
}

// `length` bytes from `distance` back, where distance <= what was written. Eight bytes at a
// time from a point a multiple of the distance back that is at least eight bytes away, so no
// copy reads what it is writing; writes up to 7 bytes past the match.
inline void copyMatch(uint8_t* out, size_t distance, size_t length) {
    uint8_t* const end = out + length;
    size_t period = distance;
    if (distance < 8) {
        period = (8 + distance - 1) / distance * distance;
        // The bytes up to `period` back must already repeat with `distance`.
        for (size_t i = 0; i < period - distance && out < end; ++i, ++out)
            *out = *(out - distance);
    }
    for (; out < end; out += 8)
        std::memcpy(out, out - period, 8);
}

} // namespace

struct Inflater::State {
    enum class Step { StreamHeader, BlockHeader, Stored, Codes, Trailer, Done, Damaged };

    State(ByteParts& parts, bool withChecksum)
        : in(parts), checksum(withChecksum), buffer(new uint8_t[kWindow + kSmallChunk + kSlack]),
          limit(kWindow + kSmallChunk) {}

    bool streamHeader();
    bool blockHeader();
    bool dynamicCodes();
    bool stored(size_t& at);
    bool codes(size_t& at);
    bool trailer();
    void makeRoom();
    void addToChecksum(size_t end);

    BitReader in;
    bool checksum;
    std::unique_ptr<uint8_t[]> buffer;
    size_t limit; // where decoding stops for the caller to take the chunk
    size_t written = 0;   // end of the output in the buffer
    size_t delivered = 0; // how much of it read() has handed out
    Step step = Step::StreamHeader;
    bool lastBlock = false;
    uint32_t storedLeft = 0;
    uint32_t adler = 1;
    const HuffmanCode* literals = nullptr;
    const HuffmanCode* distances = nullptr;
    HuffmanCode dynamicLiterals, dynamicDistances;
};

bool Inflater::State::streamHeader() {
    in.refill();
    const uint32_t cmf = in.take(8), flg = in.take(8);
    const bool deflate = (cmf & 15u) == 8 && (cmf >> 4) <= 7;
    const bool presetDictionary = (flg & 0x20u) != 0;
    if (in.overrun() || !deflate || presetDictionary || ((cmf << 8) | flg) % 31 != 0)
        return false;
    step = Step::BlockHeader;
    return true;
}

bool Inflater::State::blockHeader() {
    in.refill();
    lastBlock = in.take(1) != 0;
    switch (in.take(2)) {
    case 0: {
        in.alignToByte();
        const uint32_t length = in.take(16), complement = in.take(16);
        if (length != (~complement & 0xFFFFu))
            return false;
        storedLeft = length;
        step = Step::Stored;
        break;
    }
    case 1:
        literals = &fixedCodes().literals;
        distances = &fixedCodes().distances;
        step = Step::Codes;
        break;
    case 2:
        if (!dynamicCodes())
            return false;
        step = Step::Codes;
        break;
    default: return false;
    }
    return !in.overrun();
}

bool Inflater::State::dynamicCodes() {
    const unsigned literalCount = in.take(5) + 257, distanceCount = in.take(5) + 1, lengthCount = in.take(4) + 4;
    if (literalCount > kMaxLiteralLengthCodes || distanceCount > kMaxDistanceCodes)
        return false;
    uint8_t codeLengths[kCodeLengthSymbols] = {};
    for (unsigned i = 0; i < lengthCount; ++i) {
        in.refill();
        codeLengths[kCodeLengthOrder[i]] = static_cast<uint8_t>(in.take(3));
    }
    HuffmanCode lengthCode;
    if (!lengthCode.build(codeLengths, kCodeLengthSymbols, HuffmanCode::Kind::CodeLengths))
        return false;

    uint8_t lengths[kMaxLiteralLengthCodes + kMaxDistanceCodes] = {};
    const unsigned total = literalCount + distanceCount;
    for (unsigned n = 0; n < total;) {
        in.refill();
        const int symbol = lengthCode.decode(in);
        if (symbol < 0 || in.overrun())
            return false;
        if (symbol < 16) {
            lengths[n++] = static_cast<uint8_t>(symbol);
            continue;
        }
        uint8_t value = 0;
        unsigned repeat = 0;
        if (symbol == 16) {
            if (n == 0)
                return false;
            value = lengths[n - 1];
            repeat = 3 + in.take(2);
        } else {
            repeat = symbol == 17 ? 3 + in.take(3) : 11 + in.take(7);
        }
        if (repeat > total - n)
            return false;
        std::fill(lengths + n, lengths + n + repeat, value);
        n += repeat;
    }
    if (lengths[kEndOfBlock] == 0)
        return false;
    literals = &dynamicLiterals;
    distances = &dynamicDistances;
    return dynamicLiterals.build(lengths, literalCount, HuffmanCode::Kind::Symbols) &&
           dynamicDistances.build(lengths + literalCount, distanceCount, HuffmanCode::Kind::Symbols);
}

bool Inflater::State::stored(size_t& at) {
    const size_t piece = std::min<size_t>(storedLeft, limit - at);
    if (in.copyBytes(buffer.get() + at, piece) != piece)
        return false;
    at += piece;
    storedLeft -= static_cast<uint32_t>(piece);
    if (storedLeft == 0)
        step = lastBlock ? Step::Trailer : Step::BlockHeader;
    return true;
}

// The hot loop: symbols until the block ends or the chunk is full.
bool Inflater::State::codes(size_t& at) {
    uint8_t* const start = buffer.get();
    uint8_t* out = start + at;
    uint8_t* const end = start + limit;
    bool ok = true;
    while (out < end) {
        if (in.overrun()) {
            ok = false;
            break;
        }
        in.refill();
        const int symbol = literals->decode(in);
        if (symbol >= 0 && symbol < 256) {
            *out++ = static_cast<uint8_t>(symbol);
            continue;
        }
        if (symbol == static_cast<int>(kEndOfBlock)) {
            step = lastBlock ? Step::Trailer : Step::BlockHeader;
            break;
        }
        const int lengthCode = symbol - 257;
        if (symbol < 0 || lengthCode >= 29) {
            ok = false;
            break;
        }
        const size_t length = kLengthBase[lengthCode] + in.take(kLengthExtra[lengthCode]);
        const int distanceCode = distances->decode(in);
        if (distanceCode < 0 || distanceCode >= static_cast<int>(kMaxDistanceCodes)) {
            ok = false;
            break;
        }
        const size_t distance = kDistanceBase[distanceCode] + in.take(kDistanceExtra[distanceCode]);
        if (distance > static_cast<size_t>(out - start)) {
            ok = false;
            break;
        }
        copyMatch(out, distance, length);
        out += length;
    }
    at = static_cast<size_t>(out - start);
    return ok && !in.overrun();
}

bool Inflater::State::trailer() {
    in.alignToByte();
    in.refill();
    uint32_t stated = 0;
    for (int i = 0; i < 4; ++i)
        stated = (stated << 8) | in.take(8);
    if (in.overrun() || (checksum && stated != adler))
        return false;
    step = Step::Done;
    return true;
}

Inflater::Inflater(ByteParts& parts, bool checksum) : state_(new State(parts, checksum)) {}

Inflater::~Inflater() = default;

// Once the output outgrows the window, the first time by moving to the large chunk, then by
// keeping only the window's worth of it.
void Inflater::State::makeRoom() {
    if (written <= kWindow)
        return;
    if (limit < kWindow + kLargeChunk) {
        std::unique_ptr<uint8_t[]> larger(new uint8_t[kWindow + kLargeChunk + kSlack]);
        std::memcpy(larger.get(), buffer.get(), written);
        buffer = std::move(larger);
        limit = kWindow + kLargeChunk;
        return;
    }
    std::memmove(buffer.get(), buffer.get() + written - kWindow, kWindow);
    written = delivered = kWindow;
}

void Inflater::State::addToChecksum(size_t end) {
    if (checksum)
        adler = static_cast<uint32_t>(adler32(adler, buffer.get() + written, static_cast<uInt>(end - written)));
    written = end;
}

// Decodes up to a chunk after the kept window; false when the stream is damaged.
bool Inflater::produce() {
    State& s = *state_;
    s.makeRoom();
    size_t at = s.written;
    bool ok = true;
    while (ok && at < s.limit && s.step != State::Step::Done) {
        switch (s.step) {
        case State::Step::StreamHeader: ok = s.streamHeader(); break;
        case State::Step::BlockHeader: ok = s.blockHeader(); break;
        case State::Step::Stored: ok = s.stored(at); break;
        case State::Step::Codes: ok = s.codes(at); break;
        case State::Step::Trailer:
            s.addToChecksum(at);
            ok = s.trailer();
            break;
        default: ok = false; break;
        }
    }
    if (!ok) {
        s.step = State::Step::Damaged;
        return false;
    }
    s.addToChecksum(at);
    return true;
}

bool Inflater::read(uint8_t* out, size_t size) {
    State& s = *state_;
    while (size > 0) {
        if (s.delivered == s.written) {
            if (s.step == State::Step::Done || s.step == State::Step::Damaged || !produce())
                return false;
            continue;
        }
        const size_t piece = std::min(size, s.written - s.delivered);
        std::memcpy(out, s.buffer.get() + s.delivered, piece);
        s.delivered += piece;
        out += piece;
        size -= piece;
    }
    return true;
}

bool Inflater::reachEnd() {
    State& s = *state_;
    while (s.delivered == s.written && s.step != State::Step::Done) {
        if (s.step == State::Step::Damaged || !produce())
            return false;
    }
    return s.delivered == s.written;
}

bool Inflater::endsHere() { return reachEnd() && !state_->in.inputLeft(); }

} // namespace tfi
