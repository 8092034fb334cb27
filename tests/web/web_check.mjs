// The web page, checked in Debian's Chromium (headless) against the
// command-line program built from the same code. tests/web/run sets the
// environment and starts it with node's test runner:
//
//   KORVE_BINARY   the command-line korve
//   KORVE_KORVEX   the command-line korvex
//   KORVE_BENCH    the benchmark program, whose generator writes 64 KiB of data
//                  and the example disk as floppy images
//   KORVE_PAGE     the built korve.html
//   KORVE_EXAMPLES the folder of the shipped examples
//   KORVE_CORPUS   a folder of real files with MANIFEST.tsv (checked when present)
//   KORVE_IMAGES   a folder of disk images made from those files, with
//                  MANIFEST.tsv (checked when present)
//   KORVE_SCREENSHOT where to write the screenshot of the page (docs/web.png only
//                  when it is to be refreshed)
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { existsSync, mkdirSync, mkdtempSync, readFileSync, readdirSync, rmSync, statSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { basename, join } from 'node:path';
import { pathToFileURL } from 'node:url';
import { isDeepStrictEqual } from 'node:util';
import puppeteer from 'puppeteer-core';

const settings = process.env;
const pageUrl = pathToFileURL(settings.KORVE_PAGE).href;
const largestPage = 400 * 1024;
const work = mkdtempSync(join(tmpdir(), 'korve-web-'));

// ---- Test data, made here from the shipped examples ----

const greet = readFileSync(join(settings.KORVE_EXAMPLES, 'greet.h'));
const greetHobeta = readFileSync(join(settings.KORVE_EXAMPLES, 'greet.$h'));
const hobetaChecksumOffset = 15;
const alasmHeaderSize = 64;
const bytes = (...values) => Buffer.from(values);
// greet.h ends with the zero byte the assembler writes after its last line.
const greetLines = greet.subarray(0, greet.length - 1);
// A comment in CP866: ";Привет".
const cyrillicComment = bytes(0x08, 0x3B, 0x8F, 0xE0, 0xA8, 0xA2, 0xA5, 0xE2);
// A line whose first keyword byte, 0xE7, has no keyword; one whose operand
// keyword byte, 0x80, has none, after LD.
const undefinedToken = bytes(0x03, 0xE7, 0xF5);
const undefinedOperand = bytes(0x03, 0xD4, 0x80);
// "Привет" in CP866, for names in headers and on disks.
const cyrillicName = '\x8F\xE0\xA8\xA2\xA5\xE2';
// greet.h under another name in its header (eight bytes, a zero ending it).
const greetNamed = (name) =>
  Buffer.concat([Buffer.from(name.padEnd(8, '\0'), 'latin1'), greet.subarray(8)]);
// The example disk and its archive: GREET.H, the example's data, and GREET.C,
// a code file.
const disks = Object.fromEntries(['greet.trd', 'greet.scl'].map((name) =>
  [name, readFileSync(join(settings.KORVE_EXAMPLES, name))]));
// The example disk as floppy images of two cylinders on two sides, written
// by the tests' own writers (korve_bench floppy).
function floppyImage(name) {
  const path = join(work, name);
  const run = spawnSync(settings.KORVE_BENCH,
    ['floppy', join(settings.KORVE_EXAMPLES, 'greet.trd'), '2', path]);
  assert.equal(run.status, 0, String(run.stderr));
  return readFileSync(path);
}
const [greetFdi, greetUdi, greetTd0] = ['greet.fdi', 'greet.udi', 'greet.td0'].map(floppyImage);
// Where GREET.H's data starts on a floppy image that keeps it as it is.
const greetAt = (image) => image.indexOf(greet.subarray(0, alasmHeaderSize));
const flipped = (image, at) => Buffer.from(image).fill(image[at] ^ 0xFF, at, at + 1);

const made = {
  'greet.h': greet,
  'greet.$h': greetHobeta,
  'GREET.$C': greetHobeta,
  'ПРИВЕТ.h': Buffer.concat([greetLines, cyrillicComment, bytes(0)]),
  'stopped.h': Buffer.concat([greetLines, undefinedToken, bytes(0)]),
  // The same under a name that reads as the start of a message.
  'stopped: again.h': Buffer.concat([greetLines, undefinedToken, bytes(0)]),
  'operand.h': Buffer.concat([greetLines, undefinedOperand, bytes(0)]),
  // ALASM data whose first line stops at that token: korvex writes no file.
  'first.h': Buffer.concat([greet.subarray(0, alasmHeaderSize), undefinedToken, bytes(0)]),
  'badsum.$h': Buffer.from(greetHobeta).fill(greetHobeta[hobetaChecksumOffset] ^ 0xFF,
    hobetaChecksumOffset, hobetaChecksumOffset + 1),
  // Bare ALASM data that begins with an SCL archive's signature.
  'sinclair.h': greetNamed('SINCLAIR'),
  'named.h': greetNamed(cyrillicName),
  'named.trd': renamedDisk([[cyrillicName, 'H']]),
  'greet.fdi': greetFdi,
  'greet.udi': greetUdi,
  'greet.td0': greetTd0,
  // A byte of GREET.H's first sector changed: it fails its CRC, and so does
  // the file; the file's CRC alone wrong; the image cut inside GREET.H.
  'damaged.udi': flipped(greetUdi, greetAt(greetUdi) + 100),
  'crc.udi': flipped(greetUdi, greetUdi.length - 1),
  'cut.fdi': greetFdi.subarray(0, greetAt(greetFdi) + 100),
  'notes.txt': Buffer.from('Not ALASM data, only a note.\n'.repeat(8)),
  'empty': Buffer.alloc(0),
};
const madeFolder = join(work, 'made');
mkdirSync(madeFolder);
for (const [name, content] of Object.entries(made)) {
  writeFileSync(join(madeFolder, name), content);
}

// Runs the command-line korve as a user would, `korve NAME NAME.asm`, in a
// fresh folder holding the input.
function commandLine(name, content) {
  const folder = mkdtempSync(join(work, 'run-'));
  try {
    writeFileSync(join(folder, name), content);
    const run = spawnSync(settings.KORVE_BINARY, [name, `${name}.asm`], { cwd: folder });
    const output = join(folder, `${name}.asm`);
    return {
      status: run.status,
      console: new TextDecoder().decode(run.stdout),
      consoleBytes: run.stdout,
      output: existsSync(output) ? readFileSync(output) : null,
    };
  } finally {
    rmSync(folder, { recursive: true });
  }
}

// Whether the page gave what the command line gives.
function sameRun(got, expected) {
  return got.status === expected.status && got.console === expected.console &&
    got.consoleBytes.equals(expected.consoleBytes) &&
    (got.output === null) === (expected.output === null) &&
    Buffer.from(got.output ?? []).equals(expected.output ?? Buffer.alloc(0));
}

// Runs the command-line korvex as the page does: `korvex WORD...` in a
// fresh folder in/ that holds `inputs` ({name, bytes}), beside an empty
// folder ../out/ for what it writes. Gives its status, its standard error as
// the page reads it, and what `read` reads from the folder in/ and the run.
function korvex(inputs, words, read) {
  const folder = mkdtempSync(join(work, 'korvex-'));
  const inputFolder = join(folder, 'in');
  try {
    mkdirSync(inputFolder);
    mkdirSync(join(folder, 'out'));
    for (const { name, bytes } of inputs) {
      writeFileSync(join(inputFolder, name), bytes);
    }
    const run = spawnSync(settings.KORVE_KORVEX, words, { cwd: inputFolder });
    const messages = new TextDecoder().decode(run.stderr);
    return { status: run.status, messages, ...read(inputFolder, run) };
  } finally {
    rmSync(folder, { recursive: true });
  }
}

const flagsOf = (options) => Object.entries(options).flatMap(([key, value]) => [`--${key}`, value]);
const byName = (a, b) => (a.name < b.name ? -1 : Number(a.name > b.name));

const outputs = '../out/';

// Each file under out/, beside the folder in/, as {name, bytes}.
function filesOut(folder) {
  const out = join(folder, outputs);
  const files = readdirSync(out, { recursive: true })
    .filter((file) => statSync(join(out, file)).isFile());
  return files.map((file) => ({ name: file, bytes: readFileSync(join(out, file)) })).sort(byName);
}

// `korvex text [--OPTION VALUE]... -o ../out/ -- NAME`, as korve.text(name,
// bytes, options) is to give it: `files` each file under out/ as {name, bytes}.
function korvexText(name, bytes, options) {
  const words = ['text', ...flagsOf(options), '-o', outputs, '--', name];
  return korvex([{ name, bytes }], words, (folder) => ({ files: filesOut(folder) }));
}

// `korvex put [--OPTION VALUE]... -o ../out/DISK -- DISK TEXT...`, as
// korve.put(disk, texts, options) is to give it: `bytes` what out/DISK holds,
// or null.
function korvexPut(disk, texts, options) {
  const output = `${outputs}${disk.name}`;
  const words = ['put', ...flagsOf(options), '-o', output, '--', disk.name,
    ...texts.map(({ name }) => name)];
  return korvex([disk, ...texts], words, (folder) => ({
    bytes: existsSync(join(folder, output)) ? readFileSync(join(folder, output)) : null,
  }));
}

// `korvex get [--hobeta] -o ../out/ -- DISK NAME.T...`, as korve.get(disk,
// names, {hobeta}) is to give it: `files` as korvexText gives them.
function korvexGet(disk, names, { hobeta }) {
  const words = ['get', ...(hobeta ? ['--hobeta'] : []), '-o', outputs, '--', disk.name, ...names];
  return korvex([disk], words, (folder) => ({ files: filesOut(folder) }));
}

// `korvex pack [--charset C] -o OUTPUT -- NAME...`, as korve.pack(files,
// {output, ...options}) is to give it: `bytes` what OUTPUT holds, or null.
function korvexPack(files, { output, ...options }) {
  const names = files.map(({ name }) => name);
  return korvex(files, ['pack', ...flagsOf(options), '-o', output, '--', ...names],
    (folder) => ({
      bytes: existsSync(join(folder, output)) && !names.includes(output)
        ? readFileSync(join(folder, output)) : null,
    }));
}

// What korve.text says it made of NAME (`texts`) and what korvex wrote and
// said disagree on: each file written is one text's, of its lines where the
// text is not translated; each line said untranslated is one text's, in
// order, with its reason; each text's input is NAME, or a file on it.
function textsDisagree(name, options, texts, { files, messages }) {
  const written = texts.filter((text) => text.file !== null);
  const linesOf = (bytes) => bytes.filter((byte) => byte === 0x0A).length;
  const said = messages.split('\n').filter((line) => line.includes(': cannot translate: '));
  const told = texts.flatMap(({ input, untranslated }) => untranslated.map(({ line, reason }) =>
    `korvex: ${input}:${line}: cannot translate: ${reason}`));
  return [
    ['files', isDeepStrictEqual(written.map((text) => text.file).sort(),
      files.map((file) => file.name).sort())],
    ['lines', (options.dialect ?? 'alasm') !== 'alasm' || written.every((text) =>
      linesOf(files.find((file) => file.name === text.file)?.bytes ?? []) === text.lines)],
    ['untranslated', isDeepStrictEqual(said, told)],
    ['inputs', texts.every(({ input }) => input === name || input.startsWith(`${name}:`))],
  ].filter(([, agree]) => !agree).map(([key]) => `texts' ${key}`);
}

// Runs each {label, method, args, expected} in the page; the labels of those
// whose result is not `expected`, with the parts that differ and both runs
// told in short. Files may come in any order; korve.text's `texts`, which
// korvex prints no list of, are checked against what it wrote and said, and
// every run's `problems` against the lines korvex printed for them.
async function differingRuns(page, runs) {
  const told = (run) => run.rejected ?? `status ${run.status}, ${JSON.stringify(run.messages)}, ` +
    (run.files ? `${run.files.length} files` : `${run.bytes?.length ?? 'no'} bytes`);
  const differing = [];
  for (const { label, method, args, expected } of runs) {
    const { texts, problems, ...got } = await callInPage(page, method, ...args).then(
      (result) => (result.files ? { ...result, files: [...result.files].sort(byName) } : result),
      (error) => ({ rejected: `${error.name}: ${error.message}` }));
    const parts = ['rejected', 'status', 'messages', 'files', 'bytes']
      .filter((key) => !isDeepStrictEqual(got[key], expected[key]));
    if (method === 'text' && !got.rejected) {
      parts.push(...textsDisagree(args[0], args[2], texts ?? [], expected));
    }
    const printed = expected.messages.split('\n').filter((line) => line.startsWith('korvex: '));
    if (!got.rejected &&
        !isDeepStrictEqual(problems?.flatMap((problem) => problem.printed ?? []), printed)) {
      parts.push('problems');
    }
    if (parts.length > 0 || !isDeepStrictEqual(got, expected)) {
      differing.push(`${label}: ${parts.join(', ')} differ; ` +
        `page ${told(got)}; korvex ${told(expected)}`);
    }
  }
  return differing;
}

function corpusFiles() {
  const manifest = join(settings.KORVE_CORPUS || '', 'MANIFEST.tsv');
  if (!settings.KORVE_CORPUS || !existsSync(manifest)) {
    return [];
  }
  return readFileSync(manifest, 'utf8').split('\n').slice(1).filter(Boolean)
    .map((line) => join(settings.KORVE_CORPUS, line.split('\t')[0]));
}

// The real disk images, each with the rows of its live entries: entry (name
// and type), kind ("ALASM" or "not ALASM"), length, and the real file of the
// same data.
function corpusImages() {
  const manifest = join(settings.KORVE_IMAGES || '', 'MANIFEST.tsv');
  const images = new Map();
  if (!settings.KORVE_IMAGES || !existsSync(manifest)) {
    return images;
  }
  for (const line of readFileSync(manifest, 'utf8').split('\n').slice(1).filter(Boolean)) {
    const [image, entry, kind, length, sameDataAs] = line.split('\t');
    images.set(image, [...images.get(image) ?? [], { entry, kind, length: Number(length), sameDataAs }]);
  }
  return images;
}

// ---- The browser ----

let browser;
const requests = [];
const pageErrors = [];

async function openPage() {
  const page = await browser.newPage();
  page.on('request', (request) => {
    if (request.url() !== pageUrl) {
      requests.push(request.url());
    }
  });
  page.on('pageerror', (error) => pageErrors.push(String(error)));
  page.on('console', (message) => {
    if (message.type() === 'error') {
      pageErrors.push(message.text());
    }
  });
  await page.goto(pageUrl);
  await page.waitForFunction(() => window.korve !== undefined);
  return page;
}

// Calls window.korve[method](...args) in the page. Bytes travel as base64,
// {base64}, at any depth of the arguments and the result: Buffers go in and
// come back. A rejection in the page rejects with an error of its name.
async function callInPage(page, method, ...args) {
  const encode = (value) => (Buffer.isBuffer(value)
    ? { base64: value.toString('base64') } : eachItem(value, encode));
  const decode = (value) => (value?.base64 !== undefined
    ? Buffer.from(value.base64, 'base64') : eachItem(value, decode));
  const reply = await page.evaluate(async (method, args) => {
    const eachItem = (value, change) => {
      if (Array.isArray(value)) {
        return value.map(change);
      }
      return value !== null && typeof value === 'object'
        ? Object.fromEntries(Object.entries(value).map(([key, item]) => [key, change(item)]))
        : value;
    };
    const decode = (value) => (value?.base64 !== undefined
      ? Uint8Array.from(atob(value.base64), (c) => c.charCodeAt(0)) : eachItem(value, decode));
    const encode = (value) => {
      if (!(value instanceof Uint8Array)) {
        return eachItem(value, encode);
      }
      let binary = '';
      for (const byte of value) {
        binary += String.fromCharCode(byte);
      }
      return { base64: btoa(binary) };
    };
    try {
      return { result: encode(await window.korve[method](...decode(args))) };
    } catch (error) {
      return { error: { name: error.name, message: error.message } };
    }
  }, method, encode(args));
  if (reply.error) {
    throw Object.assign(new Error(reply.error.message), { name: reply.error.name });
  }
  return decode(reply.result);
}

// `value` with `change` made of each item, where it is a list or an object.
// The page has a copy of its own, as it sees none of this file.
function eachItem(value, change) {
  if (Array.isArray(value)) {
    return value.map(change);
  }
  return value !== null && typeof value === 'object'
    ? Object.fromEntries(Object.entries(value).map(([key, item]) => [key, change(item)]))
    : value;
}

before(async () => {
  browser = await puppeteer.launch({
    executablePath: settings.KORVE_CHROMIUM || '/usr/bin/chromium',
    headless: true,
    userDataDir: join(work, 'profile'),
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync',
      '--lang=en-US'],
  });
});

after(async () => {
  await browser?.close();
  rmSync(work, { recursive: true, force: true });
});

// ---- The checks ----

test('the page is one file of at most 400 KiB', () => {
  const size = statSync(settings.KORVE_PAGE).size;
  console.log(`korve.html: ${size} bytes (${(size / 1024).toFixed(1)} KiB)`);
  assert.ok(size <= largestPage, `${size} bytes`);
});

test('every file converts as on the command line: status, console and bytes', async () => {
  const page = await openPage();
  const files = [...Object.keys(made).map((name) => join(madeFolder, name)), ...corpusFiles()];
  const differing = [];
  for (const path of files) {
    const content = readFileSync(path);
    const name = basename(path);
    const expected = commandLine(name, content);
    const got = await callInPage(page, 'convert', name, content);
    if (!sameRun(got, expected)) {
      differing.push(`${path}: status ${got.status}, command line ${expected.status}`);
    }
  }
  console.log(`${files.length} files compared with the command line`);
  assert.deepEqual(differing, []);
  await page.close();
});

// What the page is told about each input, by name, besides korve's own run.
test('the facts of a run: what the input is, the outcome, the header, where it stopped', async () => {
  const page = await openPage();
  const inputs = { ...made, ...disks };
  // input, its kind, the outcome, the header's name (a character a byte),
  // lines kept, where it stopped, a bad Hobeta checksum
  const rows = [
    ['greet.h', 'alasm', 'converted', 'GREET', 38, null, false],
    ['greet.$h', 'hobeta', 'converted', 'GREET', 38, null, false],
    ['badsum.$h', 'hobeta', 'converted', 'GREET', 38, null, true],
    ['sinclair.h', 'alasm', 'converted', 'SINCLAIR', 38, null, false],
    ['named.h', 'alasm', 'converted', cyrillicName, 38, null, false],
    ['stopped.h', 'alasm', 'undefined-token', 'GREET', 37, { token: '|0xE7|', line: 38 }, false],
    ['operand.h', 'alasm', 'undefined-token', 'GREET', 37, { token: '|0x80|', line: 38 }, false],
    ['greet.scl', 'scl', 'not-alasm', null, null, null, false],
    ['greet.trd', 'trd', 'not-alasm', null, null, null, false],
    ['greet.fdi', 'fdi', 'not-alasm', null, null, null, false],
    ['greet.udi', 'udi', 'not-alasm', null, null, null, false],
    ['greet.td0', 'td0', 'not-alasm', null, null, null, false],
    ['notes.txt', 'none', 'not-alasm', null, null, null, false],
    ['empty', 'none', 'not-alasm', null, null, null, false],
  ];
  const got = [];
  for (const [name] of rows) {
    const run = await callInPage(page, 'convert', name, inputs[name]);
    const recognised = await page.evaluate((base64) => window.korve.recognise(
      Uint8Array.from(atob(base64), (c) => c.charCodeAt(0))), inputs[name].toString('base64'));
    assert.equal(recognised, run.input, name);
    got.push([name, run.input, run.outcome, run.headerName?.toString('latin1') ?? null, run.lines,
      run.undefinedToken, run.badChecksum]);
  }
  assert.deepEqual(got, rows);
  await page.close();
});

test('every file on the real disk images converts as its real file does on the command line',
  async () => {
    const page = await openPage();
    const images = corpusImages();
    const differing = [];
    let compared = 0;
    for (const [image, rows] of images) {
      const got = await callInPage(page, 'convertImage', image,
        readFileSync(join(settings.KORVE_IMAGES, image)));
      assert.equal(got.problem, null, image);
      assert.deepEqual(got.entries.map((entry) => ({
        entry: `${entry.name}.${entry.type}`,
        kind: entry.alasm ? 'ALASM' : 'not ALASM',
        length: entry.length,
      })), rows.map(({ entry, kind, length }) => ({ entry, kind, length })), image);
      for (const [index, { entry, sameDataAs }] of rows.entries()) {
        const converted = got.entries[index];
        if (!converted.alasm) {
          assert.deepEqual([converted.status, converted.console, converted.output], [null, null, null]);
          continue;
        }
        // The real file's Hobeta form, as a user would have pulled it off the disk.
        const real = join(settings.KORVE_CORPUS, sameDataAs.replace(/\.H$/, '.$H'));
        if (!sameRun(converted, commandLine(basename(real), readFileSync(real)))) {
          differing.push(`${image}: ${entry}`);
        }
        compared++;
      }
    }
    console.log(`${compared} files on ${images.size} disk images compared with the command line`);
    assert.deepEqual(differing, []);
    await page.close();
  });

// The example disk with its catalogue rewritten: GREET.H's entry under other
// names (a catalogue entry is 16 bytes, the name its first 8, the type the
// ninth; a zero byte ends the catalogue).
function renamedDisk(names) {
  const entrySize = 16;
  const nameSize = 8;
  const disk = Buffer.from(disks['greet.trd']);
  const greet = Buffer.from(disk.subarray(0, entrySize));
  names.forEach(([name, type], index) => {
    const entry = Buffer.from(greet);
    entry.fill(' ', 0, nameSize);
    Buffer.from(name, 'latin1').copy(entry);
    entry[nameSize] = type.charCodeAt(0);
    entry.copy(disk, index * entrySize);
  });
  disk.fill(0, names.length * entrySize, (names.length + 1) * entrySize);
  return disk;
}

test('disk images: safe and distinct file names, broken archives, and no image', async () => {
  const page = await openPage();
  const greetText = commandLine('greet.h', greet).output;
  const scl = disks['greet.scl'];
  const lastByte = scl.length - 1;
  // Its checksum and half of GREET.C's sector lost.
  const cut = scl.subarray(0, scl.length - 4 - 128);
  // TR-DOS names may hold any byte; files made of them must open anywhere
  // and must not overwrite each other where case does not count.
  const names = [
    ['GREET', 'H', 'GREET.H'],
    ['greet', 'H', 'greet.H (2)'],
    ['G/R:E*T', 'H', 'G_R_E_T.H'],
    ['\x8F\xE0\xA8\xA2\xA5\xE2', 'H', 'Привет.H'],
    ['tab\tnul\0', 'H', 'tab_nul_.H'],
    ['', '.', '__'],
  ];
  const renamed = await callInPage(page, 'convertImage', 'renamed.trd', renamedDisk(names));
  assert.deepEqual(renamed.entries.map((entry) => [entry.name, entry.type, entry.fileName]), names);
  // The bytes TR-DOS shows, and where "download all" puts each file.
  assert.deepEqual(renamed.entries.map((entry) => [entry.trdosName.toString('latin1'), entry.path]),
    names.map(([name, type, fileName]) => [`${name}.${type}`, `renamed.trd/${fileName}`]));
  assert.ok(renamed.entries.every((entry) => entry.status === 1 && entry.output.equals(greetText)));

  // image, bytes, its problem, and each entry's problem and status.
  for (const [image, bytes, problem, entries] of [
    ['greet.scl', scl, null, [[null, 1], [null, null]]],
    ['badsum.scl', Buffer.from(scl).fill(scl[lastByte] ^ 0xFF, lastByte),
      'The archive’s checksum does not match its contents.', [[null, 1], [null, null]]],
    ['cut.scl', cut,
      'The image is cut short: it ends before the files it lists.',
      [[null, 1], ['Not read: the image ends before this file’s data.', null]]],
  ]) {
    const got = await callInPage(page, 'convertImage', image, bytes);
    assert.equal(got.problem, problem, image);
    assert.deepEqual(got.entries.map((entry) => [entry.problem, entry.status]), entries, image);
    assert.ok(got.entries[0].output.equals(greetText), image);
  }
  // Floppy images read as the disk they carry. Damaged, they say what
  // korvex says of the image, and name the sector each file lost.
  const lost = (sector, state) =>
    `Not read: a sector of its data is damaged (track 1, sector ${sector} ${state})`;
  const damaged = 'Sectors of the floppy are damaged: the files on them are lost.';
  for (const [image, input, problem, entries] of [
    ['greet.fdi', 'fdi', null, [[null, 1], [null, null]]],
    ['greet.udi', 'udi', null, [[null, 1], [null, null]]],
    ['greet.td0', 'td0', null, [[null, 1], [null, null]]],
    ['crc.udi', 'udi', null, [[null, 1], [null, null]]],
    ['damaged.udi', 'udi', damaged, [[lost(0, 'failed its CRC'), null], [null, null]]],
    ['cut.fdi', 'fdi', damaged, [[lost(0, 'cut short'), null], [lost(2, 'cut short'), null]]],
  ]) {
    const got = await callInPage(page, 'convertImage', image, made[image]);
    assert.deepEqual([got.input, got.problem], [input, problem], image);
    assert.deepEqual(got.entries.map((entry) => [entry.problem, entry.status]), entries, image);
    assert.ok(entries[0][1] === null || got.entries[0].output.equals(greetText), image);
    const said = korvexText(image, made[image], {}).messages.split('\n')
      .filter((line) => line.startsWith(`korvex: ${image}: `));
    assert.deepEqual(got.said.map(({ severity, text }) => `korvex: ${image}: ${severity}: ${text}`),
      said, image);
    assert.equal(said.length > 0, image !== `greet.${input}`, image);
  }
  for (const name of ['greet.h', 'greet.$h', 'sinclair.h', 'notes.txt', 'empty']) {
    assert.equal(await callInPage(page, 'convertImage', name, made[name]), null, name);
  }
  await page.close();
});

// The options korve.text is given with every input: each layout in each
// dialect, the code pages and line ends, and a value korvex refuses.
const textOptionRows = [
  ...['stored', 'tidy'].flatMap((layout) =>
    ['alasm', 'sjasmplus', 'pasmo'].map((dialect) => ({ layout, dialect }))),
  { charset: 'CP866', eol: 'crlf' },
  { layout: 'tidy', dialect: 'pasmo', charset: 'KOI8-R', eol: 'lf' },
  { layout: 'wide' },
];

test('korve.text gives what korvex text gives, for every input with every option', async () => {
  const page = await openPage();
  const paths = [...Object.keys(made).map((name) => join(madeFolder, name)), ...corpusFiles(),
    ...[...corpusImages().keys()].map((image) => join(settings.KORVE_IMAGES, image))];
  const runs = paths.flatMap((path) => {
    const name = basename(path);
    const bytes = readFileSync(path);
    return textOptionRows.map((options) => ({
      label: `${path} ${JSON.stringify(options)}`, method: 'text', args: [name, bytes, options],
      expected: korvexText(name, bytes, options),
    }));
  });
  const refused = runs.filter(({ args }) => args[2].layout === 'wide');
  assert.ok(refused.every(({ expected }) =>
    expected.status === 2 && expected.messages.includes('usage: korvex text')));
  const differing = await differingRuns(page, runs);
  console.log(`${runs.length} runs of ${paths.length} inputs compared with korvex text`);
  assert.deepEqual(differing, []);
  await page.close();
});

test('korve.pack gives what korvex pack gives: each real text alone, on disks, and refused',
  async () => {
    const page = await openPage();
    const sectorSize = 256;
    const diskFiles = 128;
    const diskSectors = 2544;
    // korvex's text of each real file, under the name korvex gives it (some
    // longer than TR-DOS takes).
    const reals = corpusFiles().map((path) => readFileSync(path));
    const texts = corpusFiles().map((path, index) =>
      korvexText(basename(path), reals[index], { layout: 'stored' }).files[0]);
    // The texts again, under names TR-DOS takes, on as few disks as hold them.
    const disks = [];
    texts.forEach(({ bytes }, index) => {
      const sectors = Math.ceil(reals[index].length / sectorSize);
      let disk = disks.at(-1);
      if (!disk || disk.files.length === diskFiles || disk.sectors + sectors > diskSectors) {
        disk = { files: [], sectors: 0 };
        disks.push(disk);
      }
      disk.files.push({ name: `F${index}.H.asm`, bytes });
      disk.sectors += sectors;
    });
    const greetText = korvexText('greet.h', greet, {}).files[0].bytes;
    const nop = Buffer.from('\tnop\n');
    // files, options, and the status korvex gives where the row is there for it
    const rows = [
      ...texts.map((text) => [[text], { output: text.name.replace(/\.asm$/, '.$h') }]),
      ...disks.flatMap(({ files }, index) =>
        ['trd', 'scl'].map((kind) => [files, { output: `DISK${index + 1}.${kind}` }, 0])),
      // Each of korvex's names once: a name and type twice, or too long, is
      // left out and said.
      [[...new Map(texts.map((text) => [text.name, text])).values()], { output: 'ALL.trd' }],
      [Array.from({ length: diskFiles + 1 }, (_, index) => ({ name: `T${index}.asm`, bytes: nop })),
        { output: 'FULL.trd' }, 1],
      [korvexText('ПРИВЕТ.h', made['ПРИВЕТ.h'], { charset: 'CP866' }).files,
        { output: 'ПРИВЕТ.scl', charset: 'CP866' }, 0],
      [[{ name: 'LONGERNAME.H.asm', bytes: greetText }], { output: 'LONGER.$h' }, 1],
      [[{ name: 'GREET.H.asm', bytes: greetText }], { output: 'GREET.fdi' }, 0],
      [[{ name: 'GREET.H.asm', bytes: greetText }], { output: 'GREET.udi' }, 0],
      [[{ name: 'EURO.H.asm', bytes: Buffer.from('\tnop\t;5 €\n') }],
        { output: 'EURO.trd', charset: 'CP866' }, 1],
    ];
    const runs = rows.map(([files, options]) => ({
      label: `${options.output} of ${files.length} texts ${JSON.stringify(options)}`,
      method: 'pack', args: [files, options], expected: korvexPack(files, options),
    }));
    for (const [index, [, , status]] of rows.entries()) {
      assert.ok(status === undefined || runs[index].expected.status === status, runs[index].label);
    }
    const differing = await differingRuns(page, runs);
    console.log(`${runs.length} runs compared with korvex pack (${texts.length} texts alone, ` +
      `on ${disks.length} disks)`);
    assert.deepEqual(differing, []);
    await page.close();
  });

// GREET.H's text as korvex writes it, and with a line changed and one added.
const greetDiskText = () => korvexText('greet.trd', disks['greet.trd'], {}).files[0];
const editedText = (text) => Buffer.from(text.toString('latin1')
  .replace('; wipe the bitmap', '; clear the bitmap\n\tNOP'), 'latin1');

test('korve.put and korve.get give what korvex put and get give, on example and real disks',
  async () => {
    const page = await openPage();
    const text = greetDiskText();
    assert.equal(text.name, 'GREET.H.asm');
    const edited = editedText(text.bytes);
    assert.ok(!edited.equals(text.bytes));
    const file = (name, bytes) => ({ name, bytes });
    const reals = [...corpusImages().keys()].map((image) =>
      file(image, readFileSync(join(settings.KORVE_IMAGES, image))));
    // disk, texts, options; and for rows that say, whether korvex gives the
    // disk back as it was, or (null) writes nothing
    const puts = [
      ...Object.entries(disks).flatMap(([name, bytes]) => [
        [file(name, bytes), [text], {}, true],
        [file(name, bytes), [file(text.name, edited)], { layout: 'stored' }, false],
        [file(name, bytes), [file('NEW.H.asm', edited)], {}, false],
        [file(name, bytes), [file('other.asm', edited)], { name: 'GREET.H' }, false],
      ]),
      [file('greet.$h', greetHobeta), [file('greet.$h.asm', edited)], { charset: 'CP866' }, false],
      [file('greet.trd', disks['greet.trd']),
        korvexText('greet.trd', disks['greet.trd'], { layout: 'tidy' }).files, { layout: 'tidy' },
        true],
      // Floppy images: FDI and UDI written as korvex writes them; a TD0 and
      // a damaged image refused.
      ...['greet.fdi', 'greet.udi'].flatMap((name) => [
        [file(name, made[name]), [text], {}, true],
        [file(name, made[name]), [file(text.name, edited)], { layout: 'stored' }, false],
      ]),
      ...['greet.td0', 'damaged.udi'].map((name) => [file(name, made[name]), [text], {}, null]),
      // Every source of a real disk, as korvex writes it, put back.
      ...reals.map((disk) => [disk, korvexText(disk.name, disk.bytes, {}).files, {}, true]),
    ];
    // disk, names, options, and the names of the files korvex is to write
    const gets = [
      ...Object.entries(disks).flatMap(([name, bytes]) => [
        [file(name, bytes), ['GREET.C'], {}, ['GREET.C']],
        [file(name, bytes), ['GREET.C'], { hobeta: true }, ['GREET.$C']],
        [file(name, bytes), [], {}, ['GREET.C', 'GREET.H']],
        [file(name, bytes), ['NONE.C'], { hobeta: false }, []],
      ]),
      [file('greet.h', greet), [], {}, []],
      [file('greet.td0', made['greet.td0']), [], { hobeta: true }, ['GREET.$C', 'GREET.$H']],
      ...reals.map((disk) => [disk, [], { hobeta: true }]),
    ];
    const runs = [
      ...puts.map(([disk, texts, options, same]) => {
        const expected = korvexPut(disk, texts, options);
        assert.ok(same === undefined || (expected.bytes?.equals(disk.bytes) ?? null) === same,
          disk.name);
        return { label: `put ${disk.name} ${texts.map(({ name }) => name)} ${JSON.stringify(options)}`,
          method: 'put', args: [disk, texts, options], expected };
      }),
      ...gets.map(([disk, names, options, written]) => {
        const expected = korvexGet(disk, names, options);
        assert.ok(written === undefined ||
          isDeepStrictEqual(expected.files.map(({ name }) => name), written), disk.name);
        return { label: `get ${disk.name} ${names} ${JSON.stringify(options)}`, method: 'get',
          args: [disk, names, options], expected };
      }),
    ];
    const differing = await differingRuns(page, runs);
    console.log(`${runs.length} runs compared with korvex put and get (${reals.length} real disks)`);
    assert.deepEqual(differing, []);
    await page.close();
  });

// The page runs no code made from strings, so its policy allows none; it
// allows WebAssembly to compile, which is all the converter needs. Code that
// puppeteer evaluates is exempt from the policy; a timer it sets is not.
test('the page refuses code made from strings, and still compiles its WebAssembly', async () => {
  const page = await openPage();
  const attempts = await page.evaluate(() => Promise.all([
    () => eval('1 + 1'),
    () => new Function('return 1 + 1')(),
  ].map((attempt) => new Promise((resolve) => setTimeout(() => {
    try {
      resolve(`ran: ${attempt()}`);
    } catch (error) {
      resolve(error.name);
    }
  }, 0)))));
  assert.deepEqual(attempts, ['EvalError', 'EvalError']);
  const converted = await callInPage(page, 'convert', 'greet.h', greet);
  assert.equal(converted.status, 1);
  await page.close();
});

// Names that are not file names, and options korvex's flags do not have here.
test('names that are not file names are refused', async () => {
  const page = await openPage();
  const one = Buffer.alloc(1);
  const text = { name: 'GAME.asm', bytes: one };
  const disk = { name: 'DISK.trd', bytes: one };
  const notNames = ['', '.', '..', 'disk/GAME.$h', '../GAME.$h', 'GAME\0.h', 'Б'.repeat(128)];
  // Standard input, to korvex, which the page has none of.
  const notKorvexNames = [...notNames, '-'];
  const calls = [
    ...notNames.map((name) => ['convert', name, one]),
    ...notKorvexNames.flatMap((name) => [
      ['text', name, one],
      ['pack', [{ name, bytes: one }], { output: 'GAME.$h' }],
      ['pack', [text], { output: name }],
      ['put', { name, bytes: one }, [text]],
      ['put', disk, [{ name, bytes: one }]],
      ['get', { name, bytes: one }, []],
    ]),
    ...notNames.map((name) => ['get', disk, [name]]),
    ['pack', [text], {}],
    ['put', disk, text],
    ['put', disk, [text, { name: 'DISK.trd', bytes: one }]],
    ['put', disk, [text], { output: 'OUT.trd' }],
    ['get', disk, 'GREET.C'],
    ['get', disk, ['GREET.C'], { hobeta: 'yes' }],
    ['text', 'GAME.h', one, { layout: 'tidy', colour: 'on' }],
    ['pack', [text], { output: 'GAME.$h', name: 'GAME' }],
  ];
  const refused = [];
  for (const [method, ...args] of calls) {
    const shown = JSON.stringify([method, ...args.filter((arg) => !Buffer.isBuffer(arg))],
      (key, value) => (key === 'bytes' ? undefined : value));
    refused.push([shown, await callInPage(page, method, ...args).then(() => 'accepted',
      (error) => error.name)]);
  }
  assert.deepEqual(refused, refused.map(([shown]) => [shown, 'TypeError']));
  await page.close();
});

test('64 KiB converts in the page (timed, not asserted)', async () => {
  const path = join(work, 'bench.h');
  const generated = spawnSync(settings.KORVE_BENCH, ['generate', 'real-shaped', '65536', '1', path]);
  assert.equal(generated.status, 0, String(generated.stderr));
  const page = await openPage();
  const times = await page.evaluate(async (base64) => {
    const input = Uint8Array.from(atob(base64), (c) => c.charCodeAt(0));
    const times = [];
    for (let run = 0; run < 11; run++) {
      const start = performance.now();
      await window.korve.convert('bench.h', input);
      times.push(performance.now() - start);
    }
    return times;
  }, readFileSync(path).toString('base64'));
  const first = times.shift();
  times.sort((a, b) => a - b);
  console.log(`64 KiB in the page: ${times[times.length >> 1].toFixed(1)} ms median of ` +
    `${times.length} runs (the first, which starts the WebAssembly, ${first.toFixed(1)} ms)`);
  await page.close();
});

// What a row or a catalogue line shows, cell by cell.
const cellsOf = (page, selector) => page.$$eval(selector, (items) => items.map((item) => ({
  name: item.dataset.name,
  outcome: item.dataset.outcome,
  cells: [...item.querySelectorAll(':scope > .cells > span, :scope > details > .cells > span, :scope > span')]
    .map((cell) => cell.textContent),
  buttons: [...item.querySelectorAll('button')].map((button) => button.className),
})));

test('a user reads files and disks, folds them, reads one from the keyboard, downloads and packs',
  async () => {
    const downloads = join(work, 'downloads');
    const page = await openPage();
    const session = await page.createCDPSession();
    await session.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: downloads });
    // What the copy button copies, kept where the check can read it.
    await page.evaluate(() => {
      navigator.clipboard.writeText = async (copied) => { window.copied = copied; };
    });
    const picked = ['ПРИВЕТ.h', 'greet.$h', 'empty', 'stopped.h', 'first.h', 'badsum.$h',
      'greet.trd', 'greet.scl', 'greet.udi', 'damaged.udi'];
    const input = await page.$('#files');
    await input.uploadFile(...picked.map((name) =>
      join(name in disks ? settings.KORVE_EXAMPLES : madeFolder, name)));
    await page.waitForFunction((count) => document.querySelectorAll('#rows > .row').length === count &&
      !document.getElementById('download-all').disabled, {}, picked.length);

    // A lone file: one line of name, what it is, size, lines, outcome and
    // its buttons; no download of nothing for data that stops on line 1.
    const rows = await cellsOf(page, '#rows > .row');
    assert.deepEqual(rows.map((row) => row.name), picked);
    const row = (name) => rows.find((item) => item.name === name);
    for (const [name, outcome, cells, buttons] of [
      ['ПРИВЕТ.h', 'converted', ['ПРИВЕТ.h', 'ALASM data · header: GREET', '476 bytes', '39 lines',
        'Converted'], ['open', 'download']],
      ['greet.$h', 'converted', ['greet.$h', 'Hobeta · header: GREET', '485 bytes', '38 lines',
        'Converted'], ['open', 'download']],
      ['empty', 'not-alasm', ['empty', '', '0 bytes', '', 'Not ALASM data: nothing to convert.'], []],
      ['stopped.h', 'undefined-token', ['stopped.h', 'ALASM data · header: GREET', '471 bytes',
        '37 lines', 'Stopped at an undefined token |0xE7| on line 38; the 37 lines before it are kept.'],
      ['open', 'download']],
      ['first.h', 'undefined-token', ['first.h', 'ALASM data · header: GREET', '68 bytes', '0 lines',
        'Stopped at an undefined token |0xE7| on line 1; no line comes before it.'], []],
    ]) {
      assert.deepEqual([row(name).outcome, row(name).cells.slice(0, 5), row(name).buttons],
        [outcome, cells, buttons], name);
    }
    assert.ok((await page.$eval('.row[data-name="badsum.$h"]', (item) => item.innerText))
      .includes('The Hobeta header’s checksum is wrong; converted all the same.'));

    // A disk is one row that unfolds into its catalogue, and folds; a
    // floppy image's too.
    const disk = (name) => `#rows > .row[data-name="${name}"]`;
    const diskNames = [...Object.keys(disks), 'greet.udi'];
    for (const name of diskNames) {
      assert.equal(row(name).outcome, 'image', name);
      assert.deepEqual(row(name).cells.slice(2, 5), [`${(disks[name] ?? made[name]).length} bytes`,
        '2 files', '1 of 2 ALASM'], name);
      assert.deepEqual((await cellsOf(page, `${disk(name)} .entry`)).map((entry) =>
        [entry.name, entry.outcome, entry.cells.slice(0, 5), entry.buttons]), [
        ['GREET.H', 'converted', ['GREET.H', 'GREET', '468 bytes', '38 lines', 'Converted'],
          ['open', 'download', 'get']],
        ['GREET.C', 'not-alasm', ['GREET.C', '', '64 bytes', '', 'Not ALASM data'], ['get']],
      ], name);
    }
    const shownEntries = () => page.$$eval('.entry', (items) =>
      items.filter((item) => item.checkVisibility()).length);
    assert.equal(row('greet.udi').cells[1], 'UDI floppy image');
    // A damaged one says what korvex says of it, and which sector a file lost.
    assert.deepEqual([row('damaged.udi').outcome, row('damaged.udi').cells[4]],
      ['broken-image', 'Sectors of the floppy are damaged: the files on them are lost.']);
    assert.equal(await page.$eval(`${disk('damaged.udi')} > .warning`, (said) => said.textContent),
      'korvex says: warning: its file CRC does not match its bytes; ' +
      'warning: damaged sectors; 1 of its 2 files lost');
    assert.deepEqual((await cellsOf(page, `${disk('damaged.udi')} .entry`)).map((entry) =>
      [entry.outcome, entry.cells[4], entry.buttons]), [
      ['unread', 'Not read: a sector of its data is damaged (track 1, sector 0 failed its CRC)', []],
      ['not-alasm', 'Not ALASM data', ['get']],
    ]);
    assert.equal(await shownEntries(), 8);
    await page.click(`${disk('greet.trd')} summary`);
    assert.equal(await shownEntries(), 6);
    await page.focus(`${disk('greet.trd')} summary`);
    await page.keyboard.press('Enter');
    assert.equal(await shownEntries(), 8);

    // The reading view, from the keyboard: colours from the converter's
    // parts, the code page, the next and previous file, wrapping, copying.
    await page.focus('.row[data-name="ПРИВЕТ.h"] button.open');
    await page.keyboard.press('Enter');
    await page.waitForSelector('#reader[open] #reader-text .line');
    const reader = () => page.evaluate(() => ({
      title: document.getElementById('reader-title').textContent,
      lines: document.querySelectorAll('#reader-text .line').length,
      parts: [...document.querySelectorAll('#reader-text .line[data-n="8"] .code > span')]
        .map((span) => [span.className, span.textContent]),
    }));
    const read = await reader();
    assert.deepEqual([read.title, read.lines, read.parts], ['ПРИВЕТ.h', 39, [
      ['part-M', '\tLD\t'], ['part-O', 'HL'], ['part-T', ',SCREEN'], ['part-S', '       '],
      ['part-C', '; wipe the bitmap']]]);
    const comment = made['ПРИВЕТ.h'].subarray(-7, -1);
    for (const codePage of ['cp1251', 'koi8r', 'cp866']) {
      await page.select('#code-page', codePage);
      const decoder = { cp866: 'ibm866', cp1251: 'windows-1251', koi8r: 'koi8-r' }[codePage];
      // The last line is the empty one of the data's final zero byte.
      await page.waitForFunction((line) => document.querySelector(
        '#reader-text .line[data-n="38"] .code').textContent === line, {},
      `;${new TextDecoder(decoder).decode(comment)}`);
    }
    await page.keyboard.press('n');
    await page.waitForFunction(() => document.getElementById('reader-title').textContent === 'greet.$h');
    await page.keyboard.press('p');
    await page.waitForFunction(() => document.getElementById('reader-title').textContent === 'ПРИВЕТ.h');
    await page.keyboard.press('c');
    await page.waitForFunction(() => window.copied !== undefined);
    const korveText = commandLine('ПРИВЕТ.h', made['ПРИВЕТ.h']).output;
    assert.equal(await page.evaluate(() => window.copied), new TextDecoder('ibm866').decode(korveText));
    // Wrapped, the text fits a phone's width.
    await page.setViewport({ width: 390, height: 844 });
    await page.keyboard.press('w');
    assert.ok(await page.$eval('#reader-text', (listing) => listing.classList.contains('wrap') &&
      listing.scrollWidth <= listing.clientWidth && document.documentElement.scrollWidth <= 390));
    await page.keyboard.press('w');
    await page.setViewport({ width: 1280, height: 900 });

    // Translated for sjasmplus: the line that cannot be, listed by number.
    await page.select('#reader-dialect', 'sjasmplus');
    await page.waitForFunction(() => !document.getElementById('reader-untranslated').hidden);
    assert.match(await page.$eval('#reader-untranslated', (list) => list.innerText),
      /^1 line could not be translated:\n+line 37 text that ALASM keeps as typed/);
    // Closed, the view gives the keyboard back to the file it was opened from.
    await page.keyboard.press('Escape');
    await page.waitForFunction(() => !document.getElementById('reader').open &&
      document.activeElement.closest('.row')?.dataset.name === 'ПРИВЕТ.h');
    await page.click('.row[data-name="greet.$h"] button.download');
    await page.select('#dialect', 'alasm');

    // Text packs back into a disk, which reads back into the list.
    const textName = 'GREET.H.asm';
    const textFolder = join(work, 'text');
    mkdirSync(textFolder);
    writeFileSync(join(textFolder, textName), commandLine('greet.h', greet).output);
    await input.uploadFile(join(textFolder, textName));
    await page.waitForSelector('#pack:not([hidden])');
    await page.select('#pack-output', 'trd');
    await page.$eval('#pack-name', (name) => { name.value = 'PACKED'; });
    await page.click('#pack-button');
    await page.waitForSelector(`${disk('PACKED.trd')} .entry[data-name="GREET.H"][data-outcome="converted"]`);

    // The text, edited, put back into a floppy image, which downloads under
    // its own name and is read again in its row; a disk's file as it is and
    // as Hobeta.
    const edited = editedText(readFileSync(join(textFolder, textName)));
    writeFileSync(join(textFolder, textName), edited);
    await input.uploadFile(join(textFolder, textName));
    await page.waitForFunction((name) => document.querySelector(`.row[data-name="${name}"] .lines`)
      ?.textContent === '39 lines' && !document.getElementById('put-button').disabled, {}, textName);
    await page.select('#put-disk', 'greet.udi');
    await page.click('#put-button');
    await page.waitForFunction((row) => document.querySelector(`${row} .entry[data-name="GREET.H"] .lines`)
      ?.textContent === '39 lines', {}, disk('greet.udi'));
    assert.equal(await page.$eval('#notice', (notice) => notice.innerText.trim()),
      'Put the texts into greet.udi.');
    await page.select(`${disk('greet.trd')} .get-as`, 'hobeta');
    await page.click(`${disk('greet.trd')} .entry[data-name="GREET.C"] button.get`);
    await page.click(`${disk('greet.scl')} .entry[data-name="GREET.C"] button.get`);

    await page.click('#download-all');
    const zip = join(downloads, 'korve.zip');
    const translated = join(downloads, 'greet.$h.asm');
    const packed = join(downloads, 'PACKED.trd');
    const put = join(downloads, 'greet.udi');
    const got = ['GREET.$C', 'GREET.C'].map((name) => join(downloads, name));
    await waitForFiles([zip, translated, packed, put, ...got]);
    const scl = { name: 'greet.scl', bytes: disks['greet.scl'] };
    const putByKorvex = korvexPut({ name: 'greet.udi', bytes: made['greet.udi'] },
      [{ name: textName, bytes: edited }], { layout: 'stored' });
    assert.ok(readFileSync(put).equals(putByKorvex.bytes));
    assert.ok(!putByKorvex.bytes.equals(made['greet.udi']));
    assert.deepEqual(got.map((path) => readFileSync(path)), [
      korvexGet({ name: 'greet.trd', bytes: disks['greet.trd'] }, ['GREET.C'], { hobeta: true }),
      korvexGet(scl, ['GREET.C'], {}),
    ].map(({ files }) => files[0].bytes));
    const sjasmplus = korvexText('greet.$h', greetHobeta, { dialect: 'sjasmplus', eol: 'lf' });
    assert.deepEqual(sjasmplus.files.map((file) => file.name), ['greet.$h.asm']);
    assert.ok(readFileSync(translated).equals(sjasmplus.files[0].bytes));
    const pack = korvexPack([{ name: textName, bytes: commandLine('greet.h', greet).output }],
      { output: 'PACKED.trd' });
    assert.ok(readFileSync(packed).equals(pack.bytes));

    // Every file as korvex writes several inputs: lone files at the top, a
    // folder per disk; nothing for data that stops on its first line.
    const unzipped = join(work, 'unzipped');
    const unzip = spawnSync('unzip', ['-q', zip, '-d', unzipped]);
    assert.equal(unzip.status, 0, String(unzip.stderr));
    const lone = ['ПРИВЕТ.h', 'greet.$h', 'stopped.h', 'badsum.$h'];
    const folders = [...diskNames, 'PACKED.trd'];
    assert.deepEqual(readdirSync(unzipped, { recursive: true }).sort(), [
      ...lone.map((name) => `${name}.asm`), ...folders,
      ...folders.map((name) => `${name}/GREET.H.asm`)].sort());
    for (const name of lone) {
      assert.ok(readFileSync(join(unzipped, `${name}.asm`)).equals(commandLine(name, made[name]).output),
        name);
    }

    // The words follow the chosen language.
    await page.select('#language', 'ru');
    assert.deepEqual((await cellsOf(page, '.row[data-name="greet.$h"]'))[0].cells.slice(0, 5),
      ['greet.$h', 'Hobeta · в заголовке: GREET', '485 байт', '38 строк', 'Преобразован']);
    assert.deepEqual((await cellsOf(page, disk('greet.trd')))[0].cells.slice(3, 5),
      ['2 файла', 'ALASM: 1 из 2']);
    await page.select('#language', 'en');
    await page.close();
  });

// What a download says of a file is what korvex said of its lines, found
// by their place, whatever the file's name looks like.
test('a download says korvex\'s problems with the file, under any name', async () => {
  const page = await openPage();
  const session = await page.createCDPSession();
  await session.send('Browser.setDownloadBehavior', { behavior: 'deny' });
  const name = 'stopped: again.h';
  await (await page.$('#files')).uploadFile(join(madeFolder, name));
  await page.select('#dialect', 'sjasmplus');
  await page.waitForSelector(`.row[data-name="${name}"] button.download`);
  await page.click(`.row[data-name="${name}"] button.download`);
  await page.waitForFunction(() => !document.getElementById('notice').hidden);
  const expected = korvexText(name, made[name], { dialect: 'sjasmplus' });
  assert.equal(expected.messages.trim().split('\n').length, 2);
  assert.deepEqual(await page.$eval('#notice', (notice) =>
    [...notice.children].map((part) => part.textContent)),
  [`Downloaded ${name}.asm. korvex said:`, expected.messages.trim()]);
  await page.close();
});

test('names and the console show through the chosen code page, never as U+FFFD', async () => {
  const page = await openPage();
  const picked = ['named.h', 'named.trd', 'sinclair.h'];
  const input = await page.$('#files');
  await input.uploadFile(...picked.map((name) => join(madeFolder, name)));
  await page.waitForFunction((count) => document.querySelectorAll('#rows > .row').length === count &&
    !document.getElementById('download-all').disabled, {}, picked.length);
  // Bare ALASM data that begins with an archive's signature is a file, converted.
  assert.equal(await page.$eval('.row[data-name="sinclair.h"]', (row) => row.dataset.outcome),
    'converted');
  await page.click('.row[data-name="named.h"] button.open');
  await page.waitForSelector('#reader[open] #reader-text .line');
  const shown = () => page.evaluate(() => ({
    header: document.querySelector('.row[data-name="named.h"] .what').textContent,
    console: document.querySelector('#reader-console pre').textContent.match(/^Name:.*$/m)[0],
    disk: document.querySelector('.row[data-name="named.trd"] .entry .name').textContent,
    page: document.body.innerText,
  }));
  for (const codePage of ['cp866', 'cp1251', 'koi8r']) {
    await page.select('#code-page', codePage);
    const name = new TextDecoder({ cp866: 'ibm866', cp1251: 'windows-1251', koi8r: 'koi8-r' }[codePage])
      .decode(Buffer.from(cyrillicName, 'latin1'));
    const { header, console, disk, page: text } = await shown();
    assert.deepEqual([header, console, disk],
      [`ALASM data · header: ${name}`, `Name:${name}`, `${name}.H`], codePage);
    assert.ok(!text.includes('\uFFFD'), codePage);
  }
  await page.close();
});

test('korve.diff gives what korvex diff gives, and two disks read together show it', async () => {
  const page = await openPage();
  const fileOf = (path) => ({ name: basename(path), bytes: readFileSync(path) });
  const paths = [...Object.keys(disks).map((name) => join(settings.KORVE_EXAMPLES, name)),
    join(madeFolder, 'named.trd'),
    ...[...corpusImages().keys()].map((image) => join(settings.KORVE_IMAGES, image))];
  const korvexDiff = (files) => korvex(files, ['diff', '--charset', 'CP866', '--',
    ...files.map(({ name }) => name)], (folder, run) => ({ output: run.stdout }));
  const runs = paths.flatMap((a, index) => paths.slice(index + 1).map((b) => {
    const files = [fileOf(a), fileOf(b)];
    return { label: `diff ${files[0].name} ${files[1].name}`, method: 'diff',
      args: [...files, { charset: 'CP866' }], expected: korvexDiff(files) };
  }));
  assert.deepEqual(await differingRuns(page, runs), []);
  // Dropped together, the page says it with korvex's words.
  const pair = [join(settings.KORVE_EXAMPLES, 'greet.trd'), join(madeFolder, 'named.trd')];
  const expected = korvexDiff(pair.map(fileOf));
  assert.equal(expected.status, 1);
  await (await page.$('#files')).uploadFile(...pair);
  await page.waitForFunction(() => !document.getElementById('notice').hidden);
  assert.deepEqual(await page.$eval('#notice', (notice) =>
    [...notice.children].map((part) => part.textContent)),
  ['What changed from greet.trd to named.trd, as korvex diff says:',
    `${expected.output.toString('utf8')}\n${expected.messages}`.trim()]);
  await page.close();
});

test('the screenshot: the page with the example disks and the example file', async () => {
  const page = await openPage();
  await page.setViewport({ width: 1100, height: 760 });
  const input = await page.$('#files');
  await input.uploadFile(...['greet.trd', 'greet.scl', 'greet.h'].map((name) =>
    join(settings.KORVE_EXAMPLES, name)));
  await page.waitForFunction(() => document.querySelectorAll('#rows > .row').length === 3 &&
    !document.getElementById('download-all').disabled);
  await page.screenshot({ path: settings.KORVE_SCREENSHOT, fullPage: true });
  await page.close();
});

test('the page made no request and raised no error', () => {
  assert.deepEqual(requests, []);
  assert.deepEqual(pageErrors, []);
});

async function waitForFiles(paths) {
  for (let tries = 0; tries < 100; tries++) {
    if (paths.every((path) => existsSync(path))) {
      return;
    }
    await new Promise((resolve) => setTimeout(resolve, 100));
  }
  assert.fail(`not downloaded: ${paths.filter((path) => !existsSync(path)).join(', ')}`);
}
