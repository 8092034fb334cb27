// The list: a lone file is one compact row; a disk image is one row that
// unfolds into its catalogue, a line per file; text files are rows to pack
// back into ALASM data. Reading the files picked or dropped into rows, and
// drawing the whole page for the state it is in.
'use strict';

Object.assign(korvePage, (function () {
  const { state, $, text, element, decodeBytes, outcomeOf, hasText, rowHasText, headerNameOf,
    guarded, tell } = korvePage;

  // An item's buttons: its text's, where it has text, and a disk's file's
  // own, where it could be read.
  function actions(item) {
    const words = text();
    const get = item.kind === 'entry' && !item.problemKey ? element('button', {
      type: 'button',
      className: 'get',
      textContent: words.getFile,
      title: words.getFileTitle,
      onclick: () => guarded(korvePage.getEntry)(item),
    }) : null;
    if (!hasText(item)) {
      return element('span', { className: 'actions' }, get);
    }
    return element('span', { className: 'actions' },
      element('button', {
        type: 'button',
        className: 'open',
        textContent: words.open,
        onclick: () => korvePage.openReader(item),
      }),
      element('button', {
        type: 'button',
        className: 'download',
        textContent: words.download,
        title: words.downloadTitle,
        onclick: () => guarded(korvePage.downloadItem)(item),
      }), get);
  }

  // How a disk's File buttons download its files, as they are or as Hobeta
  // files: a choice in its catalogue's heading, above them.
  function getChoice(row) {
    const words = text();
    const select = element('select', {
      className: 'get-as',
      title: words.getAsTitle,
      onchange: () => { row.getAs = select.value; },
    },
    element('option', { value: 'file', textContent: words.getAsFile }),
    element('option', { value: 'hobeta', textContent: words.getAsHobeta }));
    select.value = row.getAs ?? 'file';
    return select;
  }

  // One line of a table: name, what it is, size, lines, outcome, actions.
  function cells(item, name, what, size) {
    const outcome = outcomeOf(item);
    const lines = item.kind === 'text' ? item.lines : item.result?.lines ?? null;
    return [
      element('span', { className: 'name', textContent: name }),
      element('span', { className: 'what', textContent: what }),
      element('span', { className: 'size', textContent: text().size(size) }),
      element('span', { className: 'lines', textContent: lines === null ? '' : text().lines(lines) }),
      element('span', { className: 'outcome', textContent: outcome.words }),
      actions(item),
    ];
  }

  function fileWhat(item) {
    const words = text();
    if (item.kind === 'text') {
      return words.kinds.text;
    }
    const headerName = headerNameOf(item);
    const kind = words.kinds[item.result?.input] ?? '';
    return headerName === null ? kind : `${kind} · ${words.inHeader(headerName)}`;
  }

  function renderFileRow(row) {
    const outcome = outcomeOf(row);
    const warning = row.result?.badChecksum ? element('p', {
      className: 'warning', textContent: text().badChecksum,
    }) : null;
    return element('li', { className: 'row file', dataset: { name: row.name, outcome: outcome.kind } },
      element('div', { className: 'cells' }, ...cells(row, row.name, fileWhat(row), row.bytes.length)),
      warning);
  }

  // A disk image: one row, which unfolds into its catalogue; below it, what
  // korvex says of the image itself (a floppy's damage among it).
  function renderImageRow(row) {
    const words = text();
    const alasm = row.entries.filter((entry) => entry.alasm).length;
    const outcome = row.problemKey || row.said.length > 0 ? 'broken-image' : 'image';
    const said = row.said.length === 0 ? null : element('p', {
      className: 'warning',
      textContent: `${words.korvexSays} ${row.said.map((one) => `${one.severity}: ${one.text}`)
        .join('; ')}`,
    });
    const head = element('summary', { className: 'cells' },
      element('span', { className: 'name', textContent: row.name }),
      element('span', { className: 'what', textContent: words.kinds[row.input] }),
      element('span', { className: 'size', textContent: words.size(row.bytes.length) }),
      element('span', { className: 'lines', textContent: words.files(row.entries.length) }),
      element('span', { className: 'outcome', textContent: row.problemKey
        ? words.imageProblems[row.problemKey] : words.image(row.entries.length, alasm) }),
      element('span', { className: 'actions' }, rowHasText(row) ? element('button', {
        type: 'button',
        className: 'download-image',
        textContent: words.downloadZip,
        title: words.downloadImageTitle,
        onclick: (event) => {
          event.preventDefault();
          guarded(korvePage.downloadImage)(row);
        },
      }) : null));
    const table = element('ol', { className: 'catalogue' },
      element('li', { className: 'cells heading' },
        ...words.columns.map((column) => element('span', { textContent: column })),
        element('span', { className: 'actions' }, getChoice(row))),
      ...row.entries.map((entry) => element('li', {
        className: 'cells entry',
        dataset: { name: entry.fileName, outcome: outcomeOf(entry).kind },
      }, ...cells(entry, decodeBytes(entry.trdosName, 'name'), entryWhat(entry), entry.length))));
    return element('li', { className: 'row image', dataset: { name: row.name, outcome } },
      element('details', {
        open: row.open,
        ontoggle: (event) => { row.open = event.target.open; },
      }, head, table), said);
  }

  // An entry's type is in its name (PGMFLASH.H): what it is, is its header.
  function entryWhat(entry) {
    const headerName = headerNameOf(entry);
    return headerName ?? '';
  }

  // The disks the texts may be put back into, the one chosen kept chosen.
  function renderPut() {
    const disks = korvePage.putTargets().map((row) => row.name);
    const select = $('put-disk');
    const chosen = disks.includes(select.value) ? select.value : disks[0];
    $('put').hidden = disks.length === 0;
    select.replaceChildren(...disks.map((name) => element('option', { value: name, textContent: name })));
    select.value = chosen ?? '';
    $('put-button').disabled = state.busy;
  }

  const renderers = { file: renderFileRow, text: renderFileRow, image: renderImageRow };

  function render() {
    const words = text();
    document.documentElement.lang = state.language;
    document.title = words.title;
    for (const node of document.querySelectorAll('[data-text]')) {
      node.textContent = words[node.dataset.text];
    }
    for (const node of document.querySelectorAll('[data-title]')) {
      node.title = words[node.dataset.title];
    }
    $('rows').replaceChildren(...state.rows.map((row) => renderers[row.kind](row)));
    $('download-all').disabled = state.busy || !state.rows.some(rowHasText);
    $('clear').disabled = state.busy || state.rows.length === 0;
    const texts = state.rows.filter((row) => row.kind === 'text').length;
    $('pack').hidden = texts === 0;
    $('pack-count').textContent = words.packCount(texts);
    $('pack-button').disabled = state.busy;
    $('pack-name').disabled = $('pack-output').value === 'hobeta';
    renderPut();
    const items = state.rows.flatMap((row) => (row.kind === 'image' ? row.entries : [row]))
      .filter((item) => item.kind !== 'text');
    const converted = items.filter((item) => outcomeOf(item).kind === 'converted').length;
    $('summary').textContent = state.busy ? words.converting
      : items.length === 0 ? '' : words.summary(items.length, converted);
    const notice = $('notice');
    notice.hidden = state.notice === null;
    if (state.notice) {
      // replaceChildren would show a null as the text "null".
      notice.replaceChildren(element('p', { textContent: state.notice.words }),
        ...(state.notice.messages ? [element('pre', { textContent: state.notice.messages })] : []));
    }
    if ($('reader').open && state.reader) {
      korvePage.drawReaderPlace();
    }
  }

  // ---- Reading the inputs ----

  // Reads the files one after another, each batch after the last; a file of
  // a name already listed replaces its row, as it would replace the file in
  // a folder. What korve's core recognises as a disk image is an image's
  // row; a text file (.asm, .txt) that holds no ALASM data is one to pack;
  // anything else, ALASM data first, a file's row.
  let nextId = 1;
  let reading = Promise.resolve();
  function addFiles(files) {
    reading = reading.then(() => convertFiles(files));
    return reading;
  }

  const textFile = /\.(asm|txt|a80|s)$/i;
  const lineFeed = 0x0A;

  function imageRow(row, image) {
    const entries = image.entries.map((entry) => ({
      kind: 'entry',
      image: null,
      name: entry.fileName,
      fileName: entry.fileName,
      textName: entry.textName,
      trdosName: entry.trdosName,
      type: entry.type,
      length: entry.length,
      alasm: entry.alasm,
      problemKey: entry.problemKey,
      damage: entry.damage,
      hobeta: entry.hobeta,
      result: entry.alasm ? entry : null,
    }));
    const made = { ...row, kind: 'image', input: image.input, problemKey: image.problemKey,
      said: image.said, entries, open: true };
    for (const entry of entries) {
      entry.image = made;
    }
    return made;
  }

  async function readRow(file) {
    const row = { kind: 'file', id: nextId++, name: file.name, bytes: new Uint8Array(), result: null,
      readFailed: false };
    try {
      row.bytes = file instanceof Blob ? new Uint8Array(await file.arrayBuffer()) : file.bytes;
    } catch {
      row.readFailed = true;
      return row;
    }
    try {
      // korve's core says what is an image: a disk, an archive or a floppy.
      const image = await korveApi.convertImage(file.name, row.bytes);
      if (image) {
        return imageRow(row, image);
      }
      const input = await korveApi.recognise(row.bytes);
      if (input === 'none' && textFile.test(file.name)) {
        const lines = row.bytes.reduce((count, byte) => count + (byte === lineFeed ? 1 : 0), 0);
        return { ...row, kind: 'text', lines };
      }
      row.result = await korveApi.convert(file.name, row.bytes);
    } catch (error) {
      row.result = { error: String(error), output: null };
    }
    return row;
  }

  // Two disks read together: what changed from one to the other, as korvex
  // diff says it, in UTF-8 through the chosen code page.
  async function showChanges([a, b]) {
    const run = await korveApi.diff(a, b, { charset: codePages.charset(state.codePage) });
    const words = [text().sameDisks, text().diskChanges, text().notCompared][run.status];
    tell(words(a.name, b.name), `${new TextDecoder().decode(run.output)}\n${run.messages}`);
  }

  async function convertFiles(files) {
    state.busy = true;
    render();
    const read = [];
    for (const file of files) {
      const row = await readRow(file);
      read.push(row);
      const same = state.rows.findIndex((other) => other.name === row.name);
      if (same >= 0) {
        state.rows[same] = row;
      } else {
        state.rows.push(row);
      }
      render();
    }
    if (read.length === 2 && read.every((row) => row.kind === 'image')) {
      await showChanges(read).catch((error) => tell(text().failedWith(String(error))));
    }
    state.busy = false;
    render();
  }

  return { render, addFiles, convertFiles };
})());
