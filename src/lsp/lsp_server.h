// korvex lsp: a language server for ALASM text, over standard input and
// output. A Server takes one message's body at a time and gives back the
// bodies to send: answers, published diagnostics and log lines. It never
// throws and never stops on bad input: JSON that does not parse, a message
// that is no request, an unknown method or a document that is not open is
// an error answer (to a request) or a log line (to a notification).
//
// What it offers: diagnostics on open and on every change (what pack
// refuses, characters the code page lacks, blocks left open or closed
// twice, names defined twice or never, relative jumps out of reach, names
// an operator reads before their definition, and the reports of the
// translation for korvex.target), document symbols, definition,
// references, folding ranges, hover, completion, rename, workspace symbols
// and formatting (in the layout initializationOptions' korvex.layout
// names). Positions are UTF-16 code units unless
// the client offers "utf-8" in general.positionEncodings. Text is stored in
// CP866 unless initializationOptions give korvex.codePage (CP1251, KOI8-R);
// korvex.target (none, sjasmplus, pasmo) names the target assembler.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "lsp/lsp_workspace.h"

namespace korve::lsp {

class Server {
public:
    // The bodies to send for message `body`, in order.
    std::vector<std::string> take(std::string_view body);

    bool exited() const { return exited_; }
    // 0 after shutdown, 1 where exit came without it, as the protocol says.
    int exit_status() const { return shut_down_ ? 0 : 1; }

    // A log line for the client (window/logMessage): type 1 an error, 3 information.
    static std::string log_message(int type, std::string_view text);

private:
    Workspace workspace_;
    bool initialized_ = false;
    bool shut_down_ = false;
    bool exited_ = false;
};

// Serves the client on `in` and `out` until exit, or the end of `in`; the
// status the process exits with.
int serve(std::FILE* in, std::FILE* out);

}  // namespace korve::lsp
