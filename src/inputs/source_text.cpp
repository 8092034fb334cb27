#include "inputs/source_text.h"

#include <algorithm>
#include <utility>

#include "alasm/alasm_packer.h"
#include "alasm/text_lines.h"
#include "base/byte_reader.h"
#include "base/hex_digits.h"
#include "files/output.h"
#include "files/output_names.h"
#include "translation/translation_project.h"

namespace korve {

std::string pack_place(const Source& source, std::size_t line, std::size_t column) {
    return where_shown(Where{source.shown, {}, line, column});
}

std::string unstorable(std::string_view line, std::size_t at, CodePage page) {
    const Utf8Character found = decode_utf8(line, at);
    if (found.size == 0) {
        return "the bytes here are no UTF-8";
    }
    return "'" + std::string(line.substr(at, found.size)) + "' (U+" + hex_digits(found.character, 4) +
           ") has no byte in " + std::string(code_page_name(page));
}

namespace {

// "sjasmplus", of a translation's heading.
std::string_view translated_for(std::string_view heading) {
    const std::string_view rest = heading.substr(kTranslatedMark.size());
    return rest.substr(0, rest.find(':'));
}

}  // namespace

std::string translated_text_refused(std::string_view heading) {
    return "korvex translated this text for " + std::string(translated_for(heading)) +
           ": only ALASM's own text goes back, as korvex text writes it without --dialect";
}

std::string text_include_key(const std::string& name) {
    const auto stem = trdos_name_of(name);
    return include_key(stem ? *stem : name);
}

std::variant<TrdosName, Problem> given_trdos_name(const Source& source, const std::string& given) {
    const auto refused = [&](std::string why) {
        return Problem{Severity::Error, {source.shown, {}, 0, 0}, std::move(why), Status::NotAllConverted};
    };
    Encoded bytes = encode_in(CodePage::Cp866, given);
    if (bytes.failed_at) {
        return refused("the name " + given + " holds a character TR-DOS names cannot (they are CP866)");
    }
    std::string name = std::move(bytes.bytes);
    auto type = static_cast<unsigned char>(kAlasmType);
    const std::size_t dot = name.size() - std::min<std::size_t>(name.size(), 2);
    if (name.size() > 2 && name[dot] == '.') {
        type = static_cast<unsigned char>(name.back());
        name.resize(dot);
    }
    if (const NameProblem problem = check_trdos_name(name); problem != NameProblem::None) {
        return refused(name_problem_text(problem) + " (from " + given + ")");
    }
    return trdos_name(name, type);
}

std::variant<std::string, Problem> text_trdos_name(const std::optional<std::string>& given,
                                                   const Source& source) {
    if (given) {
        auto named = given_trdos_name(source, *given);
        if (auto* failed = std::get_if<Problem>(&named)) {
            return std::move(*failed);
        }
        return name_bytes(std::get<TrdosName>(named));
    }
    const std::optional<std::string> name = trdos_name_of(source.name);
    if (!name) {
        return Problem{Severity::Error, {source.shown, {}, 0, 0},
                       "the name " + source.name + " holds a character TR-DOS names cannot (they are CP866)",
                       Status::NotAllConverted};
    }
    if (const NameProblem problem = check_trdos_name(*name); problem != NameProblem::None) {
        return Problem{Severity::Error, {source.shown, {}, 0, 0},
                       name_problem_text(problem) + " (from " + source.name + "); give one with --name",
                       Status::NotAllConverted};
    }
    return *name;
}

std::variant<PackedSourceText, Problem> pack_source_text(ByteReader& input, const Source& source,
                                            const std::string& name,
                                            const std::optional<CodePage>& charset,
                                            Translated translated) {
    const auto failed = [&](std::size_t line, std::size_t column, std::string text) {
        return Problem{Severity::Error, {source.shown, {}, line, column}, std::move(text),
                       Status::NotAllConverted};
    };
    TextLineReader lines(input);
    AlasmPacker packer(name);
    std::string stored;
    std::optional<PackError> error;
    while (const auto line = lines.next()) {
        std::string_view text = line->text;
        const std::string_view heading = packer.lines() == 0 ? translation_heading(text) : std::string_view();
        if (!heading.empty() && translated == Translated::Skipped) {
            return Problem{Severity::Note, {source.shown, {}, 0, 0},
                           "skipped: korvex's translation for " + std::string(translated_for(heading)) +
                               ", not ALASM text",
                           Status::Converted};
        }
        if (!heading.empty()) {
            return failed(1, 0, translated_text_refused(heading));
        }
        if (charset && line->whole) {
            Encoded encoded = encode_in(*charset, line->text);
            if (encoded.failed_at) {
                const std::size_t column = position_of(line->text, *encoded.failed_at).column;
                return failed(packer.lines() + 1, column, unstorable(line->text, *encoded.failed_at, *charset));
            }
            stored = std::move(encoded.bytes);
            text = stored;
        }
        if ((error = packer.add_line(text, line->whole))) {
            break;
        }
    }
    if (input.failed()) {
        return Problem{Severity::Error, {source.shown, {}, 0, 0}, "reading failed: " + reason(input.error()),
                       Status::Trouble};
    }
    if (error || (error = packer.finish())) {
        return failed(error->line, error->column, pack_problem_text(*error));
    }
    return PackedSourceText{{trdos_name(name, static_cast<unsigned char>(kAlasmType)), 0, packer.data()},
                      packer.lines(),
                      packer.rewritten_lines(), packer.raw_lines()};
}

}  // namespace korve
