// Where two texts' lines agree and where they differ, as the diff library
// dtl (Debian package libdtl-dev, header-only) finds them: an edit script,
// line by line, and the same as unified hunks for people to read.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace korve {

// One step from the old text to the new: a line both hold, one only the old
// holds, or one only the new holds. Lines count from 0; `old_line` means
// nothing for Add, `new_line` nothing for Remove.
struct LineEdit {
    enum class Kind : unsigned char { Keep, Remove, Add };
    Kind kind = Kind::Keep;
    std::size_t old_line = 0;
    std::size_t new_line = 0;

    bool operator==(const LineEdit&) const = default;
};

// The shortest edit script from `before` to `after`: every line of both, in
// order, kept, removed or added; a removal before the additions that take
// its place.
std::vector<LineEdit> line_edits(std::span<const std::string> before,
                                 std::span<const std::string> after);

// A unified diff of two texts' lines, as diff -u writes it: "--- NAME" and
// "+++ NAME", then each hunk as "@@ -a,b +c,d @@" with `context` unchanged
// lines around its changes, each line ending in '\n'. Empty where the texts
// agree.
std::string unified_diff(std::span<const std::string> before, std::span<const std::string> after,
                         std::string_view before_name, std::string_view after_name,
                         std::size_t context = 3);

}  // namespace korve
