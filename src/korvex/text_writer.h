// One source's text, written onto standard output or into a file:
// converted as its records are read, or translated from the whole source;
// what it found said as messages, and, where the caller asks, given back as
// values (KorvexReport).
#pragma once

#include <cstddef>

#include "base/byte_reader.h"
#include "files/output.h"
#include "formats/alasm_source.h"
#include "formats/container.h"
#include "korvex/korvex_console.h"
#include "translation/alasm_translation.h"

namespace korve {

// Where an input's text goes.
enum class Target : unsigned char {
    Stdout,
    File,       // the file `place`
    Folder,     // into `folder`
    Undecided,  // the one input's: the file `place` for ALASM data, else a folder there
};

struct Destination {
    Target target = Target::Stdout;
    Place place;
    OutputFolder* folder = nullptr;  // Folder, Undecided: the names given out there
    // Folder: an image's files and a folder's tree go straight into it,
    // rather than into a folder named after the input.
    bool straight = false;
    const WritePolicy* policy = nullptr;  // what may be written over
};

// What taking inputs came to.
struct Done {
    KorvexStatus status = KorvexStatus::Converted;
    std::size_t skipped = 0;    // files of folders that hold nothing to convert
    std::size_t not_files = 0;  // what folders hold that is neither a file nor a folder
    bool stdout_failed = false;
    std::size_t mains = 0;  // sources found that --main names

    void add(const Done& other) {
        status = worse(status, other.status);
        skipped += other.skipped;
        not_files += other.not_files;
        stdout_failed = stdout_failed || other.stdout_failed;
        mains += other.mains;
    }
    void add(KorvexStatus other) { status = worse(status, other); }
};

// A source to write: read as it is written, or read whole and translated.
struct SourceInput {
    ByteReader* reader = nullptr;
    AlasmPlace place = InputKind::None;
    const AlasmSource* whole = nullptr;
    const Project* project = nullptr;
};

// Converts, or translates, ALASM data into a file or onto standard output.
Done write_source_text(const KorvexRun& run, const Source& source, const SourceInput& input,
                       const Destination& where);

}  // namespace korve
