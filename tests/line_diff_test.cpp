#include "line_diff.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace korve {
namespace {

using Lines = std::vector<std::string>;

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

// What the patch tool makes of the hunks is the new text, for random texts.
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
    for (int round = 0; round < 20; ++round) {
        const Lines before = text(random() % 30);
        const Lines after = text(random() % 30);
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
