// `korvex get`: files copied off a TR-DOS disk image or an SCL archive into
// a folder, each named or all of them: its bytes as the catalogue's length
// gives them, named as korvex text names its files less ".asm" (PGMFLASH.C),
// or with --hobeta the Hobeta file that carries it (PGMFLASH.$C).
#pragma once

#include "korvex/korvex_console.h"

namespace korve {

KorvexStatus run_get(const KorvexRun& run);

}  // namespace korve
