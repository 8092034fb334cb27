// korveApi: korve's converter in this page, the same C++ code as the
// command-line program, compiled to WebAssembly, and what it found, as named
// facts. korve's runs and disk images are here; korvex's runs and the
// reading view are korvex_api.js's, published here with them, over what
// korve_module.js runs. Nothing leaves the page, and nothing here is words for a user: the
// page (page.js) draws the facts in its own words (messages.js), and
// publishes this API to scripts as window.korve, where it adds one thing:
// beside each `problemKey` of convertImage, `problem`, the words the page
// shows for it in its language.
//
//   const input = await korve.recognise(bytes);
//
// tells what `bytes` (a Uint8Array, another typed array or an ArrayBuffer)
// are, from their first bytes, as korve's core tells it: "alasm" (ALASM
// data), "hobeta" (ALASM data behind a Hobeta header), "scl", "trd",
// "fdi", "udi", "td0" (floppy images) or "none". ALASM data wins over a
// disk's mark, as on the command line.
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
// reads `bytes` as a TR-DOS disk image (.trd), an SCL archive (.scl) or a
// floppy image of a TR-DOS disk (.fdi, .udi, .td0), recognised by their
// content as korvex reads them (a floppy as the .trd it carries), and
// converts every file on it that holds ALASM data. It gives null for bytes
// that are none of these; otherwise `{input, problemKey, said, entries}`:
// `input`, "trd", "scl", "fdi", "udi" or "td0"; `problemKey`, what is wrong
// with the image as a fixed name ("cut-short", "past-the-disk",
// "count-too-large", "checksum-mismatch", "sector-damaged"), or null;
// `said`, what korvex says of the image itself, each {severity, text}
// ("warning", "its file CRC does not match its bytes"), as its problems
// below give them (a floppy's own damage is said here alone). A broken
// image still gives every file that can be read. `entries` lists its live
// files in catalogue order, each `{name, type, trdosName, length, alasm,
// problemKey, fileName, textName, path, hobeta, status, console, output,
// ...facts}`: `name` and `type` as TR-DOS spells them (each byte the
// character of the same number), `trdosName` the bytes of its name, a dot
// and its type, as TR-DOS shows them, `length` the catalogue's length in
// bytes, `alasm` whether it holds ALASM data, `problemKey` why its data could
// not be read ("cut-short", "past-the-disk" or "sector-damaged") or null,
// `damage` for "sector-damaged" the sector the floppy lost, as korvex names
// it ("track 1, sector 3 failed its CRC"), else "", `fileName` the name
// korvex gives its files (its name and type, each byte that a file system
// could refuse made "_", bytes of 0x80 and above read as CP866, ".." as
// "__", a name Windows keeps for a device with a leading "_", numbered
// " (2)" and on where names on the same image would clash ignoring case),
// `textName` the name of its text file among korvex's (fileName and korvex's
// suffix: "PGMFLASH.H.asm"), `path` where its files go beside those of other
// inputs, in a folder named after the image, NAME/fileName; `hobeta` the
// entry's Hobeta file, which is what converts (null for a file that is no
// ALASM data); and `status`, `console`, `output` and the facts exactly what
// `convert(fileName, …)` gives on the entry's Hobeta file: a header holding
// its catalogue entry, then its whole sectors. For a file that is not ALASM
// data, or could not be read, those are null. NAME is a file name, as above.
//
//   const result = await korve.text(name, bytes, {layout, dialect, charset, eol});
//
// gives what `korvex text --layout LAYOUT --dialect DIALECT --charset CHARSET
// --eol EOL -o DIR NAME` gives in a folder holding `bytes` as the file NAME:
// `status`, its exit status (0 when everything converted); `messages`, its
// standard error, as UTF-8 text; `problems`, every problem it said, in the
// order said, each {severity, where, text, printed}: `severity` "error",
// "warning", "note", "progress" or "untranslated" (a line that could not be
// translated), `where` its place, {input, file, line, column}, the input as
// korvex's messages name it (`texts` below names its sources alike), a file
// on it, and a line and a column of the text, each "" or 0 where there is
// none, `text` what it says, and `printed` the line korvex printed for it
// on `messages`, or null for none (progress, which it prints only with -v);
// `files`, each file it wrote, as {name, bytes}, `name` relative to DIR, in
// sorted order; and `texts`, what
// it made of each source, in the order it wrote them, each {input, file,
// lines, untranslated}: `input` the source as korvex's messages name it
// (NAME, or NAME:fileName for a file on a disk image), `file` the name of its
// text file as `files` gives it, or null where none was written (the data
// stopped on its first line), `lines` how many of the source's lines it
// holds (up to an undefined token; translated, a line may take more than one
// of the text's), and `untranslated` each line that could not be translated
// for the dialect, as {line, reason}: its number from 1, and korvex's
// reason. Each option is a string, as korvex's flag takes it ("tidy",
// "sjasmplus", "CP866", "crlf"), or left out for korvex's default; a value
// korvex refuses gives its usage error and status 2. NAME is a file name, as
// above, other than "-".
//
//   const result = await korve.pack(files, {output, charset});
//
// gives what `korvex pack --charset CHARSET -o OUTPUT NAME...` gives in a
// folder holding `files`, a list of {name, bytes}: `status`, `messages` and
// `problems` as above, and `bytes`, what it wrote to OUTPUT (DISK.trd,
// GAME.scl, DISK.fdi, GAME.$h, or any other name for bare ALASM data), or
// null where it wrote nothing.
//
//   const result = await korve.put(disk, texts, {name, charset, layout});
//
// gives what `korvex put --name NAME --charset CHARSET --layout LAYOUT
// -o OUT DISK TEXT...` gives in a folder holding `disk` and `texts`, each
// {name, bytes}, under their names, where OUT is DISK's name in an empty
// folder: `status`, `messages` and `problems` as above, and `bytes`, the
// disk with the texts put back as korvex wrote it to OUT, or null where it
// wrote nothing.
// DISK is a disk image, an SCL archive, an FDI or UDI floppy image, a Hobeta
// file or bare ALASM data (korvex refuses a TD0 image, and writes nothing); a
// text replaces the file korvex text wrote it from (GREET.H.asm the file
// GREET.H), or `name` names that file for the one text; a text of no file
// on a disk is added to it as a new file. Each file's name is a file name,
// as above, other than "-", and no two are the same.
//
//   const result = await korve.get(disk, names, {hobeta});
//
// gives what `korvex get [--hobeta] -o DIR DISK NAME.T...` gives in a folder
// holding `disk`, {name, bytes}: `status`, `messages` and `problems` as
// above, and `files` as korve.text gives them, each file copied off the disk
// into DIR: as its catalogue's length gives its bytes, or with `hobeta`
// true, as a Hobeta file (NAME.$T). `names` lists the files as convertImage's `fileName`
// names them (GREET.C); left out or empty, every file is copied. DISK's
// name is a file name, as above, other than "-".
//
//   const result = await korve.diff(a, b, {charset});
//
// gives what `korvex diff --charset CHARSET A B` gives in a folder holding
// `a` and `b`, each {name, bytes}, under their names: `status` (0 the same,
// 1 they differ, 2 trouble), `messages` and `problems` as above, and
// `output`, what it printed, as bytes.
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
//
//   const name = await korve.hobetaName(textName);
//
// gives a name for the Hobeta file that the text file TEXTNAME packs back
// into, as the page names it when it packs a file per text: GAME.$h.asm
// gives GAME.$h, PGMFLASH.H.asm PGMFLASH.$h, notes.txt notes.$h. TEXTNAME is
// a file name, as above.
'use strict';

const korveApi = (function () {
  const { utf8, checkName, asBytes, withModule, calls, removeIfThere } = korveModule;
  const consolePath = '/console.txt';  // outside the run's folder: no NAME meets it
  const lineFeed = 0x0A;

  // What korve's core makes of an input's first bytes: its kind, and for
  // ALASM data its header's name and whether a Hobeta checksum matched.
  function readInput(module, input) {
    const { number, word, bytesOf, inMemory } = calls(module);
    const start = input.subarray(0, number('recognised_bytes'));
    const facts = inMemory(start, (place, size) => number('read_input', place, size));
    const kind = word('input_kind', facts);
    const alasm = kind === 'alasm' || kind === 'hobeta';
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

  // Where korve stops on the ALASM data `input`, {token, line}, as its
  // message names the token; null where it converts every line.
  function readStop(module, input) {
    const { number, bytesOf, inMemory } = calls(module);
    const stop = inMemory(input, (place, size) => number('read_stop', place, size));
    if (stop === 0) {
      return null;
    }
    const found = number('stop_stopped', stop) === 0 ? null : {
      token: codePages.decode(bytesOf(number('stop_token', stop)), 'latin1'),
      line: number('stop_line', stop),
    };
    number('free_stop', stop);
    return found;
  }

  function countLines(bytes) {
    let lines = 0;
    for (const byte of bytes) {
      lines += byte === lineFeed ? 1 : 0;
    }
    return lines;
  }

  async function convert(name, bytes) {
    checkName(name, 'korve.convert');
    const input = asBytes(bytes, 'korve.convert');
    let outputName = null;
    return withModule((module) => {
      const { FS } = module;
      const { word, nameOf } = calls(module);
      outputName = nameOf('text_name', name);
      FS.writeFile(name, input);
      const status = module.ccall('korve_web_run', 'number', ['string', 'string', 'string'],
        [name, outputName, consolePath]);
      if (status < 0) {
        throw new Error('korve.convert: the console text was lost');
      }
      const consoleBytes = FS.readFile(consolePath);
      const output = FS.analyzePath(outputName).exists ? FS.readFile(outputName) : null;
      const outcome = word('status_name', status);
      return {
        status,
        console: utf8.decode(consoleBytes),
        output,
        consoleBytes,
        outcome,
        ...readInput(module, input),
        lines: output && countLines(output),
        undefinedToken: outcome === 'undefined-token' && output ? readStop(module, input) : null,
      };
    }, ({ FS }) => {
      for (const path of [name, outputName, consolePath]) {
        if (path !== null) {
          removeIfThere(FS, path);
        }
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
    const said = [];
    for (let index = 0; index < number('image_said', image); index++) {
      said.push({
        severity: word('image_said_severity', image, index),
        text: utf8.decode(bytesOf(number('image_said_text', image, index))),
      });
    }
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
        damage: utf8.decode(bytesOf(field('damage'))),
        alasm: field('alasm') !== 0,
        hobeta: bytesOf(field('hobeta')),
        fileName: utf8.decode(bytesOf(field('file_name'))),
        textName: utf8.decode(bytesOf(field('text_name'))),
      });
    }
    const found = { input: word('image_kind', image), problem: word('image_problem', image), said,
      entries };
    number('free_image', image);
    return found;
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
      return readImage(module, input);
    });
    if (image === null || image.input === 'none') {
      return null;
    }
    const entries = [];
    for (const entry of image.entries) {
      const { fileName, textName } = entry;
      const converted = entry.alasm ? await convert(fileName, entry.hobeta) : notConverted;
      entries.push({
        name: codePages.decode(entry.name, 'latin1'),
        type: String.fromCharCode(entry.type),
        length: entry.length,
        alasm: entry.alasm,
        problemKey: problemKey(entry.problem),
        damage: entry.damage,
        fileName,
        textName,
        path: `${name}/${fileName}`,
        trdosName: entry.trdosName,
        hobeta: entry.alasm ? entry.hobeta : null,
        ...converted,
      });
    }
    return { input: image.input, problemKey: problemKey(image.problem), said: image.said, entries };
  }

  return Object.freeze({ recognise, convert, convertImage, ...korvexApi });
})();
