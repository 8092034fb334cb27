#include "korvex/verb_lsp.h"

#include "lsp/lsp_server.h"

namespace korve {

KorvexStatus run_lsp(const KorvexRun& run) {
    if (run.console.streams.in == nullptr) {
        return run.console.error("", "lsp needs standard input to read the client from", KorvexStatus::Trouble);
    }
    return lsp::serve(run.console.streams.in, run.console.streams.out) == 0 ? KorvexStatus::Converted
                                                                          : KorvexStatus::NotAllConverted;
}

}  // namespace korve
