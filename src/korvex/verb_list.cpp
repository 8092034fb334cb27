#include "korvex/verb_list.h"

#include <string>
#include <utility>
#include <vector>

#include "alasm/alasm_text.h"
#include "files/output.h"
#include "files/output_names.h"
#include "inputs/catalogue.h"
#include "inputs/korvex_inputs.h"
#include "inputs/loader.h"

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
        add({source.shown, InputKind::None, ListedAs::Error, std::move(listed), {}, {}, {}, {}});
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
KorvexStatus list_file(const KorvexRun& run, const InputNode& node, bool named, Listing& listing,
                       ClaimedNames& claimed) {
    LoadedInput loaded =
        load_input(node, run.console.streams.in, false, AlasmData::ReadWhole, text_inputs(run, named));
    const Source source = loaded_source(node, loaded);
    if (loaded.error) {
        const std::string why = reason(loaded.error);
        return loaded.opened ? listing.unreadable(source, "reading failed: " + why, "reading failed")
                             : listing.unreadable(source, why, why);
    }
    KorvexStatus status = KorvexStatus::Converted;
    std::string refused;  // why an ALASM text cannot be stored
    if (!loaded.read) {  // too large: said, and listed as holding neither kind
        for (Problem& problem : loaded.problems) {
            status = worse(status, problem.status);
            refused = problem.text;
            run.console.add(std::move(problem));
        }
    }
    const InputKind kind = loaded.kind;
    if (kind == InputKind::AlasmText && !loaded.read) {
        listing.add({source.shown, kind, ListedAs::Error, refused, {}, {}, {}, {}});
    } else if (holds_alasm(kind)) {
        ByteReader reader(loaded.bytes);
        listing.add({source.shown,
                     kind,
                     ListedAs::OfKind,
                     {},
                     summarise_alasm(reader, kind, run.options.text.reading,
                                     claim_name(claimed, source.name, kTextSuffix)),
                     {},
                     {},
                     {}});
    } else if (is_disk_image(kind)) {
        // An image's own problems are in its listing; a floppy image's are
        // said, as text says them: a lost catalogue loses files.
        for (std::size_t i = 0; i < loaded.floppy_problems; ++i) {
            status = worse(status, loaded.problems[i].status);
            run.console.add(std::move(loaded.problems[i]));
        }
        claim_name(claimed, source.name);  // its folder
        listing.add(summarise_image(source.shown, kind, loaded.image, loaded.bytes,
                                    run.options.text.reading, output_names(loaded.image)));
    } else {
        InputSummary summary{source.shown, InputKind::None, ListedAs::OfKind, {}, {}, {}, {}, {}};
        if (const auto file = summarise_hobeta_file(loaded.bytes)) {
            summary.listed = ListedAs::HobetaFile;
            summary.entries.push_back(*file);
        }
        listing.add(summary);
    }
    return status;
}

struct Listed {
    KorvexStatus status = KorvexStatus::Converted;
    std::size_t not_files = 0;
};

Listed list_node(const KorvexRun& run, const InputNode& node, bool named, Listing& listing,
                 ClaimedNames& claimed) {
    Listed listed;
    const Source& source = node.source;
    switch (node.what) {
        case InputNode::What::File:
        case InputNode::What::Stdin: listed.status = list_file(run, node, named, listing, claimed); break;
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
                const Listed inner = list_node(run, child, false, listing, in_folder);
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
        const Listed listed = list_node(run, node, true, listing, claimed);
        say_skipped(run.console, node.source, 0, listed.not_files);
        status = worse(status, listed.status);
    }
    listing.end();
    return status;
}

}  // namespace korve
