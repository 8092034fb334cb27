#include "formats/line_writer.h"

#include <algorithm>
#include <cassert>
#include <cerrno>

#include "base/file.h"

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
    return flush() && put(line.data(), line.size()) && put(line_end_.data(), line_end_size_);
}

bool LineWriter::flush() {
    const bool written = put(block_.get(), size_);
    size_ = 0;
    if (!written) {
        return false;
    }
    errno = 0;
    if (std::fflush(output_) != 0) {
        return failed();
    }
    return true;
}

bool LineWriter::put(const char* bytes, std::size_t size) {
    errno = 0;
    return std::fwrite(bytes, 1, size, output_) == size || failed();
}

bool LineWriter::failed() {
    error_ = last_system_error();
    return false;
}

}  // namespace korve
