// The project a document belongs to, as korvex text takes a folder of
// texts: the *.asm files of its folder, INCLUDE "NAME" finding NAME.asm,
// NAME.H.asm or NAME in any case as include_file finds it. The project is
// the document and every text that INCLUDE joins to it, either way: the
// file that includes it, and what that includes. Open documents are read
// as the client holds them, the other files from disk.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "alasm/alasm_text.h"
#include "base/code_page.h"
#include "lsp/lsp_analysis.h"
#include "lsp/lsp_document.h"

namespace korve::lsp {

// What the client settled at initialize, and the documents it has open.
struct Workspace {
    Encoding encoding = Encoding::Utf16;
    CodePage page = CodePage::Cp866;
    TextLayout layout = TextLayout::Stored;  // what formatting writes
    std::map<std::string, Document> open;
};

struct ProjectText {
    std::filesystem::path path;
    std::string uri;     // the client's, where it is open
    std::string name;    // the file's, for messages
    PackedText packed;
    TextFacts facts;
};

struct ProjectView {
    std::vector<ProjectText> texts;
    std::size_t document = 0;  // the one asked about
    std::vector<const TextFacts*> facts() const;
    std::vector<std::string> names() const;
};

// The project of the open document `uri` (a document that is no file
// stands alone).
ProjectView project_of(const std::map<std::string, Document>& open, const std::string& uri, CodePage page);

}  // namespace korve::lsp
