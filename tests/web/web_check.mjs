// The web page, checked in Debian's Chromium (headless) against the
// command-line program built from the same code. tests/web/run sets the
// environment and starts it with node's test runner:
//
//   KORVE_BINARY   the command-line korve
//   KORVE_BENCH    the benchmark program, whose generator writes 64 KiB of data
//   KORVE_PAGE     the built korve.html
//   KORVE_EXAMPLES the folder of the shipped examples
//   KORVE_CORPUS   a folder of real files with MANIFEST.tsv (checked when present)
//   KORVE_SCREENSHOT where to write the screenshot of the page
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { existsSync, mkdirSync, mkdtempSync, readFileSync, readdirSync, rmSync, statSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { basename, join } from 'node:path';
import { pathToFileURL } from 'node:url';
import puppeteer from 'puppeteer-core';

const settings = process.env;
const pageUrl = pathToFileURL(settings.KORVE_PAGE).href;
const largestPage = 400 * 1024;
const work = mkdtempSync(join(tmpdir(), 'korve-web-'));

// ---- Test data, made here from the shipped examples ----

const greet = readFileSync(join(settings.KORVE_EXAMPLES, 'greet.h'));
const greetHobeta = readFileSync(join(settings.KORVE_EXAMPLES, 'greet.$h'));
const hobetaChecksumOffset = 15;
const bytes = (...values) => Buffer.from(values);
// greet.h ends with the zero byte the assembler writes after its last line.
const greetLines = greet.subarray(0, greet.length - 1);
// A comment in CP866: ";Привет".
const cyrillicComment = bytes(0x08, 0x3B, 0x8F, 0xE0, 0xA8, 0xA2, 0xA5, 0xE2);
// A line whose first keyword byte, 0xE7, has no keyword.
const undefinedToken = bytes(0x03, 0xE7, 0xF5);

const made = {
  'greet.h': greet,
  'greet.$h': greetHobeta,
  'GREET.$C': greetHobeta,
  'ПРИВЕТ.h': Buffer.concat([greetLines, cyrillicComment, bytes(0)]),
  'stopped.h': Buffer.concat([greetLines, undefinedToken, bytes(0)]),
  'badsum.$h': Buffer.from(greetHobeta).fill(greetHobeta[hobetaChecksumOffset] ^ 0xFF,
    hobetaChecksumOffset, hobetaChecksumOffset + 1),
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
      console: new TextDecoder('utf-8', { fatal: true }).decode(run.stdout),
      output: existsSync(output) ? readFileSync(output) : null,
    };
  } finally {
    rmSync(folder, { recursive: true });
  }
}

function corpusFiles() {
  const manifest = join(settings.KORVE_CORPUS || '', 'MANIFEST.tsv');
  if (!settings.KORVE_CORPUS || !existsSync(manifest)) {
    return [];
  }
  return readFileSync(manifest, 'utf8').split('\n').slice(1).filter(Boolean)
    .map((line) => join(settings.KORVE_CORPUS, line.split('\t')[0]));
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

// Converts in the page through window.korve; bytes travel as base64.
function convertInPage(page, name, content) {
  return page.evaluate(async (name, base64) => {
    const input = Uint8Array.from(atob(base64), (c) => c.charCodeAt(0));
    const { status, console, output } = await window.korve.convert(name, input);
    let binary = '';
    for (const byte of output ?? []) {
      binary += String.fromCharCode(byte);
    }
    return { status, console, output: output && btoa(binary) };
  }, name, content.toString('base64')).then((result) => ({
    ...result,
    output: result.output === null ? null : Buffer.from(result.output, 'base64'),
  }));
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
    const got = await convertInPage(page, name, content);
    if (got.status !== expected.status || got.console !== expected.console ||
        !Buffer.from(got.output ?? []).equals(expected.output ?? Buffer.alloc(0)) ||
        (got.output === null) !== (expected.output === null)) {
      differing.push(`${path}: status ${got.status}, command line ${expected.status}`);
    }
  }
  console.log(`${files.length} files compared with the command line`);
  assert.deepEqual(differing, []);
  await page.close();
});

test('names that are not file names are refused', async () => {
  const page = await openPage();
  const refused = await page.evaluate(async (names) => {
    const outcomes = [];
    for (const name of names) {
      outcomes.push(await window.korve.convert(name, new Uint8Array(1)).then(
        () => 'converted', (error) => error.name));
    }
    return outcomes;
  }, ['', '.', '..', 'disk/GAME.$h', '../GAME.$h', 'GAME\0.h', 'Б'.repeat(128)]);
  assert.deepEqual(refused, Array(7).fill('TypeError'));
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

test('a user converts several files, previews one and downloads them all', async () => {
  const downloads = join(work, 'downloads');
  const page = await openPage();
  const session = await page.createCDPSession();
  await session.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: downloads });
  const picked = ['ПРИВЕТ.h', 'greet.$h', 'notes.txt', 'stopped.h', 'badsum.$h'];
  const input = await page.$('#files');
  await input.uploadFile(...picked.map((name) => join(madeFolder, name)));
  await page.waitForFunction((count) => document.querySelectorAll('.row').length === count &&
    !document.getElementById('download-all').disabled, {}, picked.length);

  const rows = await page.$$eval('.row', (items) => items.map((row) => ({
    name: row.dataset.name,
    outcome: row.dataset.outcome,
    text: row.innerText,
  })));
  const row = (name) => rows.find((item) => item.name === name);
  assert.deepEqual(rows.map((item) => item.name), picked);
  for (const [name, outcome, words] of [
    ['ПРИВЕТ.h', 'converted', 'Converted: 39 lines.'],
    ['greet.$h', 'converted', 'Converted: 38 lines.'],
    ['notes.txt', 'not-alasm', 'Not ALASM data'],
    ['stopped.h', 'undefined-token',
      'Stopped at an undefined token |0xE7| on line 38; the 37 lines before it are kept.'],
    ['badsum.$h', 'converted', 'The Hobeta header’s checksum is wrong; converted all the same.'],
  ]) {
    assert.equal(row(name).outcome, outcome, name);
    assert.ok(row(name).text.includes(words), `${name}: ${row(name).text}`);
  }
  assert.ok(row('greet.$h').text.includes('name in header: GREET'));
  assert.ok(!row('greet.$h').text.includes('checksum'));

  // The preview, opened from the keyboard, through each code page.
  await page.focus('.row[data-name="ПРИВЕТ.h"] details.preview summary');
  await page.keyboard.press('Enter');
  const lastLine = async () => page.$eval('.row[data-name="ПРИВЕТ.h"] pre.preview',
    (pre) => pre.textContent.split('\n').at(-3));
  for (const [codePage, line] of [
    ['cp866', ';Привет'], ['cp1251', ';ЏаЁўҐв'], ['latin1', ';\u008Fà¨¢¥â'], ['cp866', ';Привет'],
  ]) {
    await page.select('#code-page', codePage);
    assert.equal(await lastLine(), line, codePage);
  }

  // The words follow the chosen language; the console stays the program's.
  await page.select('#language', 'ru');
  const russian = await page.$eval('.row[data-name="greet.$h"]', (item) => item.innerText);
  assert.ok(russian.includes('Преобразован: 38 строк.'), russian);
  await page.select('#language', 'en');

  await page.focus('#download-all');
  await page.keyboard.press('Enter');
  await page.select('#format', 'utf8');
  await page.click('.row[data-name="ПРИВЕТ.h"] button.download');
  const zip = join(downloads, 'korve.zip');
  const utf8 = join(downloads, 'ПРИВЕТ.h.utf8.asm');
  await waitForFiles([zip, utf8]);

  const unzipped = join(work, 'unzipped');
  const unzip = spawnSync('unzip', ['-q', zip, '-d', unzipped]);
  assert.equal(unzip.status, 0, String(unzip.stderr));
  const converted = ['ПРИВЕТ.h', 'greet.$h', 'stopped.h', 'badsum.$h'];
  assert.deepEqual(readdirSync(unzipped).sort(), converted.map((name) => `${name}.asm`).sort());
  for (const name of converted) {
    const expected = commandLine(name, made[name]).output;
    assert.ok(readFileSync(join(unzipped, `${name}.asm`)).equals(expected), name);
  }
  const cyrillic = commandLine('ПРИВЕТ.h', made['ПРИВЕТ.h']).output;
  assert.equal(readFileSync(utf8, 'utf8'), cyrillic.toString('latin1').replace(
    '\u008F\u00E0\u00A8\u00A2\u00A5\u00E2', 'Привет'));
  await page.close();
});

test('the screenshot: the page after converting the examples', async () => {
  const page = await openPage();
  await page.setViewport({ width: 900, height: 900 });
  const input = await page.$('#files');
  await input.uploadFile(join(settings.KORVE_EXAMPLES, 'greet.h'),
    join(settings.KORVE_EXAMPLES, 'greet.$h'));
  await page.waitForFunction(() => document.querySelectorAll('.row').length === 2);
  await page.click('.row[data-name="greet.h"] details.preview summary');
  await page.waitForFunction(() => document.querySelector('pre.preview').textContent !== '');
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
