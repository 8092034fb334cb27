#include "lsp/lsp_workspace.h"

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

// The texts INCLUDE joins to text `start`, either way, `start` first.
std::vector<std::size_t> joined_texts(const std::vector<Candidate>& candidates,
                                      const std::vector<std::vector<std::string>>& includes, std::size_t start) {
    Project project;
    for (const Candidate& each : candidates) {
        project.includes.emplace(each.stem, each.file);
        project.includes.emplace(text_include_key(each.stem), each.file);
    }
    std::vector<std::set<std::size_t>> links(candidates.size());
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        for (const std::string& key : includes[i]) {
            const std::string file = include_file(project, key);
            for (std::size_t j = 0; j < candidates.size(); ++j) {
                if (candidates[j].file == file && j != i) {
                    links[i].insert(j);
                    links[j].insert(i);
                }
            }
        }
    }
    std::vector<std::size_t> order{start};
    std::vector<bool> seen(candidates.size());
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

ProjectView project_of(const std::map<std::string, Document>& open, const std::string& uri, CodePage page) {
    ProjectView view;
    const auto path = path_of_uri(uri);
    const auto document = open.find(uri);
    std::vector<Candidate> candidates;
    if (path) {
        candidates = folder_texts(path->parent_path());
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
    std::vector<PackedText> packed(candidates.size());
    std::vector<std::vector<std::string>> includes(candidates.size());
    std::set<std::string, std::less<>> macros;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const Document* held = i == start && document != open.end() ? &document->second
                                                                     : open_at(open, candidates[i].path);
        const std::optional<std::string> text = held != nullptr ? held->text : read_text(candidates[i].path);
        packed[i] = pack_text(text.value_or(""), page);
        if (packed[i].source) {
            includes[i] = included_sources(*packed[i].source);
        }
    }
    for (const std::size_t i : joined_texts(candidates, includes, start)) {
        if (packed[i].source) {
            collect_macros(*packed[i].source, macros);
        }
        const Document* held = i == start && document != open.end() ? &document->second
                                                                     : open_at(open, candidates[i].path);
        view.texts.push_back({candidates[i].path, held != nullptr ? held->uri : uri_of_path(candidates[i].path),
                              candidates[i].file, std::move(packed[i]), {}});
    }
    for (ProjectText& text : view.texts) {
        text.facts = analyse_text(text.packed, page, macros);
    }
    return view;
}

}  // namespace korve::lsp
