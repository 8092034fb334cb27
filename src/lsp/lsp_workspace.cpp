#include "lsp/lsp_workspace.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <system_error>

#include "files/output_names.h"
#include "inputs/source_text.h"
#include "translation/alasm_translation.h"
#include "translation/translation_project.h"

namespace korve::lsp {
namespace {

namespace fs = std::filesystem;

// The largest file of the folder read: a text larger than any disk holds
// is no source.
constexpr std::uintmax_t kLargestText = std::uintmax_t{16} << 20;

struct Candidate {
    fs::path path;
    std::string stem;  // the name less ".asm"
    std::string file;  // its name
};

std::vector<Candidate> folder_texts(const fs::path& folder) {
    std::vector<Candidate> found;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::error_code kind;
        if (!it->is_regular_file(kind)) {
            continue;
        }
        const std::u8string name8 = it->path().filename().u8string();
        const std::string name(name8.begin(), name8.end());
        if (const auto stem = text_stem(name)) {
            found.push_back({it->path(), *stem, name});
        }
    }
    std::sort(found.begin(), found.end(), [](const Candidate& a, const Candidate& b) { return a.file < b.file; });
    return found;
}

std::optional<std::string> read_text(const fs::path& path) {
    std::error_code error;
    const std::uintmax_t size = fs::file_size(path, error);
    if (error || size > kLargestText) {
        return std::nullopt;
    }
    std::ifstream stream(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
    if (!stream.good() && !stream.eof()) {
        return std::nullopt;
    }
    return text;
}

const Document* open_at(const std::map<std::string, Document>& open, const fs::path& path) {
    for (const auto& [uri, document] : open) {
        const auto named = path_of_uri(uri);
        std::error_code error;
        if (named && (*named == path || fs::equivalent(*named, path, error))) {
            return &document;
        }
    }
    return nullptr;
}

using Links = std::vector<std::vector<std::size_t>>;

// INCLUDE's names of the candidates: NAME.asm, NAME.H.asm or NAME.
Project include_names(const std::vector<Candidate>& candidates) {
    Project project;
    for (const Candidate& each : candidates) {
        project.includes.emplace(each.stem, each.file);
        project.includes.emplace(text_include_key(each.stem), each.file);
    }
    return project;
}

// The candidates each candidate's INCLUDEs name, in order, the text itself
// left out.
Links include_links(const std::vector<Candidate>& candidates, const std::vector<std::vector<std::string>>& includes,
                    const Project& project) {
    Links links(candidates.size());
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        for (const std::string& key : includes[i]) {
            const std::string file = include_file(project, key);
            for (std::size_t j = 0; j < candidates.size(); ++j) {
                if (candidates[j].file == file && j != i) {
                    links[i].push_back(j);
                }
            }
        }
        std::sort(links[i].begin(), links[i].end());
        links[i].erase(std::unique(links[i].begin(), links[i].end()), links[i].end());
    }
    return links;
}

// The links either way: who includes a text as well as what it includes.
Links either_way(const Links& links) {
    Links both(links.size());
    for (std::size_t i = 0; i < links.size(); ++i) {
        for (const std::size_t j : links[i]) {
            both[i].push_back(j);
            both[j].push_back(i);
        }
    }
    for (std::vector<std::size_t>& each : both) {
        std::sort(each.begin(), each.end());
        each.erase(std::unique(each.begin(), each.end()), each.end());
    }
    return both;
}

// The texts `links` lead to from `start`, breadth first, `start` first.
std::vector<std::size_t> reached_from(const Links& links, std::size_t start) {
    std::vector<std::size_t> order{start};
    std::vector<bool> seen(links.size());
    seen[start] = true;
    for (std::size_t next = 0; next < order.size(); ++next) {
        for (const std::size_t linked : links[order[next]]) {
            if (!seen[linked]) {
                seen[linked] = true;
                order.push_back(linked);
            }
        }
    }
    return order;
}

// The links among the texts `order` chose, numbered by place in `order`.
Links links_among(const Links& links, const std::vector<std::size_t>& order) {
    std::vector<std::size_t> place(links.size());
    for (std::size_t at = 0; at < order.size(); ++at) {
        place[order[at]] = at;
    }
    Links among(order.size());
    for (std::size_t at = 0; at < order.size(); ++at) {
        for (const std::size_t j : links[order[at]]) {
            among[at].push_back(place[j]);
        }
    }
    return among;
}

// Which texts one assembly takes together: all that one text's INCLUDEs,
// followed, come to.
std::vector<std::vector<bool>> together_of(const Links& links) {
    std::vector<std::vector<bool>> together(links.size(), std::vector<bool>(links.size()));
    for (std::size_t start = 0; start < links.size(); ++start) {
        const std::vector<std::size_t> reached = reached_from(links, start);
        for (const std::size_t a : reached) {
            for (const std::size_t b : reached) {
                together[a][b] = true;
            }
        }
    }
    return together;
}

}  // namespace

std::vector<const TextFacts*> ProjectView::facts() const {
    std::vector<const TextFacts*> all;
    for (const ProjectText& text : texts) {
        all.push_back(&text.facts);
    }
    return all;
}

std::vector<std::string> ProjectView::names() const {
    std::vector<std::string> all;
    for (const ProjectText& text : texts) {
        all.push_back(text.name);
    }
    return all;
}

namespace {

// The cache's key of a text: its path, or the URI of a document of no file.
std::string key_of(const fs::path& path, const std::string& uri) {
    if (path.empty()) {
        return "uri " + uri;
    }
    const std::u8string name8 = path.u8string();
    return "file " + std::string(name8.begin(), name8.end());
}

std::shared_ptr<const ReadText> read_anew(std::string_view text, CodePage page) {
    auto read = std::make_shared<ReadText>();
    read->packed = pack_text(text, page);
    if (read->packed.source) {
        read->includes = included_sources(*read->packed.source);
        collect_macros(*read->packed.source, read->macros);
    }
    return read;
}

// Reads a text again where what it was read from changed: the document
// `held`, else the file at `path`.
void refresh(CachedText& cached, const Document* held, const fs::path& path, CodePage page) {
    if (held != nullptr) {
        if (!cached.read || !cached.from_document || cached.text != held->text) {
            cached = {path.parent_path(), true, held->text, 0, {}, read_anew(held->text, page), nullptr, {}};
        }
        return;
    }
    std::error_code error;
    const std::uintmax_t size = path.empty() ? 0 : fs::file_size(path, error);
    const fs::file_time_type time = error || path.empty() ? fs::file_time_type() : fs::last_write_time(path, error);
    if (cached.read && !cached.from_document && !error && cached.size == size && cached.time == time) {
        return;
    }
    const std::optional<std::string> text = path.empty() ? std::nullopt : read_text(path);
    cached = {path.parent_path(), false, {}, error ? 0 : size, time, read_anew(text.value_or(""), page), nullptr, {}};
}

// Forgets the files of `folder` that are not `kept`, and documents of no
// file that are no longer open.
void forget_gone(TextCache& cache, const fs::path& folder, const std::set<std::string>& kept,
                 const std::map<std::string, Document>& open) {
    for (auto it = cache.texts.begin(); it != cache.texts.end();) {
        const bool document = it->first.rfind("uri ", 0) == 0;
        const bool gone = document ? open.count(it->first.substr(4)) == 0
                                   : it->second.folder == folder && kept.count(it->first) == 0;
        it = gone ? cache.texts.erase(it) : std::next(it);
    }
}

// Adds the open documents of `folder` that are no file there yet: a text
// made in the editor and not saved is one of the folder's all the same.
void add_unsaved(std::vector<Candidate>& candidates, const std::map<std::string, Document>& open,
                 const fs::path& folder) {
    for (const auto& [uri, document] : open) {
        const auto named = path_of_uri(uri);
        const std::u8string name8 = named ? named->filename().u8string() : std::u8string();
        const std::string name(name8.begin(), name8.end());
        const auto stem = text_stem(name);
        std::error_code error;
        if (stem && named->parent_path() == folder && !fs::exists(*named, error)) {
            candidates.push_back({*named, *stem, name});
        }
    }
}

ProjectView project_view(const std::map<std::string, Document>& open, const std::string& uri, CodePage page,
                         TextCache& cache) {
    ProjectView view;
    const auto path = path_of_uri(uri);
    const auto document = open.find(uri);
    std::vector<Candidate> candidates;
    if (path) {
        candidates = folder_texts(path->parent_path());
        add_unsaved(candidates, open, path->parent_path());
    }
    std::size_t start = candidates.size();
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        std::error_code error;
        if (candidates[i].path == *path || fs::equivalent(candidates[i].path, *path, error)) {
            start = i;
        }
    }
    if (start == candidates.size()) {
        // A document of no folder, or not named *.asm: alone.
        const std::u8string name8 = path ? path->filename().u8string() : std::u8string(u8"text");
        candidates.push_back({path.value_or(fs::path()), {}, std::string(name8.begin(), name8.end())});
    }
    const auto held_of = [&](std::size_t i) {
        return i == start && document != open.end() ? &document->second : open_at(open, candidates[i].path);
    };
    std::vector<CachedText*> cached(candidates.size());
    std::vector<std::vector<std::string>> includes(candidates.size());
    std::set<std::string> keys;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const std::string key = key_of(candidates[i].path, uri);
        keys.insert(key);
        cached[i] = &cache.texts[key];
        refresh(*cached[i], held_of(i), candidates[i].path, page);
        includes[i] = cached[i]->read->includes;
    }
    view.includes = include_names(candidates);
    const Links links = include_links(candidates, includes, view.includes);
    // The document and every text INCLUDE joins to it, either way.
    const std::vector<std::size_t> order = reached_from(either_way(links), start);
    std::set<std::string, std::less<>> macros;
    for (const std::size_t i : order) {
        macros.insert(cached[i]->read->macros.begin(), cached[i]->read->macros.end());
    }
    for (const std::size_t i : order) {
        CachedText& text = *cached[i];
        if (!text.facts || text.macros != macros) {
            text.facts = std::make_shared<const TextFacts>(analyse_text(text.read->packed, page, macros));
            text.macros = macros;
        }
        const Document* held = held_of(i);
        view.texts.push_back({candidates[i].path, held != nullptr ? held->uri : uri_of_path(candidates[i].path),
                              candidates[i].file, text.read, text.facts, text.read->packed, *text.facts});
    }
    view.links = links_among(links, order);
    view.together = together_of(view.links);
    forget_gone(cache, path ? path->parent_path() : fs::path(), keys, open);
    return view;
}

}  // namespace

ProjectView project_of(Workspace& state, const std::string& uri) {
    return project_view(state.open, uri, state.page, state.cache);
}

}  // namespace korve::lsp
