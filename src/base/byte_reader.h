// Reading an input forwards through a buffer of its own.
//
// Nothing is ever sought: a pipe, a FIFO or a terminal reads like a file,
// and so do bytes already in memory (a file taken off a disk image).
// What a reader has looked at but not yet taken stays in its buffer, so the
// first bytes of an input can be shown to whoever must recognise it and
// then read again from the start.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <memory>
#include <span>
#include <system_error>

namespace korve {

// The most bytes one look or take can ask for: enough to recognise any input
// (see container.h).
inline constexpr std::size_t kLongestLook = 4096;

// A stream read forwards, a block at a time. A read error ends the input like
// the end of the file does; error() tells the two apart, as the system gave
// it when the read failed.
class ByteReader {
public:
    explicit ByteReader(std::FILE* file);
    // Reads `bytes`, which must outlive the reader.
    explicit ByteReader(std::span<const unsigned char> bytes);

    // The next `count` bytes (at most kLongestLook), left to be taken; fewer
    // only at the end of the input.
    std::span<const unsigned char> look(std::size_t count) {
        if (end_ - begin_ < count) {
            fill_up_to(count);
        }
        return {buffer_.get() + begin_, std::min(count, end_ - begin_)};
    }

    // The next `count` bytes (at most kLongestLook), taken; fewer only at the
    // end of the input.
    std::span<const unsigned char> take(std::size_t count) {
        const auto bytes = look(count);
        begin_ += bytes.size();
        return bytes;
    }

    bool at_end() { return begin_ == end_ && !fill(); }

    // How many bytes the whole input holds, where that is known before it is
    // read (bytes in memory, a regular file's size when it was opened); 0
    // where it is not (a pipe, a terminal). Only a hint, for room reserved
    // once rather than grown: a file may change while it is read.
    std::size_t size_hint() const { return size_hint_; }
    bool failed() const { return static_cast<bool>(error_); }
    std::error_code error() const { return error_; }

private:
    bool fill();
    void fill_up_to(std::size_t count);

    std::FILE* file_ = nullptr;
    std::span<const unsigned char> memory_;  // what is left to read, without a file
    // Left uninitialised (new[], not make_unique, which would zero it): it is
    // only read once filled.
    std::unique_ptr<unsigned char[]> buffer_;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    std::size_t size_hint_ = 0;
    // A short read met the end of the input or an error: the C library would
    // ask the system again at every later read, once per record at the end.
    bool drained_ = false;
    std::error_code error_;
};

}  // namespace korve
