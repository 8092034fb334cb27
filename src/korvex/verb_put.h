// `korvex put`: edited text stored back into the disk image, archive,
// Hobeta file or bare data it was written from. Each TEXT replaces the file
// korvex text wrote it from (or the one --name gives), what the user did not
// change coming back byte for byte (text_merge.h), or is added as a new
// file; each file changes as TR-DOS changes it, and the others stay as they
// were (disk_edit.h).
//
// DISK is written whole beside itself and renamed over itself (output.h),
// keeping its mode and owner, and only while it still holds the bytes put
// read (another program may have written it meanwhile); or written to -o
// OUT. All its texts or none: a failure anywhere leaves it as it was and
// writes nothing. A text is read only while its lines could still fit in a
// source, so a huge one costs no more than the largest that fits.
#pragma once

#include "korvex/korvex_console.h"

namespace korve {

KorvexStatus run_put(const KorvexRun& run);

}  // namespace korve
