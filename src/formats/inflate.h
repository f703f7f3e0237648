// Inflate for zlib streams (RFC 1950 around RFC 1951), as PNG image data and Deflate TIFF strips
// carry them. It takes and refuses what zlib takes and refuses, with zlib's words for a fault,
// and gives the same bytes on every platform; it is here because zlib's inflate was the whole
// critical path of reading a large PNG, and this one takes about half its time: a 64-bit bit
// buffer refilled without a branch, codes looked up in one step from tables that carry each
// symbol's base and extra bits, and matches copied eight bytes at a time.
//
// Input is pulled from an InflateSource as it is needed; output is inflated into a window of the
// last 32 KiB and a span beyond, and handed out from there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace kelvarin {

class InflateSource {
public:
    virtual ~InflateSource() = default;
    // Up to `room` bytes of the compressed stream into `to`; 0 when there are no more.
    virtual std::size_t pull(std::uint8_t* to, std::size_t room) = 0;
};

enum class InflateResult {
    Full,       // all the bytes asked for came
    End,        // the stream ended (and its check value matched) before them
    Truncated,  // the input ended before the stream did
    Damaged,    // the stream is not valid; failure() says how, in zlib's words
    NoMemory,   // there was no memory for the window and tables
};

class Inflate {
public:
    Inflate();
    ~Inflate();
    Inflate(const Inflate&) = delete;
    Inflate& operator=(const Inflate&) = delete;

    // Starts a new stream, pulled from `source`.
    void reset(InflateSource& source);
    // Up to `room` bytes of the inflated stream into `to`, `made` saying how many came. A fault
    // met after the bytes asked for waits for the next call: the bytes before it are good.
    InflateResult read(std::uint8_t* to, std::size_t room, std::size_t& made);
    const char* failure() const;

    // Inflates the whole zlib stream `in` into `out`, up to `room` bytes.
    InflateResult whole(const std::uint8_t* in, std::size_t size, std::uint8_t* out, std::size_t room,
                        std::size_t& made);

private:
    struct State;
    bool ready();
    std::unique_ptr<State> s_;
};

}  // namespace kelvarin
