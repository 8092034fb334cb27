#include "alasm/text_merge.h"

#include <variant>

#include "base/line_diff.h"
#include "base/little_endian.h"

namespace korve {
namespace {

constexpr char kEmptyRecord = 0x01;
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
        const DescribedLine line =
            laid_out(describe_record(byte_span(record).subspan(1), Reading::AsAlasm), options.layout);
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
    for (const LineEdit& edit : line_edits(before, text)) {
        switch (edit.kind) {
            case LineEdit::Kind::Keep:
                if (source.ends_with_zero && edit.old_line + 1 == source.records.size()) {
                    kept_end = records.size();
                }
                records.push_back(source.records[edit.old_line]);
                ++merged.kept;
                break;
            case LineEdit::Kind::Remove: ++merged.removed; break;
            case LineEdit::Kind::Add: {
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
                break;
            }
        }
    }
    if (source.ends_with_zero) {
        // The text's empty last line is the final 0x00; a kept 0x00 that no
        // longer ends the data reads as the empty line it shows.
        if (!text.empty() && text.back().empty()) {
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
