#include "alasm/alasm_packer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "base/little_endian.h"
#include "formats/container.h"
#include "korve_text.h"

namespace korve {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using testing::korve_text;

std::span<const unsigned char> bytes_of(std::string_view text) {
    return {reinterpret_cast<const unsigned char*>(text.data()), text.size()};
}

std::string record_of(const PackedLine& packed) {
    return {packed.bytes.begin(), packed.bytes.begin() + static_cast<std::ptrdiff_t>(packed.size)};
}

struct Line {
    std::string text;
    std::string record;      // the length byte, then the content
    std::string reads_back{};  // korvex's text of the record, when it is not `text`
};

TEST(AlasmPack, PacksLinesAsTheEditorStoresThem) {
    const std::string longest = ";" + std::string(253, 'x');
    const Line cases[] = {
        {"", "\x01"},
        // Korve's layout: the label as it stands, the mnemonic's byte for the
        // tabs and the word, operand keywords at the start and after a comma.
        {"LOOP\tLD\tA,(HL)", "\x09LOOP\xD4\xF5,\xA1"},
        {"X=5", "\x04X=5"},
        {"\t \t", "\x02\xFF"},
        // One space alone before the mnemonic: a run of one, as real
        // sources hold it (korvex reads FF 9F to the same text).
        {" \tELSE\t", "\x03\x01\x9F"},
        // Space runs, longest first, in the label part and the operands.
        {"_WINW           \tEQU\t#46", "\x0B_WINW\x0B\xCC#46"},
        {std::string(20, ' ') + "\tNOP\t", "\x04\x0F\x05\xA5"},
        {"\tLD\tA, B", "\x06\xD4\xF5,\x01\xEF"},
        // Trailing spaces after the mnemonic are one space token each; before
        // any token they are a run.
        {"\tAND\t    #80 ", "\x07\xB2\x04#80\xFF"},
        {"\tRET\t   ", "\x05\xB4\xFF\xFF\xFF"},
        {"LOOP  ", "\x06LOOP\x02"},
        // The longest operand word that ends where an operand may.
        {"\tEX\tAF,AF'", "\x05\xD9\xE3,\xD3"},
        {"\tLD\tA,(IX+5)", "\x08\xD4\xF5,\xD1+5)"},
        {"\tJP\t(IX)", "\x03\xD6\xA3"},
        {"\tLD\tA,B ;B", "\x08\xD4\xF5,\xEF\x01;B"},
        // Words that only begin with a keyword, and keywords that do not
        // follow a separator, stay letters; so does lower case.
        {"\tLD\tHL,LOOP", "\x08\xD4\xE2,LOOP"},
        {"\tJR\tNZ,HOURS", "\x09\xD5\xE7,HOURS"},
        {"\tLD\tA,L1+B", "\x08\xD4\xF5,L1+B"},
        {"\tLD\ta,b", "\x05\xD4" "a,b"},
        // Comments and strings are stored as they stand, spaces and bytes of
        // 0x80 and above included; from a ';' on, even in a string, no
        // keyword is stored.
        {";a  b  ", "\x08;a  b  "},
        {";\x8D\x8E \xFF", "\x06;\x8D\x8E \xFF"},
        {"\tDEFB\t\"a  b\",A", "\x0A\x97\"a  b\",\xF5"},
        {"\tDEFB\t\"\xC4\"", "\x05\x97\"\xC4\""},
        {"\tDEFB\t\";\",A", "\x07\x97\";\",A"},
        {";\"\"", "\x04;\"\""},
        {"\x7F", "\x02\x7F"},
        {longest, "\xFF" + longest},
        // A string left open is stored as typed; korve closes it.
        {"\tDEFB\t\"hi", "\x05\x97\"hi", "\tDEFB\t\"hi\""},
        // Typed lines: the label from column 0, the next word as the
        // mnemonic in any case, the blanks around it stored as nothing.
        {"LOOP djnz loop", "\x0ALOOP\x8Bloop", "LOOP\tDJNZ\tloop"},
        {"    ld a,(hl)", "\x05\xD4\xF5,\xA1", "\tLD\tA,(HL)"},
        {"  RET  ", "\x02\xB4", "\tRET\t"},
        {"  ld a,b  ", "\x07\xD4\xF5,\xEF\xFF\xFF", "\tLD\tA,B  "},
        {"\tld\ta,b", "\x05\xD4\xF5,\xEF", "\tLD\tA,B"},
        {"  RET;done", "\x07\xB4;done", "\tRET\t;done"},
        {"  FOO A", "\x07\x02" "FOO\x01" "A"},
        {"NOP", "\x04NOP"},
        {"LOOP ;LD A", "\x0BLOOP\x01;LD A"},
        // Other tabs are the spaces to the next multiple of 8 columns.
        {"LABEL:\t\tld\ta, b\t; x", "\x10LABEL:\xD4\xF5,\x01\xEF\x04; x", "LABEL:\tLD\tA, B    ; x"},
        {"X\t= 5", "\x06X\x07=\x01" "5", "X       = 5"},
        {"\tDEFB\t\"a\tb\"", "\x0C\x97\"a      b\"", "\tDEFB\t\"a      b\""},
        // A byte ALASM would read as a keyword outside strings and comments:
        // raw text after 0x10, from that byte in korve's operand part, else
        // from the first character that is no blank, a typed mnemonic (ld,
        // LD) included, spaces as 0x20 and tabs expanded as in comments.
        {"\tLD\tA, \xF5", "\x07\xD4\xF5,\x01\x10\xF5"},
        {" \xDC\xDB", "\x05\x01\x10\xDC\xDB"},
        {"\xC4:  ld a,b", "\x0C\x10\xC4:  ld a,b"},
        {"  LD \xE0 \"x", "\x0A\x02\x10LD \xE0 \"x", "  LD \xE0 \"x\""},
        {"\xC4\tX", "\x0B\x10\xC4       X", "\xC4       X"},
    };
    for (const auto& c : cases) {
        const PackedLine packed = pack_line(c.text);
        ASSERT_FALSE(packed.error.has_value()) << ::testing::PrintToString(c.text);
        EXPECT_EQ(record_of(packed), c.record) << ::testing::PrintToString(c.text);
        EXPECT_EQ(packed.rewritten, !c.reads_back.empty()) << ::testing::PrintToString(c.text);
        EXPECT_EQ(packed.raw, c.record.find('\x10', 1) != std::string::npos) << ::testing::PrintToString(c.text);
        const auto content = std::span(packed.bytes).subspan(1, packed.size - 1);
        EXPECT_EQ(describe_record(content, Reading::AsAlasm).text,
                  c.reads_back.empty() ? c.text : c.reads_back);
    }
}

struct Refusal {
    std::string text;
    PackProblem problem;
    std::size_t column;
    std::string reason;
};

TEST(AlasmPack, RefusesWhatALineCannotStore) {
    const Refusal cases[] = {
        {";" + std::string(254, 'x'), PackProblem::RecordTooLong, 255,
         "the line does not fit in a record: ALASM stores at most 254 bytes of a line"},
        {"\tLDX\tA", PackProblem::NoKeyword, 2,
         "'LDX' between the tabs is no mnemonic or directive of ALASM"},
        {"\tLD\tA\rB", PackProblem::ControlByte, 6, "the control byte 0x0D cannot be stored"},
        {";\x10", PackProblem::ControlByte, 2, "the control byte 0x10 cannot be stored"},
        // Raw text before korve's tabs would lose the mnemonic; an unknown
        // word between them is no mnemonic, raw text after it or not.
        {"\xC4\tLD\tA,B", PackProblem::UnknownCharacter, 1,
         "the byte 0xC4 cannot stand outside a string or comment: ALASM would read it as a keyword"},
        {"\tLDX\t\xC4", PackProblem::NoKeyword, 2,
         "'LDX' between the tabs is no mnemonic or directive of ALASM"},
    };
    for (const auto& c : cases) {
        const PackedLine packed = pack_line(c.text);
        ASSERT_TRUE(packed.error.has_value()) << ::testing::PrintToString(c.text);
        EXPECT_EQ(packed.error->problem, c.problem) << ::testing::PrintToString(c.text);
        EXPECT_EQ(packed.error->column, c.column) << ::testing::PrintToString(c.text);
        EXPECT_EQ(pack_problem_text(*packed.error), c.reason);
    }
}

PackedText pack(std::string_view text, std::string_view name = "GREET") {
    ByteReader input(bytes_of(text));
    return pack_text(input, name);
}

const std::string kGreetHeader = "GREET   H"s + std::string(24, '\0');
const std::string kHeaderTail = "\x40\xC0\x00\x00\x00\xF3\x76\xC7\xDD\xFD\xED\xB0\xD9"s +
                                std::string(16, '\0');

TEST(AlasmPack, WritesTheHeaderTheRecordsAndTheFinalZero) {
    struct Text {
        std::string text;
        std::string records;
    };
    const Text cases[] = {
        // korve's text ends in an empty line, the final 0x00; other text
        // gets it all the same.
        {"A\n\n", "\x02" "A\0"s},
        {"A\n", "\x02" "A\0"s},
        {"A", "\x02" "A\0"s},
        {"A\r\n\r\n", "\x02" "A\0"s},
        {"\n\nA\n\n\n", "\x01\x01\x02" "A\x01\0"s},
        {"", "\0"s},
        {"\n", "\0"s},
    };
    for (const auto& c : cases) {
        const PackedText packed = pack(c.text);
        ASSERT_FALSE(packed.error.has_value());
        const std::string length{static_cast<char>(c.records.size()), '\0'};
        EXPECT_EQ(packed.data, kGreetHeader + length + kHeaderTail + c.records)
            << ::testing::PrintToString(c.text);
    }
}

// A source made as ALASM's help is: lines of raw text (CP866), one after an
// instruction, a comment, an empty line. Its text packs back to its bytes,
// the raw lines counted for the one warning a text gets.
TEST(AlasmPack, GivesBackRawTextByteForByte) {
    const std::string records = "\x0A\x01\x10\x91\xAF\xE0\xA0\xA2\xAA\xA0"  // " Справка"
                                "\x01"
                                "\x16\x02\x10LD A,(HL)  \xA7\xA0\xA3\xE0\xE3\xA7\xAA\xA0"
                                "\x07\xA2" "1,\x10\xDC\xDB"  // DB 1, then raw text
                                "\x04; \xAA"
                                "\0"s;
    const std::string length{static_cast<char>(records.size()), '\0'};
    const std::string data = kGreetHeader + length + kHeaderTail + records;
    const auto text = korve_text(data);
    ASSERT_EQ(text.outcome, Outcome::Converted);
    EXPECT_EQ(text.text.substr(0, 14), " \x91\xAF\xE0\xA0\xA2\xAA\xA0\n\n  LD");
    const PackedText packed = pack(text.text);
    ASSERT_FALSE(packed.error.has_value());
    EXPECT_EQ(packed.data, data);
    EXPECT_EQ(packed.rewritten_lines, 0U);
    EXPECT_EQ(std::make_pair(packed.raw_lines.count, packed.raw_lines.first),
              std::make_pair(std::size_t{3}, std::size_t{1}));
    EXPECT_EQ(raw_lines_text(packed.raw_lines),
              "3 lines, this the first, hold a byte ALASM would read as a keyword outside strings and "
              "comments: they are stored as raw text after the raw-rest marker 0x10, which reads back "
              "as it stands");
}

TEST(AlasmPack, RefusesLongLinesAndLargeSources) {
    std::string too_long(kLongestTextLine + 1, ' ');
    const PackedText cut = pack("\n" + too_long + "\n");
    ASSERT_TRUE(cut.error.has_value());
    EXPECT_EQ(*cut.error, (PackError{PackProblem::LineTooLong, 2, kLongestTextLine + 1, 0, {}}));
    too_long.pop_back();  // one that is read whole, and packs too long
    EXPECT_EQ(pack(too_long + "\r\n").error->problem, PackProblem::RecordTooLong);

    // 64 header bytes, 255 records of 255 bytes and the final zero fit in
    // 255 sectors; one record more does not.
    const std::string line = ";" + std::string(253, 'x') + "\n";
    std::string lines;
    for (int i = 0; i < 255; ++i) {
        lines += line;
    }
    EXPECT_FALSE(pack(lines).error.has_value());
    const PackedText large = pack(lines + line);
    ASSERT_TRUE(large.error.has_value());
    EXPECT_EQ(*large.error, (PackError{PackProblem::SourceTooLarge, 256, 0, 0, {}}));
    EXPECT_EQ(pack_problem_text(*large.error),
              "the source needs more than 65280 bytes, the 255 sectors of the largest TR-DOS file");
}

// Real files, where a folder of them sits beside the checkout.
std::string read_file(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

// The ALASM data a real file holds, bare or behind its Hobeta header.
std::string alasm_data(const std::string& file) {
    const auto kind = recognise_input(bytes_of(file).first(std::min(file.size(), kRecognisedBytes)));
    if (kind != InputKind::HobetaAlasm) {
        return file;
    }
    return file.substr(kHobetaHeaderSize, read_hobeta_header(bytes_of(file)).length);
}

std::vector<std::string> records_of(std::string_view data) {
    std::vector<std::string> records;
    for (std::size_t at = kAlasmHeaderSize; at < data.size();) {
        const std::size_t size = record_size(static_cast<unsigned char>(data[at]));
        records.emplace_back(data.substr(at, size));
        at += size;
    }
    return records;
}

TEST(AlasmPack, GivesBackTheRecordsOfRealFiles) {
    const fs::path real = fs::path(KORVE_CORPUS_DIR) / "real";
    if (!fs::is_directory(real)) {
        GTEST_SKIP() << "no real files in " << real;
    }
    std::size_t files = 0;
    std::size_t records = 0;
    std::set<std::string> sources;
    for (const auto& item : fs::recursive_directory_iterator(real)) {
        const fs::path relative = fs::relative(item.path(), real);
        if (!item.is_regular_file() || *relative.begin() == "odd" || relative == "MANIFEST.tsv") {
            continue;
        }
        SCOPED_TRACE(relative.string());
        const std::string original = alasm_data(read_file(item.path()));
        const auto text = korve_text(original);
        ASSERT_EQ(text.outcome, Outcome::Converted);
        std::string name = original.substr(0, kAlasmNameSize);
        name.erase(name.find_last_not_of(' ') + 1);
        const PackedText packed = pack(text.text, name);
        ASSERT_FALSE(packed.error.has_value()) << pack_problem_text(*packed.error) << " at line "
                                               << packed.error->line;
        EXPECT_EQ(korve_text(packed.data).text, text.text);

        // Identical records, but for a string or comment whose odd quote
        // korve closed: its record gains that quote.
        const auto want = records_of(original);
        const auto got = records_of(packed.data);
        ASSERT_EQ(got.size(), want.size());
        std::size_t quoted = 0;
        for (std::size_t i = 0; i < want.size(); ++i) {
            if (got[i] != want[i]) {
                std::string closed = want[i] + '"';
                closed[0] = static_cast<char>(closed[0] + 1);
                EXPECT_EQ(got[i], closed) << "record " << i;
                ++quoted;
            }
        }
        EXPECT_EQ(quoted, item.path().stem() == "define" ? 2U : 0U);

        // The header too, but for where the editor's cursor stood (and the
        // length of the quotes added).
        std::string header = original.substr(0, kAlasmHeaderSize);
        const auto length = read_little_endian(bytes_of(header), kAlasmRecordsLengthOffset, 2);
        ASSERT_EQ(length, original.size() - kAlasmHeaderSize);
        write_little_endian(std::span(reinterpret_cast<unsigned char*>(header.data()), header.size()),
                            kAlasmRecordsLengthOffset, 2, static_cast<std::uint32_t>(length + quoted));
        header.replace(kAlasmCursorOffset, 4, "\x40\xC0\x00\x00"s);
        EXPECT_EQ(packed.data.substr(0, kAlasmHeaderSize), header);
        ++files;
        records += want.size();
        sources.insert(original);
    }
    EXPECT_GT(files, 0U);
    std::printf("packed %zu real files (%zu sources), %zu records\n", files, sources.size(), records);
}

// Each real disk image, its sources turned to text and packed again onto a
// new disk and into a new archive, gives back every source with its text.
TEST(AlasmPack, GivesBackTheSourcesOfRealImages) {
    const fs::path images = fs::path(KORVE_CORPUS_DIR) / "images";
    if (!fs::is_directory(images)) {
        GTEST_SKIP() << "no images in " << images;
    }
    std::size_t sources = 0;
    for (const auto& item : fs::directory_iterator(images)) {
        const std::string image = read_file(item.path());
        const DiskImage disk = read_disk_image(bytes_of(image));
        if (disk.problem == ImageProblem::NotAnImage) {
            continue;
        }
        SCOPED_TRACE(item.path().filename().string());
        EXPECT_EQ(disk.problem, ImageProblem::None);
        std::vector<std::string> texts;
        std::vector<TrdosFile> files;
        for (const CatalogueEntry& entry : live_entries(disk)) {
            if (!entry.alasm) {
                continue;
            }
            texts.push_back(korve_text(hobeta_file(hobeta_header_of(entry), file_sectors(bytes_of(image), entry))).text);
            const PackedText packed = pack(texts.back(), name_bytes(entry.name));
            ASSERT_FALSE(packed.error.has_value()) << shown_name(entry.name);
            files.push_back({.name = trdos_name(name_bytes(entry.name), kAlasmType), .data = packed.data});
        }
        const WrittenImage trd = write_trd_image(files, item.path().stem().string());
        const WrittenImage scl = write_scl_archive(files);
        for (const WrittenImage* written : {&trd, &scl}) {
            ASSERT_EQ(written->problem, WriteProblem::None);
            const DiskImage again = read_disk_image(bytes_of(written->bytes));
            EXPECT_EQ(again.problem, ImageProblem::None);
            ASSERT_EQ(again.entries.size(), files.size());
            for (std::size_t i = 0; i < files.size(); ++i) {
                const CatalogueEntry& entry = again.entries[i];
                EXPECT_EQ(shown_name(entry.name), shown_name(files[i].name));
                const auto sectors = file_sectors(bytes_of(written->bytes), entry);
                EXPECT_EQ(korve_text(hobeta_file(hobeta_header_of(entry), sectors)).text, texts[i])
                    << shown_name(files[i].name);
            }
        }
        sources += files.size();
    }
    EXPECT_GT(sources, 0U);
}

}  // namespace
}  // namespace korve
