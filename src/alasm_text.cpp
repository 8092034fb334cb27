#include "alasm_text.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

#include "line_writer.h"

namespace korve {
namespace {

constexpr std::string_view kLf = "\n";
constexpr std::string_view kCrLf = "\r\n";
constexpr char kTab = '\t';
constexpr char kSpace = ' ';

// Writes lines to the output through a block writer, or only counts them
// where there is no output.
class TextSink {
public:
    TextSink(std::FILE* output, LineEnd end) {
        if (output != nullptr) {
            writer_.emplace(output, line_end_text(end));
        } else {
            scratch_ = std::make_unique<std::array<char, kLineRoom>>();
        }
    }

    LineRoom room() { return writer_ ? writer_->room() : LineRoom(*scratch_); }

    bool commit(std::size_t size) { return !writer_ || writer_->commit(size); }

    // Writes `text` and a line end; a '\n' in it ends a line too.
    bool write(std::string_view text) {
        for (std::size_t begin = 0; writer_;) {
            const std::size_t newline = text.find('\n', begin);
            if (!writer_->write_line(text.substr(begin, newline - begin))) {
                return false;
            }
            if (newline == std::string_view::npos) {
                break;
            }
            begin = newline + 1;
        }
        return true;
    }

    bool flush() { return !writer_ || writer_->flush(); }

private:
    std::optional<LineWriter> writer_;
    std::unique_ptr<std::array<char, kLineRoom>> scratch_;
};

bool is_stored_space(const LinePiece& piece) {
    return piece.part == LinePart::Spaces ||
           (piece.part == LinePart::Operand && piece.token == keyword_tables::kSpaceToken);
}

bool keeps_korves_bytes(const TextOptions& options) {
    return options.layout == TextLayout::Stored && !options.charset && !options.translator &&
           !options.observer;
}

// The state of one conversion, line by line.
struct Conversion {
    ByteReader& input;
    const TextOptions& options;
    TextSink writer;
    TextReport report;
    std::string line;       // the line, for all but the fast path
    std::string converted;  // the line through the code page
};

// Decodes one record and writes its line, unless a token stops it; false
// when the write failed. Gives the record's size and the bytes of it that
// were missing.
bool convert_record(Conversion& c, std::size_t& size, std::size_t& missing) {
    if (keeps_korves_bytes(c.options)) {
        const DecodedLine decoded = decode_line(c.input, c.writer.room());
        size = decoded.record_size;
        missing = decoded.missing;
        if (decoded.undefined) {
            c.report.undefined = decoded.undefined;
            return true;
        }
        return c.writer.commit(decoded.size);
    }
    const TakenRecord record = take_record(c.input);
    size = record.record_size;
    missing = record.missing;
    const DescribedLine described = describe_record(record.content);
    if (described.undefined) {
        c.report.undefined = described.undefined;
        return true;
    }
    const std::size_t number = c.report.lines + 1;
    if (c.options.translator) {
        c.line = described.text;
        c.options.translator(number, described, c.line);
        if (c.options.observer) {
            c.options.observer(number, described);
        }
    } else if (c.options.layout == TextLayout::Tidy) {
        const DescribedLine tidy = tidy_line(described);
        c.line = tidy.text;
        if (c.options.observer) {
            c.options.observer(number, tidy);
        }
    } else {
        c.line = described.text;
        if (c.options.observer) {
            c.options.observer(number, described);
        }
    }
    if (!c.options.charset) {
        return c.writer.write(c.line);
    }
    c.converted.clear();
    append_utf8(c.converted, *c.options.charset, c.line);
    return c.writer.write(c.converted);
}

}  // namespace

std::string_view line_end_text(LineEnd end) { return end == LineEnd::CrLf ? kCrLf : kLf; }

DescribedLine tidy_line(const DescribedLine& line) {
    const std::vector<LinePiece>& pieces = line.pieces;
    DescribedLine tidy;
    tidy.undefined = line.undefined;
    const auto add = [&tidy](LinePart part, unsigned char token, std::string_view text) {
        if (!text.empty()) {
            tidy.pieces.push_back({part, token, tidy.text.size(), text.size()});
            tidy.text += text;
        }
    };
    const auto add_piece = [&](const LinePiece& piece) {
        add(piece.part, piece.token, std::string_view(line.text).substr(piece.begin, piece.size));
    };
    std::size_t mnemonic = 0;
    while (mnemonic < pieces.size() && pieces[mnemonic].part != LinePart::Mnemonic) {
        ++mnemonic;
    }
    // The label, less the space runs before the mnemonic's tab.
    std::size_t label = mnemonic;
    while (mnemonic < pieces.size() && label > 0 && pieces[label - 1].part == LinePart::Spaces) {
        --label;
    }
    for (std::size_t i = 0; i < label; ++i) {
        add_piece(pieces[i]);
    }
    std::string word;  // the mnemonic, less its tabs; none for a space token
    if (mnemonic < pieces.size()) {
        const LinePiece& keyword = pieces[mnemonic];
        if (keyword.token != keyword_tables::kSpaceToken) {
            word = line.text.substr(keyword.begin + 1, keyword.size - 2);
        }
        add(LinePart::Mnemonic, keyword.token, kTab + word + kTab);
        // The operands, less the space runs after the mnemonic's tab.
        std::size_t operands = mnemonic + 1;
        while (operands < pieces.size() && is_stored_space(pieces[operands])) {
            ++operands;
        }
        for (std::size_t i = operands; i < pieces.size(); ++i) {
            add_piece(pieces[i]);
        }
    }
    // No trailing spaces, and no tab after a mnemonic that ends the line.
    while (!tidy.pieces.empty() && tidy.text.back() == kSpace) {
        tidy.text.pop_back();
        if (--tidy.pieces.back().size == 0) {
            tidy.pieces.pop_back();
        }
    }
    if (!tidy.pieces.empty() && tidy.pieces.back().part == LinePart::Mnemonic) {
        const std::size_t kept = word.empty() ? 0 : word.size() + 1;  // the tab before it
        tidy.text.resize(tidy.pieces.back().begin + kept);
        tidy.pieces.back().size = kept;
        if (kept == 0) {
            tidy.pieces.pop_back();
        }
    }
    return tidy;
}

TextReport convert_to_text(ByteReader& input, InputKind kind, const TextOptions& options,
                           std::FILE* output) {
    Conversion c{input, options, TextSink(output, options.line_end), {}, {}, {}};
    const AlasmSetUp set_up = set_up_alasm(kind, input);
    c.report.checksum_matches = set_up.checksum_matches;
    c.report.data_size = static_cast<std::int64_t>(input.look(kAlasmHeaderSize).size());
    c.report.name = read_alasm_name(input);
    // Every byte the length claims counts, also those past the end of the
    // input; the first record is always converted, and the last one read
    // runs to its own end.
    std::int64_t remaining = set_up.length - static_cast<std::int64_t>(kAlasmHeaderSize);
    bool written = true;
    do {
        std::size_t size = 0;
        std::size_t missing = 0;
        written = convert_record(c, size, missing);
        remaining -= static_cast<std::int64_t>(size);
        c.report.data_size += static_cast<std::int64_t>(size - missing);
        if (c.report.undefined) {
            c.report.outcome = TextOutcome::UndefinedToken;
            break;
        }
        if (missing > 0) {
            c.report.cut_line = c.report.lines + 1;
        }
        ++c.report.lines;
    } while (written && remaining > 0 && !input.at_end());
    if (!written || !c.writer.flush()) {
        c.report.outcome = TextOutcome::WriteFailed;
        c.report.error_number = errno;
    } else if (input.failed()) {
        c.report.outcome = TextOutcome::ReadFailed;
        c.report.error_number = errno;
    }
    return c.report;
}

}  // namespace korve
