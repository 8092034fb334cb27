// korvexApi: korvex's runs in this page, text, pack, put, get and diff, the
// problems each said and what `text` wrote as values, the name of the Hobeta
// file a text packs into, and the reading view's text. korve_api.js
// publishes them with korve's own, and describes them all at its top.
'use strict';

const korvexApi = (function () {
  const { folder, utf8, checkName, asBytes, withModule, calls } = korveModule;

  // A korvex run works in a folder of its own that holds its inputs, as a
  // user's shell would, and writes text, a disk put or files got into an
  // empty folder beside it.
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

  // A flag that takes no value, as an option that is true or false.
  const switchFlag = (flag) => ({ flag });

  // korvex's flags for the options a caller gave: each a string (or for a
  // switchFlag, true or false), or left out (undefined or null) for
  // korvex's default.
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
      if (typeof known[key] === 'object') {
        if (typeof value !== 'boolean') {
          throw new TypeError(`${caller}: the option ${key} must be true or false`);
        }
        if (value) {
          flags.push(known[key].flag);
        }
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

  // A text's file as `files` names it, relative to the output folder, from
  // the name korvex's messages give it (that folder as korvex was given it,
  // then the name); null for none.
  function relativeFile(file) {
    if (file === '') {
      return null;
    }
    return file.startsWith(korvexOutputsFromInputs) ? file.slice(korvexOutputsFromInputs.length)
      : file;
  }

  // What `text` wrote, as the C++ run keeps it: each text's source as
  // korvex's messages name it, its file, its lines, and the lines it could
  // not translate.
  function textsOf(module, run) {
    const { number, bytesOf } = calls(module);
    const string = (name, ...args) => utf8.decode(bytesOf(number(name, run, ...args)));
    const texts = [];
    const count = number('korvex_texts', run);
    for (let index = 0; index < count; index++) {
      const untranslated = [];
      for (let at = 0; at < number('korvex_untranslated', run, index); at++) {
        untranslated.push({
          line: number('korvex_untranslated_line', run, index, at),
          reason: string('korvex_untranslated_reason', index, at),
        });
      }
      texts.push({
        input: string('korvex_text_input', index),
        file: relativeFile(string('korvex_text_file', index)),
        lines: number('korvex_text_lines', run, index),
        untranslated,
      });
    }
    return texts;
  }

  // Every problem korvex said, in order, as the C++ run keeps it: how bad,
  // where (the input as its messages name it, a file on it, a line and a
  // column; "" or 0 for none), what it says, and the line it printed, or
  // null where it printed none.
  function problemsOf(module, run) {
    const { number, word, bytesOf } = calls(module);
    const string = (name, index) => utf8.decode(bytesOf(number(name, run, index)));
    const problems = [];
    for (let index = 0; index < number('korvex_problems', run); index++) {
      const printed = string('korvex_problem_printed', index);
      problems.push({
        severity: word('korvex_problem_severity', run, index),
        where: {
          input: string('korvex_problem_input', index),
          file: string('korvex_problem_file', index),
          line: number('korvex_problem_line', run, index),
          column: number('korvex_problem_column', run, index),
        },
        text: string('korvex_problem_text', index),
        printed: printed === '' ? null : printed,
      });
    }
    return problems;
  }

  // Runs `korvex WORD...` in its folder, whose inputs are `inputs`
  // ({name, bytes}); gives its status, its standard error as UTF-8 text, the
  // problems it said, and what `read` reads from the file system and the run
  // before both are tidied away.
  function runKorvex(inputs, words, read) {
    return withModule((module) => {
      const { FS } = module;
      const { number, inMemory } = calls(module);
      FS.mkdir(korvexFolder);
      FS.mkdir(korvexInputs);
      FS.mkdir(korvexOutputs);
      for (const { name, bytes } of inputs) {
        FS.writeFile(`${korvexInputs}/${name}`, bytes);
      }
      const packed = new TextEncoder().encode(words.map((word) => `${word}\0`).join(''));
      FS.chdir(korvexInputs);
      let run;
      try {
        run = inMemory(packed, (place, size) => module.ccall('korve_web_run_korvex', 'number',
          ['number', 'number', 'string', 'string'], [place, size, korvexStdout, korvexStderr]));
      } finally {
        FS.chdir(folder);
      }
      const status = number('korvex_status', run);
      if (status < 0) {
        number('free_korvex', run);
        throw new Error('korve: the console text of korvex was lost');
      }
      const messages = utf8.decode(FS.readFile(korvexStderr));
      const result = { status, messages, problems: problemsOf(module, run), ...read(module, run) };
      number('free_korvex', run);
      return result;
    }, ({ FS }) => removeTree(FS, korvexFolder));
  }

  const textFlags = {
    layout: '--layout', dialect: '--dialect', charset: '--charset', eol: '--eol',
  };

  async function text(name, bytes, options) {
    const caller = 'korve.text';
    checkKorvexName(name, caller);
    const input = asBytes(bytes, caller);
    const words = ['text', ...flagsOf(options, textFlags, caller), '-o', korvexOutputsFromInputs,
      '--', name];
    return runKorvex([{ name, bytes: input }], words, (module, run) => ({
      files: filesUnder(module.FS, korvexOutputs),
      texts: textsOf(module, run),
    }));
  }

  const packFlags = { output: null, charset: '--charset' };

  // A list of {name, bytes} as korvex's inputs, each checked, no name twice.
  function inputsOf(files, caller) {
    if (!Array.isArray(files)) {
      throw new TypeError(`${caller}: the files must be a list of {name, bytes}`);
    }
    const inputs = files.map((file) => {
      checkKorvexName(file && file.name, caller);
      return { name: file.name, bytes: asBytes(file.bytes, caller) };
    });
    if (new Set(inputs.map((file) => file.name)).size !== inputs.length) {
      throw new TypeError(`${caller}: two files have the same name`);
    }
    return inputs;
  }

  async function pack(files, options) {
    const caller = 'korve.pack';
    const output = options && options.output;
    checkKorvexName(output, `${caller}: output`);
    const inputs = inputsOf(files, caller);
    const words = ['pack', ...flagsOf(options, packFlags, caller), '-o', output, '--',
      ...inputs.map((file) => file.name)];
    return runKorvex(inputs, words, ({ FS }) => {
      const path = `${korvexInputs}/${output}`;
      const written = FS.analyzePath(path).exists && !inputs.some((file) => file.name === output);
      return { bytes: written ? FS.readFile(path) : null };
    });
  }

  const putFlags = { name: '--name', charset: '--charset', layout: '--layout' };

  // The texts put back into the disk, written whole under the disk's own
  // name into the output folder, which nothing else is written into.
  async function put(disk, texts, options) {
    const caller = 'korve.put';
    if (!Array.isArray(texts)) {
      throw new TypeError(`${caller}: the texts must be a list of {name, bytes}`);
    }
    const inputs = inputsOf([disk, ...texts], caller);
    const { name } = inputs[0];
    const words = ['put', ...flagsOf(options, putFlags, caller), '-o',
      `${korvexOutputsFromInputs}${name}`, '--', ...inputs.map((file) => file.name)];
    return runKorvex(inputs, words, ({ FS }) => {
      const path = `${korvexOutputs}/${name}`;
      return { bytes: FS.analyzePath(path).exists ? FS.readFile(path) : null };
    });
  }

  // The files named (NAME.T, as a disk's entries name them), or every file,
  // copied off the disk as they are or as Hobeta files.
  async function get(disk, names = [], options = {}) {
    const caller = 'korve.get';
    const [input] = inputsOf([disk], caller);
    if (!Array.isArray(names)) {
      throw new TypeError(`${caller}: the names must be a list of NAME.T`);
    }
    names.forEach((name) => checkName(name, caller));
    const words = ['get', ...flagsOf(options, { hobeta: switchFlag('--hobeta') }, caller), '-o',
      korvexOutputsFromInputs, '--', input.name, ...names];
    return runKorvex([input], words, ({ FS }) => ({ files: filesUnder(FS, korvexOutputs) }));
  }

  // Two inputs compared by `korvex diff A B`: its status, its messages, and
  // what it printed, as bytes (a source's names and lines as stored).
  async function diff(a, b, options) {
    const caller = 'korve.diff';
    const inputs = [a, b].map((file) => {
      checkKorvexName(file && file.name, caller);
      return { name: file.name, bytes: asBytes(file.bytes, caller) };
    });
    if (inputs[0].name === inputs[1].name) {
      throw new TypeError(`${caller}: the two files have the same name`);
    }
    const words = ['diff', ...flagsOf(options, { charset: '--charset' }, caller), '--',
      ...inputs.map((file) => file.name)];
    return runKorvex(inputs, words, ({ FS }) => ({ output: FS.readFile(korvexStdout) }));
  }

  async function hobetaName(name) {
    checkName(name, 'korve.hobetaName');
    return withModule((module) => calls(module).nameOf('hobeta_name', name));
  }

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

  return Object.freeze({ text, pack, put, get, diff, hobetaName, view });
})();
