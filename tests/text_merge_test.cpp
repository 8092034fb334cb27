#include "alasm/text_merge.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "alasm_writer.h"
#include "base/little_endian.h"

namespace korve {
namespace {

using namespace std::string_literals;
using testing::alasm_header;
using testing::alasm_record;

// `records` behind a header whose records' length is theirs.
std::string data_of(const std::string& records) {
    std::string data = alasm_header("GAME") + records;
    write_little_endian(writable_bytes(data), kAlasmRecordsLengthOffset, 2,
                        static_cast<std::uint32_t>(records.size()));
    return data;
}

StoredSource stored(const std::string& data) {
    const ReadStored read = read_stored(byte_span(data), data.size());
    EXPECT_TRUE(read.source.has_value());
    return read.source.value_or(StoredSource{});
}

// ELSE typed with one space before it, as ALASM stores it: FF 9F. pack
// stores the same text as 01 9F.
const std::string kSpacedElse = "\x03\xFF\x9F";

TEST(TextMerge, KeepsTheRecordOfEveryLineTheTextStillHolds) {
    const std::string nop = alasm_record("{NOP}");
    const std::string rlca = alasm_record("{RLCA}");
    const std::string spaced = alasm_record("LOOP    {LD}   {A},{(HL)}  ");
    const std::string comment = alasm_record("; \xE0\xE1\xE2");  // CP866's "рст"
    const std::string help = alasm_record(" {RAW}\xE0\xE1\xE2");   // and as raw text
    const std::string noted = alasm_record("{NOP};note  ");
    const std::string message = alasm_record("{DB}\"A B\",0");
    const struct {
        const char* what;
        std::string records;
        std::vector<std::string> text;
        std::string merged;  // the records after the merge
        MergeOptions options{};
        std::size_t tidied = 0;  // of the lines kept, those an editor tidied
    } cases[] = {
        {"unchanged", kSpacedElse + nop + "\0"s, {" \tELSE\t", "\tNOP\t", ""}, kSpacedElse + nop + "\0"s},
        {"a line changed, the others kept",
         kSpacedElse + nop + "\0"s,
         {" \tELSE\t", "\tRLCA\t", ""},
         kSpacedElse + rlca + "\0"s},
        {"a line removed, one added",
         nop + rlca + "\0"s,
         {"\tRLCA\t", " \tELSE\t", ""},
         rlca + "\x03\x01\x9F\0"s},
        {"no empty last line: the 0x00 ends the data all the same",
         kSpacedElse + nop + "\0"s,
         {" \tELSE\t", "\tNOP\t"},
         kSpacedElse + nop + "\0"s},
        {"lines after the empty last line: the kept 0x00 is an empty line",
         nop + "\0"s,
         {"\tNOP\t", "", "\tRLCA\t"},
         nop + "\x01" + rlca + "\0"s},
        {"data without the final 0x00 gains none", nop, {"\tNOP\t", "\tRLCA\t"}, nop + rlca},
        {"a code page: kept lines compared in UTF-8, changed ones stored in it",
         comment + nop + "\0"s,
         {"; рст", "; тср", ""},
         comment + "\x06; \xE2\xE1\xE0\0"s,
         {TextLayout::Stored, CodePage::Cp866}},
        {"tidy text: a kept line keeps the spaces tidy leaves out",
         spaced + nop + "\0"s,
         {"LOOP\tLD\tA,(HL)", "\tNOP", "\tRLCA", ""},
         spaced + nop + rlca + "\0"s,
         {TextLayout::Tidy, std::nullopt}},
        {"raw text: a line added is stored after 0x10 too",
         help + nop + "\0"s,
         {" рст", "\tNOP\t", " тср", ""},
         help + nop + "\x06\x01\x10\xE2\xE1\xE0\0"s,
         {TextLayout::Stored, CodePage::Cp866}},
        {"tidied: blank space trimmed, tabs expanded at any width, spaces made tabs",
         kSpacedElse + spaced + noted + message + "\0"s,
         {"        ELSE", "LOOP  LD   A,(HL)", "    NOP ;note", "\t\tDB\t\"A B\",0 ", ""},
         kSpacedElse + spaced + noted + message + "\0"s,
         {},
         4},
        {"tidied tidy text, its last line only blank space: the final 0x00",
         spaced + nop + "\0"s,
         {"LOOP    LD      A,(HL)", "        NOP", "  "},
         spaced + nop + "\0"s,
         {TextLayout::Tidy, std::nullopt},
         3},
        {"tidied in a code page: a comment's trailing blank space",
         comment + "\0"s,
         {"; рст \t", ""},
         comment + "\0"s,
         {TextLayout::Stored, CodePage::Cp866},
         1},
    };
    for (const auto& c : cases) {
        const MergedSource merged = merge_text(stored(data_of(c.records)), c.text, c.options);
        EXPECT_FALSE(merged.failure.has_value()) << c.what;
        EXPECT_EQ(merged.data, data_of(c.merged)) << c.what;
        EXPECT_EQ(merged.tidied, c.tidied) << c.what;
    }
    // Blank space that is no editor's tidying: the line is stored anew.
    const struct {
        std::string record;
        std::string line;
    } changed_meaning[] = {
        {message, "\tDB\t\"A  B\",0"},           // inside a string
        {message, "\tDB\t\"A\tB\",0"},
        {alasm_record(";a  b"), ";a b"},           // inside a comment
        {alasm_record(" {RAW}A  B"), " A B"},      // inside raw text, which reads as code
        {alasm_record("LOOP{NOP}"), " LOOP\tNOP"},  // a label no more
        {nop, "NOP"},                              // a label now
        {alasm_record("{LD}{A},{(HL)}"), "\tLD\tA, (HL)"},  // a run added
    };
    for (const auto& c : changed_meaning) {
        const MergedSource merged = merge_text(stored(data_of(c.record + "\0"s)), {{c.line, ""}}, {});
        EXPECT_EQ(std::make_pair(merged.stored, merged.tidied), std::make_pair(std::size_t{1}, std::size_t{0}))
            << c.line;
    }
    // The counts a message gives.
    const MergedSource changed =
        merge_text(stored(data_of(nop + rlca + "\0"s)), {{"\tNOP\t", "\tLDIR\t"}}, {});
    EXPECT_EQ(std::vector<std::size_t>({changed.kept, changed.stored, changed.removed}),
              std::vector<std::size_t>({1, 1, 2}));
    const MergedSource raw = merge_text(stored(data_of(help + "\0"s)), {{" рст", "\tNOP\t", " тср"}},
                                        {TextLayout::Stored, CodePage::Cp866});
    EXPECT_EQ(std::vector<std::size_t>({raw.kept, raw.stored, raw.raw.count, raw.raw.first}),
              std::vector<std::size_t>({1, 2, 1, 3}));
}

// No record reads, in any layout or code page, as a line that
// fewest_record_bytes says needs more bytes than it has; the longest lines,
// space runs throughout, need just what they have.
TEST(TextMerge, CountsNoMoreBytesForALineThanAnyRecordOfItHas) {
    const std::string runs(254, '\x0F');
    const struct {
        std::string record;
        bool longest;  // as long as a record's text can be
    } cases[] = {
        {"\xFF" + runs, true},
        {"\xFF\"" + runs.substr(1), true},  // a string left open gains its quote
        {alasm_record(";" + std::string(253, '\xB0')), false},  // box drawing: 3 bytes of UTF-8 each
        {alasm_record("\"" + std::string(253, '\xE0')), false},
        {alasm_record("LOOP    {LD}   {A},{(HL)}  "), false},
        {alasm_record("     {NOP}{ }{ }"), false},
        {alasm_record("{DISPLAY}{(IX}+1),{(IY}+2)"), false},
        {kSpacedElse, false},
        {"\x01"s, false},
    };
    const MergeOptions options[] = {
        {}, {TextLayout::Tidy, std::nullopt}, {TextLayout::Stored, CodePage::Cp866}, {TextLayout::Tidy, CodePage::Koi8R}};
    for (const MergeOptions& written : options) {
        for (const auto& c : cases) {
            const StoredSource source{alasm_header("GAME"), {c.record}, false};
            const std::string line = stored_text(source, written).front();
            EXPECT_LE(fewest_record_bytes(line), c.record.size()) << line;
            if (c.longest && written.layout == TextLayout::Stored) {
                EXPECT_EQ(fewest_record_bytes(line), c.record.size()) << line;
            }
        }
    }
}

// A text far from its source, 8,000 lines with 6 of 7 changed: what is
// stored reads back as the text, and only the changed lines are stored anew.
TEST(TextMerge, StoresATextFarFromItsSourceAsGiven) {
    constexpr std::size_t kLines = 8000;
    std::string records;
    std::string edited;
    for (std::size_t i = 0; i < kLines; ++i) {
        const std::string label = "L" + std::to_string(i);
        records += alasm_record(label + "{NOP}");
        edited += alasm_record(label + (i % 7 == 0 ? "{NOP}" : "{RET}"));
    }
    const std::vector<std::string> text = stored_text(stored(data_of(edited + "\0"s)), {});
    const MergedSource merged = merge_text(stored(data_of(records + "\0"s)), text, {});
    ASSERT_FALSE(merged.failure.has_value());
    EXPECT_TRUE(stored_text(stored(merged.data), {}) == text);
    const std::size_t changed = kLines - (kLines + 6) / 7;
    EXPECT_EQ(std::vector<std::size_t>({merged.kept, merged.stored, merged.removed}),
              std::vector<std::size_t>({kLines - changed + 1, changed, changed}));  // + the final 0x00
}

TEST(TextMerge, RefusesWhatItCannotKeepOrStore) {
    // Sources it cannot read whole: where, and why.
    const struct {
        std::string data;
        std::size_t line;
        bool undefined;
    } unread[] = {
        {data_of(alasm_record("{NOP}") + "\x02\xE7\0"s), 2, true},
        {data_of(alasm_record("{NOP}") + "\x09;cut"), 2, false},
        {alasm_header("GAME").substr(0, 40), 1, false},
    };
    for (const auto& c : unread) {
        const ReadStored read = read_stored(byte_span(c.data), c.data.size());
        EXPECT_FALSE(read.source.has_value());
        EXPECT_EQ(read.problem.line, c.line);
        EXPECT_EQ(read.problem.undefined.has_value(), c.undefined);
    }
    // A last record may run past the data's length, into the bytes after it.
    const std::string past = data_of(alasm_record("; a comment"));
    EXPECT_EQ(read_stored(byte_span(past), past.size() - 4).source->records.size(), 1U);

    // Lines that cannot be stored: the first one, where, and why.
    const StoredSource source = stored(data_of(alasm_record("{NOP}") + "\0"s));
    const MergedSource frob =
        merge_text(source, {{"\tNOP\t", "\tFROB\t", "; €"}}, {TextLayout::Stored, CodePage::Cp866});
    ASSERT_TRUE(frob.failure.has_value());
    EXPECT_EQ(frob.failure->line, 2U);
    EXPECT_EQ(frob.failure->pack->problem, PackProblem::NoKeyword);
    const MergedSource euro = merge_text(source, {{"\tNOP\t", "; €"}}, {TextLayout::Stored, CodePage::Cp866});
    ASSERT_TRUE(euro.failure.has_value());
    EXPECT_EQ(std::make_pair(euro.failure->line, euro.failure->at),
              std::make_pair(std::size_t{2}, std::size_t{2}));
    EXPECT_FALSE(euro.failure->pack.has_value());
    EXPECT_TRUE(euro.data.empty());
}

}  // namespace
}  // namespace korve
