#include "alasm/alasm_packer.h"

#include <algorithm>
#include <cstdint>

#include "alasm/text_lines.h"
#include "base/little_endian.h"
#include "formats/alasm_lines.h"

namespace korve {
namespace {

constexpr char kSpace = ' ';
constexpr unsigned char kEmptyRecord = 0x01;
constexpr unsigned char kEndOfData = 0x00;
constexpr std::size_t kRecordsLengthSize = 2;
constexpr std::size_t kCursorSize = 2;
// The editor's cursor on the first line: where ALASM's editor keeps its
// text, past the data's header.
constexpr std::size_t kCursorAtFirstLine = kAlasmEditorBase + kAlasmHeaderSize;

}  // namespace

AlasmPacker::AlasmPacker(std::string_view name) : data_(kAlasmHeaderSize, '\0') {
    data_.replace(0, kAlasmNameSize, kAlasmNameSize, kSpace);
    data_.replace(0, std::min(name.size(), kAlasmNameSize), name.substr(0, kAlasmNameSize));
    data_[kAlasmTypeOffset] = kAlasmType;
    write_little_endian(writable_bytes(data_), kAlasmCursorOffset, kCursorSize, kCursorAtFirstLine);
    std::copy(kAlasmSignature.begin(), kAlasmSignature.end(),
              data_.begin() + static_cast<std::ptrdiff_t>(kAlasmSignatureOffset));
    static_assert(kAlasmCursorRowOffset == kAlasmCursorOffset + kCursorSize &&
                  kAlasmCursorColumnOffset < kAlasmSignatureOffset);
}

bool AlasmPacker::fits(std::size_t more) const {
    return data_.size() + more + 1 <= kLargestAlasmData;  // and the final 0x00
}

std::optional<PackError> AlasmPacker::add_line(std::string_view line, bool whole) {
    ++lines_;
    if (!whole) {
        return PackError{PackProblem::LineTooLong, lines_, kLongestTextLine + 1, 0, {}};
    }
    if (line.empty()) {
        ++empty_lines_;
        return std::nullopt;
    }
    const PackedLine packed = pack_line(line);
    if (packed.error) {
        PackError error = *packed.error;
        error.line = lines_;
        return error;
    }
    if (!fits(empty_lines_ + packed.size)) {
        return PackError{PackProblem::SourceTooLarge, lines_, 0, 0, {}};
    }
    rewritten_ += packed.rewritten ? 1 : 0;
    if (packed.raw) {
        raw_.add(lines_);
    }
    data_.append(empty_lines_, static_cast<char>(kEmptyRecord));
    empty_lines_ = 0;
    data_.append(packed.bytes.begin(), packed.bytes.begin() + static_cast<std::ptrdiff_t>(packed.size));
    return std::nullopt;
}

std::optional<PackError> AlasmPacker::finish() {
    // The last empty line is the final 0x00 itself.
    const std::size_t empty_records = empty_lines_ > 0 ? empty_lines_ - 1 : 0;
    if (!fits(empty_records)) {
        return PackError{PackProblem::SourceTooLarge, lines_, 0, 0, {}};
    }
    data_.append(empty_records, static_cast<char>(kEmptyRecord));
    empty_lines_ = 0;
    data_ += static_cast<char>(kEndOfData);
    write_little_endian(writable_bytes(data_), kAlasmRecordsLengthOffset, kRecordsLengthSize,
                        static_cast<std::uint32_t>(data_.size() - kAlasmHeaderSize));
    return std::nullopt;
}

PackedText pack_text(ByteReader& input, std::string_view name) {
    AlasmPacker packer(name);
    TextLineReader lines(input);
    PackedText result;
    while (const auto line = lines.next()) {
        if ((result.error = packer.add_line(line->text, line->whole))) {
            break;
        }
    }
    if (!result.error) {
        result.error = packer.finish();
    }
    if (!result.error) {
        result.data = packer.data();
    }
    result.lines = packer.lines();
    result.rewritten_lines = packer.rewritten_lines();
    result.raw_lines = packer.raw_lines();
    return result;
}

}  // namespace korve
