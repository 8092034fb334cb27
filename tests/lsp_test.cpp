// korvex lsp's framing and positions; tests/lsp/ drives the whole server.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lsp/lsp_document.h"
#include "lsp/lsp_wire.h"

namespace korve::lsp {
namespace {

// What a reader gives for `bytes` fed in the pieces that cut them at `cuts`,
// as "BODY" or "refused: WHY", until it needs more.
std::vector<std::string> frames(const std::string& bytes, const std::vector<std::size_t>& cuts,
                                std::size_t largest = kLargestMessage) {
    FrameReader reader(largest);
    std::vector<std::string> got;
    std::size_t from = 0;
    std::vector<std::size_t> ends = cuts;
    ends.push_back(bytes.size());
    for (const std::size_t end : ends) {
        reader.add(std::string_view(bytes).substr(from, end - from));
        from = end;
        for (Frame frame = reader.next(); frame.kind != Frame::Kind::NeedMore; frame = reader.next()) {
            got.push_back(frame.kind == Frame::Kind::Body ? frame.text : "refused: " + frame.text);
        }
    }
    return got;
}

TEST(LspWire, GivesEveryMessageWhereverTheBytesAreCut) {
    const std::vector<std::string> bodies = {R"({"id":1})", "{\"text\":\"Ж€😀\"}", "{}"};
    std::string bytes = framed(bodies[0]);
    bytes += "content-length:  " + std::to_string(bodies[1].size()) +
             "\r\nContent-Type: application/vscode-jsonrpc; charset=utf-8\r\n\r\n" + bodies[1];
    bytes += framed(bodies[2]);
    for (std::size_t cut = 0; cut <= bytes.size(); ++cut) {
        EXPECT_EQ(frames(bytes, {cut}), bodies) << "cut at " << cut;
    }
    std::vector<std::size_t> every(bytes.size());
    for (std::size_t i = 0; i < every.size(); ++i) {
        every[i] = i;
    }
    EXPECT_EQ(frames(bytes, every), bodies) << "a byte at a time";
}

TEST(LspWire, RefusesWhatItCannotTakeAndGoesOn) {
    const std::string next = framed("{}");
    struct Row {
        std::string bytes;
        std::size_t largest;
        std::vector<std::string> expected;
    };
    const std::vector<Row> rows = {
        {"Content-Type: x\r\n\r\n" + next, 64, {"refused: a header without Content-Length", "{}"}},
        {"Content-Length: 1x\r\n\r\n" + next, 64, {"refused: Content-Length is no number: 1x", "{}"}},
        {"junk\r\n\r\n" + next, 64, {"refused: a header line without a ':': junk", "{}"}},
        // A body over the limit is dropped as it comes, never held.
        {"Content-Length: 70\r\n\r\n" + std::string(70, 'x') + next, 64,
         {"refused: a body of 70 bytes, more than 64", "{}"}},
        {std::string(100, 'x'), 64, {"refused: a header longer than 64 bytes"}},
    };
    for (const Row& row : rows) {
        for (std::size_t cut = 0; cut <= row.bytes.size(); ++cut) {
            EXPECT_EQ(frames(row.bytes, {cut}, row.largest), row.expected) << row.bytes << " cut at " << cut;
        }
    }
}

TEST(LspDocument, CountsPositionsInTheClientsUnits) {
    // a (1 byte), Ж (2), € (3), an emoji (4, two UTF-16 units), b; then a byte that is no UTF-8.
    const std::string line = "a\xD0\x96\xE2\x82\xAC\xF0\x9F\x98\x80" "b\xFF" "c";
    struct Row {
        std::size_t offset;
        std::size_t utf16;
    };
    const std::vector<Row> rows = {{0, 0}, {1, 1}, {3, 2}, {6, 3}, {10, 5}, {11, 6}, {12, 7}, {13, 8}};
    for (const Row& row : rows) {
        EXPECT_EQ(units_before(line, row.offset, Encoding::Utf16), row.utf16) << row.offset;
        EXPECT_EQ(units_before(line, row.offset, Encoding::Utf8), row.offset) << row.offset;
        EXPECT_EQ(offset_at(line, row.utf16, Encoding::Utf16), row.offset) << row.utf16;
        EXPECT_EQ(offset_at(line, row.offset, Encoding::Utf8), row.offset) << row.offset;
    }
    // Inside a character: its start; past the end: the line's end.
    EXPECT_EQ(offset_at(line, 4, Encoding::Utf16), 6U);
    EXPECT_EQ(offset_at(line, 2, Encoding::Utf8), 1U);
    EXPECT_EQ(offset_at(line, 99, Encoding::Utf16), line.size());
}

#ifndef _WIN32
TEST(LspDocument, ReadsAndWritesFileUris) {
    const std::filesystem::path path = "/tmp/a b/\xD0\xB6.asm";
    const std::string uri = "file:///tmp/a%20b/%D0%B6.asm";
    EXPECT_EQ(uri_of_path(path), uri);
    EXPECT_EQ(path_of_uri(uri), path);
    EXPECT_EQ(path_of_uri("file://localhost/tmp/x.asm"), std::filesystem::path("/tmp/x.asm"));
    EXPECT_EQ(path_of_uri("untitled:Untitled-1"), std::nullopt);
}
#endif

}  // namespace
}  // namespace korve::lsp
