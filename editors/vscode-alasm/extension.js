// Starts korvex lsp for ALASM files, through vscode-languageclient: the
// program korvex.path names, told the code page (korvex.codePage) and the
// target assembler (korvex.target) in its initializationOptions, and
// started again when one of them changes.
//
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

// The settings korvex lsp is started with: `get(name)` reads korvex.NAME.
function serverSettings(get) {
  return {
    command: get('path') || 'korvex',
    initializationOptions: { korvex: { codePage: get('codePage') || 'CP866', target: get('target') || 'none' } },
  };
}

// The language client of the settings, started; nothing where korvex cannot
// be started (the user is told).
async function startClient(vscode, languageClient) {
  const settings = serverSettings((name) => vscode.workspace.getConfiguration('korvex').get(name));
  const client = new languageClient.LanguageClient('korvex', 'korvex lsp',
    { command: settings.command, args: ['lsp'], transport: languageClient.TransportKind.stdio },
    { documentSelector: [{ language: 'alasm' }], initializationOptions: settings.initializationOptions });
  try {
    await client.start();
    return client;
  } catch (error) {
    vscode.window.showErrorMessage(`ALASM: ${settings.command} lsp could not start (${error.message}): ` +
      'install korvex, or set korvex.path to it.');
    return undefined;
  }
}

let client;

function activate(context) {
  // Loaded here, so that the checks can load this file without VS Code.
  const vscode = require('vscode');
  const languageClient = require('vscode-languageclient/node');
  const restart = async () => {
    const old = client;
    client = undefined;
    if (old) {
      await old.stop().catch(() => {});
    }
    client = await startClient(vscode, languageClient);
  };
  restart();
  context.subscriptions.push(vscode.workspace.onDidChangeConfiguration((change) => {
    if (change.affectsConfiguration('korvex')) {
      restart();
    }
  }));
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

function deactivate() {
  const old = client;
  client = undefined;
  return old ? old.stop() : undefined;
}

module.exports = { activate, deactivate, isTranslation, translationLanguage, serverSettings };
