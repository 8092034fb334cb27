#include "lsp/lsp_server.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <variant>
#include <array>
#include <cerrno>
#include <optional>
#include <utility>

#include "lsp/lsp_edit.h"
#include "lsp/lsp_features.h"
#include "lsp/lsp_hover.h"
#include "lsp/lsp_target.h"
#include "lsp/lsp_wire.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace korve::lsp {
namespace {

using nlohmann::json;

// JSON-RPC's and LSP's error codes.
constexpr int kParseError = -32700;
constexpr int kInvalidRequest = -32600;
constexpr int kMethodNotFound = -32601;
constexpr int kInvalidParams = -32602;
constexpr int kServerNotInitialized = -32002;
constexpr int kRequestFailed = -32803;
constexpr int kLogError = 1;

// Text sent never fails on bytes that are no UTF-8: they become U+FFFD.
std::string dumped(const json& value) { return value.dump(-1, ' ', false, json::error_handler_t::replace); }

// A member of an object, or nothing: JSON of any shape is read without throwing.
const json* member(const json& object, const char* key) {
    if (!object.is_object()) {
        return nullptr;
    }
    const auto found = object.find(key);
    return found == object.end() ? nullptr : &*found;
}

const json* path(const json& object, std::initializer_list<const char*> keys) {
    const json* at = &object;
    for (const char* key : keys) {
        at = member(*at, key);
        if (at == nullptr) {
            return nullptr;
        }
    }
    return at;
}

std::optional<std::string> text_at(const json& object, std::initializer_list<const char*> keys) {
    const json* at = path(object, keys);
    return at != nullptr && at->is_string() ? std::optional<std::string>(at->get<std::string>()) : std::nullopt;
}

std::optional<std::size_t> number_at(const json& object, std::initializer_list<const char*> keys) {
    const json* at = path(object, keys);
    return at != nullptr && at->is_number_unsigned() ? std::optional<std::size_t>(at->get<std::size_t>())
                                                     : std::nullopt;
}

json answer(const json& id, json result) {
    return {{"jsonrpc", "2.0"}, {"id", id}, {"result", std::move(result)}};
}

json error_answer(const json& id, int code, std::string_view text) {
    return {{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", text}}}};
}

json capabilities(Encoding encoding) {
    return {{"positionEncoding", encoding == Encoding::Utf8 ? "utf-8" : "utf-16"},
            {"textDocumentSync", {{"openClose", true}, {"change", 1}}},
            {"documentSymbolProvider", true},
            {"definitionProvider", true},
            {"referencesProvider", true},
            {"foldingRangeProvider", true},
            {"hoverProvider", true},
            {"completionProvider", json::object()},
            {"renameProvider", {{"prepareProvider", true}}},
            {"workspaceSymbolProvider", true},
            {"documentFormattingProvider", true}};
}

// The layout formatting writes: initializationOptions' korvex.layout.
void read_layout(Workspace& state, const json* options, std::vector<std::string>& logs) {
    if (options == nullptr) {
        return;
    }
    auto layout = text_at(*options, {"korvex.layout"});
    layout = layout ? layout : text_at(*options, {"korvex", "layout"});
    if (layout && (*layout == "stored" || *layout == "tidy")) {
        state.layout = *layout == "tidy" ? TextLayout::Tidy : TextLayout::Stored;
    } else if (layout) {
        logs.push_back(Server::log_message(kLogError, "korvex.layout " + *layout + " is neither stored nor tidy: stored it is"));
    }
}

// The target assembler of initializationOptions (korvex.target), whose
// translation's reports are published as warnings.
void read_target(Workspace& state, const json& options, std::vector<std::string>& logs) {
    std::optional<std::string> target = text_at(options, {"korvex.target"});
    target = target ? target : text_at(options, {"korvex", "target"});
    if (!target) {
        return;
    }
    if (!target_named(*target, state.target)) {
        logs.push_back(Server::log_message(kLogError, "korvex.target " + *target +
                                                          " is none of none, sjasmplus, pasmo: none it is"));
    }
}

// What the client asks for at initialize: its position encodings, the code
// page and the target assembler.
std::vector<std::string> initialize(Workspace& state, const json& params) {
    std::vector<std::string> logs;
    if (const json* offered = path(params, {"capabilities", "general", "positionEncodings"});
        offered != nullptr && offered->is_array()) {
        for (const json& each : *offered) {
            if (each.is_string() && each.get<std::string>() == "utf-8") {
                state.encoding = Encoding::Utf8;
            }
        }
    }
    const json* options = member(params, "initializationOptions");
    std::optional<std::string> page;
    if (options != nullptr) {
        page = text_at(*options, {"korvex.codePage"});
        page = page ? page : text_at(*options, {"korvex", "codePage"});
    }
    if (options != nullptr) {
        read_target(state, *options, logs);
    }
    if (page) {
        if (const auto named = code_page_named(*page)) {
            state.page = *named;
        } else {
            logs.push_back(Server::log_message(kLogError, "korvex.codePage " + *page +
                                                              " is none of CP866, CP1251, KOI8-R: CP866 it is"));
        }
    }
    read_layout(state, options, logs);
    return logs;
}

// Applies one change of didChange: the whole text, or a range replaced.
void apply_change(Document& document, const json& change, Encoding encoding) {
    const auto text = text_at(change, {"text"});
    if (!text) {
        return;
    }
    const auto first_line = number_at(change, {"range", "start", "line"});
    const auto first_unit = number_at(change, {"range", "start", "character"});
    const auto last_line = number_at(change, {"range", "end", "line"});
    const auto last_unit = number_at(change, {"range", "end", "character"});
    if (!first_line || !first_unit || !last_line || !last_unit) {
        document.text = *text;
        return;
    }
    // The byte offset of a position in the text.
    const auto offset = [&](std::size_t line, std::size_t unit) {
        std::size_t start = 0;
        for (std::size_t i = 0; i < line; ++i) {
            const std::size_t end = document.text.find('\n', start);
            if (end == std::string::npos) {
                return document.text.size();
            }
            start = end + 1;
        }
        const std::size_t end = std::min(document.text.find('\n', start), document.text.size());
        return start + offset_at(std::string_view(document.text).substr(start, end - start), unit, encoding);
    };
    const std::size_t from = offset(*first_line, *first_unit);
    const std::size_t to = std::max(from, offset(*last_line, *last_unit));
    document.text.replace(from, to - from, *text);
}

// A notification about documents; the diagnostics it publishes.
std::vector<json> document_notice(Workspace& state, const std::string& method, const json& params) {
    const auto uri = text_at(params, {"textDocument", "uri"});
    if (!uri) {
        return {};
    }
    if (method == "textDocument/didOpen") {
        const auto text = text_at(params, {"textDocument", "text"});
        state.open[*uri] = {*uri, text.value_or(""), 0};
    } else if (method == "textDocument/didChange") {
        const auto open = state.open.find(*uri);
        const json* changes = member(params, "contentChanges");
        if (open == state.open.end() || changes == nullptr || !changes->is_array()) {
            return {};
        }
        for (const json& change : *changes) {
            apply_change(open->second, change, state.encoding);
        }
    } else if (method == "textDocument/didClose") {
        state.open.erase(*uri);
        return {{{"jsonrpc", "2.0"},
                 {"method", "textDocument/publishDiagnostics"},
                 {"params", {{"uri", *uri}, {"diagnostics", json::array()}}}}};
    } else {
        return {};
    }
    return diagnostics_for(state, *uri);
}

// The answer to a request about an open document.
json document_request(Workspace& state, const json& id, const std::string& method, const json& params) {
    const auto uri = text_at(params, {"textDocument", "uri"});
    if (!uri) {
        return error_answer(id, kInvalidParams, method + " names no textDocument.uri");
    }
    if (state.open.count(*uri) == 0) {
        return error_answer(id, kRequestFailed, *uri + " is not open");
    }
    if (method == "textDocument/documentSymbol") {
        return answer(id, document_symbols(state, *uri));
    }
    if (method == "textDocument/foldingRange") {
        return answer(id, folding_ranges(state, *uri));
    }
    const auto line = number_at(params, {"position", "line"});
    const auto character = number_at(params, {"position", "character"});
    if (!line || !character) {
        return error_answer(id, kInvalidParams, method + " names no position");
    }
    const bool references = method == "textDocument/references";
    const json* declarations = path(params, {"context", "includeDeclaration"});
    return answer(id, locations(state, *uri, *line, *character, references,
                                declarations != nullptr && declarations->is_boolean() && declarations->get<bool>()));
}

// Hover, completion, rename, workspace symbols and formatting: the answer,
// or nothing for another method.
std::optional<json> editing_request(Workspace& state, const json& id, const std::string& method,
                                    const json& params) {
    if (method == "workspace/symbol") {
        return answer(id, workspace_symbols(state, text_at(params, {"query"}).value_or("")));
    }
    static constexpr std::array<std::string_view, 5> kMethods = {
        "textDocument/hover", "textDocument/completion", "textDocument/rename", "textDocument/prepareRename",
        "textDocument/formatting"};
    if (std::find(kMethods.begin(), kMethods.end(), method) == kMethods.end()) {
        return std::nullopt;
    }
    const auto uri = text_at(params, {"textDocument", "uri"});
    if (!uri) {
        return error_answer(id, kInvalidParams, method + " names no textDocument.uri");
    }
    if (state.open.count(*uri) == 0) {
        return error_answer(id, kRequestFailed, *uri + " is not open");
    }
    if (method == "textDocument/formatting") {
        return answer(id, formatting(state, *uri, state.layout));
    }
    const auto line = number_at(params, {"position", "line"});
    const auto character = number_at(params, {"position", "character"});
    if (!line || !character) {
        return error_answer(id, kInvalidParams, method + " names no position");
    }
    if (method == "textDocument/hover") {
        return answer(id, hover(state, *uri, *line, *character));
    }
    if (method == "textDocument/completion") {
        return answer(id, completion(state, *uri, *line, *character));
    }
    if (method == "textDocument/prepareRename") {
        return answer(id, prepare_rename(state, *uri, *line, *character));
    }
    const auto name = text_at(params, {"newName"});
    if (!name) {
        return error_answer(id, kInvalidParams, method + " names no newName");
    }
    auto renamed = rename(state, *uri, *line, *character, *name);
    if (auto* refused = std::get_if<std::string>(&renamed)) {
        return error_answer(id, kRequestFailed, *refused);
    }
    return answer(id, std::move(std::get<json>(renamed)));
}

bool about_document(const std::string& method) {
    static constexpr std::array<std::string_view, 4> kMethods = {
        "textDocument/documentSymbol", "textDocument/foldingRange", "textDocument/definition",
        "textDocument/references"};
    return std::find(kMethods.begin(), kMethods.end(), method) != kMethods.end();
}

}  // namespace

std::string Server::log_message(int type, std::string_view text) {
    return dumped({{"jsonrpc", "2.0"},
                   {"method", "window/logMessage"},
                   {"params", {{"type", type}, {"message", std::string(text)}}}});
}

std::vector<std::string> Server::take(std::string_view body) {
    const json message = json::parse(body, nullptr, false);
    if (message.is_discarded()) {
        return {dumped(error_answer(nullptr, kParseError, "the message is no JSON"))};
    }
    const json* id = member(message, "id");
    const auto method = text_at(message, {"method"});
    const bool request = id != nullptr && (id->is_number_integer() || id->is_string());
    if (!method) {
        if (request || id == nullptr) {
            // An answer to a request of ours needs none; anything else is no message.
            return member(message, "result") != nullptr || member(message, "error") != nullptr
                       ? std::vector<std::string>{}
                       : std::vector<std::string>{dumped(error_answer(id ? *id : json(nullptr), kInvalidRequest,
                                                                      "a message with no method"))};
        }
        return {dumped(error_answer(nullptr, kInvalidRequest, "a message with no method"))};
    }
    static const json kNoParams = json::object();
    const json* given = member(message, "params");
    const json& params = given != nullptr ? *given : kNoParams;
    std::vector<std::string> sent;
    if (*method == "exit") {
        exited_ = true;
        return {};
    }
    if (!request) {
        if (id != nullptr) {
            return {dumped(error_answer(nullptr, kInvalidRequest, "an id is a number or a string"))};
        }
        if (initialized_ && !shut_down_) {
            for (const json& each : document_notice(workspace_, *method, params)) {
                sent.push_back(dumped(each));
            }
        }
        return sent;  // notifications unknown, or before initialize, are dropped
    }
    if (*method == "initialize") {
        if (initialized_) {
            return {dumped(error_answer(*id, kInvalidRequest, "initialize came twice"))};
        }
        sent = initialize(workspace_, params);
        initialized_ = true;
        sent.insert(sent.begin(), dumped(answer(*id, {{"capabilities", capabilities(workspace_.encoding)},
                                                      {"serverInfo", {{"name", "korvex"}}}})));
        return sent;
    }
    if (!initialized_) {
        return {dumped(error_answer(*id, kServerNotInitialized, "initialize comes first"))};
    }
    if (shut_down_) {
        return {dumped(error_answer(*id, kInvalidRequest, "the server is shut down: exit is all it takes"))};
    }
    if (*method == "shutdown") {
        shut_down_ = true;
        return {dumped(answer(*id, nullptr))};
    }
    if (auto made = editing_request(workspace_, *id, *method, params)) {
        return {dumped(*made)};
    }
    if (about_document(*method)) {
        return {dumped(document_request(workspace_, *id, *method, params))};
    }
    return {dumped(error_answer(*id, kMethodNotFound, "korvex lsp does not offer " + *method))};
}

int serve(std::FILE* in, std::FILE* out) {
    Server server;
    FrameReader reader;
    std::array<char, 65536> chunk{};
    const auto send = [&](const std::string& body) {
        const std::string message = framed(body);
        return std::fwrite(message.data(), 1, message.size(), out) == message.size() && std::fflush(out) == 0;
    };
    while (!server.exited()) {
        Frame frame = reader.next();
        if (frame.kind == Frame::Kind::Body) {
            for (const std::string& body : server.take(frame.text)) {
                if (!send(body)) {
                    return 1;
                }
            }
            continue;
        }
        if (frame.kind == Frame::Kind::Refused) {
            if (!send(Server::log_message(kLogError, "korvex lsp: a message refused: " + frame.text))) {
                return 1;
            }
            continue;
        }
#ifdef _WIN32
        const int got = _read(_fileno(in), chunk.data(), static_cast<unsigned>(chunk.size()));
#else
        const ssize_t got = ::read(fileno(in), chunk.data(), chunk.size());
#endif
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return 1;  // the client went away without exit
        }
        reader.add(std::string_view(chunk.data(), static_cast<std::size_t>(got)));
    }
    return server.exit_status();
}

}  // namespace korve::lsp
