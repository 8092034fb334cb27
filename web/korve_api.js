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

  function checkName(name) {
    if (typeof name !== 'string' || name === '' || name === '.' || name === '..' ||
        name.includes('/') || name.includes('\0') ||
        new TextEncoder().encode(name).length > longestName) {
      throw new TypeError(`korve.convert: ${JSON.stringify(name)} is not a file name`);
    }
  }

  function asBytes(bytes) {
    if (bytes instanceof ArrayBuffer) {
      return new Uint8Array(bytes);
    }
    if (ArrayBuffer.isView(bytes)) {
      return new Uint8Array(bytes.buffer, bytes.byteOffset, bytes.byteLength);
    }
    throw new TypeError('korve.convert: the bytes must be a typed array or an ArrayBuffer');
  }

  function removeIfThere(FS, path) {
    if (FS.analyzePath(path).exists) {
      FS.unlink(path);
    }
  }

  async function convert(name, bytes) {
    checkName(name);
    const input = asBytes(bytes);
    const module = await loadModule();
    const { FS } = module;
    const outputName = `${name}.asm`;
    try {
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
    } catch (error) {
      // WebAssembly that has stopped (out of memory, say) cannot run again:
      // the next conversion starts a new one.
      if (error instanceof WebAssembly.RuntimeError) {
        modulePromise = null;
      }
      throw error;
    } finally {
      if (modulePromise) {
        for (const path of [name, outputName, consolePath]) {
          removeIfThere(FS, path);
        }
      }
    }
  }

  window.korve = Object.freeze({ convert });
})();
