// `korvex lsp`: the language server (lsp/lsp_server.h) on korvex's own
// standard input and output, until the client's exit.
#pragma once

#include "korvex/korvex_console.h"

namespace korve {

// 0 after shutdown and exit; 1 where exit came without shutdown, or the
// input ended first (Status::NotAllConverted stands for it).
KorvexStatus run_lsp(const KorvexRun& run);

}  // namespace korve
