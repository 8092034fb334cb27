#include "formats/record_blocks.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace korve {
namespace {

using namespace std::string_literals;

std::span<const unsigned char> bytes_of(std::string_view text) {
    return {reinterpret_cast<const unsigned char*>(text.data()), text.size()};
}

// The records of `contents`, each after its length byte, and then enough
// empty records that a block holds every one of them whole.
std::string records_of(const std::vector<std::string>& contents) {
    std::string records;
    for (const auto& content : contents) {
        records += static_cast<char>(content.size() + 1) + content;
    }
    return records + std::string(kLongestRecord + 1, '\x01');
}

// The text decode_record gives the records, a line at a time, up to an
// undefined token; and the bytes of the records before it.
struct Expected {
    std::string text;
    std::size_t used = 0;
    std::optional<UndefinedToken> undefined;
};

Expected line_by_line(std::string_view records, std::string_view line_end, Reading reading) {
    Expected expected;
    std::vector<char> room(kLineRoom);
    while (expected.used < records.size()) {
        const std::size_t size = record_size(static_cast<unsigned char>(records[expected.used]));
        const DecodedLine line = decode_record(bytes_of(records.substr(expected.used + 1, size - 1)),
                                               size, LineRoom(room.data(), kLineRoom), reading);
        if (line.undefined) {
            expected.undefined = line.undefined;
            break;
        }
        expected.text.append(room.data(), line.size).append(line_end);
        expected.used += size;
    }
    return expected;
}

// decode_records over the records, a block at a time as korve takes them,
// into a room of `room_size`; the records it leaves at the end, as korve,
// line by line.
Expected by_blocks(std::string_view records, std::string_view line_end, Reading reading,
                   std::size_t room_size) {
    Expected got;
    std::vector<char> room(room_size);
    for (;;) {
        const auto block = bytes_of(records.substr(got.used, kLongestLook));
        const auto length = static_cast<std::int64_t>(records.size() - got.used);
        const DecodedRecords decoded = decode_records(block, length, room, line_end, reading);
        got.text.append(room.data(), decoded.size);
        got.used += decoded.used;
        if (decoded.undefined || decoded.used == 0) {
            got.undefined = decoded.undefined;
            break;
        }
    }
    const Expected rest = line_by_line(records.substr(got.used), line_end, reading);
    if (!got.undefined) {
        got.text += rest.text;
        got.used += rest.used;
        got.undefined = rest.undefined;
    }
    return got;
}

void expect_same(const Expected& got, const Expected& expected) {
    ASSERT_EQ(got.text, expected.text);
    EXPECT_EQ(got.used, expected.used);
    ASSERT_EQ(got.undefined.has_value(), expected.undefined.has_value());
    if (expected.undefined) {
        EXPECT_EQ(got.undefined->byte, expected.undefined->byte);
        EXPECT_EQ(got.undefined->mode, expected.undefined->mode);
    }
}

// Every byte after every start of a line that leaves it in a context of its
// own, then a byte that shows which; and random lines of the bytes that
// change the context most, with keywords and space runs between.
std::vector<std::string> contents_to_check() {
    const std::string starts[] = {"",     "\x84",   "X,",      ";",     "\x10",   "\"",
                                  "\x84\"", ";\"",  "\"\x10", "\xFF", "LBL\x0F\x01", "\"\xE0\"\xD4"};
    const std::string probes[] = {"\xA0", "\"", ";", "\x80", "\xE7", "\x10", "\x0F", "\xFF\xD4"};
    std::vector<std::string> contents;
    for (const auto& start : starts) {
        for (int byte = 0; byte < 256; ++byte) {
            for (const auto& probe : probes) {
                contents.push_back(start + static_cast<char>(byte) + probe);
            }
        }
    }
    const std::string alphabet = "\"\";;\x10\x01\x0F\x00\xD4\xF5\xA1\xFF\xE0\x80\xA0\x9FXY1,()+"s;
    std::mt19937 random(20261210);  // NOLINT(cert-msc32-c,cert-msc51-cpp)
    for (int line = 0; line < 20000; ++line) {
        std::string content(random() % 40, ' ');
        for (char& c : content) {
            c = alphabet[random() % alphabet.size()];
        }
        contents.push_back(content);
    }
    return contents;
}

TEST(RecordBlocks, DecodeAsDecodeRecordDoesLineByLine) {
    // Lines with an undefined token are left out, which would end the run.
    std::vector<std::string> contents;
    for (const auto& content : contents_to_check()) {
        if (!find_undefined_token(bytes_of(content), Reading::AsKorve) &&
            !find_undefined_token(bytes_of(content), Reading::AsAlasm)) {
            contents.push_back(content);
        }
    }
    ASSERT_GT(contents.size(), 20000U);
    const std::string records = records_of(contents);
    for (const Reading reading : {Reading::AsKorve, Reading::AsAlasm}) {
        for (const std::string_view line_end : {"\n", "\r\n"}) {
            const Expected expected = line_by_line(records, line_end, reading);
            // A room for the longest block, and one that holds a few records.
            for (const std::size_t room : {record_block_room(kLongestLook), record_block_room(300)}) {
                expect_same(by_blocks(records, line_end, reading, room), expected);
            }
        }
    }
}

TEST(RecordBlocks, StopBeforeAnUndefinedToken) {
    const std::string lines[] = {"\xD4\xF5,\xA1", "\"A\x80\"", "\xE7", "", ";never"};
    const std::string records = records_of({std::begin(lines), std::end(lines)});
    std::vector<char> room(record_block_room(kLongestLook));
    const DecodedRecords decoded = decode_records(bytes_of(records), 1000, room, "\n");
    ASSERT_TRUE(decoded.undefined.has_value());
    EXPECT_EQ(decoded.undefined->byte, 0xE7);
    EXPECT_EQ(decoded.undefined->mode, TokenMode::First);
    EXPECT_EQ(decoded.used, 5U + 5);
    EXPECT_EQ(decoded.size, "\tLD\tA,(HL)\n\"A\x80\"\n"s.size());
}

TEST(RecordBlocks, StopWhereTheDataLengthEnds) {
    // The records take 4, 1, 1 and 3 bytes; the one that uses the length up
    // is decoded whole; the first always is.
    const std::string records = records_of({"\xD4\xF5\xA1", "", "", "AB"});
    struct Case {
        std::int64_t length;
        std::size_t used;
    };
    const Case cases[] = {{-5, 4}, {0, 4}, {1, 4}, {4, 4}, {5, 5}, {6, 6}, {7, 9}, {9, 9}, {10, 10}};
    for (const Case& c : cases) {
        std::vector<char> room(record_block_room(kLongestLook));
        const DecodedRecords decoded = decode_records(bytes_of(records), c.length, room, "\n");
        EXPECT_EQ(decoded.used, c.used) << c.length;
        EXPECT_FALSE(decoded.undefined.has_value());
    }
}

TEST(RecordBlocks, LeaveRecordsTheBlockMightCutShort) {
    // Each record must start more than kLongestRecord bytes before the
    // block's end; a room too small for one block decodes nothing.
    const std::string records(kLongestRecord + 3, '\x01');
    std::vector<char> room(record_block_room(kLongestLook));
    EXPECT_EQ(decode_records(bytes_of(records), 10000, room, "\n").used, 3U);
    EXPECT_EQ(decode_records(bytes_of(records).first(kLongestRecord), 10000, room, "\n").used, 0U);
    std::vector<char> small(record_block_room(kLongestRecord) - 1);
    EXPECT_EQ(decode_records(bytes_of(records), 10000, small, "\n").used, 0U);
}

}  // namespace
}  // namespace korve
