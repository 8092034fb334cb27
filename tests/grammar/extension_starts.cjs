// Loads the packed extension as VS Code would, with a stand-in for the
// `vscode` module, from the folder given (the .vsix's extension/): its main
// module, and the language client it starts korvex lsp through, which must
// come from the package's own node_modules. Then activates it, and checks
// that it starts the program korvex.path names with the settings' code page
// and target, and stops it on deactivate.
//
//   node tests/grammar/extension_starts.cjs FOLDER   (KORVE_KORVEX: korvex)
'use strict';
const assert = require('node:assert/strict');
const Module = require('node:module');
const path = require('node:path');

const folder = path.resolve(process.argv[2]);

// A stand-in for anything of VS Code's: callable, constructible, and each
// member the same again, but no promise (`then` is undefined).
function standIn() {
  const target = function () {};
  return new Proxy(target, {
    get: (object, key) => (key === 'then' || typeof key === 'symbol' ? undefined : standIn()),
    apply: () => standIn(),
    construct: () => standIn(),
  });
}

const settings = { path: process.env.KORVE_KORVEX, codePage: 'CP1251', target: 'pasmo' };
const vscode = new Proxy({}, {
  get: (object, key) => {
    if (key === 'workspace') {
      return new Proxy({}, {
        get: (w, member) => (member === 'getConfiguration'
          ? (section) => ({ get: (name) => (section === 'korvex' ? settings[name] : undefined) })
          : member === 'textDocuments' ? [] : standIn()),
      });
    }
    return key === 'then' ? undefined : standIn();
  },
});
const load = Module._load;
Module._load = function (request, ...rest) {
  return request === 'vscode' ? vscode : load.call(this, request, ...rest);
};

const main = require(path.join(folder, require(path.join(folder, 'package.json')).main));
const clientPath = require.resolve('vscode-languageclient/node', { paths: [folder] });
assert.ok(clientPath.startsWith(path.join(folder, 'node_modules')), `the language client is ${clientPath}`);
const languageClient = require(clientPath);
assert.equal(typeof languageClient.LanguageClient, 'function');
assert.deepEqual(main.serverSettings(() => undefined),
  { command: 'korvex', initializationOptions: { korvex: { codePage: 'CP866', target: 'none' } } });

// Activated, the client it makes is given korvex.path and the settings.
const made = [];
const started = new Promise((done) => {
  languageClient.LanguageClient = class {
    constructor(id, name, server, client) {
      made.push({ id, server, client });
    }
    start() { done(); return Promise.resolve(); }
    stop() { made.push('stopped'); return Promise.resolve(); }
  };
});
main.activate({ subscriptions: [] });
started.then(async () => {
  assert.equal(made[0].server.command, settings.path);
  assert.deepEqual(made[0].server.args, ['lsp']);
  assert.deepEqual(made[0].client.initializationOptions, { korvex: { codePage: 'CP1251', target: 'pasmo' } });
  assert.deepEqual(made[0].client.documentSelector, [{ language: 'alasm' }]);
  await new Promise((done) => setImmediate(done));  // activate keeps the client it started
  await main.deactivate();
  assert.equal(made[1], 'stopped');
  console.log('tests/grammar/extension_starts.cjs: the extension loads, and starts korvex lsp as set');
});
