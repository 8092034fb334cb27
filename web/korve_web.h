// What the page's two entries into korve share: korve_web.cpp, korve's runs,
// inputs, disk images and the names of files; korve_web_korvex.cpp,
// korvex's runs and the reading view.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string_view>

#include "base/problem.h"
#include "formats/container.h"

namespace korve_web {

// Returned instead of an exit status when the console text could not be kept.
inline constexpr int kConsoleLost = -1;

// How bad a problem is, as the script names it: a word for each
// korve::Severity, in its order; each a literal, so that its data ends in a
// zero byte.
inline const char* severity_word(korve::Severity severity) {
    constexpr std::array<std::string_view, 5> kWords = {"error", "warning", "note", "progress",
                                                        "untranslated"};
    static_assert(kWords.size() == static_cast<std::size_t>(korve::Severity::Untranslated) + 1);
    return kWords[static_cast<std::size_t>(severity)].data();
}

// The kind of the ALASM data that `input` is, bare or behind a Hobeta
// header; nothing where it holds none.
inline std::optional<korve::InputKind> alasm_kind(std::span<const unsigned char> input) {
    const korve::InputKind kind =
        korve::recognise_input(input.first(std::min(input.size(), korve::kRecognisedBytes)));
    return korve::holds_alasm(kind) ? std::optional(kind) : std::nullopt;
}

}  // namespace korve_web
