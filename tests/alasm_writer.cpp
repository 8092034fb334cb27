#include "alasm_writer.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>

#include "formats/alasm_lines.h"
#include "formats/alasm_tokens.h"
#include "formats/hobeta_header.h"

namespace korve::testing {
namespace {

constexpr char kRawRestMarker = '\x10';

[[noreturn]] void fail(std::string_view what, std::string_view line) {
    std::fprintf(stderr, "alasm_writer: %.*s in \"%.*s\"\n", static_cast<int>(what.size()),
                 what.data(), static_cast<int>(line.size()), line.data());
    std::abort();
}

std::optional<char> token_byte(std::string_view word, TokenMode mode) {
    for (int byte = 0x80; byte <= 0xFF; ++byte) {
        if (decode_token(static_cast<unsigned char>(byte), mode) == word) {
            return static_cast<char>(byte);
        }
    }
    return std::nullopt;
}

}  // namespace

std::string alasm_record(std::string_view line) {
    std::string content;
    long tokens = 0;
    for (std::size_t i = 0; i < line.size();) {
        if (line[i] == '{') {
            const std::size_t close = line.find('}', i);
            if (close == std::string_view::npos) {
                fail("unclosed {", line);
            }
            const std::string_view word = line.substr(i + 1, close - i - 1);
            const auto byte = word == "RAW" ? std::optional<char>(kRawRestMarker)
                                            : token_byte(word, token_mode(++tokens));
            if (!byte) {
                fail("unknown keyword", line);
            }
            content += *byte;
            i = close + 1;
        } else if (line[i] == ' ') {
            std::size_t run = 0;
            while (i < line.size() && line[i] == ' ' && run < kLongestSpaceRun) {
                ++run;
                ++i;
            }
            content += static_cast<char>(run);
        } else {
            content += line[i++];
        }
    }
    if (content.size() >= kLongestRecord) {
        fail("line too long", line);
    }
    return static_cast<char>(content.size() + 1) + content;
}

std::string alasm_header(std::string_view name) {
    std::string header(kAlasmHeaderSize, '\0');
    header.replace(0, name.size(), name);
    header[kAlasmMarkOffset] = static_cast<char>(kAlasmMark);
    return header;
}

bool write_file(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream file(path, std::ios::binary);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file.flush());
}

std::string hobeta_file(std::string_view data, unsigned length, bool right_checksum) {
    HobetaHeader header;
    header.name = trdos_name("GREET", 'H');
    header.length = static_cast<std::uint16_t>(length);
    HobetaBytes bytes = hobeta_bytes(header);
    if (!right_checksum) {
        bytes[kHobetaHeaderSize - 2] ^= 1U;  // the checksum's low byte
    }
    return std::string(bytes.begin(), bytes.end()) + std::string(data);
}

std::string hobeta_file(std::string_view data) {
    return hobeta_file(data, static_cast<unsigned>(data.size()));
}

}  // namespace korve::testing
