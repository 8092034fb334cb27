#include "alasm/text_merge.h"

#include <variant>

#include "alasm/alasm_packer.h"
#include "base/line_diff.h"
#include "base/little_endian.h"

namespace korve {
namespace {

constexpr char kEmptyRecord = 0x01;
constexpr char kSpace = ' ';
constexpr char kTab = '\t';
constexpr char kEndOfData = 0x00;
constexpr std::size_t kRecordsLengthSize = 2;

// A line's record as pack stores it, after the code page's encoding; or why
// it cannot be stored. `number` counts from 1.
std::variant<PackedLine, MergeFailure> pack_one(const std::string& line, std::size_t number,
                                                const std::optional<CodePage>& charset) {
    std::string encoded;
    std::string_view bytes = line;
    if (charset) {
        Encoded result = encode_in(*charset, line);
        if (result.failed_at) {
            return MergeFailure{number, std::nullopt, *result.failed_at};
        }
        encoded = std::move(result.bytes);
        bytes = encoded;
    }
    const PackedLine packed = pack_line(bytes);
    if (packed.error) {
        PackError error = *packed.error;
        error.line = number;
        return MergeFailure{number, error, 0};
    }
    return packed;
}

MergedSource failed(MergeFailure failure) {
    MergedSource merged;
    merged.failure = std::move(failure);
    return merged;
}

constexpr bool is_blank(char c) { return c == kSpace || c == kTab; }

std::string_view without_trailing_blanks(std::string_view text) {
    while (!text.empty() && is_blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// A record's line as the layout lays it out, in its parts.
DescribedLine described(const std::string& record, TextLayout layout) {
    return laid_out(describe_record(byte_span(record).subspan(1), Reading::AsAlasm), layout);
}

// What the comparison matches lines by: the line without the blank space
// that ends it, each run of blank space in code (outside strings and
// comments) one tab. Lines that differ only in blank space an editor tidies
// match; so may a few others (raw text reads as code here), which
// differs_in_blank_only tells apart.
std::string folded_blanks(std::string_view line) {
    line = without_trailing_blanks(line);
    std::string folded;
    folded.reserve(line.size());
    TextContext context = TextContext::Code;
    for (std::size_t at = 0; at < line.size();) {
        if (context == TextContext::Code && is_blank(line[at])) {
            folded += kTab;
            while (at < line.size() && is_blank(line[at])) {
                ++at;
            }
            continue;
        }
        context = context_after(context, line[at]);
        folded += line[at++];
    }
    return folded;
}

std::vector<std::string> folded_lines(std::span<const std::string> lines) {
    std::vector<std::string> folded;
    folded.reserve(lines.size());
    for (const std::string& line : lines) {
        folded.push_back(folded_blanks(line));
    }
    return folded;
}

// Whether `line` (in the record's bytes) differs from `stored`, a record's
// line, only in blank space that tidying changes: a run of blank space that
// separates two parts of the line outside strings and comments (the
// record's parts say where they are) may be any other run, and blank space
// may end the line or not, a comment's too. Every other character stands as
// it was: a run is never added or dropped but at the end, since a line that
// starts with blank space has no label, and blank space inside a string or
// a comment is the text's own.
bool differs_in_blank_only(const DescribedLine& stored, std::string_view line) {
    const std::string_view text = without_trailing_blanks(stored.text);
    line = without_trailing_blanks(line);
    std::string foldable(text.size(), 0);
    for (const LinePiece& piece : stored.pieces) {
        const bool own = piece.part == LinePart::String || piece.part == LinePart::Comment;
        for (std::size_t at = piece.begin; at < piece.begin + piece.size && at < text.size(); ++at) {
            foldable[at] = !own && is_blank(text[at]) ? 1 : 0;
        }
    }
    std::size_t at = 0;
    for (std::size_t i = 0; i < text.size();) {
        if (foldable[i] == 0) {
            if (at == line.size() || line[at] != text[i]) {
                return false;
            }
            ++i;
            ++at;
            continue;
        }
        if (at == line.size() || !is_blank(line[at])) {
            return false;
        }
        while (i < text.size() && foldable[i] != 0) {
            ++i;
        }
        while (at < line.size() && is_blank(line[at])) {
            ++at;
        }
    }
    return at == line.size();
}

// Whether a line of the text, which matched a record's line but for blank
// space, is that line tidied: in the record's bytes, only blank space apart.
bool tidied_from(const std::string& record, const std::string& line, const MergeOptions& options) {
    if (!options.charset) {
        return differs_in_blank_only(described(record, options.layout), line);
    }
    const Encoded encoded = encode_in(*options.charset, line);
    return !encoded.failed_at && differs_in_blank_only(described(record, options.layout), encoded.bytes);
}

}  // namespace

ReadStored read_stored(std::span<const unsigned char> bytes, std::size_t length) {
    constexpr std::size_t kFirstLine = 1;
    if (bytes.size() < kAlasmHeaderSize) {
        return {std::nullopt, {kFirstLine, std::nullopt}};
    }
    StoredSource source;
    source.header.assign(bytes.begin(), bytes.begin() + kAlasmHeaderSize);
    // The first record is read even where the header takes the whole
    // length; then records while the length lasts and the bytes go on.
    std::size_t at = kAlasmHeaderSize;
    unsigned char last_length = 0;
    do {
        const std::size_t line = source.records.size() + 1;
        if (at >= bytes.size() || at + record_size(bytes[at]) > bytes.size()) {
            return {std::nullopt, {line, std::nullopt}};
        }
        last_length = bytes[at];
        const std::span<const unsigned char> record = bytes.subspan(at, record_size(last_length));
        if (const auto undefined = find_undefined_token(record.subspan(1), Reading::AsAlasm)) {
            return {std::nullopt, {line, undefined}};
        }
        source.records.emplace_back(record.begin(), record.end());
        at += record.size();
    } while (at < length && at < bytes.size());
    if (at < length) {
        return {std::nullopt, {source.records.size(), std::nullopt, length - at}};
    }
    source.ends_with_zero = last_length == static_cast<unsigned char>(kEndOfData);
    return {std::move(source), {}};
}

std::vector<std::string> stored_text(const StoredSource& source, const MergeOptions& options) {
    std::vector<std::string> lines;
    lines.reserve(source.records.size());
    for (const std::string& record : source.records) {
        const DescribedLine line = described(record, options.layout);
        if (options.charset) {
            std::string text;
            append_utf8(text, *options.charset, line.text);
            lines.push_back(std::move(text));
        } else {
            lines.push_back(line.text);
        }
    }
    return lines;
}

std::size_t fewest_record_bytes(std::string_view line) {
    static_assert(kLongestUtf8 <= kLongestSpaceRun && kLongestKeyword + 2 <= kLongestSpaceRun);
    const std::size_t characters = line.empty() ? 0 : line.size() - 1;
    return 1 + (characters + kLongestSpaceRun - 1) / kLongestSpaceRun;
}

MergedSource merge_text(const StoredSource& source, std::span<const std::string> text,
                        const MergeOptions& options) {
    const std::vector<std::string> before = stored_text(source, options);
    MergedSource merged;
    std::vector<std::string> records;
    records.reserve(text.size() + 1);
    // Where the final 0x00 of the source went, if it was kept.
    std::optional<std::size_t> kept_end;
    // Lines are matched with their blank space folded, so that a line an
    // editor only tidied keeps its record as an unchanged one does.
    for (const LineEdit& edit : line_edits(folded_lines(before), folded_lines(text))) {
        const bool kept = edit.kind == LineEdit::Kind::Keep &&
                          (before[edit.old_line] == text[edit.new_line] ||
                           tidied_from(source.records[edit.old_line], text[edit.new_line], options));
        if (kept) {
            if (source.ends_with_zero && edit.old_line + 1 == source.records.size()) {
                kept_end = records.size();
            }
            records.push_back(source.records[edit.old_line]);
            ++merged.kept;
            merged.tidied += before[edit.old_line] == text[edit.new_line] ? 0 : 1;
            continue;
        }
        if (edit.kind != LineEdit::Kind::Add) {
            ++merged.removed;
        }
        if (edit.kind != LineEdit::Kind::Remove) {
            auto packed = pack_one(text[edit.new_line], edit.new_line + 1, options.charset);
            if (auto* failure = std::get_if<MergeFailure>(&packed)) {
                return failed(std::move(*failure));
            }
            const PackedLine& line = std::get<PackedLine>(packed);
            records.emplace_back(line.bytes.begin(), line.bytes.begin() + static_cast<std::ptrdiff_t>(line.size));
            ++merged.stored;
            merged.rewritten += line.rewritten ? 1 : 0;
            if (line.raw) {
                merged.raw.add(edit.new_line + 1);
            }
        }
    }
    if (source.ends_with_zero) {
        // The text's empty last line is the final 0x00 (a kept 0x00 last, its
        // line held only blank space); a kept 0x00 that no longer ends the
        // data reads as the empty line it shows.
        if (!text.empty() && (text.back().empty() || kept_end == records.size() - 1)) {
            records.pop_back();
        }
        if (kept_end && *kept_end < records.size()) {
            records[*kept_end] = std::string(1, kEmptyRecord);
        }
        records.emplace_back(1, kEndOfData);
    }
    std::string& data = merged.data;
    data = source.header;
    for (const std::string& record : records) {
        data += record;
    }
    if (data.size() > kLargestAlasmData) {
        return failed({text.size(), PackError{PackProblem::SourceTooLarge, text.size(), 0, 0, {}}, 0});
    }
    // Text that holds every line as it was leaves the data as it was, even
    // a header whose records' length is wrong.
    merged.unchanged = merged.stored == 0 && merged.removed == 0;
    if (!merged.unchanged) {
        write_little_endian(writable_bytes(data), kAlasmRecordsLengthOffset, kRecordsLengthSize,
                            static_cast<std::uint32_t>(data.size() - kAlasmHeaderSize));
    }
    return merged;
}

MergedSource pack_lines(std::string_view name, std::span<const std::string> text,
                        const std::optional<CodePage>& charset) {
    AlasmPacker packer(name);
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::string encoded = text[i];
        if (charset) {
            Encoded result = encode_in(*charset, text[i]);
            if (result.failed_at) {
                return failed({i + 1, std::nullopt, *result.failed_at});
            }
            encoded = std::move(result.bytes);
        }
        if (const auto error = packer.add_line(encoded)) {
            return failed({error->line, error, 0});
        }
    }
    if (const auto error = packer.finish()) {
        return failed({error->line, error, 0});
    }
    MergedSource merged;
    merged.data = packer.data();
    merged.stored = packer.lines();
    merged.rewritten = packer.rewritten_lines();
    merged.raw = packer.raw_lines();
    return merged;
}

}  // namespace korve
