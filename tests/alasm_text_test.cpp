#include "alasm/alasm_text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "alasm_writer.h"
#include "base/file.h"

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

// Each line is written in the layout, code page and line end asked for;
// a '\n' in what a sink is given ends a line too.
TEST(AlasmText, WritesEachLineInTheLayoutCodePageAndLineEndAsked) {
    const std::string data = alasm_header("T") + alasm_record("A   {NOP}  ") +
                             alasm_record("; \xE0") + std::string(1, '\0');
    const struct {
        TextOptions options;
        std::string text;
    } cases[] = {
        {{Reading::AsKorve, TextLayout::Stored, std::nullopt, LineEnd::Lf}, "A   \tNOP\t  \n; \xE0\n\n"},
        {{Reading::AsKorve, TextLayout::Tidy, CodePage::Cp866, LineEnd::CrLf}, "A\tNOP\r\n; \xD1\x80\r\n\r\n"},
    };
    for (const auto& c : cases) {
        ByteReader input(std::span(reinterpret_cast<const unsigned char*>(data.data()), data.size()));
        const File output(std::tmpfile());
        ASSERT_TRUE(output);
        const TextReport report = convert_to_text(input, InputKind::BareAlasm, c.options, output.get());
        EXPECT_EQ(report.outcome, TextOutcome::Converted);
        EXPECT_EQ(report.end.lines, 3U);
        TextSink sink(output.get(), c.options);
        EXPECT_TRUE(sink.write("x\ny") && sink.flush());
        std::rewind(output.get());
        std::string text(200, '\0');
        text.resize(std::fread(text.data(), 1, text.size(), output.get()));
        const std::string end(line_end_text(c.options.line_end));
        EXPECT_EQ(text, c.text + "x" + end + "y" + end);
    }
}

}  // namespace
}  // namespace korve
