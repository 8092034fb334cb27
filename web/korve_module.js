// korveModule: the WebAssembly that korve_api.js and korvex_api.js run, and
// what both need to run it: loading it from the page, calling its korve_web_*
// functions, copying bytes in and out of its memory, and checking the names
// and bytes that callers give.
'use strict';

const korveModule = (function () {
  const folder = '/files';  // where a run's files are, and where each run comes back to
  const longestName = 255;  // bytes of UTF-8, as file systems allow
  const utf8 = new TextDecoder();

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

  // The korve_web_* functions of korve_web.cpp and korve_web_korvex.cpp, over
  // numbers (places in memory among them) or giving a fixed name.
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
    // A name that a function makes of the name `text`, both UTF-8.
    const nameOf = (name, text) => {
      const made = module.ccall(`korve_web_${name}`, 'number', ['string'], [text]);
      const found = utf8.decode(bytesOf(made));
      number('free_bytes', made);
      return found;
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
    return { number, word, bytesOf, nameOf, inMemory };
  }

  function removeIfThere(FS, path) {
    if (FS.analyzePath(path).exists) {
      FS.unlink(path);
    }
  }

  return Object.freeze({ folder, utf8, checkName, asBytes, withModule, calls, removeIfThere });
})();
