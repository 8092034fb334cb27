// Where two texts' lines agree and where they differ, as the diff library
// dtl (Debian package libdtl-dev, header-only) finds them: an edit script,
// line by line, and the same as unified hunks for people to read.
//
// dtl finds the shortest script in a time that grows with the lines times
// the changes, and past a limit of its own gives a script that does not
// hold. Texts it compares within that limit it compares whole. Others are
// taken apart first: lines as numbers; the lines they begin and end with
// kept; lines each holds once, in the same order, kept, and the stretches
// between them taken the same way; a stretch that shares no line removed
// and added. dtl compares each stretch it can within its limit, and the
// whole again where the script so found shows that it can after all; a
// stretch too large for that, with no line held once on both sides, it
// compares up to its limit, the rest removed and added. The work given to
// dtl is bounded by the lines (once it is spent, the stretches left are
// removed and added): two texts with little in common take a time and a
// memory that grow with their lines. Every script dtl gives is checked
// against the lines, and one that does not hold is not used.
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

// An edit script from `before` to `after`: every line of both, in order,
// kept, removed or added; the removals of a run of changes before its
// additions. The shortest where dtl finds it within its limit, as for texts
// edited by hand; near it where the texts have lines held once on each side.
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
