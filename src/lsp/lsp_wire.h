// The Language Server Protocol's framing: each message is a header of
// "Name: value" lines ended by an empty line (every line ending in CR LF),
// then a body of Content-Length bytes of JSON. A reader takes the bytes as
// they come, in pieces of any size, and gives back whole bodies; a header or
// body larger than kLargestMessage, or a header without a length, is refused
// with its reason, and the reader goes on with the next header it can find.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace korve::lsp {

// The largest header or body a reader takes (64 MiB): a larger one is
// refused, never held.
inline constexpr std::size_t kLargestMessage = std::size_t{64} << 20;

// What a reader gives next: a body, a refusal, or nothing until more bytes
// come.
struct Frame {
    enum class Kind : unsigned char { NeedMore, Body, Refused };
    Kind kind = Kind::NeedMore;
    std::string text;  // the body, or why it was refused
};

class FrameReader {
public:
    explicit FrameReader(std::size_t largest = kLargestMessage) : largest_(largest) {}

    // Takes the next bytes read.
    void add(std::string_view bytes);
    // The next frame the bytes taken so far hold.
    Frame next();

private:
    std::string buffer_;
    std::size_t start_ = 0;     // of what is not taken yet
    std::size_t skipping_ = 0;  // bytes of a refused body still to drop
    std::size_t largest_;
};

// `body` framed: its header, then the body.
std::string framed(std::string_view body);

}  // namespace korve::lsp
