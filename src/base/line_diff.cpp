#include "base/line_diff.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <functional>

#include <dtl/dtl.hpp>

namespace korve {
namespace {

// Lines as numbers, equal lines equal numbers: what dtl and the anchors
// below compare.
using Numbers = std::vector<std::uint32_t>;

struct Numbered {
    Numbers before;
    Numbers after;
    std::size_t distinct = 0;
};

// Numbers the lines in the order they come: a line is looked up by its
// hash in a table at most half full, whose slots hold the numbers (plus 1,
// 0 where free) of the first line of each.
Numbered numbered(std::span<const std::string> before, std::span<const std::string> after) {
    std::size_t size = 16;
    while (size < 2 * (before.size() + after.size())) {
        size *= 2;
    }
    std::vector<std::uint32_t> slots(size);
    std::vector<std::string_view> firsts;  // by number
    const auto number = [&](std::string_view line) -> std::uint32_t {
        for (std::size_t at = std::hash<std::string_view>{}(line) & (size - 1);; at = (at + 1) & (size - 1)) {
            if (slots[at] == 0) {
                firsts.push_back(line);
                slots[at] = static_cast<std::uint32_t>(firsts.size());
                return slots[at] - 1;
            }
            if (firsts[slots[at] - 1] == line) {
                return slots[at] - 1;
            }
        }
    };
    Numbered lines;
    lines.before.reserve(before.size());
    for (const std::string& line : before) {
        lines.before.push_back(number(line));
    }
    lines.after.reserve(after.size());
    for (const std::string& line : after) {
        lines.after.push_back(number(line));
    }
    lines.distinct = firsts.size();
    return lines;
}

// dtl finds the shortest script by the O(NP) method: at step p it records a
// coordinate for each of the d + 2p + 1 diagonals it tries, where d is how
// many more lines one side has than the other, and it is done at the step p
// that equals the shorter side's removals in the shortest script. Past
// MAX_CORDINATES_SIZE coordinates it stops looking for the shortest script
// and starts again on what it has not reached; from its second new start
// on, it numbers the lines from the wrong place, and it takes longer and
// longer. Every run below is sized to end within the limit, or ends at it
// (onUnserious), and the lines are numbered here, from the lines dtl gives
// and checked against them.
constexpr std::uint64_t kCoordinateLimit = dtl::MAX_CORDINATES_SIZE;

// The coordinates dtl records up to step p, for sides that differ by d lines.
std::uint64_t coordinates(std::uint64_t p, std::uint64_t d) {
    return (p + 1) * (d + 1) + p * (p + 1);
}

// Whether dtl ends within its limit where the shorter side loses at most `p`
// lines: the steps before the last record fewer than the limit.
bool within_limit(std::size_t p, std::size_t d) {
    return p < kCoordinateLimit && (p == 0 || coordinates(p - 1, d) < kCoordinateLimit);
}

std::size_t apart(std::size_t m, std::size_t n) {
    return m > n ? m - n : n - m;
}

// Lines [a_begin, a_end) of the old text against [b_begin, b_end) of the new.
struct Stretch {
    std::size_t a_begin = 0;
    std::size_t a_end = 0;
    std::size_t b_begin = 0;
    std::size_t b_end = 0;

    std::size_t old_lines() const { return a_end - a_begin; }
    std::size_t new_lines() const { return b_end - b_begin; }
};

// What lies between the lines a stretch begins with on both sides and those
// it ends with on both.
Stretch between_common_ends(const Numbers& a, const Numbers& b, Stretch stretch) {
    while (stretch.a_begin < stretch.a_end && stretch.b_begin < stretch.b_end &&
           a[stretch.a_begin] == b[stretch.b_begin]) {
        ++stretch.a_begin;
        ++stretch.b_begin;
    }
    while (stretch.a_begin < stretch.a_end && stretch.b_begin < stretch.b_end &&
           a[stretch.a_end - 1] == b[stretch.b_end - 1]) {
        --stretch.a_end;
        --stretch.b_end;
    }
    return stretch;
}

// How often a line is in the stretch being anchored, on each side, and where
// in the new text (counts stop at 2: more is as good as 2).
struct Seen {
    std::uint8_t in_old = 0;
    std::uint8_t in_new = 0;
    std::size_t new_line = 0;
};

struct Work {
    const Numbers& a;
    const Numbers& b;
    std::vector<LineEdit> edits;
    std::uint64_t budget = 0;  // what dtl may still record, in coordinates
    std::vector<Seen> seen;    // by line number, all zero between anchorings
};

// What dtl may record over the stretches of two texts: twice its limit and
// 32 a line, so that the time grows with the texts and not with their
// product.
std::uint64_t budget_for(std::size_t lines) {
    constexpr std::uint64_t kPerLine = 32;
    return 2 * kCoordinateLimit + kPerLine * lines;
}

void keep(Work& work, std::size_t old_line, std::size_t new_line, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        work.edits.push_back({LineEdit::Kind::Keep, old_line + i, new_line + i});
    }
}

// Every line of the stretch removed, then every line added.
void replace(Work& work, const Stretch& stretch) {
    for (std::size_t line = stretch.a_begin; line < stretch.a_end; ++line) {
        work.edits.push_back({LineEdit::Kind::Remove, line, 0});
    }
    for (std::size_t line = stretch.b_begin; line < stretch.b_end; ++line) {
        work.edits.push_back({LineEdit::Kind::Add, 0, line});
    }
}

// The shorter side's removals in a script: its step count in dtl.
std::size_t steps_of(std::span<const LineEdit> edits) {
    std::size_t removed = 0;
    std::size_t added = 0;
    for (const LineEdit& edit : edits) {
        removed += edit.kind == LineEdit::Kind::Remove ? 1 : 0;
        added += edit.kind == LineEdit::Kind::Add ? 1 : 0;
    }
    return std::min(removed, added);
}

// How far dtl goes: to the shortest script, for a stretch it ends within its
// limit; or up to its limit, what it has not reached then removed and added
// (onUnserious).
enum class Reach : unsigned char { Shortest, UpToTheLimit };

// dtl's script from the stretch of the old text to that of the new, appended
// with the lines counted here; false, and nothing appended, where it is not
// a script from the one to the other.
bool append_dtl(Work& work, const Stretch& stretch, Reach reach) {
    const auto part = [](const Numbers& lines, std::size_t begin, std::size_t end) {
        return Numbers(lines.begin() + static_cast<std::ptrdiff_t>(begin),
                       lines.begin() + static_cast<std::ptrdiff_t>(end));
    };
    dtl::Diff<std::uint32_t, Numbers> diff(part(work.a, stretch.a_begin, stretch.a_end),
                                           part(work.b, stretch.b_begin, stretch.b_end));
    if (reach == Reach::UpToTheLimit) {
        diff.onHuge();  // room for the coordinates it will record, up to the limit
        diff.onUnserious();
    }
    diff.compose();
    const std::size_t first = work.edits.size();
    std::size_t old_line = stretch.a_begin;
    std::size_t new_line = stretch.b_begin;
    const auto old_is = [&](std::uint32_t number) {
        return old_line < stretch.a_end && work.a[old_line] == number;
    };
    const auto new_is = [&](std::uint32_t number) {
        return new_line < stretch.b_end && work.b[new_line] == number;
    };
    bool right = true;
    for (const auto& [number, info] : diff.getSes().getSequence()) {
        if (info.type == dtl::SES_COMMON) {
            right = old_is(number) && new_is(number);
            work.edits.push_back({LineEdit::Kind::Keep, old_line++, new_line++});
        } else if (info.type == dtl::SES_DELETE) {
            right = old_is(number);
            work.edits.push_back({LineEdit::Kind::Remove, old_line++, 0});
        } else {
            right = new_is(number);
            work.edits.push_back({LineEdit::Kind::Add, 0, new_line++});
        }
        if (!right) {
            break;
        }
    }
    if (!right || old_line != stretch.a_end || new_line != stretch.b_end) {
        work.edits.resize(first);
        return false;
    }
    const std::size_t steps = steps_of(std::span(work.edits).subspan(first));
    const std::uint64_t recorded = coordinates(steps, apart(stretch.old_lines(), stretch.new_lines()));
    work.budget -= std::min({work.budget, recorded, kCoordinateLimit});
    return true;
}

using LinePairs = std::vector<std::pair<std::size_t, std::size_t>>;  // old line, new line

struct Anchors {
    LinePairs lines;  // rising in both
    bool share_a_line = false;
};

// The longest run of pairs rising in both lines, of pairs that rise in the
// old line (patience sorting).
LinePairs rising(const LinePairs& pairs) {
    constexpr std::size_t kNone = SIZE_MAX;
    // By length less one: the pair that ends a run of that length with the
    // lowest new line.
    std::vector<std::size_t> tops;
    std::vector<std::size_t> before(pairs.size(), kNone);
    const auto lower = [&pairs](std::size_t top, std::size_t line) { return pairs[top].second < line; };
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        const auto pile = std::lower_bound(tops.begin(), tops.end(), pairs[i].second, lower);
        if (pile != tops.begin()) {
            before[i] = *(pile - 1);
        }
        if (pile == tops.end()) {
            tops.push_back(i);
        } else {
            *pile = i;
        }
    }
    LinePairs run;
    for (std::size_t at = tops.empty() ? kNone : tops.back(); at != kNone; at = before[at]) {
        run.push_back(pairs[at]);
    }
    std::reverse(run.begin(), run.end());
    return run;
}

// Lines that the stretch holds once on each side, the longest run of them in
// the same order on both: lines that surely stay.
Anchors unique_lines(Work& work, const Stretch& stretch) {
    const auto count = [](std::uint8_t& seen) { seen = static_cast<std::uint8_t>(std::min(seen + 1, 2)); };
    for (std::size_t line = stretch.a_begin; line < stretch.a_end; ++line) {
        count(work.seen[work.a[line]].in_old);
    }
    for (std::size_t line = stretch.b_begin; line < stretch.b_end; ++line) {
        Seen& seen = work.seen[work.b[line]];
        count(seen.in_new);
        seen.new_line = line;
    }
    Anchors anchors;
    LinePairs pairs;
    for (std::size_t line = stretch.a_begin; line < stretch.a_end; ++line) {
        const Seen& seen = work.seen[work.a[line]];
        anchors.share_a_line = anchors.share_a_line || seen.in_new > 0;
        if (seen.in_old == 1 && seen.in_new == 1) {
            pairs.emplace_back(line, seen.new_line);
        }
    }
    for (std::size_t line = stretch.a_begin; line < stretch.a_end; ++line) {
        work.seen[work.a[line]] = {};
    }
    for (std::size_t line = stretch.b_begin; line < stretch.b_end; ++line) {
        work.seen[work.b[line]] = {};
    }
    anchors.lines = rising(pairs);
    return anchors;
}

// How deep the stretches between anchors are anchored again on lines unique
// to them alone: each depth reads the texts once more.
constexpr int kAnchorDepth = 8;

void reduce(Work& work, const Stretch& stretch, int depth);

// A stretch without common first or last line, as near the shortest script
// as the budget allows: by dtl where it ends within its limit; else between
// anchors, each stretch between them the same way; else by dtl up to its
// limit, the rest removed and added; else all removed and added.
void differ(Work& work, const Stretch& stretch, int depth) {
    const std::size_t m = stretch.old_lines();
    const std::size_t n = stretch.new_lines();
    const Anchors anchors = unique_lines(work, stretch);
    if (!anchors.share_a_line) {  // the shortest script
        replace(work, stretch);
        return;
    }
    if (within_limit(std::min(m, n), apart(m, n)) && work.budget > 0) {
        if (!append_dtl(work, stretch, Reach::Shortest)) {
            replace(work, stretch);
        }
        return;
    }
    if (!anchors.lines.empty() && depth < kAnchorDepth) {
        Stretch gap = stretch;
        for (const auto& [old_line, new_line] : anchors.lines) {
            gap.a_end = old_line;
            gap.b_end = new_line;
            reduce(work, gap, depth + 1);
            keep(work, old_line, new_line, 1);
            gap.a_begin = old_line + 1;
            gap.b_begin = new_line + 1;
        }
        gap.a_end = stretch.a_end;
        gap.b_end = stretch.b_end;
        reduce(work, gap, depth + 1);
        return;
    }
    if (work.budget == 0 || !append_dtl(work, stretch, Reach::UpToTheLimit)) {
        replace(work, stretch);
    }
}

// The common first and last lines kept, the rest between them differed.
void reduce(Work& work, const Stretch& stretch, int depth) {
    const Stretch inside = between_common_ends(work.a, work.b, stretch);
    keep(work, stretch.a_begin, stretch.b_begin, inside.a_begin - stretch.a_begin);
    differ(work, inside, depth);
    keep(work, inside.a_end, inside.b_end, stretch.a_end - inside.a_end);
}

// Within each run of changes, the removals before the additions, each in
// their order: what diff -u shows, and what put stores in their place.
void removals_first(std::vector<LineEdit>& edits) {
    const auto is_keep = [](const LineEdit& edit) { return edit.kind == LineEdit::Kind::Keep; };
    const auto is_removal = [](const LineEdit& edit) { return edit.kind == LineEdit::Kind::Remove; };
    auto run = edits.begin();
    while (run != edits.end()) {
        run = std::find_if_not(run, edits.end(), is_keep);
        const auto end = std::find_if(run, edits.end(), is_keep);
        std::stable_partition(run, end, is_removal);
        run = end;
    }
}

// A hunk's range in one text, as diff -u writes it: "a,b", the first line
// (from 1, or the line before it where it holds none) and the count.
std::string hunk_range(std::size_t first, std::size_t count) {
    const std::size_t shown = count == 0 ? first : first + 1;
    return count == 1 ? std::to_string(shown) : std::to_string(shown) + "," + std::to_string(count);
}

}  // namespace

std::vector<LineEdit> line_edits(std::span<const std::string> before,
                                 std::span<const std::string> after) {
    const Numbered lines = numbered(before, after);
    Work work{lines.before, lines.after, {}, budget_for(before.size() + after.size()),
              std::vector<Seen>(lines.distinct)};
    const Stretch whole{0, before.size(), 0, after.size()};
    const std::size_t d = apart(before.size(), after.size());
    // Texts that dtl compares whole within its limit it does, as it always
    // did: the shorter side loses at most what lies between the common ends.
    const Stretch inside = between_common_ends(lines.before, lines.after, whole);
    if (within_limit(std::min(inside.old_lines(), inside.new_lines()), d) &&
        append_dtl(work, whole, Reach::Shortest)) {
        removals_first(work.edits);
        return std::move(work.edits);
    }
    // Others are taken by parts. The script found so is no shorter than the
    // shortest: where it shows that dtl ends within its limit after all, dtl
    // finds the shortest.
    reduce(work, whole, 0);
    if (within_limit(steps_of(work.edits), d)) {
        std::vector<LineEdit> by_parts = std::move(work.edits);
        work.edits.clear();
        if (!append_dtl(work, whole, Reach::Shortest)) {
            work.edits = std::move(by_parts);
        }
    }
    removals_first(work.edits);
    return std::move(work.edits);
}

std::string unified_diff(std::span<const std::string> before, std::span<const std::string> after,
                         std::string_view before_name, std::string_view after_name,
                         std::size_t context) {
    const std::vector<LineEdit> edits = line_edits(before, after);
    std::string text;
    std::size_t at = 0;
    while (at < edits.size()) {
        // The next change, and the hunk around it: changes whose unchanged
        // lines between are fewer than twice the context share one.
        const auto change = std::find_if(edits.begin() + static_cast<std::ptrdiff_t>(at), edits.end(),
                                         [](const LineEdit& edit) { return edit.kind != LineEdit::Kind::Keep; });
        if (change == edits.end()) {
            break;
        }
        const auto first_change = static_cast<std::size_t>(change - edits.begin());
        const std::size_t begin = first_change - std::min(context, first_change - at);
        std::size_t end = first_change;
        std::size_t kept = 0;
        for (std::size_t i = first_change; i < edits.size(); ++i) {
            if (edits[i].kind != LineEdit::Kind::Keep) {
                end = i + 1;
                kept = 0;
            } else if (++kept > 2 * context) {
                break;
            }
        }
        end = std::min(edits.size(), end + context);
        std::size_t old_first = 0;
        std::size_t new_first = 0;
        std::size_t old_count = 0;
        std::size_t new_count = 0;
        std::string body;
        for (std::size_t i = begin; i < end; ++i) {
            const LineEdit& edit = edits[i];
            const bool in_old = edit.kind != LineEdit::Kind::Add;
            const bool in_new = edit.kind != LineEdit::Kind::Remove;
            if (in_old && old_count++ == 0) {
                old_first = edit.old_line;
            }
            if (in_new && new_count++ == 0) {
                new_first = edit.new_line;
            }
            const char mark = edit.kind == LineEdit::Kind::Keep ? ' ' : in_old ? '-' : '+';
            body += mark;
            body += in_old ? before[edit.old_line] : after[edit.new_line];
            body += '\n';
        }
        // A side without lines in the hunk counts from the line before it.
        if (old_count == 0) {
            old_first = begin == 0 ? 0 : edits[begin - 1].old_line + 1;
        }
        if (new_count == 0) {
            new_first = begin == 0 ? 0 : edits[begin - 1].new_line + 1;
        }
        if (text.empty()) {
            text = "--- " + std::string(before_name) + "\n+++ " + std::string(after_name) + "\n";
        }
        text += "@@ -" + hunk_range(old_first, old_count) + " +" + hunk_range(new_first, new_count) +
                " @@\n" + body;
        at = end;
    }
    return text;
}

}  // namespace korve
