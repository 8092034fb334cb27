#include "alasm/text_lines.h"

#include <algorithm>

namespace korve {
namespace {

constexpr char kLineFeed = '\n';
constexpr char kCarriageReturn = '\r';

}  // namespace

std::optional<TextLineReader::Line> TextLineReader::next() {
    line_.clear();
    bool read_any = false;
    bool whole = true;
    for (;;) {
        const auto bytes = input_.look(kLongestLook);
        if (bytes.empty()) {
            break;
        }
        read_any = true;
        const auto end = std::find(bytes.begin(), bytes.end(), static_cast<unsigned char>(kLineFeed));
        const auto size = static_cast<std::size_t>(end - bytes.begin());
        // One byte more than a line may hold: a CR before the LF, or the
        // sign that the line is too long.
        const std::size_t room = kLongestTextLine + 1 - line_.size();
        line_.append(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(std::min(size, room)));
        whole = whole && size <= room;
        const bool ended = end != bytes.end();
        input_.take(size + (ended ? 1 : 0));
        if (ended) {
            break;
        }
    }
    if (!read_any) {
        return std::nullopt;
    }
    if (whole && !line_.empty() && line_.back() == kCarriageReturn) {
        line_.pop_back();
    }
    whole = whole && line_.size() <= kLongestTextLine;
    return Line{std::string_view(line_).substr(0, kLongestTextLine), whole};
}

}  // namespace korve
