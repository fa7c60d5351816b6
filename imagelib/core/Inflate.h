// A zlib stream (a deflate stream behind a two-byte header, an Adler-32 after it) decoded as it
// is read, from input that comes in pieces. PNG image data is the one user: a small file may
// declare rows that inflate to gigabytes, and the cheapest such data is a byte repeated at
// distance one, which a byte-at-a-time copy (zlib's) turns into a chain of dependent stores.
// Here every match is copied eight bytes at a time, whatever its distance, so that the cost of
// any stream stays near that of writing its output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "Bytes.h"

namespace tfi {

// Compressed bytes in order, in as many pieces as they come; false when there are no more.
class ByteParts {
public:
    virtual ~ByteParts() = default;
    virtual bool next(ByteView& part) = 0;
};

class Inflater {
public:
    // Without `checksum` the stream's Adler-32 is still read but neither computed nor
    // compared: for data whose chunks carry checksums of their own that were checked.
    // Throws std::bad_alloc when its window cannot be had, as zlib's own allocation did.
    explicit Inflater(ByteParts& parts, bool checksum = true);
    ~Inflater();
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    // The next `size` bytes of the stream; false when it holds fewer or is damaged.
    bool read(uint8_t* out, size_t size);
    // Decodes past what was read until the stream ends and its checksum is compared; false
    // when more bytes than were read follow, or the stream is cut short or damaged.
    bool reachEnd();
    // reachEnd(), and no input follows the stream.
    bool endsHere();

private:
    struct State;
    bool produce();

    std::unique_ptr<State> state_;
};

} // namespace tfi
