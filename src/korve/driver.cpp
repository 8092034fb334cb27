#include "korve/driver.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "base/file.h"
#include "formats/alasm_lines.h"
#include "formats/alasm_source.h"
#include "formats/alasm_tokens.h"
#include "formats/container.h"
#include "formats/line_writer.h"
#include "formats/record_blocks.h"

namespace korve {
namespace {

constexpr const char* kBanner =
    "\nKORVE v1.1 (ALASM5.X files converter)\n"
    " Written by the korve developers, 2026\n"
    "\t\tfor everyone who keeps ZX Spectrum sources\n"
    "\n";
constexpr const char* kUsage = "\n\nKORVE file.$h file.asm\n\n";

// Says which token abandoned the conversion.
Outcome undefined_token(const UndefinedToken& token, std::FILE* console) {
    std::fprintf(console, "\n\nError %s\n", undefined_token_text(token.byte, token.mode).c_str());
    return Outcome::UndefinedToken;
}

// Writes a decoded line, or says why it was abandoned: the outcome that ends
// the conversion, if one does.
std::optional<Outcome> write_line(const DecodedLine& line, LineWriter& output, std::FILE* console) {
    if (line.undefined) {
        return undefined_token(*line.undefined, console);
    }
    if (!output.commit(line.size)) {
        return Outcome::WriteFailed;
    }
    return std::nullopt;
}

// Decodes and writes line records while the data's length lasts. The records
// that the reader holds whole, with more of the input after them, are
// decoded a block at a time (record_blocks.h); the last few of the input,
// one at a time.
Outcome convert_lines(ByteReader& input, RecordBudget budget, LineWriter& output,
                      std::FILE* console) {
    for (;;) {
        if (!output.make_space(record_block_room(kLongestLook / 2))) {
            return Outcome::WriteFailed;
        }
        const DecodedRecords block =
            decode_records(input.look(kLongestLook), budget.left(), output.space(), output.line_end());
        if (!output.advance(block.size)) {
            return Outcome::WriteFailed;
        }
        input.take(block.used);
        if (block.undefined) {
            return undefined_token(*block.undefined, console);
        }
        if (block.used > 0) {
            if (!budget.more_after(block.used)) {
                return Outcome::Converted;
            }
            continue;
        }
        const DecodedLine line = decode_line(input, output.room());
        if (const auto end = write_line(line, output, console)) {
            return *end;
        }
        if (!budget.more_after(line.record_size, input)) {
            return Outcome::Converted;
        }
    }
}

File open_input(const std::filesystem::path& path) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        return nullptr;  // some systems open a folder, and only its reads fail
    }
    return File(open_file(path, "rb"));
}

// Whether both paths name one file: the same path, a hard link or a symbolic
// link. Opening the output would then truncate the input.
bool same_file(const std::filesystem::path& first, const std::filesystem::path& second) {
    std::error_code error;
    return std::filesystem::equivalent(first, second, error);
}

bool close_output(File& output) { return !output || std::fclose(output.release()) == 0; }

ExitStatus report(Outcome outcome, const char* input_path, const char* output_path,
                  std::FILE* console) {
    switch (outcome) {
        case Outcome::Converted:
            std::fputs("OK!\n", console);
            return ExitStatus::Converted;
        case Outcome::NotAlasm:
            std::fputs("Error! This is not ALASM file!\n", console);
            return ExitStatus::NotAlasm;
        case Outcome::NoOutput:  // the opener has said why
            return ExitStatus::FileError;
        case Outcome::UndefinedToken:  // the message came with the token
            return ExitStatus::UndefinedToken;
        case Outcome::ReadFailed:
            std::fprintf(console, "Error! Cannot read input file %s\n", input_path);
            return ExitStatus::FileError;
        case Outcome::WriteFailed:
            std::fprintf(console, "Error! Cannot write output file %s\n", output_path);
            return ExitStatus::FileError;
    }
    return ExitStatus::FileError;
}

}  // namespace

Outcome convert(std::FILE* input, const OutputOpener& open_output, std::FILE* console) {
    ByteReader reader(input);
    // korve looks no further than the ALASM data's mark behind a Hobeta header.
    const InputKind kind = recognise_input(reader.look(kAlasmRecognisedBytes));
    if (reader.failed()) {
        return Outcome::ReadFailed;
    }
    if (!holds_alasm(kind)) {
        return Outcome::NotAlasm;
    }
    if (kind == InputKind::HobetaAlasm) {
        std::fputs("Reading HOBBETA-header...\n", console);
    }
    const SourceHead head = read_source_head(reader, kind);
    if (!head.checksum_matches) {
        std::fputs("Illegal checksum in header of hobeta!\n\n", console);
    }
    std::FILE* const output = open_output();
    if (output == nullptr) {
        return Outcome::NoOutput;
    }
    std::fprintf(console, "Name:%s\n", head.name.c_str());
    std::fputs("\n", console);

    LineWriter writer(output, "\n");  // text mode writes the system's line end
    const Outcome outcome = convert_lines(reader, RecordBudget(head), writer, console);
    if (!writer.flush()) {
        return Outcome::WriteFailed;
    }
    return reader.failed() ? Outcome::ReadFailed : outcome;
}

ExitStatus run(int argc, const char* const* argv, std::FILE* console) {
    std::fputs(kBanner, console);
    if (argc < 3) {
        std::fputs(kUsage, console);
        return ExitStatus::Usage;
    }
    const char* const input_path = argv[1];
    const char* const output_path = argv[2];

    File input = open_input(file_path(input_path));
    if (!input) {
        std::fprintf(console, "Error! Cannot open input file %s\n", input_path);
        return ExitStatus::FileError;
    }
    File output;
    const auto open_output = [&]() -> std::FILE* {
        if (same_file(file_path(input_path), file_path(output_path))) {
            std::fputs("Error! Output file is the input file!\n", console);
            return nullptr;
        }
        output.reset(open_file(file_path(output_path), "w"));
        if (!output) {
            std::fprintf(console, "Error! Cannot create output file %s\n", output_path);
        }
        return output.get();
    };
    Outcome outcome = convert(input.get(), open_output, console);
    input.reset();
    if (!close_output(output) && outcome != Outcome::ReadFailed) {
        outcome = Outcome::WriteFailed;
    }
    return report(outcome, input_path, output_path, console);
}

}  // namespace korve
