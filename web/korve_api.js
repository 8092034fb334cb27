// korveApi: korve's converter in this page, the same C++ code as the
// command-line program, compiled to WebAssembly, and what it found, as named
// facts. Nothing leaves the page, and nothing here is words for a user: the
// page (page.js) draws the facts in its own words (messages.js), and
// publishes this API to scripts as window.korve, where it adds one thing:
// beside each `problemKey` of convertImage, `problem`, the words the page
// shows for it in its language.
//
//   const input = await korve.recognise(bytes);
//
// tells what `bytes` (a Uint8Array, another typed array or an ArrayBuffer)
// are, from their first bytes, as korve's core tells it: "bare-alasm" (ALASM
// data), "hobeta-alasm" (ALASM data behind a Hobeta header), "scl-archive",
// "trdos-image" or "none". ALASM data wins over a disk's mark, as on the
// command line.
//
//   const result = await korve.convert(name, bytes);
//
// converts `bytes` as `korve NAME NAME.asm` does in a folder holding them as
// the file NAME, and gives what that run gives: `status`, its exit status (1
// when converted); `console`, what it printed, banner included, read as UTF-8
// as a terminal shows it; and `output`, the bytes of NAME.asm as a
// Uint8Array, or null where the run created no output. Beside them, facts:
//   consoleBytes   the console text's bytes, as korve wrote them (the header's
//                  name among them, in its own code page)
//   outcome        the status by name: "converted", "not-alasm",
//                  "undefined-token" or "file-error"
//   input          what the bytes are, as recognise() says
//   headerName     the bytes of the name in the ALASM data's header, as
//                  korve prints it after "Name:"; null for other input
//   headerPlainName the same name as a person reads it: korve prints the
//                  header's bytes up to the first zero, so that a name of
//                  all eight bytes runs on into its type letter
//                  ("PGMFLASHH"); here it stops at eight, less the spaces
//                  that pad it ("PGMFLASH")
//   headerType     the type letter that korve's name shows ("H"), or null
//   badChecksum    whether the Hobeta header's checksum is wrong (korve warns
//                  and converts all the same)
//   lines          how many lines `output` holds; null without output
//   undefinedToken where the conversion stopped, {token, line}: the token as
//                  korve names it ("|0xE7|") and the number of its line, the
//                  one after the last kept; otherwise null
// NAME is a file name: not empty, not "." or "..", without "/" or NUL, and at
// most 255 bytes long in UTF-8; for any other name the promise is rejected
// with a TypeError.
//
//   const image = await korve.convertImage(name, bytes);
//
// reads `bytes` as a TR-DOS disk image (.trd) or an SCL archive (.scl),
// recognised by their content, and converts every file on it that holds
// ALASM data. It gives null for bytes that are neither; otherwise
// `{input, problemKey, entries}`: `input`, "trdos-image" or "scl-archive";
// `problemKey`, what is wrong with the image as a fixed name ("cut-short",
// "past-the-disk", "count-too-large", "checksum-mismatch"), or null. A broken
// image still gives every file that can be read. `entries` lists its live
// files in catalogue order, each `{name, type, trdosName, length, alasm,
// problemKey, fileName, path, status, console, output, ...facts}`:
// `hobeta` the entry's Hobeta file, which is what converts (null for a file
// that is no ALASM data); `name` and `type` as TR-DOS spells them (each byte the character of the
// same number), `trdosName` the bytes of its name, a dot and its type, as
// TR-DOS shows them, `length` the catalogue's length in bytes, `alasm`
// whether it holds ALASM data, `problemKey` why its data could not be read
// ("cut-short" or "past-the-disk") or null, `fileName` the name
// korvex gives its files (its name and type, each byte that a file system
// could refuse made "_", bytes of 0x80 and above read as CP866, ".." as
// "__", a name Windows keeps for a device with a leading "_", numbered
// " (2)" and on where names on the same image would clash ignoring case),
// `path` where its
// files go beside those of other inputs, in a folder named after the image,
// NAME/fileName; and `status`, `console`, `output` and the facts exactly what
// `convert(fileName, …)` gives on the entry's Hobeta file: a header holding
// its catalogue entry, then its whole sectors. For a file that is not ALASM
// data, or could not be read, those are null. NAME is a file name, as above.
//
//   const result = await korve.text(name, bytes, {layout, dialect, charset, eol});
//
// gives what `korvex text --layout LAYOUT --dialect DIALECT --charset CHARSET
// --eol EOL -o DIR NAME` gives in a folder holding `bytes` as the file NAME:
// `status`, its exit status (0 when everything converted); `messages`, its
// standard error, as UTF-8 text; and `files`, each file it wrote, as
// {name, bytes}, `name` relative to DIR, in sorted order. Each option is a
// string, as korvex's flag takes it ("tidy", "sjasmplus", "CP866", "crlf"),
// or left out for korvex's default; a value korvex refuses gives its usage
// error and status 2. NAME is a file name, as above, other than "-".
//
//   const result = await korve.pack(files, {output, charset});
//
// gives what `korvex pack --charset CHARSET -o OUTPUT NAME...` gives in a
// folder holding `files`, a list of {name, bytes}: `status`, `messages` as
// above, and `bytes`, what it wrote to OUTPUT (DISK.trd, GAME.scl, GAME.$h,
// or any other name for bare ALASM data), or null where it wrote nothing.
//
//   const view = await korve.view(bytes, {layout});
//
// gives the text of ALASM data, bare or behind a Hobeta header, in the
// layout "stored" (the default) or "tidy", as the reading view shows it:
// `text`, the lines' bytes before any code page, each ending in "\n", up to
// an undefined token; and `parts`, a letter for each byte of `text` telling
// the part of its line it is, as the converter knew it: "L" label, "M"
// mnemonic, "O" a keyword among the operands, "T" other operand text, "S"
// stored spaces, "Q" a string, "C" a comment, "E" the line's end. null for
// bytes that hold no ALASM data.
'use strict';

const korveApi = (function () {
  const folder = '/files';           // where NAME and NAME.asm are, for one run
  const consolePath = '/console.txt';  // outside that folder: no NAME meets it
  const longestName = 255;             // bytes of UTF-8, as file systems allow
  const utf8 = new TextDecoder();
  const lineFeed = 0x0A;

  let modulePromise = null;

  // The WebAssembly, carried in the page gzipped, as base64 text.
  function wasmBinary() {
    const text = atob(document.getElementById('korve-wasm').textContent.trim());
    const bytes = new Uint8Array(text.length);
    for (let i = 0; i < text.length; i++) {
      bytes[i] = text.charCodeAt(i);
    }
    return fflate.gunzipSync(bytes);
  }

  function loadModule() {
    if (!modulePromise) {
      modulePromise = createKorveModule({ wasmBinary: wasmBinary() }).then((module) => {
        module.FS.mkdir(folder);
        module.FS.chdir(folder);
        return module;
      });
      modulePromise.catch(() => { modulePromise = null; });
    }
    return modulePromise;
  }

  function checkName(name, caller) {
    if (typeof name !== 'string' || name === '' || name === '.' || name === '..' ||
        name.includes('/') || name.includes('\0') ||
        new TextEncoder().encode(name).length > longestName) {
      throw new TypeError(`${caller}: ${JSON.stringify(name)} is not a file name`);
    }
  }

  function asBytes(bytes, caller) {
    if (bytes instanceof ArrayBuffer) {
      return new Uint8Array(bytes);
    }
    if (ArrayBuffer.isView(bytes)) {
      return new Uint8Array(bytes.buffer, bytes.byteOffset, bytes.byteLength);
    }
    throw new TypeError(`${caller}: the bytes must be a typed array or an ArrayBuffer`);
  }

  // Runs `work` on the WebAssembly, then `tidy`. WebAssembly that has stopped
  // (out of memory, say) can neither run again nor be tidied: the next call
  // starts a new one.
  async function withModule(work, tidy = () => {}) {
    const module = await loadModule();
    let stopped = false;
    try {
      return work(module);
    } catch (error) {
      stopped = error instanceof WebAssembly.RuntimeError;
      if (stopped) {
        modulePromise = null;
      }
      throw error;
    } finally {
      if (!stopped) {
        tidy(module);
      }
    }
  }

  // The korve_web_* functions of korve_web.cpp, over numbers (places in
  // memory among them) or giving a fixed name.
  function calls(module) {
    const number = (name, ...args) =>
      module.ccall(`korve_web_${name}`, 'number', args.map(() => 'number'), args);
    const word = (name, ...args) =>
      module.ccall(`korve_web_${name}`, 'string', args.map(() => 'number'), args);
    // Memory may move as it grows: its view is taken anew each time.
    const bytesOf = (bytes) => {
      const address = number('bytes_data', bytes);
      return module.HEAPU8.slice(address, address + number('bytes_size', bytes));
    };
    // Gives `read` the place of a copy of `bytes` in memory, and frees it.
    // Nothing here fails but the WebAssembly itself, which is then dropped
    // whole: no memory is given back on the way out.
    const inMemory = (bytes, read) => {
      const place = module._malloc(Math.max(bytes.length, 1));
      if (place === 0) {
        throw new Error('korve: no memory for the input');
      }
      module.HEAPU8.set(bytes, place);
      const result = read(place, bytes.length);
      module._free(place);
      return result;
    };
    return { number, word, bytesOf, inMemory };
  }

  // What korve's core makes of an input's first bytes: its kind, and for
  // ALASM data its header's name and whether a Hobeta checksum matched.
  function readInput(module, input) {
    const { number, word, bytesOf, inMemory } = calls(module);
    const start = input.subarray(0, number('recognised_bytes'));
    const facts = inMemory(start, (place, size) => number('read_input', place, size));
    const kind = word('input_kind', facts);
    const alasm = kind === 'bare-alasm' || kind === 'hobeta-alasm';
    const found = {
      input: kind,
      headerName: alasm ? bytesOf(number('input_name', facts)) : null,
      headerPlainName: alasm ? bytesOf(number('input_plain_name', facts)) : null,
      headerType: alasm ? codePages.decode(bytesOf(number('input_type', facts)), 'latin1') || null
        : null,
      badChecksum: alasm && number('input_checksum_matches', facts) === 0,
    };
    number('free_input', facts);
    return found;
  }

  async function recognise(bytes) {
    const input = asBytes(bytes, 'korve.recognise');
    return withModule((module) => readInput(module, input).input);
  }

  function removeIfThere(FS, path) {
    if (FS.analyzePath(path).exists) {
      FS.unlink(path);
    }
  }

  function countLines(bytes) {
    let lines = 0;
    for (const byte of bytes) {
      lines += byte === lineFeed ? 1 : 0;
    }
    return lines;
  }

  // korve names the token it stopped at last, on a line of its own, after
  // the lines it kept: "Error |0xE7|", or "Error  |0xE7|" after the mnemonic.
  const stoppedAt = /\n\nError +(\S+)\n$/;

  async function convert(name, bytes) {
    checkName(name, 'korve.convert');
    const input = asBytes(bytes, 'korve.convert');
    const outputName = `${name}.asm`;
    return withModule((module) => {
      const { FS } = module;
      const { number, word } = calls(module);
      FS.writeFile(name, input);
      const status = module.ccall('korve_web_run', 'number', ['string', 'string', 'string'],
        [name, outputName, consolePath]);
      if (status < 0) {
        throw new Error('korve.convert: the console text was lost');
      }
      const consoleBytes = FS.readFile(consolePath);
      const output = FS.analyzePath(outputName).exists ? FS.readFile(outputName) : null;
      const outcome = word('status_name', status);
      const lines = output && countLines(output);
      const token = outcome === 'undefined-token' && output
        ? codePages.decode(consoleBytes, 'latin1').match(stoppedAt) : null;
      return {
        status,
        console: utf8.decode(consoleBytes),
        output,
        consoleBytes,
        outcome,
        ...readInput(module, input),
        lines,
        undefinedToken: token && { token: token[1], line: lines + 1 },
      };
    }, ({ FS }) => {
      for (const path of [name, outputName, consolePath]) {
        removeIfThere(FS, path);
      }
    });
  }

  // ---- Disk images ----

  // What the C++ reader found on an image: its problem and its live entries,
  // each with its name's bytes and its Hobeta file. Problems come as fixed
  // names, "" for none.
  function readImage(module, input) {
    const { number, word, bytesOf, inMemory } = calls(module);
    const image = inMemory(input, (place, size) => number('read_image', place, size));
    const entries = [];
    const count = number('image_entries', image);
    for (let index = 0; index < count; index++) {
      const field = (name) => number(`entry_${name}`, image, index);
      entries.push({
        name: bytesOf(field('name')),
        trdosName: bytesOf(field('full_name')),
        type: field('type'),
        length: field('length'),
        problem: word('entry_problem', image, index),
        alasm: field('alasm') !== 0,
        hobeta: bytesOf(field('hobeta')),
        fileName: utf8.decode(bytesOf(field('file_name'))),
      });
    }
    const problem = word('image_problem', image);
    number('free_image', image);
    return { problem, entries };
  }

  // What convert() gives, for a file it was not given.
  const notConverted = {
    status: null, console: null, output: null, consoleBytes: null, outcome: null, input: null,
    headerName: null, headerPlainName: null, headerType: null, badChecksum: null, lines: null,
    undefinedToken: null,
  };
  const problemKey = (problem) => (problem === '' ? null : problem);

  async function convertImage(name, bytes) {
    checkName(name, 'korve.convertImage');
    const input = asBytes(bytes, 'korve.convertImage');
    const image = await withModule((module) => {
      // Bytes larger than any image are none, and need not be copied.
      if (input.length > calls(module).number('largest_image')) {
        return null;
      }
      const { input: kind } = readInput(module, input);
      return kind === 'scl-archive' || kind === 'trdos-image'
        ? { input: kind, ...readImage(module, input) } : null;
    });
    if (image === null) {
      return null;
    }
    const entries = [];
    for (const entry of image.entries) {
      const { fileName } = entry;
      const converted = entry.alasm ? await convert(fileName, entry.hobeta) : notConverted;
      entries.push({
        name: codePages.decode(entry.name, 'latin1'),
        type: String.fromCharCode(entry.type),
        length: entry.length,
        alasm: entry.alasm,
        problemKey: problemKey(entry.problem),
        fileName,
        path: `${name}/${fileName}`,
        trdosName: entry.trdosName,
        hobeta: entry.alasm ? entry.hobeta : null,
        ...converted,
      });
    }
    return { input: image.input, problemKey: problemKey(image.problem), entries };
  }

  // ---- korvex ----

  // A korvex run works in a folder of its own that holds its inputs, as a
  // user's shell would, and writes text into a folder beside it.
  const korvexFolder = '/korvex';
  const korvexInputs = `${korvexFolder}/in`;
  const korvexOutputs = `${korvexFolder}/out`;
  // A folder, which the slash says even before korvex makes it.
  const korvexOutputsFromInputs = '../out/';
  const korvexStdout = `${korvexFolder}/stdout.txt`;
  const korvexStderr = `${korvexFolder}/stderr.txt`;

  function removeTree(FS, path) {
    if (!FS.analyzePath(path).exists) {
      return;
    }
    if (!FS.isDir(FS.lstat(path).mode)) {
      FS.unlink(path);
      return;
    }
    for (const name of FS.readdir(path)) {
      if (name !== '.' && name !== '..') {
        removeTree(FS, `${path}/${name}`);
      }
    }
    FS.rmdir(path);
  }

  // Every file under `folder`, as {name, bytes}, `name` relative to it, in
  // sorted order.
  function filesUnder(FS, folder, prefix = '') {
    if (!FS.analyzePath(folder).exists) {
      return [];
    }
    const files = [];
    const names = FS.readdir(folder).filter((name) => name !== '.' && name !== '..').sort();
    for (const name of names) {
      const path = `${folder}/${name}`;
      if (FS.isDir(FS.stat(path).mode)) {
        files.push(...filesUnder(FS, path, `${prefix}${name}/`));
      } else {
        files.push({ name: `${prefix}${name}`, bytes: FS.readFile(path) });
      }
    }
    return files;
  }

  // korvex's flags for the options a caller gave: each a string, or left
  // out (undefined or null) for korvex's default.
  function flagsOf(options, known, caller) {
    if (options === undefined || options === null) {
      return [];
    }
    if (typeof options !== 'object') {
      throw new TypeError(`${caller}: the options must be an object`);
    }
    const flags = [];
    for (const [key, value] of Object.entries(options)) {
      if (!(key in known)) {
        throw new TypeError(`${caller}: there is no option ${JSON.stringify(key)}`);
      }
      if (value === undefined || value === null || known[key] === null) {
        continue;
      }
      if (typeof value !== 'string') {
        throw new TypeError(`${caller}: the option ${key} must be a string`);
      }
      flags.push(known[key], value);
    }
    return flags;
  }

  // korvex reads the input "-" from standard input, which it has none of here.
  function checkKorvexName(name, caller) {
    checkName(name, caller);
    if (name === '-') {
      throw new TypeError(`${caller}: "-" names standard input to korvex, not a file`);
    }
  }

  // Runs `korvex WORD...` in its folder, whose inputs are `inputs`
  // ({name, bytes}); gives its status, its standard error as UTF-8 text, and
  // what `read` reads from the file system before it is tidied away.
  function runKorvex(inputs, words, read) {
    return withModule((module) => {
      const { FS } = module;
      const { number, inMemory } = calls(module);
      FS.mkdir(korvexFolder);
      FS.mkdir(korvexInputs);
      for (const { name, bytes } of inputs) {
        FS.writeFile(`${korvexInputs}/${name}`, bytes);
      }
      const packed = new TextEncoder().encode(words.map((word) => `${word}\0`).join(''));
      FS.chdir(korvexInputs);
      let status;
      try {
        status = inMemory(packed, (place, size) => module.ccall('korve_web_run_korvex', 'number',
          ['number', 'number', 'string', 'string'], [place, size, korvexStdout, korvexStderr]));
      } finally {
        FS.chdir(folder);
      }
      if (status < 0) {
        throw new Error('korve: the console text of korvex was lost');
      }
      return { status, messages: utf8.decode(FS.readFile(korvexStderr)), ...read(FS) };
    }, ({ FS }) => removeTree(FS, korvexFolder));
  }

  const textFlags = { layout: '--layout', dialect: '--dialect', charset: '--charset', eol: '--eol' };

  async function text(name, bytes, options) {
    const caller = 'korve.text';
    checkKorvexName(name, caller);
    const input = asBytes(bytes, caller);
    const words = ['text', ...flagsOf(options, textFlags, caller), '-o', korvexOutputsFromInputs,
      '--', name];
    return runKorvex([{ name, bytes: input }], words,
      (FS) => ({ files: filesUnder(FS, korvexOutputs) }));
  }

  const packFlags = { output: null, charset: '--charset' };

  async function pack(files, options) {
    const caller = 'korve.pack';
    if (!Array.isArray(files)) {
      throw new TypeError(`${caller}: the files must be a list of {name, bytes}`);
    }
    const output = options && options.output;
    checkKorvexName(output, `${caller}: output`);
    const inputs = files.map((file) => {
      checkKorvexName(file && file.name, caller);
      return { name: file.name, bytes: asBytes(file.bytes, caller) };
    });
    if (new Set(inputs.map((file) => file.name)).size !== inputs.length) {
      throw new TypeError(`${caller}: two files have the same name`);
    }
    const words = ['pack', ...flagsOf(options, packFlags, caller), '-o', output, '--',
      ...inputs.map((file) => file.name)];
    return runKorvex(inputs, words, (FS) => {
      const path = `${korvexInputs}/${output}`;
      const written = FS.analyzePath(path).exists && !inputs.some((file) => file.name === output);
      return { bytes: written ? FS.readFile(path) : null };
    });
  }

  // ---- The reading view ----

  async function view(bytes, options = {}) {
    const caller = 'korve.view';
    const input = asBytes(bytes, caller);
    const layout = options.layout ?? 'stored';
    if (layout !== 'stored' && layout !== 'tidy') {
      throw new TypeError(`${caller}: the layout is "stored" or "tidy"`);
    }
    return withModule((module) => {
      const { number, bytesOf, inMemory } = calls(module);
      const found = inMemory(input, (place, size) =>
        number('read_view', place, size, layout === 'tidy' ? 1 : 0));
      if (found === 0) {
        return null;
      }
      const result = {
        text: bytesOf(number('view_text', found)),
        parts: codePages.decode(bytesOf(number('view_parts', found)), 'latin1'),
      };
      number('free_view', found);
      return result;
    });
  }

  return Object.freeze({ recognise, convert, convertImage, text, pack, view });
})();
