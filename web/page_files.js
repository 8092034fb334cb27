// korvex's text as the page takes it, for downloads and the translated
// view; the downloads; packing text back into ALASM data, putting it back
// into a disk, and a disk's files got off it. What korvex made of each text
// comes from korveApi as values; the files' names are those korvex wrote,
// or korveApi gives.
'use strict';

Object.assign(korvePage, (function () {
  const { state, $, text, element, readsAsUtf8, rowHasText, tell } = korvePage;

  // ---- korvex's text, as the downloads and the translated view take it ----

  // The options of korvex text the choices stand for; downloads have LF
  // line ends, whatever the platform.
  function textOptions() {
    return {
      layout: state.layout,
      dialect: state.dialect,
      charset: state.format === 'utf8' ? codePages.charset(state.codePage) : null,
      eol: 'lf',
    };
  }

  // What korvex text gives for a row with the options, run once for each
  // set of them: a lone file's own, or an image's, all its files at once
  // (so that a disk's files can include each other).
  function korvexText(row, options = textOptions()) {
    const key = JSON.stringify(options);
    row.texts = row.texts || new Map();
    if (!row.texts.has(key)) {
      const run = korveApi.text(row.name, row.bytes, options);
      run.catch(() => row.texts.delete(key));
      row.texts.set(key, run);
    }
    return row.texts.get(key);
  }

  // An item's text as korvex writes it with the options: its file, or null
  // where none was written; what korvex made of it (`made`, one of the run's
  // texts: the lines it could not translate among them); and the lines
  // korvex printed about it, for the problems whose place is its source.
  async function korvexFile(item, options = textOptions()) {
    const run = await korvexText(item.image ?? item, options);
    // A lone file's run makes its one text, or none; an image's, one for
    // each ALASM file, found by the name of the file it wrote.
    const made = (item.image ? run.texts.find((one) => one.file === item.textName)
      : run.texts[0]) ?? null;
    const file = (made && run.files.find((written) => written.name === made.file)) ?? null;
    const about = made === null ? [] : run.problems
      .filter(({ where, printed }) => where.input === made.input && printed !== null)
      .map(({ printed }) => printed);
    return { file, made, run, about };
  }

  // ---- Downloads ----

  function save(name, bytes, type) {
    const url = URL.createObjectURL(new Blob([bytes], { type }));
    const link = element('a', { href: url, download: name });
    document.body.append(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(url), 60000);
  }

  const textType = () => (state.format === 'utf8' ? 'text/plain;charset=utf-8'
    : 'application/octet-stream');

  // Zip entries made on Unix (3), plain files anyone may read (0o100644):
  // unzip then takes their UTF-8 names as they are, where it would translate
  // the names of entries made on DOS, the zip library's default.
  const zipEntry = { os: 3, attrs: 0o100644 << 16 };
  function zipOf(files) {
    const entries = {};
    for (const { name, bytes } of files) {
      entries[name] = [bytes, zipEntry];
    }
    return fflate.zipSync(entries);
  }

  async function downloadItem(item) {
    if (item.kind === 'text') {
      save(item.name, item.bytes, 'text/plain');
      return;
    }
    const { file, run, about } = await korvexFile(item);
    if (!file) {
      tell(text().nothingWritten(item.name), run.messages);
      return;
    }
    save(file.name, file.bytes, textType());
    if (about.length > 0) {
      tell(text().savedWithMessages(file.name), about.join('\n'));
    }
  }

  async function downloadImage(row) {
    const run = await korvexText(row);
    if (run.files.length === 0) {
      tell(text().nothingWritten(row.name), run.messages);
      return;
    }
    save(`${row.name}.zip`, zipOf(run.files), 'application/zip');
    if (run.messages !== '') {
      tell(text().savedWithMessages(`${row.name}.zip`), run.messages);
    }
  }

  // Every row's files in one zip, as korvex writes several inputs into one
  // folder: a lone file's text at the top, each image's in a folder of its own.
  async function downloadAll() {
    const files = [];
    const notes = [];
    for (const row of state.rows) {
      if (row.kind === 'text' || !rowHasText(row)) {
        continue;
      }
      const run = await korvexText(row);
      const folder = row.kind === 'image' ? `${row.name}/` : '';
      files.push(...run.files.map(({ name, bytes }) => ({ name: `${folder}${name}`, bytes })));
      notes.push(run.messages);
    }
    save('korve.zip', zipOf(files), 'application/zip');
    const said = notes.join('').trim();
    if (said !== '') {
      tell(text().savedWithMessages('korve.zip'), said);
    }
  }

  // ---- Packing text back into ALASM data ----

  function packCharset(texts) {
    const chosen = $('pack-charset').value;
    const utf8 = chosen === 'utf8' || (chosen === 'auto' && texts.some((row) => readsAsUtf8(row.bytes)));
    return utf8 ? codePages.charset(state.codePage) : null;
  }

  async function packTexts() {
    const texts = state.rows.filter((row) => row.kind === 'text');
    if (texts.length === 0) {
      return;
    }
    const words = text();
    const charset = packCharset(texts);
    const container = $('pack-output').value;
    const disk = $('pack-name').value.trim() || 'DISK';
    const jobs = container === 'hobeta'
      ? await Promise.all(texts.map(async (row) =>
        ({ output: await korveApi.hobetaName(row.name), files: [row] })))
      : [{ output: `${disk}.${container}`, files: texts }];
    const made = [];
    const said = [];
    for (const job of jobs) {
      const result = await korveApi.pack(job.files.map(({ name, bytes }) => ({ name, bytes })),
        { output: job.output, charset });
      said.push(result.messages);
      if (result.bytes) {
        made.push({ name: job.output, bytes: result.bytes });
      }
    }
    if (made.length === 1) {
      save(made[0].name, made[0].bytes, 'application/octet-stream');
    } else if (made.length > 1) {
      save('korve-packed.zip', zipOf(made), 'application/zip');
    }
    tell(made.length === jobs.length ? words.packed(made.map((file) => file.name).join(', '))
      : words.notPacked, said.join(''));
    // What was packed reads back as any input: its row shows what ALASM will see.
    await korvePage.convertFiles(made.map(({ name, bytes }) => ({ name, bytes })));
  }

  // ---- Putting text back into a disk, and files off one ----

  // The rows korvex put takes as a disk the page offers: disk images and
  // archives, then Hobeta files of ALASM data, as korve's core read them.
  function putTargets() {
    const hobeta = (row) => row.kind === 'file' && row.result?.input === 'hobeta';
    return [...state.rows.filter((row) => row.kind === 'image'), ...state.rows.filter(hobeta)];
  }

  // Every text put into the disk chosen, which downloads under its own name
  // and, as put changes a disk in place, takes its row's place.
  async function putTexts() {
    const disk = putTargets().find((row) => row.name === $('put-disk').value);
    const texts = state.rows.filter((row) => row.kind === 'text');
    if (!disk || texts.length === 0) {
      return;
    }
    const result = await korveApi.put({ name: disk.name, bytes: disk.bytes },
      texts.map(({ name, bytes }) => ({ name, bytes })),
      { layout: state.layout, charset: packCharset(texts) });
    if (!result.bytes) {
      tell(text().notPut(disk.name), result.messages);
      return;
    }
    save(disk.name, result.bytes, 'application/octet-stream');
    tell(text().putDone(disk.name), result.messages);
    await korvePage.convertFiles([{ name: disk.name, bytes: result.bytes }]);
  }

  // One file off its disk as korvex get copies it: as it is, or as a
  // Hobeta file where its disk's choice says so.
  async function getEntry(entry) {
    const disk = entry.image;
    const run = await korveApi.get({ name: disk.name, bytes: disk.bytes }, [entry.fileName],
      { hobeta: disk.getAs === 'hobeta' });
    const [file] = run.files;
    if (!file) {
      tell(text().nothingWritten(entry.fileName), run.messages);
      return;
    }
    save(file.name, file.bytes, 'application/octet-stream');
    if (run.messages !== '') {
      tell(text().savedWithMessages(file.name), run.messages);
    }
  }

  return { textOptions, korvexFile, downloadItem, downloadImage, downloadAll, packTexts,
    putTargets, putTexts, getEntry };
})());
