// Hover against sjasmplus on real disks: each disk image's sources written
// out by korvex text --charset CP866, translated for sjasmplus and built
// with --sym; then every label korvex lsp lists in each text must hover
// with the address the symbol table of the build that assembles it gives.
// And ALASM assembled these sources: no diagnostic the server publishes
// for any of their texts, as each is opened, is an error, but for the
// faults of their own listed in `genuine`; its warnings are listed.
// tests/lsp/run starts it beside lsp_check.mjs; it is skipped without the
// corpus or sjasmplus:
//
//   KORVE_CORPUS_DIR  the corpus (its images/ are read, never copied)
//   KORVE_SJASMPLUS   sjasmplus
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync, spawn } from 'node:child_process';
import { existsSync, mkdtempSync, readdirSync, readFileSync, rmSync } from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { pathToFileURL } from 'node:url';

const settings = process.env;
const images = settings.KORVE_CORPUS_DIR ? join(settings.KORVE_CORPUS_DIR, 'images') : '';
const sjasmplus = settings.KORVE_SJASMPLUS || '';
const missing = !existsSync(images) ? 'no corpus' : !existsSync(sjasmplus) ? 'no sjasmplus' : false;

// Errors that are the sources' own, by disk, text and line.
const genuine = new Map([
  // A JR out of reach: the text was edited after it was assembled.
  ['depack.trd dhr8.H.asm:168', 'the target lies -136 bytes from the next instruction'],
]);

// NAME: EQU 0x00006000 lines of a symbol table, as a map.
function symbols(file) {
  const found = new Map();
  for (const line of readFileSync(file, 'latin1').split('\n')) {
    const match = /^(\S+): EQU 0x([0-9A-F]+)$/i.exec(line.trim());
    if (match) found.set(match[1], parseInt(match[2], 16) & 0xFFFF);
  }
  return found;
}

// Each text's symbol tables: its own where sjasmplus built it as a main
// file, and those of the main files whose translations include it.
function builds(translated) {
  const files = readdirSync(translated).filter((name) => name.endsWith('.asm'));
  const includes = new Map(files.map((name) => [name,
    [...readFileSync(join(translated, name), 'latin1').matchAll(/^\tINCLUDE\t"([^"]+)"/gm)].map((m) => m[1])]));
  const tables = new Map(files.map((name) => [name, []]));
  for (const main of files.filter((name) => ![...includes.values()].some((list) => list.includes(name)))) {
    const table = join(translated, `${main}.sym`);
    try {
      execFileSync(sjasmplus, ['--nologo', `--sym=${table}`, main], { cwd: translated, stdio: 'ignore' });
    } catch {
      continue;  // a source's own fault (dhr8's JR): not built, not checked
    }
    const built = symbols(table);
    const reach = (name, seen) => {
      if (seen.has(name)) return;
      seen.add(name);
      tables.get(name)?.push(built);
      (includes.get(name) || []).forEach((included) => reach(included, seen));
    };
    reach(main, new Set());
  }
  return tables;
}

test('hover gives every label the address sjasmplus gives the translated build; no false error', { skip: missing }, async () => {
  const require = createRequire(resolve(settings.KORVE_MODULES, 'package.json'));
  const rpc = require('vscode-jsonrpc/node');
  const work = mkdtempSync(join(tmpdir(), 'korve-lsp-corpus-'));
  let checked = 0;
  let unbuilt = 0;
  const wrong = [];
  const errors = new Set();
  const warnings = new Set();
  try {
    for (const image of readdirSync(images).filter((name) => name.endsWith('.trd'))) {
      const texts = join(work, image, 'text');
      const translated = join(work, image, 'sjasmplus');
      execFileSync(settings.KORVE_KORVEX, ['text', '-q', '--charset', 'CP866', '-o', texts, join(images, image)]);
      execFileSync(settings.KORVE_KORVEX, ['text', '-q', '--charset', 'CP866', '--dialect', 'sjasmplus', '-o', translated, texts]);
      const tables = builds(translated);
      const child = spawn(settings.KORVE_KORVEX, ['lsp'], { stdio: ['pipe', 'pipe', 'inherit'] });
      const connection = rpc.createMessageConnection(
        new rpc.StreamMessageReader(child.stdout), new rpc.StreamMessageWriter(child.stdin));
      // Every diagnostic published for any text, as each text opened
      // publishes those of the open texts of its project.
      connection.onNotification('textDocument/publishDiagnostics', ({ uri, diagnostics }) => {
        for (const d of diagnostics) {
          const where = `${image} ${uri.slice(uri.lastIndexOf('/') + 1)}:${d.range.start.line + 1}`;
          const known = genuine.get(where);
          if (d.severity !== 1) {
            warnings.add(`${where} ${d.message}`);
          } else if (!known || !d.message.startsWith(known)) {
            errors.add(`${where} ${d.message}`);
          }
        }
      });
      connection.listen();
      await connection.sendRequest('initialize', { processId: null, capabilities: {},
        initializationOptions: { korvex: { codePage: 'CP866', target: 'sjasmplus' } } });
      for (const name of readdirSync(texts).filter((file) => file.endsWith('.asm'))) {
        const uri = pathToFileURL(join(texts, name)).href;
        connection.sendNotification('textDocument/didOpen',
          { textDocument: { uri, languageId: 'alasm', version: 1, text: readFileSync(join(texts, name), 'utf8') } });
        const listed = await connection.sendRequest('textDocument/documentSymbol', { textDocument: { uri } });
        const flat = (list) => list.flatMap((s) => [s, ...flat(s.children || [])]).filter((s) => s.kind !== 3 && s.kind !== 6 && s.kind !== 13);
        // LOCAL blocks, macros, and names '=' sets (the table holds their last value) are left out.
        for (const symbol of flat(listed)) {
          const expected = tables.get(name)?.map((table) => table.get(symbol.name)).filter((v) => v !== undefined) || [];
          if (expected.length === 0) {
            unbuilt += 1;  // in no build's table: a text no build that sjasmplus takes assembles
            continue;
          }
          const shown = await connection.sendRequest('textDocument/hover',
            { textDocument: { uri }, position: symbol.selectionRange.start });
          const value = /= #([0-9A-F]{4})/.exec(shown?.contents.value || '');
          checked += 1;
          if (!value || !expected.includes(parseInt(value[1], 16))) {
            wrong.push(`${image} ${name}:${symbol.range.start.line + 1} ${symbol.name}: hover ${value ? value[1] : 'none'}, ` +
                       `sjasmplus ${expected.map((v) => v.toString(16).toUpperCase()).join(' or ')}`);
          }
        }
      }
      await connection.sendRequest('shutdown');
      connection.sendNotification('exit');
      connection.dispose();
    }
  } finally {
    rmSync(work, { recursive: true, force: true });
  }
  console.log(`hover: ${checked} labels checked against sjasmplus's symbol tables, ${wrong.length} differ; ` +
    `${unbuilt} in no table`);
  console.log(`diagnostics: ${errors.size} errors, ${warnings.size} warnings${[...warnings].map((w) => `\n  ${w}`).join('')}`);
  assert.deepEqual(wrong, []);
  assert.deepEqual([...errors], []);
  assert.ok(checked > 0, 'no label checked');
});
