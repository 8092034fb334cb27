#include "korvex/verb_get.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/code_page.h"
#include "files/output.h"
#include "files/output_names.h"
#include "formats/container.h"
#include "inputs/korvex_inputs.h"
#include "inputs/loader.h"

namespace korve {
namespace {

namespace fs = std::filesystem;

// An image's catalogue and the bytes it was read from.
struct ReadImage {
    // cppcheck-suppress unusedStructMember
    std::vector<unsigned char> bytes;  // read through the optional that holds it
    DiskImage image;
    std::vector<CatalogueEntry> files;  // its live files
};

// The image DISK holds, or the status of why it holds none (said).
std::optional<ReadImage> read_image(const KorvexRun& run, KorvexStatus& status) {
    LoadedInput loaded = load_input(named_input(run.options.inputs.front()), run.console.streams.in, false);
    for (Problem& problem : loaded.problems) {
        status = worse(status, problem.status);
        run.console.add(std::move(problem));
    }
    if (!loaded.read) {
        return std::nullopt;
    }
    if (!is_disk_image(loaded.kind)) {
        status = run.console.error(
            run.options.inputs.front(),
            "holds no disk image: get copies files off a TR-DOS disk image or an SCL archive",
            KorvexStatus::NotAllConverted);
        return std::nullopt;
    }
    ReadImage read{std::move(loaded.bytes), std::move(loaded.image), {}};
    read.files = live_entries(read.image);
    return read;
}

// The files asked for, by their place in the image: each NAME.T as text
// names it, or as TR-DOS shows it in CP866; all of them when none is named.
std::vector<std::size_t> chosen(const KorvexRun& run, std::span<const CatalogueEntry> image,
                                const std::vector<std::string>& names, KorvexStatus& status) {
    std::vector<std::size_t> files;
    const std::vector<std::string>& inputs = run.options.inputs;
    if (inputs.size() == 1) {
        for (std::size_t i = 0; i < names.size(); ++i) {
            files.push_back(i);
        }
        return files;
    }
    std::vector<NameCandidate> candidates;
    for (std::size_t i = 0; i < names.size(); ++i) {
        candidates.push_back(name_candidate(image[i].name, names[i]));
    }
    for (auto asked = inputs.begin() + 1; asked != inputs.end(); ++asked) {
        const Encoded bytes = encode_in(CodePage::Cp866, *asked);
        std::optional<std::size_t> found;
        for (std::size_t i = 0; i < names.size() && !found; ++i) {
            if (names[i] == *asked || (!bytes.failed_at && catalogue_text(image[i].name) == bytes.bytes)) {
                found = i;
            }
        }
        // Else as `list` shows it, or with no type where only one file fits.
        const std::vector<std::size_t> named = found ? std::vector<std::size_t>{} : files_named(*asked, candidates);
        if (named.size() == 1) {
            found = named[0];
        }
        if (named.size() > 1) {
            status = worse(status, run.console.error(inputs.front(), ambiguous_name_text(*asked, candidates, named),
                                                     KorvexStatus::NotAllConverted));
        } else if (!found) {
            status = worse(status, run.console.error(inputs.front(), "no file " + *asked + " on it",
                                                     KorvexStatus::NotAllConverted));
        } else if (std::find(files.begin(), files.end(), *found) == files.end()) {
            files.push_back(*found);
        }
    }
    return files;
}

// Where a file goes in the folder: NAME.T, or its Hobeta file NAME.$T.
Place place_of(const KorvexRun& run, OutputFolder& folder, const CatalogueEntry& entry, const std::string& name) {
    if (!run.options.hobeta) {
        return folder.claim(name);
    }
    const NameParts host = host_parts(entry.name);
    if (host.type.empty()) {
        return folder.claim(joined(host));
    }
    return folder.claim(host.name, ".$" + host.type);
}

// A file's bytes: as the catalogue's length gives them, or a Hobeta file of
// it, made as it leaves the disk.
std::string bytes_of(const KorvexRun& run, std::span<const unsigned char> image, const CatalogueEntry& entry) {
    if (run.options.hobeta) {
        return hobeta_file(hobeta_header_of(entry), file_sectors(image, entry));
    }
    const auto bytes = file_bytes(image, entry);
    return {bytes.begin(), bytes.end()};
}

// A catalogue length past the file's sectors: the bytes past them are not on
// the disk, so the file is not got whole, as a Hobeta file or not; what its
// sectors hold is written all the same.
KorvexStatus say_if_short(const KorvexRun& run, const CatalogueEntry& entry, const std::string& shown) {
    const std::size_t held = entry.data.size;
    if (entry.length <= held) {
        return KorvexStatus::Converted;
    }
    return run.console.error(shown,
                             "its catalogue length passes its sectors: the " +
                                 std::to_string(held) + " bytes they hold are written",
                             KorvexStatus::NotAllConverted);
}

}  // namespace

KorvexStatus run_get(const KorvexRun& run) {
    KorvexStatus status = KorvexStatus::Converted;
    const std::optional<ReadImage> image = read_image(run, status);
    if (!image) {
        return status;
    }
    const std::string& disk = run.options.inputs.front();
    const std::vector<std::string> names = image_file_names(image->files);
    const std::vector<std::size_t> files = chosen(run, image->files, names, status);
    OutputFolder folder(place_named(run.options.output.value_or(".")));
    const WritePolicy policy = write_policy(run, run_inputs(run, 0, 1));
    for (const std::size_t i : files) {
        const CatalogueEntry& entry = image->files[i];
        const std::string shown = disk + ":" + names[i];
        if (entry.problem != ImageProblem::None) {
            status = worse(status, run.console.error(shown, entry_problem_text(entry),
                                                     KorvexStatus::NotAllConverted));
            continue;
        }
        std::optional<WriteFailure> failure = folder.make();
        const Place place = place_of(run, folder, entry, names[i]);
        if (!failure) {
            status = worse(status, say_if_short(run, entry, shown));
            failure = write_whole(place, bytes_of(run, image->bytes, entry), policy);
        }
        if (failure) {
            status = worse(status, run.console.error(shown, failure_text(*failure), KorvexStatus::Trouble));
            continue;
        }
        run.console.say(Severity::Progress, shown, "written to " + place.shown);
    }
    return status;
}

}  // namespace korve
