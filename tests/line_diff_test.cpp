#include "base/line_diff.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace korve {
namespace {

using Lines = std::vector<std::string>;

// The new text as the script makes it of the old, where every line of both
// comes in order, each kept line is the same on both sides and no addition
// comes before a removal in a run of changes; nothing where not.
std::optional<Lines> applied(const std::vector<LineEdit>& edits, const Lines& before, const Lines& after) {
    Lines made;
    std::size_t old_line = 0;
    std::size_t new_line = 0;
    LineEdit::Kind last = LineEdit::Kind::Keep;
    for (const LineEdit& edit : edits) {
        const bool in_old = edit.kind != LineEdit::Kind::Add;
        const bool in_new = edit.kind != LineEdit::Kind::Remove;
        if ((in_old && edit.old_line != old_line++) || (in_new && edit.new_line != new_line++) ||
            (edit.kind == LineEdit::Kind::Remove && last == LineEdit::Kind::Add) ||
            old_line > before.size() || new_line > after.size()) {
            return std::nullopt;
        }
        if (edit.kind == LineEdit::Kind::Keep && before[edit.old_line] != after[edit.new_line]) {
            return std::nullopt;
        }
        if (in_new) {
            made.push_back(in_old ? before[edit.old_line] : after[edit.new_line]);
        }
        last = edit.kind;
    }
    if (old_line != before.size()) {
        return std::nullopt;
    }
    return made;
}

std::size_t kept(const std::vector<LineEdit>& edits) {
    return static_cast<std::size_t>(
        std::count_if(edits.begin(), edits.end(), [](const LineEdit& edit) { return edit.kind == LineEdit::Kind::Keep; }));
}

// `count` lines, each its own: "<mark><number>".
Lines numbered_lines(char mark, std::size_t count) {
    Lines lines;
    for (std::size_t i = 0; i < count; ++i) {
        lines.push_back(mark + std::to_string(i));
    }
    return lines;
}

// Old lines, with those whose number `replaced` picks replaced by lines of
// their own.
Lines replaced(const Lines& lines, bool (*replaced)(std::size_t)) {
    Lines changed = lines;
    for (std::size_t i = 0; i < changed.size(); ++i) {
        if (replaced(i)) {
            changed[i] = "new " + changed[i];
        }
    }
    return changed;
}

// Texts far apart, past the limit of work that the diff library takes on
// whole: every script still makes the new text of the old, and the
// shortest where each line is held once on each side.
TEST(LineDiff, GivesAScriptThatHoldsForTextsFarApart) {
    constexpr std::size_t kLines = 8000;
    const Lines old_lines = numbered_lines('a', kLines);
    Lines moved(old_lines.begin() + kLines / 4, old_lines.end());
    moved.insert(moved.end(), old_lines.begin(), old_lines.begin() + kLines / 4);
    // Lines of four kinds only, in an order of their own on each side, the
    // new text the shorter.
    std::mt19937 random(20261209);  // NOLINT(cert-msc32-c,cert-msc51-cpp)
    const auto few_kinds = [&random](std::size_t count) {
        Lines lines;
        for (std::size_t i = 0; i < count; ++i) {
            lines.push_back(std::string(1, static_cast<char>('a' + random() % 4)));
        }
        return lines;
    };
    const Lines few_old = few_kinds(kLines);
    const Lines few_new = few_kinds(kLines - kLines / 8);
    const struct {
        const char* what;
        Lines before;
        Lines after;
        std::optional<std::size_t> kept;  // in the shortest script
    } cases[] = {
        {"no line in common", old_lines, numbered_lines('b', kLines), 0},
        {"half replaced", old_lines, replaced(old_lines, [](std::size_t i) { return i % 2 == 1; }), kLines / 2},
        {"6 of 7 replaced", old_lines, replaced(old_lines, [](std::size_t i) { return i % 7 != 0; }),
         (kLines + 6) / 7},
        {"a quarter moved to the end", old_lines, moved, kLines * 3 / 4},
        {"a text removed", old_lines, {}, 0},
        {"lines of four kinds", few_old, few_new, std::nullopt},
    };
    for (const auto& c : cases) {
        const std::vector<LineEdit> edits = line_edits(c.before, c.after);
        EXPECT_TRUE(applied(edits, c.before, c.after) == c.after) << c.what;
        if (c.kept) {
            EXPECT_EQ(kept(edits), *c.kept) << c.what;
        }
    }
}

TEST(LineDiff, WritesUnifiedHunksAsDiffDoes) {
    const struct {
        Lines before;
        Lines after;
        std::string diff;
    } cases[] = {
        {{"a", "b", "c"}, {"a", "b", "c"}, ""},
        {{"a", "b", "c"}, {"a", "B", "c"}, "--- old\n+++ new\n@@ -1,3 +1,3 @@\n a\n-b\n+B\n c\n"},
        {{}, {"x"}, "--- old\n+++ new\n@@ -0,0 +1 @@\n+x\n"},
        {{"x"}, {}, "--- old\n+++ new\n@@ -1 +0,0 @@\n-x\n"},
        // Changes more than twice the context apart are hunks of their own.
        {{"1", "2", "3", "4", "5", "6", "7", "8", "9"},
         {"one", "2", "3", "4", "5", "6", "7", "8", "nine"},
         "--- old\n+++ new\n@@ -1,4 +1,4 @@\n-1\n+one\n 2\n 3\n 4\n@@ -6,4 +6,4 @@\n 6\n 7\n 8\n-9\n+nine\n"},
        {{"1", "2", "3"}, {"1", "2", "2.5", "3"}, "--- old\n+++ new\n@@ -1,3 +1,4 @@\n 1\n 2\n+2.5\n 3\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(unified_diff(c.before, c.after, "old", "new"), c.diff);
    }
}

// What the patch tool makes of the hunks is the new text, for random texts
// and for texts far apart.
TEST(LineDiff, GivesHunksThatPatchAppliesToTheNewText) {
    if (std::system("patch --version > /dev/null 2>&1") != 0) {  // NOLINT(cert-env33-c)
        GTEST_SKIP() << "no patch command here";
    }
    const auto folder =
        std::filesystem::temp_directory_path() / ("korve-line-diff-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    // The same texts every run: a failure can be run again.
    std::mt19937 random(20261209);  // NOLINT(cert-msc32-c,cert-msc51-cpp)
    const auto text = [&random](std::size_t lines) {
        Lines text;
        for (std::size_t i = 0; i < lines; ++i) {
            text.push_back(std::string(1, static_cast<char>('a' + random() % 4)));
        }
        return text;
    };
    const auto write = [](const std::filesystem::path& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    };
    std::vector<std::pair<Lines, Lines>> rounds;
    for (int round = 0; round < 20; ++round) {
        Lines before = text(random() % 30);
        rounds.emplace_back(std::move(before), text(random() % 30));
    }
    // And texts far apart: 8,000 lines, 6 of 7 replaced.
    const Lines far = numbered_lines('a', 8000);
    rounds.emplace_back(far, replaced(far, [](std::size_t i) { return i % 7 != 0; }));
    for (std::size_t round = 0; round < rounds.size(); ++round) {
        const auto& [before, after] = rounds[round];
        std::string old_text;
        for (const std::string& line : before) {
            old_text += line + "\n";
        }
        std::string new_text;
        for (const std::string& line : after) {
            new_text += line + "\n";
        }
        write(folder / "file", old_text);
        write(folder / "file.diff", unified_diff(before, after, "file", "file"));
        const std::string command = "cd '" + folder.string() +
                                    "' && patch -s -o patched file file.diff > /dev/null 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << "round " << round;  // NOLINT(cert-env33-c)
        std::ifstream patched(folder / "patched", std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(patched), {}), new_text)
            << "round " << round;
        std::filesystem::remove(folder / "patched");
    }
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace korve
