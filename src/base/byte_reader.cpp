#include "base/byte_reader.h"

#include <algorithm>
#include <cassert>
#include <cerrno>

#include "base/file.h"

namespace korve {
namespace {

constexpr std::size_t kReadBlock = std::size_t{64} * 1024;
static_assert(kReadBlock >= kLongestLook);

}  // namespace

ByteReader::ByteReader(std::FILE* file)
    : file_(file), buffer_(new unsigned char[kReadBlock]), size_hint_(regular_file_size(file)) {}

ByteReader::ByteReader(std::span<const unsigned char> bytes)
    : memory_(bytes), buffer_(new unsigned char[kReadBlock]), size_hint_(bytes.size()) {}

bool ByteReader::fill() {
    if (drained_) {
        return false;
    }
    std::copy(buffer_.get() + begin_, buffer_.get() + end_, buffer_.get());
    end_ -= begin_;
    begin_ = 0;
    const std::size_t wanted = kReadBlock - end_;
    std::size_t got = 0;
    if (file_ != nullptr) {
        errno = 0;
        got = std::fread(buffer_.get() + end_, 1, wanted, file_);
        if (got < wanted && std::ferror(file_) != 0) {
            // Taken at once: the next call may set errno again.
            error_ = last_system_error();
        }
    } else {
        got = std::min(wanted, memory_.size());
        std::copy_n(memory_.begin(), got, buffer_.get() + end_);
        memory_ = memory_.subspan(got);
    }
    drained_ = got < wanted;
    end_ += got;
    return got > 0;
}

void ByteReader::fill_up_to(std::size_t count) {
    assert(count <= kLongestLook);
    while (end_ - begin_ < count && fill()) {
    }
}

}  // namespace korve
