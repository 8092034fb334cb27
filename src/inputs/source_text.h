// What put and pack share: a text on its way back into ALASM data. Where its
// problems stand ("TEXT:LINE:COLUMN"), the TR-DOS name it is stored under
// (--name's, or its file's), why a character cannot be stored in a code
// page, why a translation is refused (only ALASM's own text goes back), and
// a text packed a line at a time, stopping where ALASM data would pass its
// 65,280 bytes. Nothing here prints: problems are values.
#pragma once

#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "alasm/alasm_pack.h"
#include "base/byte_reader.h"
#include "base/code_page.h"
#include "base/problem.h"
#include "formats/trdos_image.h"
#include "inputs/korvex_inputs.h"

namespace korve {

// Where a text's problem stands: "TEXT:LINE:COLUMN", or less where it has none.
std::string pack_place(const Source& source, std::size_t line, std::size_t column);

// Why the character at `at` of `line` cannot be stored in `page`.
std::string unstorable(std::string_view line, std::size_t at, CodePage page);

// Why a translation is refused, its heading (translation_heading) `heading`.
std::string translated_text_refused(std::string_view heading);

// The TR-DOS name and type --name gives: "NAME.T", or "NAME" of type H.
std::variant<TrdosName, Problem> given_trdos_name(const Source& source, const std::string& given);

// The TR-DOS name a text is stored under: `given` (--name's, its type left
// to the caller), or its file's.
std::variant<std::string, Problem> text_trdos_name(const std::optional<std::string>& given,
                                                   const Source& source);

// The TR-DOS name and type ("SCRUTIL.H") by which INCLUDE names the source
// of a text file of a folder, `name` being the file's name less ".asm": a
// file SCRUTIL.H.asm, SCRUTIL.$h.asm or scrutil.asm is what INCLUDE
// "SCRUTIL" names (include_file finds it in another case).
std::string text_include_key(const std::string& name);

// A text packed: its file, and what messages say of it.
struct PackedSourceText {
    TrdosFile file;
    std::size_t lines = 0;
    std::size_t rewritten = 0;  // lines that read back in korve's layout
    RawLines raw;               // lines stored as raw text
};

// What becomes of a translation korvex wrote: refused, as put and pack
// refuse it, or skipped with a note (severity Note, status 0), as a walk
// skips what holds no source.
enum class Translated : unsigned char { Refused, Skipped };

// Packs the text `input` holds under `name` (which text_trdos_name gave),
// its lines in `charset` where one is given, or says why it cannot be.
std::variant<PackedSourceText, Problem> pack_source_text(ByteReader& input, const Source& source,
                                            const std::string& name,
                                            const std::optional<CodePage>& charset,
                                            Translated translated = Translated::Refused);

}  // namespace korve
