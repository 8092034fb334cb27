#include "formats/alasm_source.h"

#include <algorithm>

namespace korve {

SourceHead read_source_head(ByteReader& input, const AlasmPlace& place) {
    const AlasmSetUp set_up = set_up_alasm(place, input);
    SourceHead head;
    head.checksum_matches = set_up.checksum_matches;
    head.header_size = static_cast<std::int64_t>(input.look(kAlasmHeaderSize).size());
    head.name = read_alasm_name(input);
    head.records_length = set_up.length - static_cast<std::int64_t>(kAlasmHeaderSize);
    head.measured = set_up.length != kToEndOfInput;
    return head;
}

std::span<const unsigned char> AlasmSource::record(std::size_t index) const {
    const std::size_t begin = index == 0 ? 0 : ends[index - 1];
    return std::span(records).subspan(begin, ends[index] - begin);
}

void AlasmSource::add(std::span<const unsigned char> content) {
    records.insert(records.end(), content.begin(), content.end());
    ends.push_back(static_cast<std::uint32_t>(records.size()));
}

namespace {

// Real sources take more bytes a line than this (spaces are one byte a run,
// keywords one byte each), so that room for this many lines seldom grows.
constexpr std::size_t kFewBytesALine = 6;

// Room for the records, reserved once where their size is known before
// they are read (a header's length, a file's size): grown a record at a
// time, a source of megabytes would be copied into fresh memory over and
// over.
void reserve_room(AlasmSource& source, const ByteReader& input) {
    const SourceHead& head = source.head;
    const std::size_t expected =
        head.measured ? static_cast<std::size_t>(std::max<std::int64_t>(head.records_length, 0))
                      : input.size_hint();
    const std::size_t bytes = std::min(expected, kLargestSource);
    source.records.reserve(bytes);
    source.ends.reserve(bytes / kFewBytesALine + 1);
}

}  // namespace

AlasmSource read_source(ByteReader& input, const AlasmPlace& place, Reading reading) {
    AlasmSource source;
    source.reading = reading;
    source.head = read_source_head(input, place);
    reserve_room(source, input);
    SourceEnd& end = source.end;
    end.data_size = source.head.header_size;
    RecordBudget budget(source.head);
    bool more = true;
    while (more) {
        const TakenRecord record = take_record(input);
        end.data_size += static_cast<std::int64_t>(record.record_size - record.missing);
        if (source.records.size() + record.content.size() > kLargestSource) {
            end.read_error = std::make_error_code(std::errc::file_too_large);
            break;
        }
        end.undefined = find_undefined_token(record.content, reading);
        if (end.undefined) {
            break;
        }
        source.add(record.content);
        ++end.lines;
        if (record.missing > 0) {
            end.cut_line = end.lines;
        }
        more = budget.more_after(record.record_size, input);
        if (!more) {
            end.short_by = budget.short_by(input);
        }
    }
    if (!end.read_error) {
        end.read_error = input.error();
    }
    return source;
}

}  // namespace korve
