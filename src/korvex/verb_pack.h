// `korvex pack`: text stored as ALASM data again, as ALASM's editor stores
// each line (alasm_pack.h), in the container the output's name calls for:
// a TR-DOS disk image, an SCL archive, a Hobeta file or bare data.
#pragma once

#include "korvex/korvex_console.h"

namespace korve {

KorvexStatus run_pack(const KorvexRun& run);

}  // namespace korve
