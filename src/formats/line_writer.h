// Writing text lines to a stream in large blocks, so that the stream sees
// few writes: a decoder writes each line straight into the block.
#pragma once

#include <array>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <span>
#include <string_view>
#include <system_error>

#include "formats/alasm_lines.h"

namespace korve {

class LineWriter {
public:
    // Each line ends in `line_end`, one or two characters ("\n", "\r\n").
    LineWriter(std::FILE* output, std::string_view line_end);

    // Room for the next line, at the end of the block: commit() and
    // write_line() always leave enough.
    LineRoom room() { return LineRoom(block_.get() + size_, kLineRoom); }

    // Ends the line of `size` characters that was written into the room, and
    // writes the block out when another line might not fit; false when that
    // write failed.
    bool commit(std::size_t size) {
        // A line leaves its room's slack free, for its line end.
        std::memcpy(block_.get() + size_ + size, line_end_.data(), line_end_.size());
        size_ += size + line_end_size_;
        return kBlock - size_ >= kLineRoom || flush();
    }

    // Makes room for `size` characters (at most kBlock) at the end of the
    // block, writing it out first if need be; false when that write failed.
    bool make_space(std::size_t size) { return kBlock - size_ >= size || flush(); }

    // The room at the end of the block, for whole lines written with their
    // line ends; advance() counts what was written.
    std::span<char> space() { return {block_.get() + size_, kBlock - size_}; }

    // Ends `size` characters written into the space, whole lines; false when
    // writing the block out, as commit() does, failed.
    bool advance(std::size_t size) {
        size_ += size;
        return kBlock - size_ >= kLineRoom || flush();
    }

    std::string_view line_end() const { return {line_end_.data(), line_end_size_}; }

    // Writes a line of any length, and its line end; false when that failed.
    bool write_line(std::string_view line);

    // Writes out what the block holds, and flushes the stream.
    bool flush();

    // Why a write failed, as the system said at once.
    std::error_code error() const { return error_; }

private:
    // Writes bytes to the stream; false, its error kept, when that failed.
    bool put(const char* bytes, std::size_t size);
    // Keeps errno as the reason of the write that just failed; false.
    bool failed();

    // Room for a block of records' text (record_blocks.h). No larger: from
    // 128 KiB the C library maps the block, and unmaps it, for each file.
    static constexpr std::size_t kBlock = std::size_t{64} * 1024;
    static constexpr std::size_t kLongestLineEnd = 2;
    static_assert(kBlock > kLineRoom && kLineSlack >= kLongestLineEnd);

    std::FILE* output_;
    std::array<char, kLongestLineEnd> line_end_{};
    std::size_t line_end_size_ = 0;
    // Left uninitialised (new[], not make_unique, which would zero it): only
    // written lines are read.
    std::unique_ptr<char[]> block_;
    std::size_t size_ = 0;
    std::error_code error_;
};

}  // namespace korve
