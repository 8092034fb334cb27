// The ALASM grammar of editors/vscode-alasm, read as VS Code reads it: by
// vscode-textmate on vscode-oniguruma. tests/grammar/run sets the
// environment and starts it with node's test runner:
//
//   KORVE_EXTENSION the extension's folder (package.json, the grammar)
//   KORVE_KEYWORDS  the two keyword tables as JSON (alasm_grammar --keywords)
//   KORVE_MODULES   the folder the npm packages are installed in
//   KORVE_KORVEX    the built korvex
//   KORVE_CORPUS    a folder of real sources, *.H (checked when present)
import { before, test } from 'node:test';
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { existsSync, readFileSync, readdirSync } from 'node:fs';
import { createRequire } from 'node:module';
import { join, resolve } from 'node:path';

const settings = process.env;
const require = createRequire(resolve(settings.KORVE_MODULES, 'package.json'));
const textmate = require('vscode-textmate');
const oniguruma = require('vscode-oniguruma');

const extension = settings.KORVE_EXTENSION;
const manifest = JSON.parse(readFileSync(join(extension, 'package.json'), 'utf8'));
const keywords = JSON.parse(readFileSync(settings.KORVE_KEYWORDS, 'utf8'));

const label = 'entity.name.function.label';
const localLabel = 'entity.name.function.label.local';
const instruction = 'keyword.other.instruction';
const blockDirective = 'keyword.control.directive';
const directive = 'support.function.directive';
const mnemonicScopes = [instruction, blockDirective, directive];
const register = 'variable.language.register';
const condition = 'constant.language.condition';
const name = 'variable.other.label';
const comment = 'comment.line.semicolon';
const string = 'string.quoted.double';
const character = 'constant.character';
const parenOpen = 'punctuation.section.parens.begin';
const parenClose = 'punctuation.section.parens.end';

let grammar;
before(async () => {
  const wasm = readFileSync(require.resolve('vscode-oniguruma/release/onig.wasm'));
  await oniguruma.loadWASM(wasm.buffer.slice(wasm.byteOffset, wasm.byteOffset + wasm.byteLength));
  const [contribution] = manifest.contributes.grammars;
  const path = join(extension, contribution.path);
  const registry = new textmate.Registry({
    onigLib: Promise.resolve({
      createOnigScanner: (patterns) => new oniguruma.OnigScanner(patterns),
      createOnigString: (text) => new oniguruma.OnigString(text),
    }),
    loadGrammar: async (scope) =>
      scope === contribution.scopeName ? textmate.parseRawGrammar(readFileSync(path, 'utf8'), path) : null,
  });
  grammar = await registry.loadGrammar(contribution.scopeName);
  assert.ok(grammar, `no grammar for ${contribution.scopeName}`);
});

// The tokens of lines read one after another, as an editor reads a file:
// each with its line, text and scopes. Fails where the tokenizer gave up on
// a line or its tokens do not cover it.
function tokenize(lines) {
  const tokens = [];
  let state = textmate.INITIAL;
  lines.forEach((line, index) => {
    const result = grammar.tokenizeLine(line, state);
    assert.ok(!result.stoppedEarly, `line ${index + 1} took too long: ${JSON.stringify(line)}`);
    let at = 0;
    for (const token of result.tokens) {
      assert.equal(token.startIndex, at, `a gap in line ${index + 1}: ${JSON.stringify(line)}`);
      at = Math.min(token.endIndex, line.length);
      tokens.push({ line: index, start: token.startIndex, text: line.slice(token.startIndex, at), scopes: token.scopes });
    }
    assert.ok(at >= line.length, `line ${index + 1} is not covered: ${JSON.stringify(line)}`);
    state = result.ruleStack;
  });
  return tokens;
}

// Whether a token has a scope that is `scope` or more specific.
const has = (token, scope) => token.scopes.some((s) => s === scope || s.startsWith(`${scope}.`));
const shown = (tokens) => tokens.map((t) => `${JSON.stringify(t.text)} ${t.scopes.slice(1).join(' ')}`).join('\n');

// Checks that `text` (lines joined by '\n') has, in order, a token spelling
// each expected text with one of its scopes. A scope of null: none but the
// grammar's own and meta scopes.
function expectTokens(text, expected) {
  const tokens = tokenize(text.split('\n'));
  let at = 0;
  for (const [spelling, scopes] of expected) {
    const found = tokens.findIndex((token, index) => index >= at && token.text === spelling);
    assert.notEqual(found, -1, `no token ${JSON.stringify(spelling)} in ${JSON.stringify(text)}:\n${shown(tokens)}`);
    const token = tokens[found];
    const fits = scopes === null
      ? token.scopes.slice(1).every((s) => s.startsWith('meta.'))
      : [scopes].flat().some((scope) => has(token, scope));
    assert.ok(fits, `${JSON.stringify(spelling)} in ${JSON.stringify(text)} is ${token.scopes.join(' ')}, not ${scopes}`);
    at = found + 1;
  }
}

// ---- Lines as korvex writes them (stored, with the spaces ALASM kept, and
// tidy) and as a person types them.

const rows = [
  ['a label, an instruction without operands', 'START\tDI\t', [['START', label], ['DI', instruction]]],
  ['the tidy layout ends after the mnemonic', '\tEI', [['EI', instruction]]],
  ['stored spaces, a name, a comment', '\tLD\t     HL,SCREEN       ; wipe it',
    [['LD', instruction], ['HL', register], [',', 'punctuation.separator.comma'], ['SCREEN', name], [' wipe it', comment]]],
  ['an indexed address', 'ROW\tLD\t(IX+0),#38',
    [['ROW', label], ['(', parenOpen], ['IX', register], ['+', 'keyword.operator.arithmetic'], ['0', 'constant.numeric.decimal'],
      [')', parenClose], ['#38', 'constant.numeric.hex']]],
  ['an indirection', '\tLD\t(HL),0', [['(', parenOpen], ['HL', register], [')', parenClose], ['0', 'constant.numeric.decimal']]],
  ['a value in parentheses is no indirection', '\tLD\tA,(#5C08)', [['(', parenOpen], ['#5C08', 'constant.numeric.hex'], [')', parenClose]]],
  ['the numbers', '\tDB\t%1010,#ff,255,"c"',
    [['%1010', 'constant.numeric.binary'], ['#ff', 'constant.numeric.hex'], ['255', 'constant.numeric.decimal'],
      ['"', string], ['c', character], ['"', string]]],
  ['a ; in a string is no comment', 'TEXT\tDEFB\t"Hi; there",13,0 ;end',
    [['TEXT', label], ['DEFB', directive], ['Hi; there', string], ['13', 'constant.numeric.decimal'], ['end', comment]]],
  ['a ; as a character', '\tCP\t";"', [[';', character]]],
  ['a string left open ends with its line', '\tDB\t"open\n\tNOP\t', [['open', string], ['NOP', instruction]]],
  ['C is carry after a jump, a register elsewhere', '\tJR\tC,LOOP\n\tLD\tC,A\n\tRET\tc\n\tCALL\tNC,x',
    [['C', condition], ['LOOP', name], ['C', register], ['A', register], ['c', condition], ['NC', condition], ['x', name]]],
  ['conditions after the stored spaces', '\tJP\t     NZ,#8000', [['NZ', condition]]],
  ['JP (HL) takes no condition', '\tJP\t(HL)', [['HL', register]]],
  ["AF' is a register, not a high byte", "\tEX\tAF,AF'", [['AF', register], ["AF'", register]]],
  ["' and . take a byte of a value", "\tLD\tH,'CURRND\n\tLD\tL,.CURRND",
    [["'", 'keyword.operator.byte'], ['CURRND', name], ['.', 'keyword.operator.byte'], ['CURRND', name]]],
  ['a keyword that runs on is a name', '\tLD\tA,B+1\n\tLD\tHL,HL_END\n\tCALL\tLOOP\n\tJP\tPE1',
    [['B', name], ['HL', register], ['HL_END', name], ['LOOP', name], ['PE1', name]]],
  ['$ and $$', '\tJR\t$+5\n\tLD\tA,$$', [['$', 'variable.language.here'], ['5', 'constant.numeric.decimal'], ['$$', 'variable.language.page']]],
  ['the operators', '\tLD\tA,X*2/3&7|1!5>2<1~', [
    ['*', 'keyword.operator.arithmetic'], ['/', 'keyword.operator.arithmetic'], ['&', 'keyword.operator.bitwise'],
    ['|', 'keyword.operator.bitwise'], ['!', 'keyword.operator.bitwise'], ['>', 'keyword.operator.bitwise'],
    ['<', 'keyword.operator.bitwise'], ['~', 'keyword.operator.bitwise']]],
  ['memory, and whether a name is defined', '\tDW\t{#5C00},?SIZE',
    [['{', 'punctuation.section.braces.begin'], ['}', 'punctuation.section.braces.end'], ['?', 'keyword.operator.defined'], ['SIZE', name]]],
  ['NAME=expression', 'SIZE=$-START', [['SIZE', label], ['=', 'keyword.operator.assignment'], ['$', 'variable.language.here'], ['START', name]]],
  ['NAME=A holds no register: it is stored as typed', 'X=A+1', [['X', label], ['A', name]]],
  ["a label's colon; EQU", 'LOOP:\tNOP\t\nSCREEN\tEQU\t#4000',
    [['LOOP', label], [':', 'punctuation.separator.label'], ['NOP', instruction], ['SCREEN', label], ['EQU', directive]]],
  ['+ assembles a line the first time only', '+INIT\tCALL\tSETUP\n+\tLD\tA,1',
    [['+', 'storage.modifier'], ['INIT', label], ['+', 'storage.modifier'], ['LD', instruction]]],
  ['any word at column 0 is a label', 'NOP\nLOOP ;here', [['NOP', label], ['LOOP', label], ['here', comment]]],
  ['a comment line, and one with a space before it', '; GREET: hello\n ;\tLD\tA,1',
    [[' GREET: hello', comment], ['\tLD\tA,1', comment]]],
  ['a space before the mnemonic', ' \tELSE\t\n \tRET\t', [['ELSE', blockDirective], ['RET', instruction]]],
  ['typed in lower case, with spaces', 'loop ld a,(hl) ; typed\n  djnz loop',
    [['loop', label], ['ld', instruction], ['a', register], ['hl', register], [' typed', comment], ['djnz', instruction], ['loop', name]]],
  ['a macro: its name, a parameter, a call', '\tMACRO\tFILL\n\tLD\tA,\\0\n\tENDM\t\n FILL 5,A',
    [['MACRO', blockDirective], ['FILL', 'entity.name.function.macro'], ['\\0', 'variable.parameter'], ['ENDM', blockDirective],
      ['FILL', 'entity.name.function.macro.call'], ['5', 'constant.numeric.decimal'], ['A', register]]],
  ['labels inside LOCAL are local, but for those that start with @',
    'OUTER\tLOCAL\t\nINNER\tNOP\t\n@OUT\tJR\tINNER\nSET=1\n\tENDL\t\nAFTER\tNOP\t',
    [['OUTER', label], ['LOCAL', blockDirective], ['INNER', localLabel], ['@OUT', label], ['INNER', name], ['SET', localLabel],
      ['ENDL', blockDirective], ['AFTER', label]]],
  ["ALASM's own words", '\tDISP\t#6000\n\tENT\t\n\tIF0\tX-1\n\tIFN\tX\n\tENDIF\t\n\tDUP\t8\n\tEDUP\t\n\tREPEAT\t\n\tUNTIL0\tX\n' +
    '\tEXA\t\n\tEXD\t\n\tJNZ\tL1\n\tSLI\tB\n\tINF\t\n\tLD\tHX,LY\n\tDD\t1D4F\n\tRUN\t#8000\n\tMAIN\t"X",#16',
    [['DISP', blockDirective], ['ENT', blockDirective], ['IF0', blockDirective], ['IFN', blockDirective], ['ENDIF', blockDirective],
      ['DUP', blockDirective], ['EDUP', blockDirective], ['REPEAT', blockDirective], ['UNTIL0', blockDirective],
      ['EXA', instruction], ['EXD', instruction], ['JNZ', instruction], ['L1', name], ['SLI', instruction], ['INF', instruction],
      ['HX', register], ['LY', register], ['DD', directive], ['RUN', directive], ['MAIN', directive]]],
  ['an indented word that is no keyword: a call with operands, else a label', '\tLDX\tA\n\tFOO\n DONE ;x',
    [['LDX', 'entity.name.function.macro.call'], ['A', register], ['FOO', label], ['DONE', label]]],
];

for (const [title, text, expected] of rows) {
  test(`grammar: ${title}`, () => expectTokens(text, expected));
}

// ---- Every keyword of both tables, as korvex writes it and typed in lower
// case.

test('grammar: every instruction and directive is a mnemonic, in either case', () => {
  assert.equal(keywords.first.length, 103);
  for (const word of keywords.first) {
    for (const typed of [word, word.toLowerCase()]) {
      for (const line of [`\t${typed}\t`, `L1\t${typed}`, `  ${typed} 1`]) {
        expectTokens(line, [[typed, mnemonicScopes]]);
      }
    }
  }
});

test('grammar: every register, pair, indirection and condition is an operand keyword, in either case', () => {
  assert.equal(keywords.operand.length, 37);
  for (const word of keywords.operand) {
    // "(IX" and "(IY" come before a displacement.
    const operand = word.startsWith('(') && !word.endsWith(')') ? `${word}+1)` : word;
    const inner = word.replace(/^\(|\)$/g, '');
    for (const typed of [operand, operand.toLowerCase()]) {
      const expected = [[inner === word ? typed : typed.slice(1, 1 + inner.length), [register, condition]]];
      for (const line of [`\tLD\tA,${typed}`, `\tLD\t     ${typed},A`, `ld ${typed} ;x`]) {
        expectTokens(line, expected);
      }
    }
  }
});

test('grammar: every condition after JP, JR, CALL and RET', () => {
  for (const word of ['NZ', 'Z', 'NC', 'C', 'PO', 'PE', 'P', 'M']) {
    assert.ok(keywords.operand.includes(word), `${word} is in no keyword table`);
    for (const mnemonic of ['JP', 'JR', 'CALL']) {
      expectTokens(`\t${mnemonic}\t${word},L`, [[word, condition]]);
    }
    expectTokens(`\tRET\t${word}`, [[word, condition]]);
  }
});

// ---- A translation korvex wrote keeps its source's name: a comment on its
// first line names it, and it is not ALASM, to the grammar and to the
// extension, which opens it in another language.

const firstLines = [
  ['; Translated by korvex for sjasmplus: GAME.H', true],
  ['\tDEVICE ZXSPECTRUM48 ; Translated by korvex for sjasmplus: GAME.H', true],
  ['START\tDI\t;x ; Translated by korvex for pasmo: GAME.H', true],
  ['; GAME.H: translated by hand', false],
  ['\tDB\t"Translated by korvex for"', false],
];

test('a translation is not coloured as ALASM, and the extension switches it', () => {
  const { isTranslation, translationLanguage } = require(resolve(extension, manifest.main));
  for (const [first, translated] of firstLines) {
    assert.equal(isTranslation(first), translated, first);
    const tokens = tokenize([first, 'LOOP\tLD\tA,(HL)', '\tIF korve_dup446 < 8-1']);
    const coloured = tokens.filter((token) => !token.scopes.slice(1).every((s) => s.startsWith('meta.')));
    assert.equal(coloured.length === 0, translated, `${JSON.stringify(first)}:\n${shown(tokens)}`);
  }
  // Only the first line names a translation.
  expectTokens('\tNOP\t\n; Translated by korvex for sjasmplus: GAME.H\n\tLD\tA,1', [['LD', instruction]]);
  const languages = [
    ['', ['plaintext', 'asm', 'z80-asm'], 'z80-asm'],
    ['', ['plaintext', 'asm'], 'asm'],
    ['', ['plaintext'], 'plaintext'],
    ['asm-collection', ['asm', 'asm-collection'], 'asm-collection'],
    ['unknown', ['asm'], 'asm'],
  ];
  for (const [configured, known, chosen] of languages) {
    assert.equal(translationLanguage(configured, known), chosen, `${configured} of ${known}`);
  }
});

// ---- The extension names the grammar, the language and the files korvex writes.

test('extension: the language, its files and the grammar fit together', () => {
  const [language] = manifest.contributes.languages;
  const [contribution] = manifest.contributes.grammars;
  assert.equal(language.id, 'alasm');
  assert.equal(contribution.language, 'alasm');
  for (const file of ['GAME.H.asm', 'GAME.$h.asm', 'GAME.$H.asm', 'GAME.H (2).asm']) {
    assert.ok(language.filenamePatterns.some((pattern) => globMatches(pattern, file)), `${file} is not ALASM text`);
  }
  const raw = JSON.parse(readFileSync(join(extension, contribution.path), 'utf8'));
  assert.equal(raw.scopeName, contribution.scopeName);
  // Spaces at a line's end are ALASM's stored bytes: an editor keeps them.
  assert.equal(manifest.contributes.configurationDefaults['[alasm]']['files.trimTrailingWhitespace'], false);
  assert.ok(manifest.activationEvents.includes(`onLanguage:${language.id}`));
  const configuration = JSON.parse(readFileSync(join(extension, language.configuration), 'utf8'));
  assert.equal(configuration.comments.lineComment, ';');
  assert.equal(readFileSync(join(extension, 'LICENSE'), 'utf8'), readFileSync(join(extension, '../../LICENSE'), 'utf8'),
    "the extension's LICENSE is not the project's");
});

// The '*' and '[...]' of a file pattern, enough for the extension's own.
function globMatches(pattern, file) {
  const regex = pattern.replace(/[.$^+(){}|\\]/g, '\\$&').replace(/\*\*\//g, '(?:.*/)?').replace(/\*/g, '[^/]*');
  return new RegExp(`(?:^|/)${regex}$`).test(file);
}

// ---- korvex's text of every real source, in both layouts.

function realSources(folder) {
  if (!folder || !existsSync(folder)) {
    return [];
  }
  return readdirSync(folder, { recursive: true }).filter((path) => path.endsWith('.H')).sort().map((path) => join(folder, path));
}

test('grammar: korvex\'s text of every real source', (t) => {
  const sources = realSources(settings.KORVE_CORPUS);
  if (sources.length === 0) {
    t.skip(`no real sources in ${settings.KORVE_CORPUS}`);
    return;
  }
  const first = new Set(keywords.first);
  const texts = [];
  for (const source of sources) {
    for (const layout of ['stored', 'tidy']) {
      const run = spawnSync(settings.KORVE_KORVEX, ['text', '--layout', layout, source], { maxBuffer: 1 << 26 });
      // One real file stops inside a record, where its catalogue said it
      // ends: written as far as it goes, not read whole.
      const whole = !source.includes('catalog-length');
      assert.equal(run.status, whole ? 0 : 1, `korvex text ${source}: ${run.stderr}`);
      // Bytes of 0x80 and above stay as they are, one character each.
      texts.push(run.stdout.toString('latin1').replace(/\n$/, '').split('\n'));
    }
  }
  const lineCount = texts.reduce((sum, lines) => sum + lines.length, 0);
  const started = performance.now();
  const tokenized = texts.map((lines) => tokenize(lines));
  const milliseconds = performance.now() - started;
  const figures = `${sources.length} sources, ${lineCount} lines in both layouts, tokenized in ${milliseconds.toFixed(0)} ms`;
  t.diagnostic(figures);

  // Where korvex put a mnemonic between tabs, the grammar reads one, and
  // the label before it.
  let mnemonics = 0;
  texts.forEach((lines, text) => {
    const tokens = tokenized[text];
    lines.forEach((line, index) => {
      const found = /^([^\t;"]*)\t([^\t]+)(?:\t|$)/.exec(line);
      if (!found || !first.has(found[2])) {
        return;
      }
      const at = found[1].length + 1;
      const token = tokens.find((candidate) => candidate.line === index && candidate.start === at);
      assert.ok(token && token.text === found[2] && mnemonicScopes.some((scope) => has(token, scope)),
        `the mnemonic of ${JSON.stringify(line)} is ${token && token.scopes.join(' ')}`);
      const labelText = found[1].trimEnd();
      if (/^[^ +]/.test(labelText) && !labelText.includes('=')) {
        const labelToken = tokens.find((candidate) => candidate.line === index && candidate.start === 0);
        assert.ok(has(labelToken, label), `the label of ${JSON.stringify(line)} is ${labelToken.scopes.join(' ')}`);
      }
      mnemonics += 1;
    });
  });
  assert.ok(mnemonics > lineCount / 2, `only ${mnemonics} of ${lineCount} lines have a mnemonic`);
});
