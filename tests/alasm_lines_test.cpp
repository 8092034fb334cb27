#include "formats/alasm_lines.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <optional>
#include <utility>
#include <string>
#include <vector>

#include "temp_file.h"

namespace korve {
namespace {

using testing::temp_file;
using namespace std::string_literals;

// Room for a line, filled with a mark that shows where the decoder wrote.
struct Room {
    Room() { chars.fill('?'); }
    LineRoom room() { return LineRoom(chars); }
    std::string text(const DecodedLine& line) const { return {chars.data(), line.size}; }

    std::array<char, kLineRoom> chars;
};

// Decodes every record of `records` in turn, as the driver would.
std::vector<std::string> decode_all(std::string_view records) {
    const auto file = temp_file(records);
    ByteReader input(file.get());
    std::size_t taken = 0;
    std::vector<std::string> lines;
    while (!input.at_end()) {
        Room room;
        const DecodedLine line = decode_line(input, room.room());
        EXPECT_FALSE(line.undefined.has_value());
        EXPECT_EQ(line.missing, 0U);
        taken += line.record_size;
        lines.push_back(room.text(line));
    }
    EXPECT_EQ(taken, records.size());
    return lines;
}

struct Record {
    std::string bytes;  // the length byte, then the content
    std::string text;
};

TEST(AlasmLines, DecodesRecords) {
    const Record cases[] = {
        // A label, the mnemonic between tabs, operands with no separators.
        {"\x09LOOP\xD4\xF5,\xA1", "LOOP\tLD\tA,(HL)"},
        {"\x01", ""},
        {"\x00"s, ""},
        // A mnemonic with no operands keeps its trailing tab; a comment
        // follows with no separator.
        {"\x03\x84;", "\tRLCA\t;"},
        {"\x03\x08\x84", "        \tRLCA\t"},
        // The longest space run, and 0x00, which stands for nothing.
        {"\x04\x0F\x00x"s, "               x"},
        // An open string is closed at the end of the line.
        {"\x06\x05\x97\"hi", "     \tDEFB\t\"hi\""},
        {"\x06\x97\"abc", "\tDEFB\t\"abc\""},
        // No keyword is decoded in a comment, a string or raw text.
        {"\x04;x\xD4", ";x\xD4"},
        {"\x03\x10\xD4", "\xD4"},
        {"\x05\x97\"\xF5\"", "\tDEFB\t\"\xF5\""},
        // A semicolon inside a string ends token decoding for the line.
        {"\x07\x97\";\",\xF5", "\tDEFB\t\";\",\xF5"},
        // A quote inside a comment still opens a string, which is closed.
        {"\x03;\"", ";\"\""},
        // Space runs expand and 0x10 emits nothing, inside strings too.
        {"\x05\"\x03\x10x", "\"   x\""},
        // 0xFF is one space in both tables.
        {"\x02\xFF", "\t \t"},
        {"\x03\xD4\xFF", "\tLD\t "},
        // The displacement and closing parenthesis of (IX are plain bytes.
        {"\x08\xD4\xF5,\xD1+5)", "\tLD\tA,(IX+5)"},
        // Labels up to a word long and beyond, before the mnemonic.
        {"\x09LABEL_7\xD4", "LABEL_7\tLD\t"},
        {"\x0ALABEL__8\xD4", "LABEL__8\tLD\t"},
        {"\x0BLABEL___9\xD4", "LABEL___9\tLD\t"},
        {"\x0A\x01LABEL_7\xD4", " LABEL_7\tLD\t"},
        // Bytes outside ASCII pass through untranslated.
        {"\x03;\x7F", ";\x7F"},
    };
    for (const auto& c : cases) {
        const auto lines = decode_all(c.bytes);
        ASSERT_EQ(lines.size(), 1U) << c.text;
        EXPECT_EQ(lines[0], c.text);
    }
}

TEST(AlasmLines, DecodesConsecutiveRecords) {
    const std::string records =
        "\x01"
        "\x09LOOP\xD4\xF5,\xA1"
        "\x03\x84;"
        "\x06\x05\x97\"hi";
    const std::vector<std::string> lines = {
        "", "LOOP\tLD\tA,(HL)", "\tRLCA\t;", "     \tDEFB\t\"hi\""};
    EXPECT_EQ(decode_all(records), lines);
}

// A described line spelled out: each piece as its part and its text.
std::string pieces_of(const DescribedLine& line) {
    static constexpr const char* kNames[] = {"Text", "Spaces", "Mnemonic", "Operand", "String", "Comment"};
    std::string spelled;
    for (const LinePiece& piece : line.pieces) {
        spelled += kNames[static_cast<int>(piece.part)];
        spelled += "[" + line.text.substr(piece.begin, piece.size) + "]";
    }
    return spelled;
}

TEST(AlasmLines, DescribesEachPartOfALine) {
    const struct {
        std::string content;
        std::string pieces;
    } cases[] = {
        {"LOOP\xD4\xF5,\xA1", "Text[LOOP]Mnemonic[\tLD\t]Operand[A]Text[,]Operand[(HL)]"},
        {"\x05\x03\x97\"hi", "Spaces[        ]Mnemonic[\tDEFB\t]String[\"hi\"]"},
        {"\xD4\xF5,\xD1+5)\x02;note", "Mnemonic[\tLD\t]Operand[A]Text[,]Operand[(IX]Text[+5)]Spaces[  ]Comment[;note]"},
        {"\xD4\xFF\xFF", "Mnemonic[\tLD\t]Operand[ ]Operand[ ]"},
        // A semicolon in a string: the string runs on to its quote, and the
        // rest of the line is no longer decoded.
        {"\x97\";\",\xF5", "Mnemonic[\tDEFB\t]String[\";\"]Comment[,\xF5]"},
        // A quote in a comment stays comment, the quote that closes it too.
        {";a\"b", "Comment[;a\"b\"]"},
        {"X\x10\xD4 ", "Text[X]Comment[\xD4 ]"},
        {"NAME=5", "Text[NAME=5]"},
        // An undefined keyword: the pieces before it.
        {"\xD4\xF5,\x80", "Mnemonic[\tLD\t]Operand[A]Text[,]"},
    };
    for (const auto& c : cases) {
        const DescribedLine line =
            describe_record({reinterpret_cast<const unsigned char*>(c.content.data()), c.content.size()});
        EXPECT_EQ(pieces_of(line), c.pieces) << ::testing::PrintToString(c.content);
        if (!line.pieces.empty() && line.pieces[0].part == LinePart::Mnemonic) {
            EXPECT_EQ(line.pieces[0].token, static_cast<unsigned char>(c.content[0]));
        }
    }
}

// A space keyword first, then a keyword of the first table: korve reads the
// space as the mnemonic; ALASM, and korvex, read one space before the
// mnemonic. Anything else after it reads the same either way.
TEST(AlasmLines, ReadsASpaceBeforeTheMnemonicAsAlasmDoes) {
    const struct {
        std::string content;
        std::string as_korve;  // "!" where korve stops at an undefined token
        std::string as_alasm;  // pieces
    } cases[] = {
        {"\xFF\x9F", "\t \t(BC)", "Spaces[ ]Mnemonic[\tELSE\t]"},
        {"\xFF\xE0", "\t \tBC", "Spaces[ ]Mnemonic[\tENDIF\t]"},
        {"\xFF\xA0\"HI", "\t \t(DE)\"HI\"", "Spaces[ ]Mnemonic[\tDISPLAY\t]String[\"HI\"]"},
        {"X\xFF\xD4\xF5,1", "!", "Text[X]Spaces[ ]Mnemonic[\tLD\t]Operand[A]Text[,1]"},
        // The space joins the stored spaces before it.
        {"\x03\xFF\xD4\xF5", "!", "Spaces[    ]Mnemonic[\tLD\t]Operand[A]"},
        {"\xFF", "\t \t", "Mnemonic[\t \t]"},
        {"\xFF\xF5", "\t \tA", "Mnemonic[\t \t]Operand[A]"},
        {"\xFF\x0F;", "\t \t" + std::string(15, ' ') + ";",
         "Mnemonic[\t \t]Spaces[" + std::string(15, ' ') + "]Comment[;]"},
        {"\xFF\xFF", "\t \t ", "Mnemonic[\t \t]Operand[ ]"},
    };
    for (const auto& c : cases) {
        const std::span content(reinterpret_cast<const unsigned char*>(c.content.data()),
                                c.content.size());
        std::string record(1, static_cast<char>(c.content.size() + 1));
        record += c.content;
        for (const Reading reading : {Reading::AsKorve, Reading::AsAlasm}) {
            const auto file = temp_file(record);
            ByteReader input(file.get());
            Room room;
            const DecodedLine decoded = decode_line(input, room.room(), reading);
            const DescribedLine described = describe_record(content, reading);
            EXPECT_EQ(decoded.undefined.has_value(), described.undefined.has_value());
            if (reading == Reading::AsKorve) {
                EXPECT_EQ(decoded.undefined ? "!" : room.text(decoded), c.as_korve)
                    << ::testing::PrintToString(c.content);
            } else {
                EXPECT_EQ(pieces_of(described), c.as_alasm) << ::testing::PrintToString(c.content);
                EXPECT_EQ(room.text(decoded), described.text);
            }
        }
    }
}

TEST(AlasmLines, ShortRecordsReadOnlyTheLengthByte) {
    // L = 0 and L = 1 each leave the next byte to the next record.
    EXPECT_EQ(decode_all("\x00\x02\x84\x01"s),
              (std::vector<std::string>{"", "\tRLCA\t", ""}));
}

TEST(AlasmLines, ExpandsTheLongestRecordWhole) {
    const std::string record = "\xFF" + std::string(254, '\x0F');
    const auto lines = decode_all(record);
    ASSERT_EQ(lines.size(), 1U);
    EXPECT_EQ(lines[0], std::string(std::size_t{254} * 15, ' '));
}

TEST(AlasmLines, ReadsARecordThatRunsPastTheEndOfTheFile) {
    const auto file = temp_file("\x0A" "AB");
    ByteReader input(file.get());
    Room room;
    const DecodedLine line = decode_line(input, room.room());
    EXPECT_FALSE(line.undefined.has_value());
    EXPECT_EQ(room.text(line), "AB");
    EXPECT_EQ(line.record_size, 10U);  // every byte the record claims counts
    EXPECT_EQ(line.missing, 7U);
    EXPECT_TRUE(input.at_end());
}

TEST(AlasmLines, ALengthByteAtTheEndOfTheFileGivesAnEmptyLine) {
    const auto file = temp_file("");
    ByteReader input(file.get());
    Room room;
    const DecodedLine line = decode_line(input, room.room());
    EXPECT_FALSE(line.undefined.has_value());
    EXPECT_EQ(line.size, 0U);
    EXPECT_EQ(line.record_size, 1U);
    EXPECT_EQ(line.missing, 1U);
}

// The format read plainly, a byte at a time, as a check on the decoder's
// tables: the text of a record's content and the undefined token, if any.
std::pair<std::string, std::optional<UndefinedToken>> read_plainly(std::string_view content) {
    std::string text;
    int tokens = 0;
    bool keywords_end = false;
    bool in_string = false;
    for (const char c : content) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80 && !keywords_end && !in_string) {
            const TokenMode mode = token_mode(++tokens);
            const auto word = decode_token(byte, mode);
            if (!word) {
                return {text, UndefinedToken{byte, mode}};
            }
            const std::string_view tab = mode == TokenMode::First ? "\t" : "";
            text += tab;
            text += *word;
            text += tab;
        } else if (byte == 0x10) {
            keywords_end = true;
        } else if (byte <= 0x0F) {
            text.append(byte, ' ');
        } else {
            text += c;
            keywords_end = keywords_end || c == ';';
            in_string = in_string != (c == '"');
        }
    }
    return {in_string ? text + '"' : text, std::nullopt};
}

TEST(AlasmLines, DecodesEveryByteInEveryContext) {
    // Lines that stand before the mnemonic, among the operands, in a comment,
    // in raw text and in strings; then every byte, then a byte that shows
    // which context the first one left the line in.
    const std::string starts[] = {"", "\x84", "X,", ";", "\x10", "\"", "\x84\"", ";\"", "\"\x10"};
    const std::string probes[] = {"\xA0", "\"", ";", "\x80", "\xE7", "\x10", "\x0F"};
    std::vector<std::string> contents;
    for (const auto& start : starts) {
        for (int byte = 0; byte < 256; ++byte) {
            for (const auto& probe : probes) {
                contents.push_back(start + static_cast<char>(byte) + probe);
            }
        }
    }
    std::string records;
    for (const auto& content : contents) {
        records += static_cast<char>(content.size() + 1) + content;
    }
    const auto file = temp_file(records);
    ByteReader input(file.get());
    for (const auto& content : contents) {
        Room room;
        const DecodedLine line = decode_line(input, room.room());
        const auto [text, undefined] = read_plainly(content);
        ASSERT_EQ(line.undefined.has_value(), undefined.has_value()) << ::testing::PrintToString(content);
        // The same line described in parts: the same text, covered piece by
        // piece, and the same undefined token.
        const DescribedLine described = describe_record(
            {reinterpret_cast<const unsigned char*>(content.data()), content.size()});
        std::size_t covered = 0;
        for (const LinePiece& piece : described.pieces) {
            ASSERT_EQ(piece.begin, covered) << ::testing::PrintToString(content);
            covered += piece.size;
        }
        EXPECT_EQ(covered, described.text.size());
        if (undefined) {
            EXPECT_EQ(line.undefined->byte, undefined->byte);
            EXPECT_EQ(line.undefined->mode, undefined->mode);
            ASSERT_TRUE(described.undefined.has_value());
            EXPECT_EQ(described.undefined->byte, undefined->byte);
            EXPECT_EQ(described.undefined->mode, undefined->mode);
            EXPECT_EQ(described.text, text) << ::testing::PrintToString(content);
        } else {
            ASSERT_EQ(room.text(line), text) << ::testing::PrintToString(content);
            ASSERT_EQ(described.text, text) << ::testing::PrintToString(content);
            EXPECT_FALSE(described.undefined.has_value());
        }
    }
}

struct Failure {
    std::string bytes;
    unsigned char byte;
    TokenMode mode;
};

TEST(AlasmLines, StopsAtAnUndefinedToken) {
    const Failure cases[] = {
        {"\x02\xE7", 0xE7, TokenMode::First},
        {"\x03\xD4\x80", 0x80, TokenMode::Operand},
        {"\x05\xD4\xF5,\x9E", 0x9E, TokenMode::Operand},
    };
    for (const auto& c : cases) {
        const auto file = temp_file(c.bytes);
        ByteReader input(file.get());
        Room room;
        const auto undefined = decode_line(input, room.room()).undefined;
        ASSERT_TRUE(undefined.has_value());
        EXPECT_EQ(undefined->byte, c.byte);
        EXPECT_EQ(undefined->mode, c.mode);
    }
}

TEST(AlasmLines, NamesTheFileFromItsHeader) {
    const struct {
        std::string data;
        std::string name;
    } cases[] = {
        {"TEST" + std::string(60, '\0') + "\x02\x84", "TEST"},
        {std::string(64, 'N') + "\x02\x84", std::string(64, 'N')},
        {"SHORT", "SHORT"},  // a file cut inside its header
    };
    for (const auto& c : cases) {
        const auto file = temp_file(c.data);
        ByteReader input(file.get());
        EXPECT_EQ(read_alasm_name(input), c.name);
    }
}

TEST(AlasmLines, FindsTheMarkOfAlasmData) {
    std::string marked(70, '\0');
    marked[47] = '\xD9';
    const struct {
        std::string start;
        std::size_t data_offset;
        bool marked;
    } cases[] = {
        {marked, 0, true},
        {marked, 17, false},
        {marked.substr(0, 48), 0, true},
        {std::string(47, '\xD9'), 0, false},  // too short to hold the mark
        {"", 0, false},
    };
    for (const auto& c : cases) {
        const std::span start(reinterpret_cast<const unsigned char*>(c.start.data()), c.start.size());
        EXPECT_EQ(has_alasm_mark(start, c.data_offset), c.marked) << c.start.size();
    }
}

}  // namespace
}  // namespace korve
