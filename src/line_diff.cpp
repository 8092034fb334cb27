#include "line_diff.h"

#include <algorithm>

#include <dtl/dtl.hpp>

namespace korve {
namespace {

// A hunk's range in one text, as diff -u writes it: "a,b", the first line
// (from 1, or the line before it where it holds none) and the count.
std::string hunk_range(std::size_t first, std::size_t count) {
    const std::size_t shown = count == 0 ? first : first + 1;
    return count == 1 ? std::to_string(shown) : std::to_string(shown) + "," + std::to_string(count);
}

}  // namespace

std::vector<LineEdit> line_edits(std::span<const std::string> before,
                                 std::span<const std::string> after) {
    using Lines = std::vector<std::string>;
    const Lines a(before.begin(), before.end());
    const Lines b(after.begin(), after.end());
    dtl::Diff<std::string, Lines> diff(a, b, true);  // removals first
    diff.onHuge();
    diff.compose();
    std::vector<LineEdit> edits;
    edits.reserve(diff.getSes().getSequence().size());
    for (const auto& [line, info] : diff.getSes().getSequence()) {
        // dtl counts from 1.
        const auto old_line = static_cast<std::size_t>(std::max(info.beforeIdx, 1LL) - 1);
        const auto new_line = static_cast<std::size_t>(std::max(info.afterIdx, 1LL) - 1);
        switch (info.type) {
            case dtl::SES_COMMON: edits.push_back({LineEdit::Kind::Keep, old_line, new_line}); break;
            case dtl::SES_DELETE: edits.push_back({LineEdit::Kind::Remove, old_line, 0}); break;
            default: edits.push_back({LineEdit::Kind::Add, 0, new_line}); break;
        }
    }
    return edits;
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
