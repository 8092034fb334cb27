#include "korvex/verb_list.h"

#include <string>
#include <utility>
#include <vector>

#include "alasm/alasm_text.h"
#include "files/output.h"
#include "files/output_names.h"
#include "inputs/catalogue.h"
#include "inputs/korvex_inputs.h"

namespace korve {
namespace {

// Prints each input's summary as it comes: a list of any length takes no
// memory.
class Listing {
public:
    explicit Listing(const KorvexRun& run) : run_(run) {}

    void add(const InputSummary& summary) {
        Console& console = run_.console;
        if (run_.options.json) {
            console.lines(console.streams.out,
                          (listed_++ == 0 ? "{\"inputs\": [\n  " : ",\n  ") + summary_json(summary));
        } else {
            console.print(console.streams.out, summary_table(summary, console.newline));
        }
    }

    void end() const {
        if (run_.options.json) {
            run_.console.lines(run_.console.streams.out,
                               listed_ == 0 ? "{\"inputs\": []}\n" : "\n]}\n");
        }
    }

    // Says why an input could not be read, and lists it so.
    KorvexStatus unreadable(const Source& source, const std::string& said, std::string listed) {
        const KorvexStatus status = run_.console.error(source.shown, said, KorvexStatus::Trouble);
        add({source.shown, SummaryKind::Error, std::move(listed), {}, {}, {}, {}});
        return status;
    }

private:
    const KorvexRun& run_;
    std::size_t listed_ = 0;
};

// The names an image's files' text takes, as `text` would give them.
std::vector<std::string> output_names(const DiskImage& image) {
    std::vector<std::string> names = image_file_names(live_entries(image));
    for (std::string& name : names) {
        name += kTextSuffix;
    }
    return names;
}

// Lists one file; `claimed`: the names given out where `text` would write
// its text, so that the name listed is the one it writes.
KorvexStatus list_file(const KorvexRun& run, const InputNode& node, Listing& listing,
                       ClaimedNames& claimed) {
    const Source& source = node.source;
    OpenedInput opened = open_input(node, run.console.streams.in);
    if (opened.error) {
        const std::string why = reason(opened.error);
        return opened.reader ? listing.unreadable(source, "reading failed: " + why, "reading failed")
                             : listing.unreadable(source, why, why);
    }
    ByteReader& reader = *opened.reader;
    InputKind kind = opened.kind;
    if (holds_alasm(kind)) {
        InputSummary summary{source.shown,
                             kind == InputKind::BareAlasm ? SummaryKind::Alasm : SummaryKind::Hobeta,
                             {},
                             summarise_alasm(reader, kind, run.options.text.reading,
                                             claim_name(claimed, source.name, kTextSuffix)),
                             {},
                             {},
                             {}};
        if (reader.failed()) {
            return listing.unreadable(source, "reading failed: " + reason(reader.error()),
                                      "reading failed");
        }
        listing.add(summary);
        return KorvexStatus::Converted;
    }
    DiskImage image;
    std::vector<unsigned char> bytes;
    if (is_disk_image(kind)) {
        bytes = read_image_bytes(reader);
        if (reader.failed()) {
            return listing.unreadable(source, "reading failed: " + reason(reader.error()),
                                      "reading failed");
        }
        image = read_disk_image(bytes);
        if (image.problem == ImageProblem::NotAnImage) {
            kind = InputKind::None;  // larger than any image
        }
    }
    if (is_disk_image(kind)) {
        claim_name(claimed, source.name);  // its folder
        listing.add(summarise_image(source.shown, kind, image, bytes, run.options.text.reading,
                                    output_names(image)));
    } else {
        // A Hobeta file of other data: as long as one can be at most.
        while (bytes.size() <= kLargestHobetaFile && !reader.at_end()) {
            const auto block = reader.take(kLongestLook);
            bytes.insert(bytes.end(), block.begin(), block.end());
        }
        if (reader.failed()) {
            return listing.unreadable(source, "reading failed: " + reason(reader.error()),
                                      "reading failed");
        }
        InputSummary summary{source.shown, SummaryKind::None, {}, {}, {}, {}, {}};
        if (const auto file = summarise_hobeta_file(bytes)) {
            summary.kind = SummaryKind::HobetaFile;
            summary.entries.push_back(*file);
        }
        listing.add(summary);
    }
    return KorvexStatus::Converted;
}

struct Listed {
    KorvexStatus status = KorvexStatus::Converted;
    std::size_t not_files = 0;
};

Listed list_node(const KorvexRun& run, const InputNode& node, Listing& listing,
                 ClaimedNames& claimed) {
    Listed listed;
    const Source& source = node.source;
    switch (node.what) {
        case InputNode::What::File:
        case InputNode::What::Stdin: listed.status = list_file(run, node, listing, claimed); break;
        case InputNode::What::LinkToFolder:
            run.console.say(Severity::Progress, source.shown, "skipped: a link to a folder");
            break;
        case InputNode::What::NotAFile:
            ++listed.not_files;
            run.console.say(Severity::Progress, source.shown, "skipped: not a file");
            break;
        case InputNode::What::WrittenInto: break;
        case InputNode::What::Folder:
            if (node.unlisted) {
                listed.status = run.console.error(
                    source.shown, "cannot read the folder: " + reason(node.unlisted),
                    KorvexStatus::Trouble);
                break;
            }
            claim_name(claimed, source.name);  // its folder
            ClaimedNames in_folder;
            for (const InputNode& child : node.children) {
                const Listed inner = list_node(run, child, listing, in_folder);
                listed.status = worse(listed.status, inner.status);
                listed.not_files += inner.not_files;
            }
            break;
    }
    return listed;
}

}  // namespace

KorvexStatus run_list(const KorvexRun& run) {
    Listing listing(run);
    KorvexStatus status = KorvexStatus::Converted;
    ClaimedNames claimed;
    for (const InputNode& node : input_tree(run.options.inputs, std::nullopt)) {
        const Listed listed = list_node(run, node, listing, claimed);
        say_skipped(run.console, node.source, 0, listed.not_files);
        status = worse(status, listed.status);
    }
    listing.end();
    return status;
}

}  // namespace korve
