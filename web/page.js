// The page: files picked or dropped are converted through korveApi, a row
// each; a row tells the outcome in words, shows the text and korve's console
// on demand, and downloads the output. A disk image's row lists its files,
// each shown as a file's row. All outputs download as one zip. The page only
// draws: what an input is and how its conversion went are korveApi's facts,
// its words are messages.js's, and bytes become text through codePages.
'use strict';

(function () {
  // What a row holds: kind 'file' is one input file, kind 'image' a disk
  // image, whose entries are each shown as a file. Each kind says how it
  // shows itself and which conversions it holds; each conversion knows the
  // path its output takes in "download all".
  const rowKinds = {
    file: {
      render: (row) => renderFileRow(row),
      items: (row) => [row],
    },
    image: {
      render: (row) => renderImageRow(row),
      items: (row) => row.entries,
    },
  };

  const state = {
    language: initialLanguage(),
    codePage: 'cp866',
    format: 'exact',  // or 'utf8'
    busy: false,
    rows: [],
  };

  const $ = (id) => document.getElementById(id);
  const text = () => messages[state.language];

  function initialLanguage() {
    const chosen = remembered('language');
    if (chosen in messages) {
      return chosen;
    }
    const preferred = navigator.languages || [navigator.language || 'en'];
    return preferred.some((tag) => /^ru\b/i.test(tag)) ? 'ru' : 'en';
  }

  // A setting kept across visits where the browser allows it.
  function remembered(key) {
    try {
      return localStorage.getItem(`korve.${key}`);
    } catch {
      return null;
    }
  }
  function remember(key, value) {
    try {
      localStorage.setItem(`korve.${key}`, value);
    } catch {
      // not kept: the page works the same
    }
  }

  function element(tag, properties = {}, ...children) {
    const node = document.createElement(tag);
    for (const [key, value] of Object.entries(properties)) {
      if (key === 'dataset') {
        Object.assign(node.dataset, value);
      } else if (key.startsWith('on')) {
        node.addEventListener(key.slice(2), value);
      } else {
        node[key] = value;
      }
    }
    node.append(...children.filter((child) => child !== null));
    return node;
  }

  // ---- Drawing korve's facts ----

  // The outcome of one conversion: a kind (a class for styles and checks)
  // and words. An entry of an image may not have been read, or not be ALASM
  // data.
  function outcomeOf(item) {
    const words = text();
    if (item.problemKey) {
      return { kind: 'unread', words: words.entryProblems[item.problemKey] };
    }
    if (item.alasm === false) {
      return { kind: 'not-alasm', words: words.notAlasm };
    }
    if (!item.result || item.result.error) {
      return { kind: 'failed', words: item.readFailed ? words.unreadable : words.failed };
    }
    const { outcome, lines, undefinedToken } = item.result;
    if (outcome === 'converted' && lines !== null) {
      return { kind: 'converted', words: words.converted(lines) };
    }
    if (outcome === 'not-alasm') {
      return { kind: 'not-alasm', words: words.notAlasm };
    }
    if (undefinedToken) {
      const { token, line } = undefinedToken;
      return { kind: 'undefined-token', words: words.undefinedToken(token, line) };
    }
    return { kind: 'failed', words: words.failed };
  }

  // Bytes as text through the chosen code page (see code_pages.js for `shown`).
  const decodeBytes = (bytes, shown) => codePages.decode(bytes, state.codePage, shown);

  function headerNameOf(item) {
    const name = item.result && item.result.headerName;
    return name ? decodeBytes(name, 'name') : null;
  }

  // korve's console, through the code page: the header's name is in it.
  function consoleOf(item) {
    return item.result.error ?? decodeBytes(item.result.consoleBytes, 'view');
  }

  // ---- Downloads ----

  // The name of an output as the chosen kind of download.
  function downloadName(name) {
    return state.format === 'utf8' ? `${name}.utf8.asm` : `${name}.asm`;
  }

  // The name and bytes of an output as the chosen kind of download.
  function download(name, output) {
    const bytes = state.format === 'utf8'
      ? new TextEncoder().encode(decodeBytes(output, 'text')) : output;
    return { name: downloadName(name), bytes };
  }

  function save(name, bytes, type) {
    const url = URL.createObjectURL(new Blob([bytes], { type }));
    const link = element('a', { href: url, download: name });
    document.body.append(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(url), 60000);
  }

  // An item's output, named for its downloads, and where it goes in the zip.
  function outputsOf(item) {
    return item.result && item.result.output
      ? [{ name: item.name, path: item.path, output: item.result.output }] : [];
  }

  // Zip entries made on Unix (3), plain files anyone may read (0o100644):
  // unzip then takes their UTF-8 names as they are, where it would translate
  // the names of entries made on DOS, the zip library's default.
  const zipEntry = { os: 3, attrs: 0o100644 << 16 };

  function allOutputs() {
    return state.rows.flatMap((row) => rowKinds[row.kind].items(row).flatMap(outputsOf));
  }

  function downloadAll() {
    const entries = {};
    for (const { path, output } of allOutputs()) {
      const file = download(path, output);
      entries[file.name] = [file.bytes, zipEntry];
    }
    save('korve.zip', fflate.zipSync(entries), 'application/zip');
  }

  // ---- Rows ----

  // What one converted input shows: its outcome, its download, and on demand
  // the text and the console.
  function resultView(item) {
    const words = text();
    const outcome = outcomeOf(item);
    const parts = [element('p', { className: 'outcome', textContent: outcome.words })];
    if (item.result && item.result.badChecksum) {
      parts.push(element('p', { className: 'outcome warning', textContent: words.badChecksum }));
    }
    const outputs = outputsOf(item);
    if (outputs.length > 0) {
      const { output } = outputs[0];
      parts.push(element('button', {
        className: 'download',
        type: 'button',
        textContent: `${words.download} ${downloadName(item.name)}`,
        onclick: () => {
          const file = download(item.name, output);
          save(file.name, file.bytes, state.format === 'utf8'
            ? 'text/plain;charset=utf-8' : 'application/octet-stream');
        },
      }));
      parts.push(foldOut(item, 'preview', words.preview, () => decodeBytes(output, 'view')));
    }
    if (item.result) {
      parts.push(foldOut(item, 'console', words.console, () => consoleOf(item)));
    }
    return { outcome, parts };
  }

  // A part shown on demand, filled when first opened; it stays open across
  // redrawing.
  function foldOut(item, part, title, content) {
    const open = Boolean(item.open && item.open[part]);
    const body = element('pre', { className: part, tabIndex: 0 });
    if (open) {
      body.textContent = content();
    }
    return element('details', {
      className: part,
      open,
      ontoggle: (event) => {
        item.open = { ...item.open, [part]: event.target.open };
        if (event.target.open && body.textContent === '') {
          body.textContent = content();
        }
      },
    }, element('summary', { textContent: title }), body);
  }

  function renderFileRow(row) {
    const { outcome, parts } = resultView(row);
    const headerName = headerNameOf(row);
    return element('li', { className: 'row', dataset: { name: row.name, outcome: outcome.kind } },
      element('div', { className: 'row-head' },
        element('span', { className: 'file-name', textContent: row.name }),
        headerName === null ? null : element('span', {
          className: 'header-name',
          textContent: `${text().headerName}: ${headerName}`,
        })),
      ...parts);
  }

  // A disk image: its problem, if any, and its files, each with its TR-DOS
  // name (through the code page), length and outcome.
  function renderImageRow(row) {
    const words = text();
    const alasm = row.entries.filter((entry) => entry.alasm).length;
    const entries = row.entries.map((entry) => {
      const { outcome, parts } = resultView(entry);
      return element('li', { className: 'entry', dataset: { name: entry.name, outcome: outcome.kind } },
        element('div', { className: 'row-head' },
          element('span', { className: 'file-name', textContent: decodeBytes(entry.trdosName, 'name') }),
          element('span', { className: 'header-name', textContent: words.length(entry.length) })),
        ...parts);
    });
    const outcome = row.problemKey ? 'broken-image' : 'image';
    return element('li', { className: 'row image', dataset: { name: row.name, outcome } },
      element('div', { className: 'row-head' },
        element('span', { className: 'file-name', textContent: row.name }),
        element('span', { className: 'header-name', textContent: words.image(row.entries.length, alasm) })),
      row.problemKey === null ? null : element('p', {
        className: 'outcome warning',
        textContent: words.imageProblems[row.problemKey],
      }),
      element('ul', { className: 'entries' }, ...entries));
  }

  function render() {
    const words = text();
    document.documentElement.lang = state.language;
    document.title = words.title;
    for (const node of document.querySelectorAll('[data-text]')) {
      node.textContent = words[node.dataset.text];
    }
    $('rows').replaceChildren(...state.rows.map((row) => rowKinds[row.kind].render(row)));
    $('download-all').disabled = state.busy || allOutputs().length === 0;
    $('clear').disabled = state.busy || state.rows.length === 0;
    const items = state.rows.flatMap((row) => rowKinds[row.kind].items(row));
    const converted = items.filter((item) => outcomeOf(item).kind === 'converted').length;
    $('summary').textContent = state.busy ? words.converting
      : state.rows.length === 0 ? '' : words.summary(items.length, converted);
  }

  // Converts the files one after another, each batch after the last; a file
  // of a name already listed replaces its row, as it would replace the file
  // in a folder. What korve's core recognises as a disk image is an image's
  // row; anything else, ALASM data first, a file's row.
  let converting = Promise.resolve();
  function addFiles(files) {
    converting = converting.then(() => convertFiles(files));
  }

  // An image's row; each entry is an item as a file's row is, named for its
  // downloads by its file name.
  function imageRow(name, image) {
    return {
      kind: 'image',
      name,
      problemKey: image.problemKey,
      entries: image.entries.map((entry) => ({
        name: entry.fileName,
        path: entry.path,
        trdosName: entry.trdosName,
        length: entry.length,
        alasm: entry.alasm,
        problemKey: entry.problemKey,
        result: entry.alasm ? entry : null,
        open: {},
      })),
    };
  }

  async function convertFiles(files) {
    state.busy = true;
    render();
    for (const file of files) {
      let row = {
        kind: 'file', name: file.name, path: file.name, result: null, readFailed: false, open: {},
      };
      let bytes = null;
      try {
        bytes = new Uint8Array(await file.arrayBuffer());
      } catch {
        row.readFailed = true;
      }
      if (bytes) {
        try {
          const input = await korveApi.recognise(bytes);
          const image = input === 'scl-archive' || input === 'trdos-image'
            ? await korveApi.convertImage(file.name, bytes) : null;
          if (image) {
            row = imageRow(file.name, image);
          } else {
            row.result = await korveApi.convert(file.name, bytes);
          }
        } catch (error) {
          row.result = { error: String(error), output: null };
        }
      }
      const same = state.rows.findIndex((other) => other.name === row.name);
      if (same >= 0) {
        state.rows[same] = row;
      } else {
        state.rows.push(row);
      }
      render();
    }
    state.busy = false;
    render();
  }

  // ---- Controls ----

  function setUp() {
    const codePage = $('code-page');
    codePage.replaceChildren(...codePages.names.map((value) =>
      element('option', { value, textContent: codePages.label(value) })));
    codePage.value = state.codePage;
    codePage.addEventListener('change', () => {
      state.codePage = codePage.value;
      render();
    });
    const language = $('language');
    language.value = state.language;
    language.addEventListener('change', () => {
      state.language = language.value;
      remember('language', state.language);
      render();
    });
    $('format').addEventListener('change', (event) => {
      state.format = event.target.value;
      render();
    });

    const picker = $('files');
    $('choose').addEventListener('click', () => picker.click());
    picker.addEventListener('change', () => {
      addFiles([...picker.files]);
      picker.value = '';  // the same files picked again convert again
    });
    $('download-all').addEventListener('click', downloadAll);
    $('clear').addEventListener('click', () => {
      state.rows = [];
      render();
    });

    // Files may be dropped anywhere on the page.
    const drop = $('drop');
    document.addEventListener('dragover', (event) => {
      event.preventDefault();
      drop.classList.add('dragging');
    });
    document.addEventListener('dragleave', (event) => {
      if (event.relatedTarget === null) {
        drop.classList.remove('dragging');
      }
    });
    document.addEventListener('drop', (event) => {
      event.preventDefault();
      drop.classList.remove('dragging');
      addFiles([...event.dataTransfer.files]);
    });
    render();
  }

  // The API for scripts: korveApi, where each problem's fixed name has
  // beside it the words this page shows for it, in its language.
  function withWords(key, table) {
    return { problem: key === null ? null : text()[table][key], problemKey: key };
  }
  async function convertImage(name, bytes) {
    const image = await korveApi.convertImage(name, bytes);
    return image && {
      ...image,
      ...withWords(image.problemKey, 'imageProblems'),
      entries: image.entries.map((entry) =>
        ({ ...entry, ...withWords(entry.problemKey, 'entryProblems') })),
    };
  }
  window.korve = Object.freeze({ ...korveApi, convertImage });

  setUp();
})();
