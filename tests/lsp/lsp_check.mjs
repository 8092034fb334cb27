// korvex lsp, driven as an editor drives it: vscode-jsonrpc over the
// server's standard input and output, on a project of two texts written
// here, one of which INCLUDEs the other. tests/lsp/run sets the
// environment and starts it with node's test runner:
//
//   KORVE_MODULES  the folder the npm packages are installed in
//   KORVE_KORVEX   the built korvex
import { after, test } from 'node:test';
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { mkdtempSync, rmSync, utimesSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { pathToFileURL } from 'node:url';

const settings = process.env;
const require = createRequire(resolve(settings.KORVE_MODULES, 'package.json'));
const rpc = require('vscode-jsonrpc/node');

// The project: main.asm holds every kind of problem once; part.asm, which
// it includes, none.
const main = [
  'START   ORG #8000',         // 0
  '        INCLUDE "PART"',    // 1
  '        CALL PRINT',        // 2
  '        DB "Ёж",NOWHERE',   // 3: Cyrillic before a name never defined
  '        NOP ; привет €',    // 4: a Cyrillic comment before a character CP866 lacks
  'X\tFOO\tA',                 // 5: pack refuses it
  'COUNT=0',                   // 6
  'COUNT=COUNT+1',             // 7: '=' sets a name again
  '        LOCAL',             // 8
  'LOOP    DJNZ LOOP',         // 9
  '        ENDL',              // 10
  'LOOP    JR LOOP',           // 11: not the LOCAL block's LOOP
  '        IF0 COUNT',         // 12
  '        NOP',               // 13
  '        ENDIF',             // 14
  '        ENDIF',             // 15: closes nothing
  'TWICE   NOP',               // 16
  'TWICE   RET',               // 17: defined twice
  '        JP START',          // 18
  '        DW START,START*2',  // 19: a name twice in a line, once an operand
].join('\n') + '\n';
const part = [
  '; часть проекта',           // 0
  'PRINT   LD A,1',            // 1
  '        CALL PRINT',        // 2
  '        DUP 2',             // 3
  '        NOP',               // 4
  '        EDUP',              // 5
  '        RET',               // 6
].join('\n') + '\n';

const folder = mkdtempSync(join(tmpdir(), 'korve-lsp-'));
after(() => rmSync(folder, { recursive: true, force: true }));
writeFileSync(join(folder, 'main.asm'), main);
writeFileSync(join(folder, 'part.asm'), part);
const mainUri = pathToFileURL(join(folder, 'main.asm')).href;
const partUri = pathToFileURL(join(folder, 'part.asm')).href;

// A server started, its connection listening; diagnostics kept by URI, and
// a promise of its exit status.
function start() {
  const child = spawn(settings.KORVE_KORVEX, ['lsp'], { stdio: ['pipe', 'pipe', 'inherit'] });
  const exited = new Promise((done) => child.on('exit', (code) => done(code)));
  const connection = rpc.createMessageConnection(
    new rpc.StreamMessageReader(child.stdout), new rpc.StreamMessageWriter(child.stdin));
  const diagnostics = new Map();
  const waiting = [];
  connection.onNotification('textDocument/publishDiagnostics', (params) => {
    diagnostics.set(params.uri, params.diagnostics);
    waiting.splice(0).forEach((wake) => wake());
  });
  const logs = [];
  connection.onNotification('window/logMessage', (params) => logs.push(params.message));
  connection.listen();
  const published = (uri) => new Promise((done) => {
    diagnostics.delete(uri);
    const look = () => (diagnostics.has(uri) ? done(diagnostics.get(uri)) : waiting.push(look));
    look();
  });
  return { child, connection, exited, published, logs };
}

async function initialized(server, params = {}) {
  const result = await server.connection.sendRequest('initialize',
    { processId: null, rootUri: pathToFileURL(folder).href, capabilities: {}, ...params });
  server.connection.sendNotification('initialized', {});
  return result;
}

async function open(server, uri, text) {
  const published = server.published(uri);
  server.connection.sendNotification('textDocument/didOpen',
    { textDocument: { uri, languageId: 'alasm', version: 1, text } });
  return published;
}

async function stop(server) {
  await server.connection.sendRequest('shutdown');
  server.connection.sendNotification('exit');
  const status = await server.exited;
  server.connection.dispose();
  return status;
}

const at = (line, character) => ({ line, character });
const span = (line, start, end) => ({ start: at(line, start), end: at(line, end) });

test('the lifecycle: what initialize advertises, errors, bad frames, and the exit status', async () => {
  const server = start();
  await assert.rejects(server.connection.sendRequest('textDocument/documentSymbol', { textDocument: { uri: mainUri } }),
    { code: -32002 });
  const result = await initialized(server);
  assert.deepEqual(result.capabilities, {
    positionEncoding: 'utf-16', textDocumentSync: { openClose: true, change: 1 },
    documentSymbolProvider: true, definitionProvider: true, referencesProvider: true, foldingRangeProvider: true,
    hoverProvider: true, completionProvider: {}, renameProvider: { prepareProvider: true }, workspaceSymbolProvider: true,
    documentFormattingProvider: true,
  });
  await assert.rejects(server.connection.sendRequest('textDocument/codeAction', { textDocument: { uri: mainUri }, position: at(0, 0) }),
    { code: -32601 });
  await assert.rejects(server.connection.sendRequest('textDocument/definition', { textDocument: { uri: mainUri }, position: at(0, 0) }),
    { code: -32803 }, 'a document not open');
  // Bytes no client should send: JSON that does not parse is an error
  // answer, a header without a length a log line, and the server goes on.
  // (A body over the limit is the framing's unit test's.)
  server.child.stdin.write('Content-Length: 7\r\n\r\n{"id":[');
  server.child.stdin.write('Content-Type: x\r\n\r\n');
  await assert.rejects(server.connection.sendRequest('no/such/method'), { code: -32601 });
  assert.deepEqual(server.logs, ['korvex lsp: a message refused: a header without Content-Length']);
  assert.equal(await stop(server), 0);

  const abrupt = start();
  await initialized(abrupt);
  abrupt.connection.sendNotification('exit');
  assert.equal(await abrupt.exited, 1, 'exit without shutdown');
});

// main.asm's problems, as the client counts positions: the Cyrillic before
// them counts one UTF-16 unit a letter and two UTF-8 bytes.
const euro = { message: "'€' (U+20AC) has no byte in CP866" };
const cases = [
  { name: 'UTF-16, CP866', params: {}, nowhere: [16, 23], euro: [21, 22] },
  { name: 'UTF-8, CP866', params: { capabilities: { general: { positionEncodings: ['utf-8', 'utf-16'] } } },
    nowhere: [18, 25], euro: [27, 30] },
  { name: 'UTF-16, CP1251', params: { initializationOptions: { korvex: { codePage: 'CP1251' } } }, nowhere: [16, 23] },
];
for (const each of cases) {
  test(`diagnostics on open and on change (${each.name})`, async () => {
    const server = start();
    await initialized(server, each.params);
    const expected = [
      { range: span(3, ...each.nowhere), message: 'NOWHERE is not defined' },
      ...(each.euro ? [{ range: span(4, ...each.euro), ...euro }] : []),
      { range: span(5, 2, 3), message: "'FOO' between the tabs is no mnemonic or directive of ALASM", code: 0 },
      { range: span(15, 8, 13), message: 'ENDIF closes no block it opens' },
      { range: span(17, 0, 5), message: 'TWICE is defined twice: first on line 17', code: 6 },
    ];
    const shown = (list) => list.map(({ range, message, code }) => ({ range, message, ...(code === undefined ? {} : { code }) }))
      .sort((a, b) => a.range.start.line - b.range.start.line);
    assert.deepEqual(shown(await open(server, mainUri, main)), expected);
    // The refused line put right: its problem gone, the rest as they were.
    const published = server.published(mainUri);
    server.connection.sendNotification('textDocument/didChange', {
      textDocument: { uri: mainUri, version: 2 }, contentChanges: [{ text: main.replace('X\tFOO\tA', 'X\tNOP') }],
    });
    assert.deepEqual(shown(await published), expected.filter((problem) => problem.code !== 0));
    assert.equal(await stop(server), 0);
  });
}

test('document symbols: labels, EQU and = names, LOCAL blocks as parents', async () => {
  const server = start();
  await initialized(server);
  await open(server, mainUri, main);
  const symbols = await server.connection.sendRequest('textDocument/documentSymbol', { textDocument: { uri: mainUri } });
  const named = (list) => list.map((s) => `${s.name} ${s.kind} ${s.range.start.line}` +
    (s.children.length ? ` [${named(s.children)}]` : ''));
  assert.deepEqual(named(symbols), [
    'START 12 0', 'COUNT 13 6', 'COUNT 13 7', 'LOOP 12 11', 'TWICE 12 16', 'TWICE 12 17', 'LOCAL 3 8 [LOOP 12 9]',
  ]);
  assert.equal(await stop(server), 0);
});

test('definition and references across the project, LOCAL respected', async () => {
  const server = start();
  await initialized(server);
  await open(server, mainUri, main);  // part.asm is read from disk
  const where = (list) => list.map((l) => `${l.uri === mainUri ? 'main' : 'part'}:${l.range.start.line}:${l.range.start.character}`).sort();
  const definitions = [
    [mainUri, at(2, 14), ['part:1:0']],   // from main into the text it includes
    [mainUri, at(9, 14), ['main:9:0']],   // the LOCAL block's own LOOP
    [mainUri, at(11, 12), ['main:11:0']],
    [mainUri, at(18, 12), ['main:0:0']],
    [mainUri, at(7, 8), ['main:6:0', 'main:7:0']],
    [mainUri, at(13, 9), []],             // a mnemonic names nothing
  ];
  for (const [uri, position, expected] of definitions) {
    const found = await server.connection.sendRequest('textDocument/definition', { textDocument: { uri }, position });
    assert.deepEqual(where(found), expected, `definition at ${uri}:${position.line}:${position.character}`);
  }
  const references = [
    [mainUri, at(2, 14), false, ['main:2:13', 'part:2:13']],
    [mainUri, at(2, 14), true, ['main:2:13', 'part:1:0', 'part:2:13']],
    [mainUri, at(11, 0), false, ['main:11:11']],
    [mainUri, at(9, 0), false, ['main:9:13']],
    [mainUri, at(0, 0), false, ['main:18:11', 'main:19:11', 'main:19:17']],
  ];
  for (const [uri, position, includeDeclaration, expected] of references) {
    const found = await server.connection.sendRequest('textDocument/references',
      { textDocument: { uri }, position, context: { includeDeclaration } });
    assert.deepEqual(where(found), expected, `references at ${uri}:${position.line}:${position.character}`);
  }
  assert.equal(await stop(server), 0);
});

test('folding ranges of blocks', async () => {
  const server = start();
  await initialized(server);
  await open(server, mainUri, main);
  await open(server, partUri, part);
  for (const [uri, expected] of [[mainUri, ['8-10', '12-14']], [partUri, ['3-5']]]) {
    const folds = await server.connection.sendRequest('textDocument/foldingRange', { textDocument: { uri } });
    assert.deepEqual(folds.sort((a, b) => a.startLine - b.startLine).map((f) => `${f.startLine}-${f.endLine}`), expected);
  }
  assert.equal(await stop(server), 0);
});

// addr.asm, a project of its own: what ALASM makes of ORG, EQU, DB, DS,
// DUP, INCBIN of a data file beside it, DISP and a forward reference.
const addr = [
  'SIZE    EQU 4',             // 0
  '        ORG #6000',         // 1
  'BEGIN   LD A,5',            // 2: 2 bytes at #6000
  'TABLE   DB 1,2,"AB"',       // 3: #6002
  '        DS SIZE,#FF',       // 4: #6006
  '        DUP 3',             // 5
  '        NOP',               // 6
  '        EDUP',              // 7: #600A..#600C
  'AFTER   INCBIN "data.bin"', // 8: #600D, 5 bytes
  '        DISP #C000',        // 9
  'RUNS    JP RUNS',           // 10: at #6012, run at #C000
  '        ENT',               // 11
  'BACK    DW FWD',            // 12: #6015
  'FWD     NOP',               // 13: #6017
  '        IFN UNKNOWN',       // 14: a value not known: both branches
  '        NOP',
  '        ELSE',
  '        RET',
  '        ENDIF',
  'SAME    NOP',               // 19: as many bytes either way: #6019
  'N=1',
  '        IFN UNKNOWN',
  'N=2',
  '        ENDIF',
  '        DB N',              // 24: #601A, N not known
  '        IF0 UNKNOWN',
  '        DB 1,2',
  '        ENDIF',
  'LATE    NOP',               // 28: two bytes on, or none
].join('\n') + '\n';
writeFileSync(join(folder, 'addr.asm'), addr);
writeFileSync(join(folder, 'data.bin'), Buffer.from([1, 2, 3, 4, 5]));
const addrUri = pathToFileURL(join(folder, 'addr.asm')).href;

test('hover: the values ALASM gives names, the bytes of a line, a keyword', async () => {
  const server = start();
  await initialized(server);
  await open(server, addrUri, addr);
  await open(server, mainUri, main);
  const rows = [
    [addrUri, at(0, 1), '`SIZE` (EQU, addr.asm:1) = #0004 (4)'],
    [addrUri, at(2, 0), '`BEGIN` (label, addr.asm:3) = #6000 (24576)\n\n2 bytes at #6000'],
    [addrUri, at(3, 0), '`TABLE` (label, addr.asm:4) = #6002 (24578)\n\n4 bytes at #6002: 01 02 41 42'],
    [addrUri, at(4, 9), '`DS`: DS n[,list]: the list (one zero byte without one) n times (DEFS)\n\n4 bytes at #6006: FF FF FF FF'],
    [addrUri, at(6, 9), '`NOP`: do nothing for 4 T-states\n\n1 byte at #600A'],
    [addrUri, at(8, 2), '`AFTER` (label, addr.asm:9) = #600D (24589)\n\n5 bytes at #600D'],
    [addrUri, at(10, 12), '`RUNS` (label, addr.asm:11) = #C000 (49152)\n\n3 bytes at #6012, run at #C000 (DISP)'],
    [addrUri, at(12, 12), '`FWD` (label, addr.asm:14) = #6017 (24599)\n\n2 bytes at #6015: 17 60'],
    [addrUri, at(19, 0), '`SAME` (label, addr.asm:20) = #6019 (24601)\n\n1 byte at #6019'],
    [addrUri, at(24, 2), '1 byte at #601A'],  // its byte not known
    [addrUri, at(28, 0), '`LATE` (label, addr.asm:29): no value known (an address or a size before it is not)'],
    // main.asm's ORG, then part.asm where main.asm includes it (8 bytes, its DUP twice).
    [mainUri, at(2, 14), '`PRINT` (label, part.asm:2) = #8000 (32768)\n\n3 bytes at #8008'],
    [mainUri, at(3, 20), '`NOWHERE` is not defined\n\n3 bytes at #800B'],  // its byte not known
    [mainUri, at(4, 20), '1 byte at #800E'],  // in a comment: the line's bytes
    [mainUri, at(6, 6), null],  // a number on a line that stores nothing
  ];
  for (const [uri, position, expected] of rows) {
    const found = await server.connection.sendRequest('textDocument/hover', { textDocument: { uri }, position });
    assert.equal(found && found.contents.value, expected, `hover at ${position.line}:${position.character}`);
  }
  assert.equal(await stop(server), 0);
});

test('completion of labels the position sees, and keywords, by prefix', async () => {
  const server = start();
  await initialized(server);
  await open(server, mainUri, main.replace('CALL PRINT', 'CALL PR').replace('DJNZ LOOP', 'DJNZ LO'));
  const rows = [
    [at(2, 15), ['PRINT part.asm:2']],
    [at(9, 15), ['LOCAL', 'LOOP main.asm:10']],   // inside the LOCAL block: its LOOP
    [at(11, 13), ['LOCAL', 'LOOP main.asm:12']],  // outside: the project's
    [at(13, 9), ['NC', 'NEG', 'NOP', 'NZ']],  // mnemonics and conditions
  ];
  for (const [position, expected] of rows) {
    const found = await server.connection.sendRequest('textDocument/completion', { textDocument: { uri: mainUri }, position });
    const shown = found.items.map((item) => (item.kind === 14 || item.kind === 20 ? item.label : `${item.label} ${item.detail}`)).sort();
    assert.deepEqual(shown, expected, `completion at ${position.line}:${position.character}`);
  }
  assert.equal(await stop(server), 0);
});

test('rename across the project, and what it refuses', async () => {
  const server = start();
  await initialized(server);
  await open(server, mainUri, main);
  const edits = (result) => Object.entries(result.changes).flatMap(([uri, list]) =>
    list.map((e) => `${uri === mainUri ? 'main' : 'part'}:${e.range.start.line}:${e.range.start.character}-${e.range.end.character} ${e.newText}`)).sort();
  const renames = [
    [at(2, 14), 'SHOW', ['main:2:13-18 SHOW', 'part:1:0-5 SHOW', 'part:2:13-18 SHOW']],
    [at(9, 0), 'SPIN', ['main:9:0-4 SPIN', 'main:9:13-17 SPIN']],  // the LOCAL block's LOOP alone
    [at(19, 18), 'GO', ['main:0:0-5 GO', 'main:18:11-16 GO', 'main:19:11-16 GO', 'main:19:17-22 GO']],
    [at(2, 14), 'ld', /keyword/],
    [at(2, 14), '1X', /no label ALASM takes/],
    [at(2, 14), 'TWICE', /already defined on line 17 of main.asm/],
    [at(9, 0), '@LOOP', /another scope/],
    [at(13, 9), 'X', /no name stands there/],
  ];
  for (const [position, newName, expected] of renames) {
    const asked = server.connection.sendRequest('textDocument/rename', { textDocument: { uri: mainUri }, position, newName });
    if (expected instanceof RegExp) {
      await assert.rejects(asked, { code: -32803, message: expected }, newName);
    } else {
      assert.deepEqual(edits(await asked), expected, newName);
    }
  }
  const prepared = await server.connection.sendRequest('textDocument/prepareRename', { textDocument: { uri: mainUri }, position: at(2, 14) });
  assert.deepEqual(prepared, { range: span(2, 13, 18), placeholder: 'PRINT' });
  assert.equal(await server.connection.sendRequest('textDocument/prepareRename', { textDocument: { uri: mainUri }, position: at(13, 9) }), null);
  assert.equal(await stop(server), 0);
});

test('workspace symbols across the open documents\' projects, by substring', async () => {
  const server = start();
  await initialized(server);
  await open(server, mainUri, main);
  await open(server, addrUri, addr);
  const rows = [
    ['o', ['COUNT main.asm:6', 'COUNT main.asm:7', 'LOOP main.asm:11', 'LOOP main.asm:9']],
    ['pri', ['PRINT part.asm:1']],  // part.asm is not open: read from disk
    ['FWD', ['FWD addr.asm:13']],
  ];
  for (const [query, expected] of rows) {
    const found = await server.connection.sendRequest('workspace/symbol', { query });
    assert.deepEqual(found.map((s) => `${s.name} ${s.containerName}:${s.location.range.start.line}`).sort(), expected, query);
  }
  assert.equal(await stop(server), 0);
});

test('formatting into the stored or the tidy layout; a text pack refuses is left alone', async () => {
  const typed = 'start nop\n  ld a,5 ;x\nEND\tJR  start   \n';
  const rows = [
    [{}, typed, 'start\tNOP\t\n\tLD\tA,5 ;x\nEND\tJR\tstart   \n\n'],
    [{ initializationOptions: { korvex: { layout: 'tidy' } } }, typed, 'start\tNOP\n\tLD\tA,5 ;x\nEND\tJR\tstart\n\n'],
    [{ initializationOptions: { korvex: { layout: 'tidy' } } }, 'start\tNOP\n\n', null],  // tidy already
    [{}, 'X\tFOO\tA\n', null],
  ];
  const uri = pathToFileURL(join(folder, 'format.asm')).href;
  for (const [params, text, expected] of rows) {
    const server = start();
    await initialized(server, params);
    await open(server, uri, text);
    const edits = await server.connection.sendRequest('textDocument/formatting',
      { textDocument: { uri }, options: { tabSize: 8, insertSpaces: false } });
    const lines = text.split('\n');
    assert.deepEqual(edits, expected === null ? [] : [{
      range: { start: at(0, 0), end: at(lines.length - 1, lines[lines.length - 1].length) }, newText: expected }], text);
    assert.equal(await stop(server), 0);
  }
});

// The diagnostics that need ALASM's addresses, its one pass, or the
// translation for a target assembler: each row a text of its own folder,
// the server started with the row's initializationOptions.
const reach = (n) => `the target lies ${n} bytes from the next instruction: a relative jump reaches -128 to 127`;
const later = 'LATER is defined further down, on line 11: ALASM assembles in one pass and takes a name not yet defined in + and - alone';
const translated = [
  '        ORG #8000',
  'START   LD A,$$',
  '        RUN START',
  '        RET',
];
const assembled = [
  { name: 'relative jumps out of reach, where the addresses are known', text: [
    '        ORG #8000',
    'START   JR FAR',          // 1: FAR lies 200 bytes on
    '        DS 200',
    'FAR     DJNZ START',      // 3: START lies 204 bytes back
    'BACK    JR BACK',
    '        JR NZ,START+2',   // 5
    '        JR $+130',        // 6: 128 on
    '        JR $+129',
    '        IF0 0',           // taken: its lines assembled
    '        JR START',        // 9
    '        ENDIF',
    '        IFN ?START',      // a value not worked out: nothing said in it
    '        JR START',
    '        ENDIF',
  ], expected: [
    `1:11-14 1 3 ${reach(200)}`, `3:13-18 1 3 ${reach(-204)}`, `5:14-21 1 3 ${reach(-206)}`, `6:11-16 1 3 ${reach(128)}`,
    `9:11-16 1 3 ${reach(-214)}`,
  ] },
  { name: 'a jump to, and a name read from, a text included further on (no ORG of its own)', text: [
    '        ORG #8000',
    '        JR FAR',
    '        LD A,FAR*2',
    '        INCLUDE "PART"',
  ], others: { 'part.asm': ['        DS 200', 'FAR     NOP'] }, expected: [
    `1:11-14 1 3 ${reach(202)}`,
    '2:13-16 1  FAR is defined further on, on line 2 of part.asm: ALASM assembles in one pass and takes a name not yet defined in + and - alone',
  ] },
  { name: 'a name an operator other than + and - reads before its definition', text: [
    'EARLY   ORG #8000',
    '        LD A,LATER*2',    // 1
    '        LD A,LATER+1',
    "        LD A,'LATER",     // a byte of it: filled in later, as a real source shows
    '        LD HL,-LATER',
    '        LD A,(EARLY+1)*2',
    '        IFN ?LATER',
    '        ENDIF',
    '        LD A,LATER!EARLY', // 8
    '        DB LATER,LATER*2', // the second alone
    'LATER   NOP',
    '        LD A,LATER*2',
  ], expected: [`1:13-18 1  ${later}`, `8:13-18 1  ${later}`, `9:17-22 1  ${later}`] },
  { name: 'names two main texts define, each including one text: twice only where one assembly takes both', text: [
    '        INCLUDE "NAMES"',
    'FNAME   DB 1',
  ], others: { 'names.asm': ['SIZE    EQU 4'], 'other.asm': ['        INCLUDE "NAMES"', 'FNAME   DB 2', 'SIZE    EQU 5'] },
  shown: 'other.asm', expected: ['2:0-4 1 6 SIZE is defined twice: first on line 1 of names.asm'] },
  { name: 'a name only another main text defines, both including one text of names, is not defined', text: [
    '        INCLUDE "NAMES"',
    '        LD A,FNAME',
  ], others: { 'names.asm': ['SIZE    EQU 4'], 'other.asm': ['        INCLUDE "NAMES"', 'FNAME   DB 2'] },
  expected: ['1:13-18 1  FNAME is not defined'] },
  { name: "the translation's reports, for sjasmplus", options: { korvex: { target: 'sjasmplus' } }, text: translated,
    expected: [
      '1:0-15 2  sjasmplus: cannot translate: $$, the memory page ALASM assembles into, has no equal there',
      '2:0-17 2  sjasmplus: cannot translate: RUN calls machine code while ALASM assembles',
    ] },
  { name: 'no target assembler: no translation', options: { korvex: { target: 'none' } }, text: translated, expected: [] },
];
for (const row of assembled) {
  test(`diagnostics: ${row.name}`, async () => {
    const own = mkdtempSync(join(tmpdir(), 'korve-lsp-'));
    const server = start();
    try {
      const uri = pathToFileURL(join(own, 'prog.asm')).href;
      for (const [name, lines] of Object.entries(row.others ?? {})) {
        writeFileSync(join(own, name), lines.join('\n') + '\n');
      }
      await initialized(server, { initializationOptions: row.options ?? {} });
      // Another text's diagnostics, where the row shows them: that text
      // open, as the project of prog.asm publishes them.
      const shown = row.shown ? pathToFileURL(join(own, row.shown)).href : uri;
      if (row.shown) {
        await open(server, shown, row.others[row.shown].join('\n') + '\n');
      }
      const published = server.published(shown);
      await open(server, uri, row.text.join('\n') + '\n');
      const found = (await published).map((d) =>
        `${d.range.start.line}:${d.range.start.character}-${d.range.end.character} ${d.severity} ${d.code ?? ''} ${d.message}`);
      assert.deepEqual(found.sort(), row.expected.sort());
      assert.equal(await stop(server), 0);
    } finally {
      server.child.kill();  // where a check failed before the server stopped
      rmSync(own, { recursive: true, force: true });
    }
  });
}

// What the server keeps of each text is read again when it changes: an
// open document's text, a file's size or only its time of change; and a
// change to one text reaches the diagnostics of the texts that read it.
test('diagnostics follow every text of the project as it changes', async () => {
  const own = mkdtempSync(join(tmpdir(), 'korve-lsp-'));
  const file = join(own, 'part.asm');
  const uri = pathToFileURL(join(own, 'main.asm')).href;
  const ownPartUri = pathToFileURL(file).href;
  const source = '        INCLUDE "PART"\n        CALL PRINT\n';
  const server = start();
  const messages = async (target, change) => {
    const published = server.published(target);
    change();
    return (await published).map((d) => d.message);
  };
  const touch = (target, text) => messages(uri, () => {
    if (text === null) {
      rmSync(file);
    } else {
      writeFileSync(file, text);
    }
    server.connection.sendNotification('textDocument/didChange',
      { textDocument: { uri: target, version: 2 }, contentChanges: [{ text: source }] });
  });
  try {
    writeFileSync(file, 'PRINT   RET\n');
    utimesSync(file, 1000, 1000);
    await initialized(server);
    assert.deepEqual((await open(server, uri, source)).map((d) => d.message), []);
    assert.deepEqual(await messages(uri, () => {
      writeFileSync(file, 'PRUNT   RET\n');  // the same size
      utimesSync(file, 2000, 2000);
      server.connection.sendNotification('textDocument/didChange',
        { textDocument: { uri, version: 2 }, contentChanges: [{ text: source }] });
    }), ['PRINT is not defined'], 'a file changed in its time alone');
    assert.deepEqual(await touch(uri, 'PRINT   NOP\n        RET\n'), [], 'a file changed in size');
    assert.deepEqual(await touch(uri, null), ['PRINT is not defined'], 'a file deleted');
    writeFileSync(file, 'PRINT   RET\n');
    const mainToo = server.published(uri);  // opening part.asm publishes main.asm's too
    await open(server, ownPartUri, 'PRINT   RET\n');
    await mainToo;
    assert.deepEqual(await messages(uri, () => server.connection.sendNotification('textDocument/didChange',
      { textDocument: { uri: ownPartUri, version: 2 }, contentChanges: [{ text: 'PRINTS  RET\n' }] })),
    ['PRINT is not defined'], 'an open document changed, another open one reading it');
    assert.equal(await stop(server), 0);
  } finally {
    server.child.kill();
    rmSync(own, { recursive: true, force: true });
  }
});
