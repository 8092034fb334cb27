#include "inputs/input_files.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "base/code_page.h"
#include "base/fnv_digest.h"
#include "base/little_endian.h"
#include "files/output.h"
#include "formats/alasm_source.h"
#include "formats/hobeta_header.h"
#include "formats/trdos_image.h"
#include "inputs/catalogue.h"
#include "inputs/loader.h"

namespace korve {
namespace {


void add_leaves(const InputNode& node, const std::string& path, std::vector<Leaf>& leaves) {
    switch (node.what) {
        case InputNode::What::File:
        case InputNode::What::Stdin: leaves.push_back({&node, path}); break;
        case InputNode::What::Folder:
            if (node.unlisted) {
                leaves.push_back({&node, path});
                break;
            }
            for (const InputNode& child : node.children) {
                add_leaves(child, path.empty() ? child.source.name : path + "/" + child.source.name,
                           leaves);
            }
            break;
        case InputNode::What::LinkToFolder:
        case InputNode::What::NotAFile:
        case InputNode::What::WrittenInto: break;
    }
}

// Bytes through the code page, where one is chosen.
std::string through_page(std::string_view bytes, const std::optional<CodePage>& charset) {
    if (!charset) {
        return std::string(bytes);
    }
    std::string shown;
    append_utf8(shown, *charset, bytes);
    return shown;
}

// A path's bytes on one line, as a name's: "\xNN" for those below 0x20,
// 0x7F and the backslash.
std::string one_line(std::string_view bytes) { return shown_bytes(bytes, std::nullopt); }

// The name of the first nine bytes of a header: its name, up to a zero and
// less its padding, and its type, where it is no zero.
std::string header_name(std::string_view header, const std::optional<CodePage>& charset) {
    const TrdosName name = korve::header_name(catalogue_name(byte_span(header)));
    if (name.type == 0) {
        return shown_parts(name, charset).name;
    }
    return shown_name(name, charset);
}

// The file's bytes its length covers, at `begin` of `container`: as many as
// there are.
void cover(HeldFile& file, std::size_t begin) {
    file.data_begin = std::min(begin, file.container.size());
    file.data_size = std::min(file.length, file.container.size() - file.data_begin);
}

// The files of an image, sorted by name and type: their keys made distinct.
std::vector<HeldFile> image_files(const DiskImage& image, std::span<const unsigned char> bytes,
                                  const std::string& path, const std::optional<CodePage>& charset) {
    std::vector<CatalogueEntry> entries = live_entries(image);
    std::stable_sort(entries.begin(), entries.end(), [](const CatalogueEntry& a, const CatalogueEntry& b) {
        const std::string a_name = name_bytes(a.name);
        const std::string b_name = name_bytes(b.name);
        const unsigned char a_type = a.name.type;
        const unsigned char b_type = b.name.type;
        return std::lexicographical_compare(a_name.begin(), a_name.end(), b_name.begin(),
                                            b_name.end()) ||
               (std::equal(a_name.begin(), a_name.end(), b_name.begin(), b_name.end()) &&
                a_type < b_type);
    });
    std::vector<HeldFile> files;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const CatalogueEntry& entry = entries[i];
        HeldFile file;
        file.inner = shown_name(entry.name, charset);
        std::size_t same = 1;
        while (same < i + 1 && entries[i - same].name == entry.name) {
            ++same;
        }
        if (same > 1) {
            file.inner += " (" + std::to_string(same) + ")";
        }
        file.key = joined_name(path, file.inner);
        file.heading = joined_name(one_line(path), file.inner);
        file.start = entry.start;
        file.length = entry.length;
        file.place = entry.alasm ? AlasmPlace::on_disk(entry.length) : AlasmPlace(InputKind::None);
        const auto sectors = file_sectors(bytes, entry);
        file.container.assign(sectors.begin(), sectors.end());
        cover(file, 0);
        if (entry.problem != ImageProblem::None) {
            file.lost = true;
            file.notes.push_back({Severity::Error, "", entry_problem_text(entry)});
        }
        files.push_back(std::move(file));
    }
    return files;
}

// The one file a leaf of ALASM data, or of neither kind, is.
HeldFile single_file(const Leaf& leaf, InputKind kind, std::string bytes,
                     const std::optional<CodePage>& charset) {
    HeldFile file;
    file.key = leaf.path;
    file.place = kind;
    file.container = std::move(bytes);
    std::string own = one_line(leaf.node->source.name);  // a path's: UTF-8 already
    if (kind == InputKind::HobetaAlasm) {
        own = header_name(file.container, charset);
        const HobetaHeader header = read_hobeta_header(byte_span(file.container));
        file.start = header.start;
        file.length = header.length;
        cover(file, kHobetaHeaderSize);
        if (!header.checksum_matches) {
            file.notes.push_back({Severity::Warning, "", "the Hobeta checksum does not match"});
        }
    } else {
        // Any other file named is shown by its heading alone, as a disk's
        // code file is: a changed binary shows as a changed digest.
        if (kind == InputKind::BareAlasm || kind == InputKind::AlasmText) {
            own = header_name(file.container, charset);
        }
        file.length = file.container.size();
        cover(file, 0);
    }
    if (own.empty()) {
        own = one_line(leaf.node->source.name);
    }
    file.heading = joined_name(one_line(leaf.path), own);
    return file;
}

// The one file a text that cannot be stored is: its data lost, and why, at
// its line and column.
HeldFile refused_text(const Leaf& leaf, const std::vector<Problem>& problems) {
    HeldFile file;
    file.key = leaf.path;
    file.place = InputKind::AlasmText;
    file.lost = true;
    for (const Problem& problem : problems) {
        const Where at{{}, {}, problem.where.line, problem.where.column};
        file.notes.push_back({problem.severity, where_shown(at), problem.text});
    }
    file.heading = joined_name(one_line(leaf.path), one_line(leaf.node->source.name));
    return file;
}

}  // namespace

std::vector<Leaf> walk_leaves(const InputNode& top) {
    std::vector<Leaf> leaves;
    add_leaves(top, "", leaves);
    return leaves;
}

HeldFiles read_held_files(const Leaf& leaf, std::FILE* stdin_stream, bool walked,
                          const TextOptions& options, const TextInputs& texts) {
    HeldFiles held;
    held.heading = one_line(leaf.path);
    if (leaf.node->unlisted) {
        held.error = leaf.node->unlisted;
        return held;
    }
    LoadedInput loaded = load_input(*leaf.node, stdin_stream, walked, AlasmData::ReadWhole, texts);
    held.opened = loaded.opened;
    held.error = loaded.error;
    held.kind = loaded.kind;
    if (loaded.kind == InputKind::AlasmText && !loaded.read && !loaded.error) {
        held.files.push_back(refused_text(leaf, loaded.problems));
        return held;
    }
    if (!loaded.read) {
        // Too large, where no system error is: what a user named is said
        // so, what a walk found skipped (a translation korvex wrote too).
        for (const Problem& problem : loaded.error ? std::vector<Problem>{} : loaded.problems) {
            if (problem.severity != Severity::Error) {
                continue;
            }
            held.failure = problem.text;
            held.error = std::make_error_code(std::errc::file_too_large);
        }
        return held;
    }
    if (walked && loaded.kind == InputKind::None) {
        return held;
    }
    const std::vector<unsigned char>& read = loaded.bytes;
    std::string bytes(read.begin(), read.end());
    if (is_disk_image(held.kind)) {
        for (const Problem& problem : loaded.problems) {
            held.notes.push_back({problem.severity, "", problem.text});
        }
        held.files = image_files(loaded.image, byte_span(bytes), leaf.path, options.charset);
    } else {
        held.files.push_back(single_file(leaf, held.kind, std::move(bytes), options.charset));
    }
    return held;
}

std::string failure_words(const Leaf& leaf, const HeldFiles& held) {
    if (!held.failure.empty()) {
        return held.failure;
    }
    if (leaf.node->unlisted) {
        return "cannot read the folder: " + reason(held.error);
    }
    return held.opened ? "reading failed: " + reason(held.error) : reason(held.error);
}

FileText file_text(const HeldFile& file, const TextOptions& options) {
    FileText text;
    if (!holds_alasm(file.place.kind) || file.lost) {
        return text;
    }
    ByteReader reader(byte_span(file.container));
    const AlasmSource source = read_source(reader, file.place, options.reading);
    text.lines.reserve(source.size());
    for (std::size_t i = 0; i < source.size(); ++i) {
        text.lines.push_back(through_page(source.line(i).text, options.charset));
    }
    const SourceEnd& end = source.end;
    const std::string data_end = data_end_problem(end.lines, end.cut_line, end.short_by);
    if (end.undefined) {
        text.notes.push_back({Severity::Error, ":" + std::to_string(end.lines + 1),
                              token_problem(*end.undefined) + "; the text stops before it"});
    } else if (!data_end.empty()) {
        text.notes.push_back({Severity::Error, "", data_end});
    }
    if (end.read_error) {
        text.notes.push_back({Severity::Error, "", "reading failed: " + reason(end.read_error)});
    }
    return text;
}

bool same_file(const HeldFile& a, const HeldFile& b) {
    return a.start == b.start && a.length == b.length && a.data() == b.data() &&
           a.lost == b.lost;
}

std::string heading_line(const HeldFile& file) {
    std::string line(kHeadingMark);
    line += file.heading;
    if (file.start) {
        line += "  start " + std::to_string(*file.start);
    }
    line += "  length " + std::to_string(file.length);
    if (!file.lost) {
        line += "  fnv " + digest_hex(fnv1a_32(byte_span(file.data())));
    }
    return line;
}

std::string note_line(std::string_view where, const Note& note) {
    std::string line(kHeadingMark);
    line += where;
    line += note.line;
    if (!where.empty() || !note.line.empty()) {
        line += ": ";
    }
    line += note.severity == Severity::Error ? "error: " : "warning: ";
    return line + note.text;
}

std::vector<std::string> body_lines(const HeldFile& file, FileText text) {
    std::vector<std::string> lines;
    lines.reserve(file.notes.size() + text.lines.size() + text.notes.size());
    for (const Note& note : file.notes) {
        lines.push_back(note_line(file.heading, note));
    }
    std::move(text.lines.begin(), text.lines.end(), std::back_inserter(lines));
    for (const Note& note : text.notes) {
        lines.push_back(note_line(file.heading, note));
    }
    return lines;
}

std::string joined_name(std::string_view outer, std::string_view inner) {
    if (outer.empty() || inner.empty()) {
        return std::string(outer.empty() ? inner : outer);
    }
    return std::string(outer) + ":" + std::string(inner);
}

}  // namespace korve
