// Writes the web page as one self-contained file: every stylesheet and script
// the template links to is put inline, the scripts minified (their sources in
// web/ are the ones to read), the WebAssembly gzipped, as base64 text: about a
// third of its size (the page unzips it with the zip library it carries
// anyway).
//
//   node inline_page.mjs TEMPLATE OUTPUT TERSER NAME=PATH...
//
// TERSER is the folder of the minifier's npm package. Each NAME=PATH gives the
// file for an href or src of NAME in the template, or for a comment
// "<!-- inline NAME -->" (a licence, say). Fails when the template names a file
// it is not given, or when the page would still load anything from elsewhere.
import { readFileSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { pathToFileURL } from 'node:url';
import { constants, gzipSync } from 'node:zlib';

const [template, output, terserFolder, ...pairs] = process.argv.slice(2);
const { minify } = await import(pathToFileURL(join(terserFolder, 'main.js')).href);
const files = new Map(pairs.map((pair) => {
  const at = pair.indexOf('=');
  return [pair.slice(0, at), pair.slice(at + 1)];
}));

function fail(message) {
  console.error(`inline_page: ${message}`);
  process.exit(1);
}

function read(name, encoding) {
  const path = files.get(name);
  if (path === undefined) {
    fail(`the template links to ${name}, which is not given`);
  }
  return readFileSync(path, encoding);
}

// A file's text, which must not end the element it goes in early.
function text(name, end) {
  const content = read(name, 'utf8');
  if (content.toLowerCase().includes(end)) {
    fail(`${name} holds "${end}", which would end it early in the page`);
  }
  return content;
}

// What each kind of link in the template becomes.
const links = /<!-- inline (\S+) -->|<link rel="stylesheet" href="([^"]+)">|<script([^>]*) src="([^"]+)"><\/script>/g;
// Scripts keep their top-level names (they call each other's functions, and the
// checks call the page's) and any licence comment.
async function minified(name) {
  const result = await minify(read(name, 'utf8'), {
    compress: true, mangle: true, format: { comments: 'some' },
  });
  return result.code;
}

const scripts = new Map();
for (const [, , , , script] of readFileSync(template, 'utf8').matchAll(links)) {
  if (script && !script.endsWith('.wasm')) {
    scripts.set(script, await minified(script));
  }
}

const page = readFileSync(template, 'utf8').replace(links, (_, comment, style, attributes, script) => {
  if (comment) {
    return `<!--\n${text(comment, '-->')}-->`;
  }
  if (style) {
    return `<style>\n${text(style, '</style')}</style>`;
  }
  if (script.endsWith('.wasm')) {
    const zipped = gzipSync(read(script), { level: constants.Z_BEST_COMPRESSION });
    return `<script${attributes}>${zipped.toString('base64')}</script>`;
  }
  const code = scripts.get(script);
  if (code.toLowerCase().includes('</script')) {
    fail(`${script} holds "</script", which would end it early in the page`);
  }
  return `<script${attributes}>\n${code}</script>`;
});

const external = page.match(/<[^>]*\s(?:src|href)="(?!data:)[^"]*"[^>]*>/);
if (external) {
  fail(`the page would still load ${external[0]}`);
}
writeFileSync(output, page);
console.log(`${output}: ${Buffer.byteLength(page)} bytes`);
