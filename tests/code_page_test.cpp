#include "base/code_page.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

#if __has_include(<iconv.h>)
#include <iconv.h>
#define KORVE_HAVE_ICONV 1
#endif

namespace korve {
namespace {

#ifdef KORVE_HAVE_ICONV
// `byte` read in `page` by the C library's iconv, in UTF-8; empty where it
// knows no character for it.
std::string iconv_utf8(const char* page, unsigned char byte) {
    const iconv_t convert = iconv_open("UTF-8", page);
    // iconv_open's failure is the pointer of the number -1.
    if (convert == reinterpret_cast<iconv_t>(-1)) {  // NOLINT(performance-no-int-to-ptr)
        return "?";
    }
    char in = static_cast<char>(byte);
    std::array<char, 8> out{};
    char* in_at = &in;
    char* out_at = out.data();
    std::size_t in_left = 1;
    std::size_t out_left = out.size();
    const bool done =
        iconv(convert, &in_at, &in_left, &out_at, &out_left) != static_cast<std::size_t>(-1);
    iconv_close(convert);
    return done ? std::string(out.data(), out_at) : std::string();
}
#endif

// Every byte of every page: the character iconv gives it, and back.
TEST(CodePage, ReadsEveryByteAsTheCLibraryDoesAndStoresItBack) {
    const struct {
        CodePage page;
        const char* name;
    } pages[] = {
        {CodePage::Cp866, "CP866"}, {CodePage::Cp1251, "CP1251"}, {CodePage::Koi8R, "KOI8-R"}};
    for (const auto& [page, name] : pages) {
        EXPECT_EQ(code_page_named(name), page);
        EXPECT_EQ(code_page_name(page), name);
        std::string all;
        for (int value = 0; value < 256; ++value) {
            const auto byte = static_cast<unsigned char>(value);
            all += static_cast<char>(byte);
            std::string utf8;
            append_utf8(utf8, page, std::string(1, static_cast<char>(byte)));
#ifdef KORVE_HAVE_ICONV
            const std::string expected = iconv_utf8(name, byte);
            // CP1251 leaves 0x98 unassigned; browsers read it as U+0098.
            EXPECT_EQ(utf8, expected.empty() && value == 0x98 ? "\xC2\x98" : expected)
                << name << " " << value;
#endif
            EXPECT_EQ(byte_of(page, character_of(page, byte)), byte) << name << " " << value;
        }
        std::string utf8;
        append_utf8(utf8, page, all);
        const Encoded back = encode_in(page, utf8);
        EXPECT_EQ(back.bytes, all) << name;
        EXPECT_FALSE(back.failed_at.has_value()) << name;
    }
    EXPECT_EQ(code_page_named("koi8-r"), CodePage::Koi8R);
    EXPECT_EQ(code_page_named("CP437"), std::nullopt);
    EXPECT_EQ(code_page_named("CP8666"), std::nullopt);
}

TEST(CodePage, DecodesOnlyValidUtf8) {
    const struct {
        std::string bytes;
        char32_t character;  // 0: invalid
        std::size_t size;
    } cases[] = {
        {"A", 'A', 1},
        {"\xC3\xA9", 0xE9, 2},
        {"\xD0\xB9", 0x439, 2},
        {"\xE2\x82\xAC", 0x20AC, 3},
        {"\xF0\x9F\x98\x80", 0x1F600, 4},
        {"\xF4\x8F\xBF\xBF", 0x10FFFF, 4},
        {"\xC0\x80", 0, 0},          // the long form of U+0000
        {"\xE0\x9F\xBF", 0, 0},      // U+07FF in three bytes
        {"\xED\xA0\x80", 0, 0},      // a surrogate
        {"\xF4\x90\x80\x80", 0, 0},  // past U+10FFFF
        {"\x80", 0, 0},              // a continuation byte first
        {"\xC3", 0, 0},              // cut short
        {"\xE2\x82"
         "A",
         0, 0},  // not continued
        {"\xF8\x88\x80\x80\x80", 0, 0},
    };
    for (const auto& c : cases) {
        const Utf8Character decoded = decode_utf8(c.bytes, 0);
        EXPECT_EQ(decoded.size, c.size) << c.bytes;
        if (c.size != 0) {
            EXPECT_EQ(decoded.character, c.character) << c.bytes;
            std::string again;
            append_utf8(again, decoded.character);
            EXPECT_EQ(again, c.bytes);
        }
    }
}

TEST(CodePage, SaysWhereTextCannotBeStored) {
    const struct {
        CodePage page;
        std::string text;
        std::optional<std::size_t> failed_at;
        TextPosition position;  // of the failure
    } cases[] = {
        {CodePage::Cp866, "LD A,1 ; привет", std::nullopt, {}},
        {CodePage::Cp866, "ok\n; пр€", 9, {2, 5}},  // CP866 has no euro sign
        {CodePage::Cp1251, "ok\n; пр€", std::nullopt, {}},
        {CodePage::Koi8R, "a\n\nb\xFF", 4, {3, 2}},  // no UTF-8
        {CodePage::Cp1251, "\xE2\x82", 0, {1, 1}},
    };
    for (const auto& c : cases) {
        const Encoded encoded = encode_in(c.page, c.text);
        EXPECT_EQ(encoded.failed_at, c.failed_at) << c.text;
        if (c.failed_at) {
            const TextPosition at = position_of(c.text, *c.failed_at);
            EXPECT_EQ(at.line, c.position.line) << c.text;
            EXPECT_EQ(at.column, c.position.column) << c.text;
        }
    }
}

}  // namespace
}  // namespace korve
