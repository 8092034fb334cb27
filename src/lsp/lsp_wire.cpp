#include "lsp/lsp_wire.h"

#include <algorithm>
#include <charconv>
#include <optional>

namespace korve::lsp {
namespace {

constexpr std::string_view kHeaderEnd = "\r\n\r\n";
constexpr std::string_view kLength = "content-length";

bool same_ignoring_case(std::string_view a, std::string_view b) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

// The Content-Length a header gives, or why it gives none.
struct Length {
    std::size_t bytes = 0;
    std::string problem;
};

Length length_of(std::string_view header) {
    std::optional<std::size_t> found;
    while (!header.empty()) {
        const std::size_t end = std::min(header.find("\r\n"), header.size());
        const std::string_view line = header.substr(0, end);
        header.remove_prefix(std::min(header.size(), end + 2));
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            return {0, "a header line without a ':': " + std::string(line.substr(0, 80))};
        }
        if (!same_ignoring_case(trimmed(line.substr(0, colon)), kLength)) {
            continue;  // Content-Type and others: the body is UTF-8 JSON whatever they say
        }
        const std::string_view value = trimmed(line.substr(colon + 1));
        std::size_t bytes = 0;
        const auto [rest, error] = std::from_chars(value.data(), value.data() + value.size(), bytes);
        if (error != std::errc() || rest != value.data() + value.size() || value.empty()) {
            return {0, "Content-Length is no number: " + std::string(value.substr(0, 80))};
        }
        found = bytes;
    }
    if (!found) {
        return {0, "a header without Content-Length"};
    }
    return {*found, {}};
}

}  // namespace

void FrameReader::add(std::string_view bytes) {
    if (skipping_ > 0) {
        const std::size_t dropped = std::min(skipping_, bytes.size());
        skipping_ -= dropped;
        bytes.remove_prefix(dropped);
    }
    if (start_ > 0 && start_ >= buffer_.size() / 2) {
        buffer_.erase(0, start_);
        start_ = 0;
    }
    buffer_.append(bytes);
}

Frame FrameReader::next() {
    if (skipping_ > 0) {
        return {};
    }
    const std::string_view rest = std::string_view(buffer_).substr(start_);
    const std::size_t end = rest.find(kHeaderEnd);
    if (end == std::string_view::npos) {
        if (rest.size() > largest_) {
            // No end in sight: drop all but what may begin the end.
            start_ = std::max(start_, buffer_.size() - std::min(buffer_.size(), kHeaderEnd.size() - 1));
            return {Frame::Kind::Refused, "a header longer than " + std::to_string(largest_) + " bytes"};
        }
        return {};
    }
    const Length length = length_of(rest.substr(0, end));
    const std::size_t body = end + kHeaderEnd.size();
    if (!length.problem.empty()) {
        start_ += body;
        return {Frame::Kind::Refused, length.problem};
    }
    if (length.bytes > largest_) {
        const std::size_t held = rest.size() - body;
        const std::size_t dropped = std::min(held, length.bytes);
        start_ += body + dropped;
        skipping_ = length.bytes - dropped;
        return {Frame::Kind::Refused, "a body of " + std::to_string(length.bytes) + " bytes, more than " +
                                          std::to_string(largest_)};
    }
    if (rest.size() - body < length.bytes) {
        return {};
    }
    Frame frame{Frame::Kind::Body, std::string(rest.substr(body, length.bytes))};
    start_ += body + length.bytes;
    return frame;
}

std::string framed(std::string_view body) {
    return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + std::string(body);
}

}  // namespace korve::lsp
