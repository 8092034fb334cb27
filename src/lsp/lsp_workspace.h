// The project a document belongs to, as korvex text takes a folder of
// texts: the *.asm files of its folder, INCLUDE "NAME" finding NAME.asm,
// NAME.H.asm or NAME in any case as include_file finds it. The project is
// the document and every text that INCLUDE joins to it, either way: the
// file that includes it, and what that includes. Open documents are read
// as the client holds them, the other files from disk.
//
// The view keeps the graph INCLUDE makes of the project, worked out once
// as the project is chosen: which text each text's INCLUDEs name, and
// which texts one assembly takes together.
//
// What is read of each text is kept (TextCache): packed again only when an
// open document's text, or a file's size or time of change, differs from
// what was read; analysed again only then, or when the project's macros
// change. Files gone from a folder, and documents closed, are forgotten.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "alasm/alasm_text.h"
#include "alasm/dialect.h"
#include "base/code_page.h"
#include "lsp/lsp_analysis.h"
#include "lsp/lsp_document.h"
#include "translation/translation_project.h"

namespace korve::lsp {

// A text as packed, with what INCLUDE names in it and the macros it defines.
struct ReadText {
    PackedText packed;
    std::vector<std::string> includes;
    std::set<std::string, std::less<>> macros;
};

// What was read of one text, and what it was read from.
struct CachedText {
    std::filesystem::path folder;  // a file's, so that one gone is forgotten
    bool from_document = false;
    std::string text;  // a document's
    std::uintmax_t size = 0;  // a file's
    std::filesystem::file_time_type time{};
    std::shared_ptr<const ReadText> read;
    std::shared_ptr<const TextFacts> facts;
    std::set<std::string, std::less<>> macros;  // the project's, that facts were read with
};

// The reports of the translation for a target assembler, by text, kept
// while the project's texts stay as read.
struct TranslationReports {
    std::vector<std::shared_ptr<const ReadText>> texts;
    Dialect dialect = Dialect::Alasm;
    std::vector<std::vector<Finding>> reports;
};

// The addresses of the project last assembled (lsp_addresses.h), kept
// while its texts stay as read.
struct Assembly;
struct KeptAssembly {
    std::vector<std::shared_ptr<const ReadText>> texts;  // as the assembly numbers them
    std::size_t main = 0;  // the text assembled first
    std::shared_ptr<const Assembly> assembly;
};

struct TextCache {
    std::map<std::string, CachedText> texts;  // by path, or a document's URI
    TranslationReports translation;
    KeptAssembly addresses;
};

// What the client settled at initialize, the documents it has open, and
// what has been read of the project. The cache changes no answer: it only
// saves reading, analysing and assembling a text again, and whatever reads
// a project through it takes the workspace to change.
struct Workspace {
    Encoding encoding = Encoding::Utf16;
    CodePage page = CodePage::Cp866;
    TextLayout layout = TextLayout::Stored;  // what formatting writes
    std::optional<Dialect> target;  // korvex.target: the assembler translated for
    std::map<std::string, Document> open;
    TextCache cache;
};

// A text of the project: `packed` and `facts` live as long as it does.
struct ProjectText {
    std::filesystem::path path;
    std::string uri;     // the client's, where it is open
    std::string name;    // the file's, for messages
    std::shared_ptr<const ReadText> read;
    std::shared_ptr<const TextFacts> analysed;
    const PackedText& packed;
    const TextFacts& facts;
};

struct ProjectView {
    std::vector<ProjectText> texts;
    std::size_t document = 0;  // the one asked about
    // INCLUDE's names of the folder's texts (NAME.asm, NAME.H.asm or NAME),
    // by which the project was chosen.
    Project includes;
    // The texts each text's INCLUDEs name (indices of `texts`), the text
    // itself left out.
    std::vector<std::vector<std::size_t>> links;
    // Which texts one assembly takes together: together[a][b] where some
    // text, its INCLUDEs followed, comes to both a and b (two main texts
    // that include one text of names are not assembled together).
    std::vector<std::vector<bool>> together;
    std::vector<const TextFacts*> facts() const;
    std::vector<std::string> names() const;
};

// The project of the open document `uri` (a document that is no file
// stands alone), read through the workspace's cache.
ProjectView project_of(Workspace& state, const std::string& uri);

}  // namespace korve::lsp
