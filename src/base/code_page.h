// The code pages that ZX Spectrum sources were written in, and UTF-8.
//
// ALASM keeps text as bytes. Below 0x80 they are ASCII; from 0x80 up (in
// comments, strings and names) they are letters of whichever code page the
// author's machine used: CP866 (the usual one), CP1251 or KOI8-R. Each page
// gives every byte from 0x80 to 0xFF a character of its own (CP1251's
// unassigned 0x98 is U+0098, as browsers read it), so each is a one-to-one
// map of 256 bytes onto 256 characters: text read through a page and stored
// back through it gives the same bytes.
//
// UTF-8 writes a character as 1 to 4 bytes:
//
//   character          bytes
//   U+0000..U+007F     0xxxxxxx
//   U+0080..U+07FF     110xxxxx 10xxxxxx
//   U+0800..U+FFFF     1110xxxx 10xxxxxx 10xxxxxx (no surrogates, D800..DFFF)
//   U+10000..U+10FFFF  11110xxx 10xxxxxx 10xxxxxx 10xxxxxx
//
// and the shortest form is the only valid one.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace korve {

enum class CodePage : unsigned char { Cp866, Cp1251, Koi8R };

// The page a user names: "CP866", "CP1251" or "KOI8-R", in any case.
std::optional<CodePage> code_page_named(std::string_view name);
std::string_view code_page_name(CodePage page);

// The character of `byte` in `page`: ASCII below 0x80.
char32_t character_of(CodePage page, unsigned char byte);

// The byte of `character` in `page`; nothing where the page lacks it.
std::optional<unsigned char> byte_of(CodePage page, char32_t character);

// Bytes as stored, read through `page`, in UTF-8; appended to `text`.
void append_utf8(std::string& text, CodePage page, std::string_view bytes);

// One character in UTF-8, appended to `text`.
void append_utf8(std::string& text, char32_t character);

inline constexpr std::size_t kLongestUtf8 = 4;

// The character whose UTF-8 starts `at` in `text`, and how many bytes it
// takes; a size of 0 where the bytes there are no valid UTF-8.
struct Utf8Character {
    char32_t character = 0;
    std::size_t size = 0;
};
Utf8Character decode_utf8(std::string_view text, std::size_t at);

// UTF-8 text stored in a code page: its bytes, or where it cannot be: the
// offset of the first character the page lacks, or of the first bytes that
// are no UTF-8.
struct Encoded {
    std::string bytes;
    std::optional<std::size_t> failed_at;
};
Encoded encode_in(CodePage page, std::string_view utf8);

// Where an offset of UTF-8 text stands, as an editor shows it: its line and
// column, both counted from 1, a column in characters. Lines end in LF.
struct TextPosition {
    std::size_t line = 1;
    std::size_t column = 1;
};
TextPosition position_of(std::string_view utf8, std::size_t offset);

}  // namespace korve
