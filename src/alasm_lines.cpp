#include "alasm_lines.h"

#include <algorithm>
#include <cassert>
#include <cstring>

namespace korve {
namespace {

constexpr std::size_t kReadBlock = std::size_t{64} * 1024;
static_assert(kReadBlock >= kLongestRecord);

constexpr unsigned char kRawRestMarker = 0x10;
constexpr unsigned char kFirstToken = 0x80;
constexpr char kCommentStart = ';';
constexpr char kQuote = '"';

// What one line has seen so far; nothing carries over to the next line.
struct LineState {
    int tokens = 0;  // keyword tokens decoded so far
    bool in_comment = false;
    bool in_string = false;
    bool raw_rest = false;

    bool decodes_tokens() const { return !in_comment && !in_string && !raw_rest; }
};

std::optional<UndefinedToken> append_token(unsigned char byte, LineState& state,
                                           LineText& line) {
    ++state.tokens;
    const TokenMode mode = token_mode(state.tokens);
    const auto word = decode_token(byte, mode);
    if (!word) {
        return UndefinedToken{byte, mode};
    }
    if (mode == TokenMode::First) {
        line.push('\t');
        line.append(*word);
        line.push('\t');
    } else {
        line.append(*word);
    }
    return std::nullopt;
}

std::optional<UndefinedToken> decode_byte(unsigned char byte, LineState& state,
                                          LineText& line) {
    if (byte >= kFirstToken && state.decodes_tokens()) {
        return append_token(byte, state, line);
    }
    if (byte == kRawRestMarker) {
        state.raw_rest = true;
    } else if (byte <= kLongestSpaceRun) {
        line.append_spaces(byte);  // 0x00 is a run of none
    } else {
        line.push(static_cast<char>(byte));
        if (byte == kCommentStart) {
            state.in_comment = true;
        } else if (byte == kQuote) {
            state.in_string = !state.in_string;
        }
    }
    return std::nullopt;
}

}  // namespace

ByteReader::ByteReader(std::FILE* file) : file_(file), buffer_(kReadBlock) {}

bool ByteReader::fill() {
    std::copy(buffer_.begin() + static_cast<std::ptrdiff_t>(begin_),
              buffer_.begin() + static_cast<std::ptrdiff_t>(end_), buffer_.begin());
    end_ -= begin_;
    begin_ = 0;
    const std::size_t got = std::fread(buffer_.data() + end_, 1, buffer_.size() - end_, file_);
    end_ += got;
    return got > 0;
}

std::optional<unsigned char> ByteReader::next() {
    if (begin_ == end_ && !fill()) {
        return std::nullopt;
    }
    return buffer_[begin_++];
}

std::span<const unsigned char> ByteReader::take(std::size_t count) {
    assert(count <= kLongestRecord);
    while (end_ - begin_ < count && fill()) {
    }
    const std::size_t size = std::min(count, end_ - begin_);
    const std::span<const unsigned char> bytes(buffer_.data() + begin_, size);
    begin_ += size;
    return bytes;
}

bool ByteReader::at_end() { return begin_ == end_ && !fill(); }

bool ByteReader::failed() const { return std::ferror(file_) != 0; }

bool has_alasm_mark(std::FILE* file, long data_offset) {
    const bool seeked =
        std::fseek(file, data_offset + static_cast<long>(kAlasmMarkOffset), SEEK_SET) == 0;
    const bool marked = seeked && std::fgetc(file) == kAlasmMark;
    std::rewind(file);
    return marked;
}

std::string read_alasm_name(ByteReader& input, std::int64_t& remaining) {
    remaining -= static_cast<std::int64_t>(kAlasmHeaderSize);
    const auto header = input.take(kAlasmHeaderSize);
    const auto name_end = std::find(header.begin(), header.end(), 0);
    return {header.begin(), name_end};
}

void LineText::push(char c) {
    assert(size_ < chars_.size());
    chars_[size_++] = c;
}

void LineText::append(std::string_view text) {
    assert(text.size() <= chars_.size() - size_);
    std::memcpy(chars_.data() + size_, text.data(), text.size());
    size_ += text.size();
}

void LineText::append_spaces(std::size_t count) {
    assert(count <= chars_.size() - size_);
    std::memset(chars_.data() + size_, ' ', count);
    size_ += count;
}

std::optional<UndefinedToken> decode_line(ByteReader& input, std::int64_t& remaining,
                                          LineText& line) {
    line.clear();
    const auto length = input.next();  // none at the end of the input: no content
    const std::size_t content_size = length && *length >= 2 ? *length - 1U : 0;
    remaining -= 1 + static_cast<std::int64_t>(content_size);

    LineState state;
    for (const unsigned char byte : input.take(content_size)) {
        if (const auto undefined = decode_byte(byte, state, line)) {
            return undefined;
        }
    }
    if (state.in_string) {
        line.push(kQuote);
    }
    return std::nullopt;
}

}  // namespace korve
