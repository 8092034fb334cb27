#include "lsp/lsp_document.h"

#include "base/code_page.h"
#include "base/hex_digits.h"

namespace korve::lsp {
namespace {

// The bytes the character at `at` takes, and its units in `encoding`.
struct Step {
    std::size_t bytes = 1;
    std::size_t units = 1;
};

Step step_at(std::string_view line, std::size_t at, Encoding encoding) {
    const Utf8Character found = decode_utf8(line, at);
    if (found.size == 0) {
        return {};
    }
    if (encoding == Encoding::Utf8) {
        return {found.size, found.size};
    }
    return {found.size, found.character > 0xFFFF ? std::size_t{2} : std::size_t{1}};
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

}  // namespace

std::size_t units_before(std::string_view line, std::size_t offset, Encoding encoding) {
    std::size_t units = 0;
    for (std::size_t at = 0; at < offset && at < line.size();) {
        const Step step = step_at(line, at, encoding);
        at += step.bytes;
        units += step.units;
    }
    return units;
}

std::size_t offset_at(std::string_view line, std::size_t units, Encoding encoding) {
    std::size_t at = 0;
    std::size_t counted = 0;
    while (at < line.size()) {
        const Step step = step_at(line, at, encoding);
        if (counted + step.units > units) {
            break;
        }
        counted += step.units;
        at += step.bytes;
    }
    return at;
}

std::vector<std::string_view> split_lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (true) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (end != std::string_view::npos && !line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        lines.push_back(line);
        if (end == std::string_view::npos) {
            return lines;
        }
        text.remove_prefix(end + 1);
    }
}

std::optional<std::filesystem::path> path_of_uri(std::string_view uri) {
    constexpr std::string_view kScheme = "file://";
    if (uri.substr(0, kScheme.size()) != kScheme) {
        return std::nullopt;
    }
    uri.remove_prefix(kScheme.size());
    const std::size_t slash = uri.find('/');
    if (slash == std::string_view::npos) {
        return std::nullopt;
    }
    uri.remove_prefix(slash);  // "localhost" or no host: this machine's
    std::string path;
    for (std::size_t i = 0; i < uri.size(); ++i) {
        if (uri[i] == '%' && i + 2 < uri.size() + 0 && hex_digit(uri[i + 1]) >= 0 && hex_digit(uri[i + 2]) >= 0) {
            path += static_cast<char>(hex_digit(uri[i + 1]) * 16 + hex_digit(uri[i + 2]));
            i += 2;
        } else {
            path += uri[i];
        }
    }
#ifdef _WIN32
    // "/C:/dir/x.asm" is C:/dir/x.asm.
    if (path.size() > 2 && path[0] == '/' && path[2] == ':') {
        path.erase(0, 1);
    }
#endif
    return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

std::string uri_of_path(const std::filesystem::path& path) {
    const std::u8string generic = path.generic_u8string();
    std::string uri = "file://";
    if (generic.empty() || generic.front() != u8'/') {
        uri += '/';
    }
    for (const char8_t c : generic) {
        const auto byte = static_cast<unsigned char>(c);
        const bool plain = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                           (byte >= '0' && byte <= '9') || std::string_view("-._~/").find(static_cast<char>(byte)) != std::string_view::npos;
        if (plain) {
            uri += static_cast<char>(byte);
        } else {
            uri += '%';
            append_hex(uri, byte, 2);
        }
    }
    return uri;
}

}  // namespace korve::lsp
