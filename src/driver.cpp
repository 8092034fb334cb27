#include "driver.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>

#include "alasm_lines.h"
#include "alasm_tokens.h"
#include "hobeta_header.h"

namespace korve {
namespace {

constexpr const char* kBanner =
    "\nKORVE v1.1 (ALASM5.X files converter)\n"
    " Written by the korve developers, 2026\n"
    "\t\tfor everyone who keeps ZX Spectrum sources\n"
    "\n";
constexpr const char* kUsage = "\n\nKORVE file.$h file.asm\n\n";

// A way the ALASM data can be stored in a file: a test of the input's first
// bytes, and a set-up that takes what comes before the data and gives the
// data's length (its header included).
struct Container {
    bool (*recognise)(std::span<const unsigned char> start);
    std::int64_t (*set_up)(ByteReader& input, std::FILE* console);
};

// Bare data starts the file and runs to its end, where the conversion stops
// anyway; so its length needs no measuring.
constexpr std::int64_t kToEndOfInput = std::numeric_limits<std::int64_t>::max();

bool is_bare(std::span<const unsigned char> start) { return has_alasm_mark(start, 0); }
std::int64_t set_up_bare(ByteReader& /*input*/, std::FILE* /*console*/) { return kToEndOfInput; }

// A bad checksum is only a warning: the length is taken as it stands.
std::int64_t set_up_hobeta(ByteReader& input, std::FILE* console) {
    std::fputs("Reading HOBBETA-header...\n", console);
    HobetaHeader header{};
    const auto bytes = input.take(header.size());
    std::copy(bytes.begin(), bytes.end(), header.begin());
    if (hobeta_checksum(header) != hobeta_field(header, kHobetaChecksumOffset)) {
        std::fputs("Illegal checksum in header of hobeta!\n\n", console);
    }
    return hobeta_field(header, kHobetaLengthOffset);
}

// Tried in this order: a file marked as bare data is bare, whatever follows.
constexpr std::array kContainers = {
    Container{is_bare, set_up_bare},
    Container{is_hobeta_wrapped, set_up_hobeta},
};

// The containers look no further into the input than the mark of ALASM data
// behind a Hobeta header.
constexpr std::size_t kRecognisedBytes = kHobetaHeaderSize + kAlasmMarkOffset + 1;

// The container that recognises the input from its first bytes, if any.
const Container* recognise(std::span<const unsigned char> start) {
    for (const Container& container : kContainers) {
        if (container.recognise(start)) {
            return &container;
        }
    }
    return nullptr;
}

// Gathers output lines into large blocks, so that the stream sees few
// writes. The decoder writes each line straight into the block.
class LineWriter {
public:
    explicit LineWriter(std::FILE* output)
        : output_(output), block_(new char[kBlock]) {}

    // Room for the next line, at the end of the block: commit() always
    // leaves enough.
    LineRoom room() { return LineRoom(block_.get() + size_, kLineRoom); }

    // Ends the line of `size` characters that was written into the room, and
    // writes the block out when another line might not fit; false when that
    // write failed.
    bool commit(std::size_t size) {
        block_[size_ + size] = '\n';  // a line leaves its room's slack free
        size_ += size + 1;
        return kBlock - size_ >= kLineRoom || flush();
    }

    bool flush() {
        const bool written = std::fwrite(block_.get(), 1, size_, output_) == size_;
        size_ = 0;
        return written && std::fflush(output_) == 0;
    }

private:
    static constexpr std::size_t kBlock = std::size_t{64} * 1024;
    static_assert(kBlock > kLineRoom);

    std::FILE* output_;
    // Left uninitialised (new[], not make_unique, which would zero it): only
    // written lines are read.
    std::unique_ptr<char[]> block_;
    std::size_t size_ = 0;
};

// Decodes and writes line records while data remains. The first record is
// always decoded, even when the header used the data up.
Outcome convert_lines(ByteReader& input, std::int64_t remaining, LineWriter& output,
                      std::FILE* console) {
    do {
        const DecodedLine line = decode_line(input, remaining, output.room());
        if (line.undefined) {
            std::fprintf(console, "\n\nError %s\n",
                         undefined_token_text(line.undefined->byte, line.undefined->mode).c_str());
            return Outcome::UndefinedToken;
        }
        if (!output.commit(line.size)) {
            return Outcome::WriteFailed;
        }
    } while (remaining > 0 && !input.at_end());
    return Outcome::Converted;
}

// A path as the system names files. korve takes its paths in UTF-8 on
// Windows (see main.cpp), where files are named in UTF-16; elsewhere a path
// is the bytes as given, whatever their character set.
std::filesystem::path file_path(const char* name) {
#ifdef _WIN32
    const std::string_view utf8(name);
    return std::u8string(utf8.begin(), utf8.end());
#else
    return name;
#endif
}

// fopen() on Windows takes only names in the ANSI code page; _wfopen() any.
std::FILE* open_file(const std::filesystem::path& path, const char* mode) {
#ifdef _WIN32
    const std::string_view narrow(mode);  // ASCII letters
    return _wfopen(path.c_str(), std::wstring(narrow.begin(), narrow.end()).c_str());
#else
    return std::fopen(path.c_str(), mode);
#endif
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

bool holds_alasm_data(std::span<const unsigned char> start) { return recognise(start) != nullptr; }

Outcome convert(std::FILE* input, const OutputOpener& open_output, std::FILE* console) {
    ByteReader reader(input);
    const auto start = reader.look(kRecognisedBytes);
    if (reader.failed()) {
        return Outcome::ReadFailed;
    }
    const Container* const container = recognise(start);
    if (container == nullptr) {
        return Outcome::NotAlasm;
    }
    std::int64_t remaining = container->set_up(reader, console);
    std::FILE* const output = open_output();
    if (output == nullptr) {
        return Outcome::NoOutput;
    }
    std::fprintf(console, "Name:%s\n", read_alasm_name(reader, remaining).c_str());
    std::fputs("\n", console);

    LineWriter writer(output);
    const Outcome outcome = convert_lines(reader, remaining, writer, console);
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
