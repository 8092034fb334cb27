// What put does to a disk, planned in memory: each text's change (the file
// it replaces, by the name korvex text gave it or --name's, or the file it
// adds), its new data (the text merged into the source it replaces, what the
// user did not change coming back byte for byte: text_merge.h), and the
// disk's new bytes with every change made as TR-DOS makes it (disk_edit.h).
// Nothing here reads or writes a file, or prints: what cannot be done comes
// back as problems, in the order they are said, and the verb says the rest
// from the changes.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "alasm/alasm_text.h"
#include "alasm/text_merge.h"
#include "base/code_page.h"
#include "base/problem.h"
#include "formats/container.h"
#include "formats/disk_edit.h"
#include "formats/trdos_image.h"
#include "inputs/korvex_inputs.h"
#include "inputs/stored_file.h"

namespace korve {

// The DISK put changes, as it was read.
struct PutDisk {
    std::string shown;                       // as messages show it
    std::span<const unsigned char> bytes;    // whole; a floppy image's: the .trd it carries
    std::span<const unsigned char> own;      // the file's own bytes, which its kind's editor takes
    InputKind kind = InputKind::None;
    std::vector<CatalogueEntry> files;       // a disk image's or an archive's live files
    std::vector<std::string> names;          // theirs, as korvex text names them
};

// A TEXT, read whole: its lines, or a file stored as it is (stored_file.h).
struct PutText {
    Source source;
    std::vector<std::string> lines;
    std::optional<StoredFile> stored{};
};

struct PutOptions {
    std::optional<std::string> name;  // --name: the file the one TEXT goes into
    TextLayout layout = TextLayout::Stored;
    std::optional<CodePage> charset;
};

// What a TEXT does to the disk.
struct PutChange {
    std::size_t text = 0;              // which of the texts
    std::optional<std::size_t> entry;  // the disk's live file it replaces; none: a file added
    TrdosName name;                    // the file's TR-DOS name and type
    MergedSource merged;               // a text's new data, and the lines kept, stored and removed
    std::optional<StoredFile> stored;  // a file's, stored as it is
    bool unchanged = false;            // its data as it was
    std::optional<PlacedFile> placed;  // where the disk's editor placed it (a move)
};

struct PutPlan {
    std::vector<PutChange> changes;  // the texts that can go in, in their order
    std::vector<Problem> problems;   // why the others cannot
};

// Each text's change, merged: `texts` in the order given.
PutPlan plan_put(const PutDisk& disk, std::span<const PutText> texts, const PutOptions& options);

// The disk's bytes with the plan's changes made, each change learning where
// it was placed; or why a change cannot be made.
struct EditedDisk {
    std::string bytes;
    std::optional<Problem> problem;
};
EditedDisk edit_disk(const PutDisk& disk, std::span<const PutText> texts, PutPlan& plan);

}  // namespace korve
