#include "alasm_text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "alasm_writer.h"
#include "file.h"

namespace korve {
namespace {

using testing::alasm_header;
using testing::alasm_record;

DescribedLine described(const std::string& marked) {
    const std::string record = alasm_record(marked);
    return describe_record(
        std::span(reinterpret_cast<const unsigned char*>(record.data()) + 1, record.size() - 1));
}

TEST(AlasmText, TidiesEachLineFromItsParts) {
    const struct {
        std::string marked;  // as alasm_writer takes it
        std::string tidy;
    } cases[] = {
        {"LOOP    {LD}   {A},{(HL)}  ", "LOOP\tLD\tA,(HL)"},
        {"{RLCA}", "\tRLCA"},
        {"     {NOP}{ }{ }", "\tNOP"},
        {"{LD}{A},{ }{B}", "\tLD\tA, B"},
        {"{RLCA}  ; note  ", "\tRLCA\t; note"},
        {"X {DB} \"a  b\"  ", "X\tDB\t\"a  b\""},
        {"{LD}{A},\"x", "\tLD\tA,\"x\""},
        {"{ }{A}", "\t\tA"},  // a space as the first token: no mnemonic
        {"{NOP}{RAW}   ", "\tNOP"},
        {"LABEL   ", "LABEL"},
        {"  ; comment  ", "  ; comment"},
        {"NAME = 5  ", "NAME = 5"},
        {"", ""},
    };
    for (const auto& c : cases) {
        const DescribedLine tidy = tidy_line(described(c.marked));
        EXPECT_EQ(tidy.text, c.tidy) << c.marked;
        // Its pieces cover its text, in order.
        std::size_t covered = 0;
        for (const LinePiece& piece : tidy.pieces) {
            EXPECT_EQ(piece.begin, covered) << c.marked;
            EXPECT_GT(piece.size, 0U) << c.marked;
            covered += piece.size;
        }
        EXPECT_EQ(covered, tidy.text.size()) << c.marked;
    }
    const std::vector<LinePiece> pieces = {
        {LinePart::Text, kNoToken, 0, 4}, {LinePart::Mnemonic, 0xD4, 4, 4},
        {LinePart::Operand, 0xF5, 8, 1},  {LinePart::Text, kNoToken, 9, 1},
        {LinePart::Operand, 0xA1, 10, 4},
    };
    EXPECT_EQ(tidy_line(described("LOOP    {LD}   {A},{(HL)}  ")).pieces, pieces);
    EXPECT_EQ(tidy_line(described("  {RLCA}  ")).pieces,
              (std::vector<LinePiece>{{LinePart::Mnemonic, 0x84, 0, 5}}));
}

// Whoever colours the text sees each line as written, in its parts.
TEST(AlasmText, ShowsEachLineAsWrittenToAnObserver) {
    const std::string data = alasm_header("T") + alasm_record("A   {NOP}  ") +
                             alasm_record("; \xE0") + std::string(1, '\0');
    for (const TextLayout layout : {TextLayout::Stored, TextLayout::Tidy}) {
        ByteReader input(
            std::span(reinterpret_cast<const unsigned char*>(data.data()), data.size()));
        TextOptions options;
        options.layout = layout;
        options.charset = CodePage::Cp866;
        std::vector<std::string> seen;
        options.observer = [&seen](std::size_t number, const DescribedLine& line) {
            seen.push_back(std::to_string(number) + ":" + line.text);
        };
        const TextReport report = convert_to_text(input, InputKind::BareAlasm, options, nullptr);
        EXPECT_EQ(report.lines, 3U);
        EXPECT_EQ(seen, (layout == TextLayout::Tidy
                             ? std::vector<std::string>{"1:A\tNOP", "2:; \xE0", "3:"}
                             : std::vector<std::string>{"1:A   \tNOP\t  ", "2:; \xE0", "3:"}));
    }
}

// A translator writes each line; what it cannot translate is reported by
// line, and its '\n' ends lines as the chosen line end does.
TEST(AlasmText, WritesWhatATranslatorMakesOfEachLine) {
    const std::string data =
        alasm_header("T") + alasm_record("{NOP}") + alasm_record("{RUN}{A}") + std::string(1, '\0');
    ByteReader input(std::span(reinterpret_cast<const unsigned char*>(data.data()), data.size()));
    TextOptions options;
    options.line_end = LineEnd::CrLf;
    options.translator = [](std::size_t number, const DescribedLine& line,
                            std::string& text) -> std::optional<std::string> {
        if (!line.pieces.empty() && line.pieces[0].part == LinePart::Mnemonic &&
            text == "\tRUN\tA") {
            text = "; " + text;
            return "RUN: code runs while assembling";
        }
        text = std::to_string(number) + ":" + text + "\nnext";
        return std::nullopt;
    };
    const File output(std::tmpfile());
    ASSERT_TRUE(output);
    const TextReport report = convert_to_text(input, InputKind::BareAlasm, options, output.get());
    EXPECT_EQ(report.outcome, TextOutcome::Converted);
    EXPECT_EQ(report.lines, 3U);
    std::rewind(output.get());
    std::string text(200, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), output.get()));
    EXPECT_EQ(text, "1:\tNOP\t\r\nnext\r\n; \tRUN\tA\r\n3:\r\nnext\r\n");
}

}  // namespace
}  // namespace korve
