#include "line_writer.h"

#include <algorithm>
#include <cassert>

namespace korve {

LineWriter::LineWriter(std::FILE* output, std::string_view line_end)
    : output_(output), block_(new char[kBlock]) {
    assert(!line_end.empty() && line_end.size() <= kLongestLineEnd);
    line_end_size_ = std::min(line_end.size(), kLongestLineEnd);
    std::copy_n(line_end.begin(), line_end_size_, line_end_.begin());
}

bool LineWriter::write_line(std::string_view line) {
    if (line.size() <= kLongestLine) {
        std::copy(line.begin(), line.end(), room().data());
        return commit(line.size());
    }
    // Longer than any decoded line: straight to the stream, after the block.
    return flush() && std::fwrite(line.data(), 1, line.size(), output_) == line.size() &&
           std::fwrite(line_end_.data(), 1, line_end_size_, output_) == line_end_size_;
}

bool LineWriter::flush() {
    const bool written = std::fwrite(block_.get(), 1, size_, output_) == size_;
    size_ = 0;
    return written && std::fflush(output_) == 0;
}

}  // namespace korve
