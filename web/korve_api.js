// window.korve: korve's converter in this page, the same C++ code as the
// command-line program, compiled to WebAssembly. Nothing leaves the page.
//
//   const { status, console, output } = await korve.convert(name, bytes);
//
// converts `bytes` (a Uint8Array, another typed array or an ArrayBuffer) as
// `korve NAME NAME.asm` does in a folder holding them as the file NAME, and
// gives what that run gives: `status`, its exit status (1 when converted);
// `console`, what it printed, banner included, read as UTF-8 as a terminal
// shows it; and `output`, the bytes of NAME.asm as a Uint8Array, or null where
// the run created no output. NAME is a file name: not empty, not "." or "..",
// without "/" or NUL, and at most 255 bytes long in UTF-8; for any other name
// the promise is rejected.
//
//   const image = await korve.convertImage(name, bytes);
//
// reads `bytes` as a TR-DOS disk image (.trd) or an SCL archive (.scl),
// recognised by their content, and converts every file on it that holds ALASM
// data. It gives null for bytes that are neither; otherwise
// `{problem, problemKey, entries}`: `problem`, null or what is wrong with the
// image in words of the page's language, `problemKey` the same as a fixed
// name ("cut-short", "past-the-disk", "count-too-large", "checksum-mismatch")
// or null. A broken image still gives every file that can be read. `entries`
// lists its live files in catalogue order, each
// `{name, type, length, alasm, problem, problemKey, fileName, status, console, output}`:
// `name` and `type` as TR-DOS spells them (each byte the character of the same
// number), `length` the catalogue's length in bytes, `alasm` whether it holds
// ALASM data, `problem` and `problemKey` why its data could not be read
// ("cut-short" or "past-the-disk") or null, `fileName` a name for its files
// (its name and type, each byte that a file system could refuse made "_",
// bytes of 0x80 and above read as CP866, ".." as "__", numbered " (2)" and on
// where names on the same image would clash ignoring case), and `status`,
// `console` and `output` exactly what `convert(fileName, …)` gives on the
// entry's Hobeta file: a header holding its catalogue entry, then its whole
// sectors. For a file that is not ALASM data, or could not be read, those
// three are null. NAME is a file name, as above.
'use strict';

(function () {
  const folder = '/files';           // where NAME and NAME.asm are, for one run
  const consolePath = '/console.txt';  // outside that folder: no NAME meets it
  const longestName = 255;             // bytes of UTF-8, as file systems allow
  const utf8 = new TextDecoder();

  let modulePromise = null;

  // The WebAssembly, carried in the page as base64 text.
  function wasmBinary() {
    const text = atob(document.getElementById('korve-wasm').textContent.trim());
    const bytes = new Uint8Array(text.length);
    for (let i = 0; i < text.length; i++) {
      bytes[i] = text.charCodeAt(i);
    }
    return bytes;
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

  function removeIfThere(FS, path) {
    if (FS.analyzePath(path).exists) {
      FS.unlink(path);
    }
  }

  async function convert(name, bytes) {
    checkName(name, 'korve.convert');
    const input = asBytes(bytes, 'korve.convert');
    const outputName = `${name}.asm`;
    return withModule((module) => {
      const { FS } = module;
      FS.writeFile(name, input);
      const status = module.ccall('korve_web_run', 'number', ['string', 'string', 'string'],
        [name, outputName, consolePath]);
      if (status < 0) {
        throw new Error('korve.convert: the console text was lost');
      }
      return {
        status,
        console: utf8.decode(FS.readFile(consolePath)),
        output: FS.analyzePath(outputName).exists ? FS.readFile(outputName) : null,
      };
    }, ({ FS }) => {
      for (const path of [name, outputName, consolePath]) {
        removeIfThere(FS, path);
      }
    });
  }

  // ---- Disk images ----

  // Each byte as the character of the same number.
  const latin1 = (bytes) => String.fromCharCode(...bytes);

  // What the C++ reader found on an image: its problem and its live entries,
  // each with its name's bytes and its Hobeta file. Problems come as fixed
  // names, "" for none.
  function readImage(module, input) {
    const number = (name, ...args) => module.ccall(name, 'number', args.map(() => 'number'), args);
    const word = (name, ...args) => module.ccall(name, 'string', args.map(() => 'number'), args);
    // Memory may move as it grows: its view is taken anew each time.
    const bytesAt = (address, size) => module.HEAPU8.slice(address, address + size);
    const bytesOf = (bytes) =>
      bytesAt(number('korve_web_bytes_data', bytes), number('korve_web_bytes_size', bytes));
    if (input.length > number('korve_web_largest_image')) {
      return { problem: 'not-an-image', entries: [] };
    }

    // Nothing here fails but the WebAssembly itself, which is then dropped
    // whole: no memory is given back on the way out.
    const place = module._malloc(Math.max(input.length, 1));
    if (place === 0) {
      throw new Error('korve.convertImage: no memory for the image');
    }
    module.HEAPU8.set(input, place);
    const image = number('korve_web_read_image', place, input.length);
    module._free(place);
    const entries = [];
    const count = number('korve_web_image_entries', image);
    for (let index = 0; index < count; index++) {
      const field = (name) => number(`korve_web_entry_${name}`, image, index);
      entries.push({
        name: bytesOf(field('name')),
        type: field('type'),
        length: field('length'),
        problem: word('korve_web_entry_problem', image, index),
        alasm: field('alasm') !== 0,
        hobeta: bytesOf(field('hobeta')),
      });
    }
    const problem = word('korve_web_image_problem', image);
    number('korve_web_free_image', image);
    return { problem, entries };
  }

  // The words for a problem from `table` of the page's language (messages.js),
  // and its fixed name; both null for none.
  function problemOf(key, table) {
    if (key === '') {
      return { problem: null, problemKey: null };
    }
    const words = messages[document.documentElement.lang] || messages.en;
    return { problem: words[table][key], problemKey: key };
  }

  // Bytes of names that file systems refuse or treat specially, made "_".
  const refusedInNames = new Set([...'/\\:*?"<>|'].map((c) => c.charCodeAt(0)));
  const firstHighByte = 0x80;
  const highBytes = new TextDecoder('ibm866');

  function fileNameOf(nameBytes, type) {
    const name = [...nameBytes, '.'.charCodeAt(0), type].map((byte) => {
      if (byte < 0x20 || byte === 0x7F || refusedInNames.has(byte)) {
        return '_';
      }
      return byte >= firstHighByte ? highBytes.decode(Uint8Array.of(byte)) : String.fromCharCode(byte);
    }).join('');
    // A blank name of type "." would be "..", the folder above.
    return name === '..' ? '__' : name;
  }

  // `name`, or `name (2)` and on where a name that differs only in case is
  // taken: unzipped on Windows or a Mac, they would be one file.
  function unclaimed(name, taken) {
    let unique = name;
    for (let number = 2; taken.has(unique.toLowerCase()); number++) {
      unique = `${name} (${number})`;
    }
    taken.add(unique.toLowerCase());
    return unique;
  }

  async function convertImage(name, bytes) {
    checkName(name, 'korve.convertImage');
    const input = asBytes(bytes, 'korve.convertImage');
    const image = await withModule((module) => readImage(module, input));
    if (image.problem === 'not-an-image') {
      return null;
    }
    const taken = new Set();
    const entries = [];
    for (const entry of image.entries) {
      const fileName = unclaimed(fileNameOf(entry.name, entry.type), taken);
      const converted = entry.alasm ? await convert(fileName, entry.hobeta)
        : { status: null, console: null, output: null };
      entries.push({
        name: latin1(entry.name),
        type: String.fromCharCode(entry.type),
        length: entry.length,
        alasm: entry.alasm,
        ...problemOf(entry.problem, 'entryProblems'),
        fileName,
        ...converted,
      });
    }
    return { ...problemOf(image.problem, 'imageProblems'), entries };
  }

  window.korve = Object.freeze({ convert, convertImage });
})();
