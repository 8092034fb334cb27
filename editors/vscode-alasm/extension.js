// Opens a translation korvex wrote for another assembler as that
// assembler's text, not as ALASM. A translation keeps its source's name
// (GAME.H.asm), which claims ALASM; its first line ends with a marker
// comment ("; Translated by korvex for sjasmplus: GAME.H"), and a document
// whose first line holds it is switched, once, to the language that
// alasm.translationLanguage names, else the first of kTranslationLanguages
// that VS Code knows, else plain text. A language picked by hand afterwards
// stays.
'use strict';

// A comment on the first line that names korvex's translation.
const kMarker = /^[^;]*;.*Translated by korvex for/;
const kTranslationLanguages = ['z80-asm', 'asm'];
const kPlainText = 'plaintext';

// Whether a document's first line marks it as a translation.
function isTranslation(firstLine) {
  return kMarker.test(firstLine);
}

// The language a translation opens as, of those VS Code knows.
function translationLanguage(configured, known) {
  const wanted = configured ? [configured, ...kTranslationLanguages] : kTranslationLanguages;
  return wanted.find((id) => known.includes(id)) ?? kPlainText;
}

function activate(context) {
  // Loaded here, so that the checks can load this file without VS Code.
  const vscode = require('vscode');
  const switched = new Set();
  const check = async (document) => {
    const uri = document.uri.toString();
    if (document.languageId !== 'alasm' || document.lineCount === 0 || switched.has(uri) ||
        !isTranslation(document.lineAt(0).text)) {
      return;
    }
    switched.add(uri);
    const configured = vscode.workspace.getConfiguration('alasm').get('translationLanguage');
    const language = translationLanguage(configured, await vscode.languages.getLanguages());
    await vscode.languages.setTextDocumentLanguage(document, language);
  };
  context.subscriptions.push(vscode.workspace.onDidOpenTextDocument(check));
  vscode.workspace.textDocuments.forEach(check);
}

function deactivate() {}

module.exports = { activate, deactivate, isTranslation, translationLanguage };
