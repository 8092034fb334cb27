// `korvex list`: what each input holds, as a table a person reads at a
// glance, or as one JSON document for scripts (catalogue.h).
#pragma once

#include "korvex/korvex_console.h"

namespace korve {

KorvexStatus run_list(const KorvexRun& run);

}  // namespace korve
