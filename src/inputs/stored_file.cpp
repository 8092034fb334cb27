#include "inputs/stored_file.h"

#include <algorithm>
#include <utility>

#include "formats/alasm_lines.h"
#include "formats/hobeta_header.h"
#include "files/output.h"
#include "formats/trdos_name.h"
#include "inputs/source_text.h"

namespace korve {
namespace {

constexpr unsigned char kCodeType = 'C';
constexpr unsigned char kBasicType = 'B';

Problem refused(const Source& source, std::string why) {
    return {Severity::Error, {source.shown, {}, 0, 0}, std::move(why), Status::NotAllConverted};
}

// Up to `most` bytes of `input`, appended to `bytes`.
void read_up_to(ByteReader& input, std::size_t most, std::string& bytes) {
    while (bytes.size() < most && !input.at_end()) {
        const auto taken = input.take(std::min(most - bytes.size(), kLongestLook));
        bytes.append(taken.begin(), taken.end());
    }
}

enum class InputForm : unsigned char { Text, Hobeta, Raw };

InputForm input_form(std::span<const unsigned char> start, const std::optional<TrdosName>& named) {
    if (start.size() >= kHobetaHeaderSize && read_hobeta_header(start).checksum_matches) {
        return InputForm::Hobeta;
    }
    return named && named->type != static_cast<unsigned char>(kAlasmType) ? InputForm::Raw : InputForm::Text;
}

// The file `input` holds, of `form` (not Text), read whole.
std::variant<StoredFile, Problem> read_stored_file(ByteReader& input, InputForm form, const Source& source,
                                                  const std::optional<TrdosName>& named,
                                                  std::optional<std::uint16_t> start) {
    StoredFile stored;
    TrdosFile& file = stored.file;
    std::size_t most = kLargestFile + 1;  // one more tells a file too large
    std::optional<HobetaHeader> header;
    if (form == InputForm::Hobeta) {
        header = read_hobeta_header(input.take(kHobetaHeaderSize));
        file.name = header->name;
        file.start = header->start;
        stored.start_given = true;
        // Its sectors, as many as its length needs where the count says fewer.
        const std::size_t sectors = std::max<std::size_t>(header->sectors, sectors_of(header->length));
        most = std::min(most, sectors * kSectorSize);
    }
    read_up_to(input, most, file.data);
    if (input.failed()) {
        return refused(source, "reading failed: " + reason(input.error()));
    }
    if (file.data.size() > kLargestFile) {
        return refused(source, "is larger than the 65,280 bytes (255 sectors) a TR-DOS file holds");
    }
    if (header && file.data.size() < header->length) {
        return refused(source, "is cut short: its Hobeta header gives " + std::to_string(header->length) +
                                   " bytes of data, it holds " + std::to_string(file.data.size()));
    }
    if (header && file.data.size() != header->length) {
        file.length = header->length;
    }
    if (named) {
        file.name = *named;
    }
    if (start) {
        file.start = *start;
        stored.start_given = true;
    }
    return stored;
}

}  // namespace

std::variant<std::optional<StoredFile>, Problem> read_file_input(ByteReader& input, const Source& source,
                                                               const std::optional<std::string>& name,
                                                               std::optional<std::uint16_t> start) {
    std::optional<TrdosName> named;
    if (name) {
        auto given = given_trdos_name(source, *name);
        if (auto* failed = std::get_if<Problem>(&given)) {
            return std::move(*failed);
        }
        named = std::get<TrdosName>(given);
    }
    const InputForm form = input_form(input.look(kHobetaHeaderSize), named);
    if (form == InputForm::Text) {
        if (start) {
            Problem problem = refused(source, "is a text, stored as a source, which has no start: --start gives a file's");
            problem.status = Status::Trouble;
            return problem;
        }
        return std::nullopt;
    }
    auto read = read_stored_file(input, form, source, named, start);
    if (auto* failed = std::get_if<Problem>(&read)) {
        return std::move(*failed);
    }
    return std::optional(std::move(std::get<StoredFile>(read)));
}

std::optional<std::string> new_file_start(StoredFile& stored) {
    if (stored.start_given) {
        return std::nullopt;
    }
    if (stored.file.name.type == kCodeType) {
        return shown_name(stored.file.name) + " is a new code file: give the address it loads at with --start ADDR";
    }
    stored.file.start = stored.file.name.type == kBasicType ? catalogue_length(stored.file) : 0;
    return std::nullopt;
}

}  // namespace korve
