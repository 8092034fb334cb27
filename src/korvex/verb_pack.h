// `korvex pack`: text stored as ALASM data again, as ALASM's editor stores
// each line (alasm_pack.h), in the container the output's name calls for:
// a TR-DOS disk image, an SCL archive, a Hobeta file or bare data.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <variant>

#include "base/code_page.h"
#include "korvex/korvex_console.h"

namespace korve {

KorvexStatus run_pack(const KorvexRun& run);

// What put shares with pack: where an error stands ("TEXT:LINE:COLUMN", or
// less where it has none), why a character of a line cannot be stored in a
// code page, why a translated text is refused (its first line `heading`),
// and the TR-DOS name of a text (--name's, or its file's) or the status of
// why TR-DOS cannot take it, said.
std::string pack_place(const Source& source, std::size_t line, std::size_t column);
std::string unstorable(std::string_view line, std::size_t at, CodePage page);
std::string translated_text_refused(std::string_view heading);
std::variant<std::string, KorvexStatus> pack_name(const KorvexRun& run, const Source& source);

}  // namespace korve
