#include "alasm/alasm_text.h"

#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <utility>

namespace korve {
namespace {

constexpr std::string_view kLf = "\n";
constexpr std::string_view kCrLf = "\r\n";
constexpr char kTab = '\t';
constexpr char kSpace = ' ';

bool is_stored_space(const LinePiece& piece) {
    return piece.part == LinePart::Spaces ||
           (piece.part == LinePart::Operand && piece.token == keyword_tables::kSpaceToken);
}

bool keeps_korves_bytes(const TextOptions& options) {
    return options.layout == TextLayout::Stored && !options.charset;
}

// Takes one record and writes its line, unless a token stops it; false
// when the write failed.
bool convert_record(ByteReader& input, const TextOptions& options, TextSink& sink,
                    TextReport& report, TakenRecord& taken) {
    if (keeps_korves_bytes(options)) {
        const DecodedLine decoded = decode_line(input, sink.room(), options.reading);
        taken = {{}, decoded.record_size, decoded.missing};
        report.end.undefined = decoded.undefined;
        return decoded.undefined || sink.commit(decoded.size);
    }
    taken = take_record(input);
    const DescribedLine described = describe_record(taken.content, options.reading);
    report.end.undefined = described.undefined;
    return described.undefined || sink.write(laid_out(described, options.layout).text);
}

}  // namespace

std::string_view line_end_text(LineEnd end) { return end == LineEnd::CrLf ? kCrLf : kLf; }

TextSink::TextSink(std::FILE* output, const TextOptions& options) : charset_(options.charset) {
    if (output != nullptr) {
        writer_.emplace(output, line_end_text(options.line_end));
    } else {
        scratch_ = std::make_unique<std::array<char, kLineRoom>>();
    }
}

LineRoom TextSink::room() { return writer_ ? writer_->room() : LineRoom(*scratch_); }

bool TextSink::commit(std::size_t size) { return !writer_ || writer_->commit(size); }

bool TextSink::write(std::string_view text) {
    for (std::size_t begin = 0; writer_;) {
        const std::size_t newline = text.find('\n', begin);
        if (!write_line(text.substr(begin, newline - begin))) {
            return false;
        }
        if (newline == std::string_view::npos) {
            break;
        }
        begin = newline + 1;
    }
    return true;
}

bool TextSink::write_line(std::string_view line) {
    if (!charset_) {
        return writer_->write_line(line);
    }
    converted_.clear();
    append_utf8(converted_, *charset_, line);
    return writer_->write_line(converted_);
}

bool TextSink::flush() { return !writer_ || writer_->flush(); }

DescribedLine laid_out(DescribedLine line, TextLayout layout) {
    return layout == TextLayout::Tidy ? tidy_line(line) : std::move(line);
}

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

TextReport convert_to_text(ByteReader& input, const AlasmPlace& place, const TextOptions& options,
                           std::FILE* output) {
    TextSink sink(output, options);
    TextReport report;
    report.head = read_source_head(input, place);
    report.end.data_size = report.head.header_size;
    RecordBudget budget(report.head);
    bool written = true;
    bool more = true;
    while (written && more) {
        TakenRecord taken;
        written = convert_record(input, options, sink, report, taken);
        report.end.data_size += static_cast<std::int64_t>(taken.record_size - taken.missing);
        if (report.end.undefined) {
            report.outcome = TextOutcome::UndefinedToken;
            break;
        }
        ++report.end.lines;
        if (taken.missing > 0) {
            report.end.cut_line = report.end.lines;
        }
        more = budget.more_after(taken.record_size, input);
        if (!more) {
            report.end.short_by = budget.short_by(input);
        }
    }
    if (!written || !sink.flush()) {
        report.outcome = TextOutcome::WriteFailed;
        report.error = sink.error();
    } else if (input.failed()) {
        report.outcome = TextOutcome::ReadFailed;
        report.error = input.error();
    }
    return report;
}

}  // namespace korve
