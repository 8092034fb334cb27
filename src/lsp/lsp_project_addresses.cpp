#include "lsp/lsp_project_addresses.h"

#include <algorithm>

#include "lsp/lsp_includes.h"

namespace korve::lsp {

ProjectAddresses addresses_of(TextCache& cache, const ProjectView& view) {
    KeptAssembly& kept = cache.addresses;
    const std::size_t main = main_text(view);
    ProjectAddresses found{kept.assembly, {}};
    bool same = kept.assembly && kept.texts.size() == view.texts.size() && kept.texts[kept.main] == view.texts[main].read;
    for (std::size_t i = 0; same && i < view.texts.size(); ++i) {
        const auto at = std::find(kept.texts.begin(), kept.texts.end(), view.texts[i].read);
        same = at != kept.texts.end();
        found.text.push_back(static_cast<std::size_t>(at - kept.texts.begin()));
    }
    if (same) {
        return found;
    }
    kept.texts.clear();
    found.text.clear();
    for (std::size_t i = 0; i < view.texts.size(); ++i) {
        kept.texts.push_back(view.texts[i].read);
        found.text.push_back(i);
    }
    kept.main = main;
    kept.assembly = std::make_shared<const Assembly>(assemble_project(view, main));
    found.assembly = kept.assembly;
    return found;
}

std::optional<std::uint16_t> value_at(const ProjectAddresses& addresses, std::size_t text, std::size_t line) {
    const auto& values = addresses.assembly->values[addresses.text[text]];
    return line < values.size() ? values[line] : std::nullopt;
}

const Placed* placed_at(const ProjectAddresses& addresses, std::size_t text, std::size_t line) {
    const auto& places = addresses.assembly->places[addresses.text[text]];
    return line < places.size() && places[line] ? &*places[line] : nullptr;
}

std::uint32_t order_at(const ProjectAddresses& addresses, std::size_t text, std::size_t line) {
    const auto& order = addresses.assembly->order[addresses.text[text]];
    return line < order.size() ? order[line] : 0;
}

}  // namespace korve::lsp
