// Feeds arbitrary bytes to the converter as a whole input file, through the
// same path a run takes (container recognition, both containers, header and
// every record), with the output and the console kept in memory; and to the
// reader of disk images, as a dropped file would be. Checks, for every input,
// and aborts when one fails:
//  - the output holds at most 16 bytes per input byte plus 2: a stored byte
//    grows at most to a run of 15 spaces, and a line adds its newline and a
//    closing quote;
//  - converting the same bytes twice gives the same output and outcome;
//  - input that is not recognised opens no output at all;
//  - a finished conversion writes at least one line, and whole lines;
//  - each file an image gives is a whole Hobeta file, its header's checksum
//    right and its data its sector count times 256 bytes, no larger than the
//    image; each file it does not give says why, and so does the image;
//  - reading the same image twice gives the same files;
//  - the bytes, read as records of ALASM data, translate for sjasmplus and
//    for pasmo to a text for every line, the same both times, with every
//    problem on one of the lines;
//  - the first bytes, taken as one record's content, describe part by part
//    into exactly the text they decode to, the parts covering it;
//  - the bytes, taken as text and packed into ALASM data, are refused or
//    convert back to as many lines, each the line that went in unless the
//    packer said it reads back otherwise (typed in another layout, a tab,
//    a string left open); and that text packs again with no line read
//    otherwise, into data that converts back to it exactly;
//  - put's several changes at once, made by put's own editor (disk_edit.h)
//    to a disk image or archive: the input less its last bytes, which say
//    what to change (see put_changes), or, where those bytes are no whole
//    image, a disk made of them. Refused, or made so that the image reads
//    back whole, each changed file holding exactly its new data under its
//    name, type and start, a moved or added one under a name no other file
//    has, and every other file as it was: slot, name, type, start, length
//    and bytes; on a disk, track 0 past the information sector too;
//  - the bytes read as an FDI, UDI or Teledisk image, and written back
//    where the format is written; and graded by the loader, as korvex
//    reads every input (floppy_check.h);
//  - the bytes, read by korvex lsp's message reader (cut where their first
//    byte says) and each message it gives taken by an initialized server;
//    and as the text of a document opened, then asked for its symbols,
//    folding ranges, definitions and references: every message sent back
//    a JSON object, the server never stopping.
//
// fmemopen and open_memstream are POSIX: the fuzzer runs on Linux.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "alasm/alasm_packer.h"
#include "alasm/alasm_text.h"
#include "base/byte_reader.h"
#include "base/little_endian.h"
#include "floppy_check.h"
#include "formats/alasm_lines.h"
#include "formats/container.h"
#include "formats/disk_edit.h"
#include "formats/hobeta_header.h"
#include "formats/trdos_image.h"
#include "korve/driver.h"
#include "lsp/lsp_server.h"
#include "lsp/lsp_wire.h"
#include "translation/alasm_translation.h"

namespace {

struct Conversion {
    korve::Outcome outcome;
    bool opened_output = false;
    std::string output;
};

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "korve_fuzz: %s\n", what);
    std::abort();
}

Conversion convert(const std::uint8_t* data, std::size_t size) {
    // An empty buffer cannot back a stream everywhere; /dev/null reads empty.
    std::FILE* input = size > 0 ? fmemopen(const_cast<std::uint8_t*>(data), size, "rb")
                                : std::fopen("/dev/null", "rb");
    std::FILE* console = std::fopen("/dev/null", "w");
    char* text = nullptr;
    std::size_t text_size = 0;
    std::FILE* output = nullptr;
    if (input == nullptr || console == nullptr) {
        fail("cannot open the streams");
    }
    Conversion result{};
    result.outcome = korve::convert(
        input,
        [&]() {
            result.opened_output = true;
            output = open_memstream(&text, &text_size);
            return output;
        },
        console);
    if (output != nullptr && std::fclose(output) == 0) {
        result.output.assign(text, text_size);
    }
    std::free(text);
    std::fclose(console);
    std::fclose(input);
    return result;
}

void check_image(std::span<const unsigned char> image) {
    const korve::DiskImage disk = korve::read_disk_image(image);
    bool lost = false;
    for (const korve::CatalogueEntry& entry : korve::live_entries(disk)) {
        if (entry.problem != korve::ImageProblem::None) {
            lost = true;
            if (entry.data.size != 0) {
                fail("a file said to be lost was given bytes");
            }
            continue;
        }
        if (entry.data.size != entry.sectors * korve::kSectorSize ||
            entry.data.offset + entry.data.size > image.size()) {
            fail("a file's data is not its whole sectors from the image");
        }
    }
    if (lost && disk.problem == korve::ImageProblem::None) {
        fail("an image lost files and said nothing");
    }
    if (korve::read_disk_image(image) != disk) {
        fail("the same image was read differently");
    }
}


void check_record(std::span<const unsigned char> bytes, korve::Reading reading) {
    const std::span content = bytes.first(std::min(bytes.size(), korve::kLongestRecord - 1));
    std::string record(1, static_cast<char>(content.size() + 1));
    record.append(content.begin(), content.end());
    korve::ByteReader reader(
        std::span(reinterpret_cast<const unsigned char*>(record.data()), record.size()));
    std::string room(korve::kLineRoom, '\0');
    const korve::DecodedLine decoded =
        korve::decode_line(reader, korve::LineRoom(room.data(), korve::kLineRoom), reading);
    const korve::DescribedLine described = korve::describe_record(content, reading);
    if (decoded.undefined.has_value() != described.undefined.has_value()) {
        fail("a record decoded and described differently");
    }
    if (!decoded.undefined && described.text != room.substr(0, decoded.size)) {
        fail("a record's description is not its text");
    }
    std::size_t covered = 0;
    for (const korve::LinePiece& piece : described.pieces) {
        if (piece.begin != covered || piece.size == 0) {
            fail("a record's parts do not cover its text");
        }
        covered += piece.size;
    }
    if (covered != described.text.size()) {
        fail("a record's parts do not cover its text");
    }
}

struct Packing {
    std::optional<korve::PackError> error;
    std::string data;
    std::vector<std::string> lines;  // as read, the end's empty line left out
    std::vector<bool> rewritten;
};

Packing pack(std::span<const unsigned char> text) {
    korve::ByteReader input(text);
    korve::TextLineReader reader(input);
    korve::AlasmPacker packer("FUZZ");
    Packing result;
    while (const auto line = reader.next()) {
        const std::size_t rewritten = packer.rewritten_lines();
        if ((result.error = packer.add_line(line->text, line->whole))) {
            return result;
        }
        result.lines.emplace_back(line->text);
        result.rewritten.push_back(packer.rewritten_lines() != rewritten);
    }
    if ((result.error = packer.finish())) {
        return result;
    }
    if (!result.lines.empty() && result.lines.back().empty()) {
        result.lines.pop_back();  // the final 0x00
        result.rewritten.pop_back();
    }
    result.data = packer.data();
    return result;
}

// korvex's text of packed data (a space before a mnemonic read as ALASM
// reads it), a line at a time, less its final empty line.
std::vector<std::string> converted_lines(const std::string& data, std::string& text) {
    char* bytes = nullptr;
    std::size_t size = 0;
    std::FILE* output = open_memstream(&bytes, &size);
    if (output == nullptr) {
        fail("cannot open the streams");
    }
    korve::ByteReader reader(korve::byte_span(data));
    korve::TextOptions options;
    options.reading = korve::Reading::AsAlasm;
    options.line_end = korve::LineEnd::Lf;
    const korve::TextReport report =
        korve::convert_to_text(reader, korve::InputKind::BareAlasm, options, output);
    if (std::fclose(output) != 0) {
        fail("cannot close the streams");
    }
    text.assign(bytes, size);
    std::free(bytes);
    if (report.outcome != korve::TextOutcome::Converted || text.empty() || text.back() != '\n') {
        fail("packed data did not convert to whole lines");
    }
    std::vector<std::string> lines;
    for (std::size_t begin = 0; begin < text.size();) {
        const std::size_t end = text.find('\n', begin);
        lines.push_back(text.substr(begin, end - begin));
        begin = end + 1;
    }
    if (!lines.back().empty()) {
        fail("packed data converts without its final empty line");
    }
    lines.pop_back();
    return lines;
}

void check_pack(std::span<const unsigned char> bytes) {
    const Packing first = pack(bytes);
    if (first.error) {
        return;
    }
    std::string text;
    const std::vector<std::string> lines = converted_lines(first.data, text);
    if (lines.size() != first.lines.size()) {
        fail("packed text converts back to another count of lines");
    }
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!first.rewritten[i] && lines[i] != first.lines[i]) {
            fail("a packed line converts back to another line");
        }
    }
    const Packing again = pack({reinterpret_cast<const unsigned char*>(text.data()), text.size()});
    if (again.error || std::find(again.rewritten.begin(), again.rewritten.end(), true) != again.rewritten.end()) {
        fail("korve's text of packed data does not pack as it stands");
    }
    std::string text_again;
    if (converted_lines(again.data, text_again) != lines || text_again != text) {
        fail("korve's text of packed data does not come back from packing it");
    }
}

// A source's translation: a line of text and at most one problem for each
// of its lines, then the end's.
struct Translated {
    std::vector<korve::TranslatedLine> lines;
    std::vector<korve::UntranslatedLine> end;
};

Translated translated(korve::Dialect dialect, const korve::AlasmSource& source) {
    korve::Project project;
    project.dialect = dialect;
    korve::SourceTranslation translation(project, source);
    Translated result;
    while (!translation.done()) {
        result.lines.push_back(translation.next());
    }
    result.end = translation.end_problems();
    return result;
}

void check_translation(std::span<const unsigned char> bytes) {
    korve::AlasmSource source;
    korve::ByteReader reader(bytes);
    while (!reader.at_end()) {
        source.add(korve::take_record(reader).content);
    }
    for (const korve::Dialect dialect : {korve::Dialect::Sjasmplus, korve::Dialect::Pasmo}) {
        const Translated first = translated(dialect, source);
        if (first.lines.size() != source.size()) {
            fail("a line was translated to nothing, or to more than one line's text");
        }
        for (std::size_t i = 0; i < first.lines.size(); ++i) {
            const auto& problem = first.lines[i].untranslated;
            if (problem && problem->number != i + 1) {
                fail("a translation problem is on another line");
            }
        }
        const Translated second = translated(dialect, source);
        for (std::size_t i = 0; i < first.lines.size(); ++i) {
            if (first.lines[i].text != second.lines[i].text ||
                first.lines[i].untranslated != second.lines[i].untranslated) {
                fail("the same lines were translated differently");
            }
        }
    }
}

// The changes put's check makes, from the input's last bytes: the very
// last, modulo 8, is how many; before it, four bytes each (WHAT, NAME, and
// the new data's size, low byte first):
//   - WHAT below 0x80 replaces a live file, the (WHAT modulo their count)th;
//     a file already changed is left alone;
//   - WHAT of 0x80 and above adds a file of type H (bit 6) or C, named by
//     NAME: with bit 6, a live file's name; otherwise a letter; with bit 7,
//     then a space, which the catalogue's padding makes no other name.
// Each change's data differs from every other's.
std::size_t put_change_count(std::span<const unsigned char> bytes) {
    return bytes.empty() ? 0 : std::min<std::size_t>(bytes.back() % 8, (bytes.size() - 1) / 4);
}

// The bytes before the changes.
std::size_t put_image_size(std::span<const unsigned char> bytes) {
    return bytes.empty() ? 0 : bytes.size() - 1 - 4 * put_change_count(bytes);
}

std::vector<korve::FileChange> put_changes(std::span<const unsigned char> bytes, const korve::DiskImage& disk) {
    const std::size_t count = put_change_count(bytes);
    const std::size_t image_size = put_image_size(bytes);
    std::vector<korve::FileChange> changes;
    std::vector<std::size_t> named;
    const std::vector<korve::CatalogueEntry> live = korve::live_entries(disk);
    for (std::size_t i = 0; i < count; ++i) {
        const std::span<const unsigned char> change = bytes.subspan(image_size + 4 * i, 4);
        const std::size_t size = change[2] + 256 * std::size_t{change[3]};
        korve::TrdosFile file{.name = korve::trdos_name(std::string(1, static_cast<char>('A' + change[1] % 26)),
                                                        (change[0] & 0x40) != 0 ? 'H' : 'C')};
        file.data.resize(size);
        for (std::size_t j = 0; j < size; ++j) {
            file.data[j] = static_cast<char>(j * 31 + i * 101 + change[0]);
        }
        if (change[0] < 0x80 && !live.empty()) {
            const std::size_t slot = live[change[0] % live.size()].slot;
            if (std::find(named.begin(), named.end(), slot) == named.end()) {
                named.push_back(slot);
                changes.push_back({slot, std::move(file)});
            }
            continue;
        }
        if ((change[1] & 0x40) != 0 && !live.empty()) {
            file.name = live[change[1] % live.size()].name;
        }
        changes.push_back({std::nullopt, std::move(file)});
    }
    return changes;
}

// A disk of one to four code files made of `bytes`, for put's check where
// they are no whole image; it ends after its last file, as small disks do.
std::string disk_of(std::span<const unsigned char> bytes) {
    const std::size_t count = bytes.empty() ? 1 : 1 + bytes[0] % 4;
    std::vector<korve::TrdosFile> files;
    for (std::size_t i = 0; i < count; ++i) {
        const auto part = bytes.subspan(i * bytes.size() / count, bytes.size() / count);
        files.push_back({.name = korve::trdos_name("F" + std::to_string(i), 'C'), .data = std::string(part.begin(), part.end())});
    }
    std::string disk = korve::write_trd_image(files, "FUZZ").bytes;
    const auto info = korve::byte_span(disk);
    disk.resize(std::size_t{info[korve::kFirstFreeTrackOffset]} * korve::kSectorsPerTrack * korve::kSectorSize +
                std::size_t{info[korve::kFirstFreeSectorOffset]} * korve::kSectorSize);
    return disk;
}

const korve::CatalogueEntry* entry_at(const korve::DiskImage& disk, std::size_t slot) {
    const auto found = std::find_if(disk.entries.begin(), disk.entries.end(), [slot](const korve::CatalogueEntry& entry) {
        return entry.slot == slot && !entry.deleted;
    });
    return found == disk.entries.end() ? nullptr : &*found;
}

std::string sectors_of(std::string_view image, const korve::CatalogueEntry& entry) {
    const auto sectors = korve::file_sectors(korve::byte_span(image), entry);
    return {sectors.begin(), sectors.end()};
}

// Whether a file stayed as it was: its fields and its bytes (which an
// archive's changes before it move).
bool same_file(std::string_view old_image, const korve::CatalogueEntry& old, std::string_view image,
               const korve::CatalogueEntry& now) {
    return old.name == now.name && old.start == now.start && old.length == now.length &&
           old.sectors == now.sectors && old.first_sector == now.first_sector && old.problem == now.problem &&
           old.alasm == now.alasm && sectors_of(old_image, old) == sectors_of(image, now);
}

// Whether a changed file reads back as its change made it: its name, type
// and start (a replaced file's own), its length and its data, the rest of
// its last sector zero.
bool holds_change(std::string_view image, const korve::CatalogueEntry& entry, const korve::TrdosFile& expected) {
    return entry.name == expected.name && entry.start == expected.start && entry.length == expected.data.size() &&
           sectors_of(image, entry) == korve::whole_sectors(expected.data);
}

// Checks where one change went, from the image `old` to `now`.
void check_changed(const korve::DiskImage& old, const korve::DiskImage& now, std::string_view image,
                   const korve::PlacedFile& placed, const korve::FileChange& change) {
    const korve::CatalogueEntry* entry = entry_at(now, placed.slot);
    korve::TrdosFile expected = change.file;
    if (change.replaced) {
        const korve::CatalogueEntry& replaced = *entry_at(old, *change.replaced);
        expected = {replaced.name, replaced.start, change.file.data};
    }
    if (entry == nullptr || !holds_change(image, *entry, expected)) {
        fail("a changed file does not hold its new data under its name");
    }
    if (placed.placement == korve::Placement::InPlace) {
        if (placed.slot != change.replaced) {
            fail("a file changed in place is not in its own entry");
        }
        return;
    }
    if (entry_at(old, placed.slot) != nullptr || (change.replaced && entry_at(now, *change.replaced))) {
        fail("a moved or added file took a live entry, or a moved one kept its old one");
    }
    const auto alike = std::count_if(now.entries.begin(), now.entries.end(), [&](const korve::CatalogueEntry& other) {
        return !other.deleted && other.name == expected.name;
    });
    if (alike != 1) {
        fail("a moved or added file has the name and type of another");
    }
}

void check_put(std::span<const unsigned char> bytes) {
    const std::span<const unsigned char> given = bytes.first(put_image_size(bytes));
    std::string image(given.begin(), given.end());
    korve::DiskImage old = korve::read_disk_image(given);
    if (old.problem != korve::ImageProblem::None) {
        image = disk_of(given);
        old = korve::read_disk_image(korve::byte_span(image));
    }
    const std::vector<korve::FileChange> changes = put_changes(bytes, old);
    const auto span = korve::byte_span(image);
    const bool archive =
        korve::recognise_input(span.first(std::min(span.size(), korve::kRecognisedBytes))) ==
        korve::InputKind::SclArchive;
    const korve::EditedImage edited =
        archive ? korve::edit_scl_archive(span, changes) : korve::edit_trd_image(span, changes);
    if (edited.problem != korve::EditProblem::None) {
        if (!edited.bytes.empty() || edited.change >= changes.size() ||
            edited.problem == korve::EditProblem::NoSuchFile) {
            fail("an edit was refused with bytes, past its changes, or for a file that is there");
        }
        return;
    }
    const korve::DiskImage now = korve::read_disk_image(korve::byte_span(edited.bytes));
    if (now.problem != korve::ImageProblem::None || edited.placed.size() != changes.size()) {
        fail("an edited image does not read back whole, or does not say where each change went");
    }
    std::size_t added = 0;
    for (std::size_t i = 0; i < changes.size(); ++i) {
        check_changed(old, now, edited.bytes, edited.placed[i], changes[i]);
        added += changes[i].replaced ? 0 : 1;
    }
    for (const korve::CatalogueEntry& entry : korve::live_entries(old)) {
        const korve::CatalogueEntry* kept = entry_at(now, entry.slot);
        const bool changed = std::any_of(changes.begin(), changes.end(), [&entry](const korve::FileChange& change) {
            return change.replaced == entry.slot;
        });
        if (!changed && (kept == nullptr || !same_file(image, entry, edited.bytes, *kept))) {
            fail("a file no change named did not stay as it was");
        }
    }
    // Track 0 past the information sector, as far as the image held it.
    const std::size_t boot = korve::kDiskInformation + korve::kSectorSize;
    const std::size_t boot_size = std::min(korve::kFirstFileSector * korve::kSectorSize, image.size()) - boot;
    if (korve::live_entries(now).size() != korve::live_entries(old).size() + added ||
        (!archive && edited.bytes.compare(boot, boot_size, image, boot, boot_size) != 0)) {
        fail("an edit lost or made a file, or wrote into track 0 past the information sector");
    }
}

// `text` as a JSON string: quotes, backslashes and control bytes escaped,
// every other byte as it is (JSON that is then no UTF-8 is the server's to
// refuse).
std::string json_string(std::span<const unsigned char> text) {
    std::string quoted = "\"";
    for (const unsigned char byte : text) {
        if (byte < 0x20 || byte == '"' || byte == '\\') {
            std::array<char, 8> escaped{};
            std::snprintf(escaped.data(), escaped.size(), "\\u%04x", byte);
            quoted += escaped.data();
        } else {
            quoted += static_cast<char>(byte);
        }
    }
    return quoted + "\"";
}

void take_all(korve::lsp::Server& server, std::string_view body) {
    for (const std::string& sent : server.take(body)) {
        if (sent.empty() || sent.front() != '{' || sent.back() != '}') {
            fail("korvex lsp sent something other than a JSON object");
        }
    }
}

void check_lsp(std::span<const unsigned char> bytes) {
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    korve::lsp::Server server;
    take_all(server, R"({"jsonrpc":"2.0","id":0,"method":"initialize","params":{"capabilities":{}}})");
    korve::lsp::FrameReader reader(4096);
    const std::size_t cut = bytes.empty() ? 0 : bytes[0] % (bytes.size() + 1);
    for (const std::string_view piece : {text.substr(0, cut), text.substr(cut)}) {
        reader.add(piece);
        for (auto frame = reader.next(); frame.kind != korve::lsp::Frame::Kind::NeedMore; frame = reader.next()) {
            if (frame.kind == korve::lsp::Frame::Kind::Body) {
                take_all(server, frame.text);
            }
        }
    }
    take_all(server, text);
    korve::lsp::Server fresh;
    take_all(fresh, R"({"jsonrpc":"2.0","id":0,"method":"initialize","params":{"capabilities":{}}})");
    const std::string document = R"({"textDocument":{"uri":"file:///korve-fuzz-none/x.asm")";
    take_all(fresh, R"({"jsonrpc":"2.0","method":"textDocument/didOpen","params":)" + document +
                        R"(,"text":)" + json_string(bytes) + "}}}");
    const std::string at = R"(,"position":{"line":0,"character":3},"context":{"includeDeclaration":true}})";
    for (const char* method : {"documentSymbol", "foldingRange", "definition", "references"}) {
        std::string request = R"({"jsonrpc":"2.0","id":1,"method":"textDocument/)";
        request += method;
        request += R"(","params":)";
        request += document;
        request += "}";
        request += at;
        request += "}";
        take_all(fresh, request);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Conversion first = convert(data, size);
    if (first.output.size() > 16 * size + 2) {
        fail("the output is longer than the input can expand to");
    }
    if (first.outcome == korve::Outcome::NotAlasm && first.opened_output) {
        fail("unrecognised input opened the output");
    }
    if (first.outcome == korve::Outcome::Converted &&
        (first.output.empty() || first.output.back() != '\n')) {
        fail("a finished conversion wrote no whole line");
    }
    const Conversion second = convert(data, size);
    if (second.outcome != first.outcome || second.output != first.output) {
        fail("the same input converted differently");
    }
    check_image({data, size});
    check_translation({data, size});
    check_record({data, size}, korve::Reading::AsKorve);
    check_record({data, size}, korve::Reading::AsAlasm);
    check_pack({data, size});
    check_put({data, size});
    check_lsp({data, size});
    for (const auto check : {korve_fuzz::check_td0, korve_fuzz::check_udi, korve_fuzz::check_fdi,
                             korve_fuzz::check_loaded}) {
        if (const char* failed = check({data, size})) {
            fail(failed);
        }
    }
    return 0;
}
