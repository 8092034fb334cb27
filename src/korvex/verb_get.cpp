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

namespace korve {
namespace {

namespace fs = std::filesystem;

// The image DISK holds, or the status of why it holds none (said).
std::optional<DiskImage> read_image(const KorvexRun& run, KorvexStatus& status) {
    const std::string& input = run.options.inputs.front();
    File opened;
    std::FILE* stream = run.console.streams.in;
    if (input != kStandardStream) {
        OpenedFile file = open_for_reading(file_path(input.c_str()));
        if (!file.file) {
            status = run.console.error(input, reason(file.error), KorvexStatus::Trouble);
            return std::nullopt;
        }
        opened = std::move(file.file);
        stream = opened.get();
    }
    ByteReader reader(stream);
    const std::vector<unsigned char> bytes = read_image_bytes(reader);
    if (reader.failed()) {
        status = run.console.error(input, "reading failed: " + reason(reader.error()), KorvexStatus::Trouble);
        return std::nullopt;
    }
    DiskImage image = read_disk_image(bytes);
    if (image.problem == ImageProblem::NotAnImage) {
        status = run.console.error(
            input, "holds no disk image: get copies files off a TR-DOS disk image or an SCL archive",
            KorvexStatus::NotAllConverted);
        return std::nullopt;
    }
    if (loses_unnamed_files(image)) {
        status = run.console.error(input, image_problem_text(image), KorvexStatus::NotAllConverted);
    } else if (image.problem != ImageProblem::None) {
        run.console.say(Severity::Warning, input, image_problem_text(image));
    }
    return image;
}

// The files asked for, by their place in the image: each NAME.T as text
// names it, or as TR-DOS shows it in CP866; all of them when none is named.
std::vector<std::size_t> chosen(const KorvexRun& run, const DiskImage& image,
                                const std::vector<std::string>& names, KorvexStatus& status) {
    std::vector<std::size_t> files;
    const std::vector<std::string>& inputs = run.options.inputs;
    if (inputs.size() == 1) {
        for (std::size_t i = 0; i < names.size(); ++i) {
            files.push_back(i);
        }
        return files;
    }
    for (auto asked = inputs.begin() + 1; asked != inputs.end(); ++asked) {
        const Encoded bytes = encode_in(CodePage::Cp866, *asked);
        std::optional<std::size_t> found;
        for (std::size_t i = 0; i < names.size() && !found; ++i) {
            if (names[i] == *asked || (!bytes.failed_at && full_name(image.entries[i]) == bytes.bytes)) {
                found = i;
            }
        }
        if (!found) {
            status = worse(status, run.console.error(inputs.front(), "no file " + *asked + " on it",
                                                     KorvexStatus::NotAllConverted));
        } else if (std::find(files.begin(), files.end(), *found) == files.end()) {
            files.push_back(*found);
        }
    }
    return files;
}

// Where a file goes in the folder: NAME.T, or its Hobeta file NAME.$T.
Place place_of(const KorvexRun& run, OutputFolder& folder, const ImageEntry& entry, const std::string& name) {
    if (!run.options.hobeta) {
        return folder.claim(name);
    }
    const std::string file = entry_file_name(entry.name, entry.type);
    const std::string type = "." + safe_name(std::string_view(&entry.type, 1));
    if (!file.ends_with(type)) {
        return folder.claim(file);
    }
    return folder.claim(std::string_view(file).substr(0, file.size() - type.size()), ".$" + type.substr(1));
}

// A file's bytes: as the catalogue's length gives them, or its Hobeta file.
std::string bytes_of(const KorvexRun& run, const ImageEntry& entry) {
    if (run.options.hobeta) {
        return entry.hobeta;
    }
    return entry.hobeta.substr(kHobetaHeaderSize, entry.length);
}

// A catalogue length past the file's sectors: the bytes past them are not on
// the disk, so the file is not got whole, as a Hobeta file or not; what its
// sectors hold is written all the same.
KorvexStatus say_if_short(const KorvexRun& run, const ImageEntry& entry, const std::string& shown) {
    const std::size_t held = entry.hobeta.size() - kHobetaHeaderSize;
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
    const std::optional<DiskImage> image = read_image(run, status);
    if (!image) {
        return status;
    }
    const std::string& disk = run.options.inputs.front();
    const std::vector<std::string> names = image_file_names(*image);
    const std::vector<std::size_t> files = chosen(run, *image, names, status);
    OutputFolder folder(place_named(run.options.output.value_or(".")));
    WritePolicy policy{run.options.force, {}, nullptr};
    if (disk == kStandardStream) {
        policy.input_stream = run.console.streams.in;
    } else {
        policy.inputs.push_back(file_path(disk.c_str()));
    }
    for (const std::size_t i : files) {
        const ImageEntry& entry = image->entries[i];
        const std::string shown = disk + ":" + names[i];
        if (entry.problem != ImageProblem::None) {
            status = worse(status, run.console.error(shown, entry_problem(entry.problem),
                                                     KorvexStatus::NotAllConverted));
            continue;
        }
        std::optional<WriteFailure> failure = folder.make();
        const Place place = place_of(run, folder, entry, names[i]);
        if (!failure) {
            status = worse(status, say_if_short(run, entry, shown));
            failure = write_whole(place, bytes_of(run, entry), policy);
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
