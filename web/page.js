// The page: files picked or dropped are read through korveApi. A lone file
// is one compact row; a disk image is one row that unfolds into its
// catalogue, a line per file; text files are rows to pack back into ALASM
// data. A file opens in the reading view, coloured from what the converter
// knew of each byte. Downloads are what korvex writes, with the layout,
// dialect and code page chosen. The page only draws: what an input is and
// how its conversion went are korveApi's facts, its words are messages.js's,
// and bytes become text through codePages.
'use strict';

(function () {
  const state = {
    language: initialLanguage(),
    codePage: 'cp866',
    layout: 'stored',    // or 'tidy'
    dialect: 'alasm',    // or 'sjasmplus', 'pasmo'
    format: 'exact',     // or 'utf8'
    wrap: remembered('wrap') === 'yes',
    busy: false,
    rows: [],
    reader: null,        // the item the reading view shows
    notice: null,        // what the last download or pack said, {words, messages}
  };
  let nextId = 1;

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

  // Bytes as text through the chosen code page (see code_pages.js for `shown`).
  const decodeBytes = (bytes, shown) => codePages.decode(bytes, state.codePage, shown);

  // The outcome of one conversion: a kind (a class for styles and checks)
  // and words. An entry of an image may not have been read, or not be ALASM
  // data.
  function outcomeOf(item) {
    const words = text();
    if (item.kind === 'text') {
      return { kind: 'text', words: words.toPack };
    }
    if (item.problemKey) {
      return { kind: 'unread', words: words.entryProblems[item.problemKey] };
    }
    if (item.alasm === false) {
      return { kind: 'not-alasm', words: words.notAlasmShort };
    }
    if (!item.result || item.result.error) {
      return { kind: 'failed', words: item.readFailed ? words.unreadable : words.failed };
    }
    const { outcome, lines, undefinedToken } = item.result;
    if (outcome === 'converted' && lines !== null) {
      return { kind: 'converted', words: words.converted };
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

  // Whether an item has text to read and download: korvex writes no file
  // for data that stops on its first line.
  function hasText(item) {
    return item.kind === 'text' || Boolean(item.result && item.result.lines > 0);
  }

  // The header's name as a person reads it, and its type where korve's
  // name shows it: "PGMFLASH, type H".
  function headerNameOf(item) {
    const result = item.result;
    if (!result || !result.headerName) {
      return null;
    }
    const name = decodeBytes(result.headerPlainName, 'name');
    const type = result.headerType && decodeBytes(Uint8Array.of(result.headerType.charCodeAt(0)),
      'name');
    return type ? text().headerNameTyped(name, type) : name;
  }

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
  // texts: the lines it could not translate among them); and korvex's
  // messages about it, those that name its source.
  async function korvexFile(item, options = textOptions()) {
    const run = await korvexText(item.image ?? item, options);
    // A lone file's run makes its one text, or none; an image's, one for
    // each ALASM file, found by the name of the file it wrote.
    const made = (item.image ? run.texts.find((one) => one.file === item.textName)
      : run.texts[0]) ?? null;
    const file = (made && run.files.find((written) => written.name === made.file)) ?? null;
    const about = made === null ? [] : run.messages.split('\n').filter((line) =>
      line.startsWith(`korvex: ${made.input}:`) || line.startsWith(`korvex: ${made.input} `));
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

  // Says what a download or a pack came to, korvex's own messages with it.
  function tell(words, messagesText = '') {
    state.notice = { words, messages: messagesText.trim() };
    render();
  }

  // Runs what a button or a choice asked for; what fails is said on the
  // page, not lost in the console.
  function guarded(work) {
    return (...args) => work(...args).catch((error) => tell(text().failedWith(String(error))));
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

  function rowHasText(row) {
    return row.kind === 'image' ? row.entries.some(hasText) : hasText(row);
  }

  // ---- Packing text back into ALASM data ----

  // Whether a text is UTF-8 with something beyond ASCII in it: such text is
  // stored through the code page, other text as its bytes stand.
  const strictUtf8 = new TextDecoder('utf-8', { fatal: true });
  function readsAsUtf8(bytes) {
    if (bytes.every((byte) => byte < 0x80)) {
      return false;
    }
    try {
      strictUtf8.decode(bytes);
      return true;
    } catch {
      return false;
    }
  }

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
    await convertFiles(made.map(({ name, bytes }) => ({ name, bytes })));
  }

  // ---- The reading view ----

  // The items that open in the reading view, in the order of the list.
  function readable() {
    return state.rows.flatMap((row) => (row.kind === 'image' ? row.entries : [row]))
      .filter(hasText);
  }

  function openReader(item) {
    state.reader = item;
    const reader = $('reader');
    if (!reader.open) {
      reader.showModal();
    }
    showReader();
    $('reader-text').focus();
  }

  function stepReader(step) {
    const items = readable();
    const at = items.indexOf(state.reader);
    const next = items[at + step];
    if (next) {
      openReader(next);
    }
  }

  // One line of the listing: its number beside it (drawn, so that copying
  // takes the text alone), its parts coloured.
  function listingLine(number, pieces) {
    return element('div', { className: 'line', dataset: { n: number } },
      element('span', { className: 'code' }, ...pieces));
  }

  // The view's text from the converter: runs of bytes of one part each,
  // through the code page, in the colour of their part.
  function colouredLines(view) {
    const lines = [];
    let pieces = [];
    let begin = 0;
    const { text: bytes, parts } = view;
    for (let at = 0; at < bytes.length; at++) {
      const part = parts[at];
      if (part === 'E') {
        lines.push(listingLine(lines.length + 1, pieces));
        pieces = [];
        begin = at + 1;
      } else if (parts[at + 1] !== part) {
        pieces.push(element('span', {
          className: `part-${part}`,
          textContent: decodeBytes(bytes.subarray(begin, at + 1), 'view'),
        }));
        begin = at + 1;
      }
    }
    return lines;
  }

  // Text that is not ALASM's: translated, or to be packed. A translator's
  // marker line stands out.
  function plainLines(characters) {
    const lines = characters.split('\n');
    if (lines[lines.length - 1] === '') {
      lines.pop();
    }
    return lines.map((line, index) => listingLine(index + 1, [element('span', {
      className: line.startsWith(';!') ? 'part-X' : '',
      textContent: line,
    })]));
  }

  function viewBytesOf(item) {
    return item.image ? item.hobeta : item.bytes;
  }

  // What fails while the view is drawn is said in the view itself.
  function showReader() {
    drawReader().catch((error) => {
      $('reader-facts').textContent = text().failedWith(String(error));
    });
  }

  // Where the view's item stands among the others, which files added while
  // it is open change, and the choices it shows.
  function drawReaderPlace() {
    const item = state.reader;
    const items = readable();
    const at = items.indexOf(item);
    $('reader-title').textContent = item.image ? `${item.image.name}: ${decodeBytes(item.trdosName, 'name')}`
      : item.name;
    $('reader-previous').disabled = at <= 0;
    $('reader-next').disabled = at < 0 || at >= items.length - 1;
    $('reader-position').textContent = text().position(at + 1, items.length);
    for (const choice of ['layout', 'dialect']) {
      $(`reader-${choice}`).value = state[choice];
      $(`reader-${choice}`).disabled = item.kind === 'text';
    }
  }

  // The converter's view of an item's ALASM data, made once for each layout.
  function viewOf(item) {
    item.views = item.views || new Map();
    if (!item.views.has(state.layout)) {
      const view = korveApi.view(viewBytesOf(item), { layout: state.layout });
      view.catch(() => item.views.delete(state.layout));
      item.views.set(state.layout, view);
    }
    return item.views.get(state.layout);
  }

  // Draws the view of the item for the choices made; a later choice or file
  // wins over one still being drawn.
  let drawing = 0;
  async function drawReader() {
    const item = state.reader;
    const words = text();
    const drawn = ++drawing;
    drawReaderPlace();
    $('reader-text').classList.toggle('wrap', state.wrap);
    $('reader-wrap').checked = state.wrap;
    let lines;
    let facts = '';
    let untranslated = [];
    if (item.kind === 'text') {
      const characters = readsAsUtf8(item.bytes) ? strictUtf8.decode(item.bytes)
        : decodeBytes(item.bytes, 'view');
      lines = plainLines(characters);
      facts = words.textFacts;
    } else if (state.dialect === 'alasm') {
      const view = await viewOf(item);
      lines = view ? colouredLines(view) : [];
      facts = words.alasmFacts(headerNameOf(item));
    } else {
      const { file, made } = await korvexFile(item, { ...textOptions(), charset: null });
      lines = file ? plainLines(decodeBytes(file.bytes, 'view')) : [];
      untranslated = made?.untranslated ?? [];
      facts = words.translatedFacts(state.dialect, untranslated.length);
    }
    if (drawn !== drawing) {
      return;
    }
    $('reader-facts').textContent = facts;
    // korve's console, through the code page: the header's name is in it.
    const console = $('reader-console');
    console.hidden = !item.result;
    console.querySelector('pre').textContent = item.result
      ? item.result.error ?? decodeBytes(item.result.consoleBytes, 'view') : '';
    $('reader-text').replaceChildren(...lines);
    $('reader-text').scrollTop = 0;
    drawUntranslated(untranslated);
  }

  // The lines that could not be translated, each taking the view to its
  // marker in the text.
  function drawUntranslated(untranslated) {
    const words = text();
    const list = $('reader-untranslated');
    list.hidden = untranslated.length === 0;
    if (list.hidden) {
      list.replaceChildren();
      return;
    }
    const markers = () => [...$('reader-text').querySelectorAll('.part-X')];
    list.replaceChildren(
      element('p', { textContent: words.untranslatedTitle(untranslated.length) }),
      element('ul', {}, ...untranslated.map(({ line, reason }, index) => element('li', {},
        element('button', {
          type: 'button',
          className: 'link',
          textContent: words.lineNumber(line),
          onclick: () => markers()[index]?.closest('.line').scrollIntoView({ block: 'center' }),
        }), ` ${reason}`))));
  }

  // Copies the view's text as shown; where the browser keeps its clipboard
  // from the page, by selecting it.
  async function copyReader() {
    const listing = $('reader-text');
    const lines = [...listing.querySelectorAll('.code')].map((line) => line.textContent);
    const copied = `${lines.join('\n')}\n`;
    let done = false;
    try {
      await navigator.clipboard.writeText(copied);
      done = true;
    } catch {
      const range = document.createRange();
      range.selectNodeContents(listing);
      const selection = getSelection();
      selection.removeAllRanges();
      selection.addRange(range);
      done = document.execCommand('copy');
      selection.removeAllRanges();
    }
    const button = $('reader-copy');
    button.textContent = done ? text().copied : text().notCopied;
    setTimeout(() => { button.textContent = text().copy; }, 1500);
  }

  function setWrap(wrap) {
    state.wrap = wrap;
    remember('wrap', wrap ? 'yes' : 'no');
    $('reader-text').classList.toggle('wrap', wrap);
    $('reader-wrap').checked = wrap;
  }

  // Keys of the reading view, unless a choice has the keyboard.
  const readerKeys = {
    n: () => stepReader(1),
    ArrowRight: () => stepReader(1),
    p: () => stepReader(-1),
    ArrowLeft: () => stepReader(-1),
    w: () => setWrap(!state.wrap),
    c: () => copyReader(),
  };

  // ---- Rows ----

  function actions(item) {
    const words = text();
    if (!hasText(item)) {
      return element('span', { className: 'actions' });
    }
    return element('span', { className: 'actions' },
      element('button', {
        type: 'button', className: 'open', textContent: words.open, onclick: () => openReader(item),
      }),
      element('button', {
        type: 'button',
        className: 'download',
        textContent: words.download,
        title: words.downloadTitle,
        onclick: () => guarded(downloadItem)(item),
      }));
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

  // A disk image: one row, which unfolds into its catalogue.
  function renderImageRow(row) {
    const words = text();
    const alasm = row.entries.filter((entry) => entry.alasm).length;
    const outcome = row.problemKey ? 'broken-image' : 'image';
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
          guarded(downloadImage)(row);
        },
      }) : null));
    const table = element('ol', { className: 'catalogue' },
      element('li', { className: 'cells heading' },
        ...words.columns.map((column) => element('span', { textContent: column }))),
      ...row.entries.map((entry) => element('li', {
        className: 'cells entry',
        dataset: { name: entry.fileName, outcome: outcomeOf(entry).kind },
      }, ...cells(entry, decodeBytes(entry.trdosName, 'name'), entryWhat(entry), entry.length))));
    return element('li', { className: 'row image', dataset: { name: row.name, outcome } },
      element('details', {
        open: row.open,
        ontoggle: (event) => { row.open = event.target.open; },
      }, head, table));
  }

  // An entry's type is in its name (PGMFLASH.H): what it is, is its header.
  function entryWhat(entry) {
    const headerName = headerNameOf(entry);
    return headerName ?? '';
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
    const items = state.rows.flatMap((row) => (row.kind === 'image' ? row.entries : [row]))
      .filter((item) => item.kind !== 'text');
    const converted = items.filter((item) => outcomeOf(item).kind === 'converted').length;
    $('summary').textContent = state.busy ? words.converting
      : items.length === 0 ? '' : words.summary(items.length, converted);
    const notice = $('notice');
    notice.hidden = state.notice === null;
    if (state.notice) {
      notice.replaceChildren(element('p', { textContent: state.notice.words }),
        state.notice.messages ? element('pre', { textContent: state.notice.messages }) : null);
    }
    if ($('reader').open && state.reader) {
      drawReaderPlace();
    }
  }

  // ---- Reading the inputs ----

  // Reads the files one after another, each batch after the last; a file of
  // a name already listed replaces its row, as it would replace the file in
  // a folder. What korve's core recognises as a disk image is an image's
  // row; a text file (.asm, .txt) that holds no ALASM data is one to pack;
  // anything else, ALASM data first, a file's row.
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
      hobeta: entry.hobeta,
      result: entry.alasm ? entry : null,
    }));
    const made = { ...row, kind: 'image', input: image.input, problemKey: image.problemKey,
      entries, open: true };
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
      const input = await korveApi.recognise(row.bytes);
      if (input === 'scl-archive' || input === 'trdos-image') {
        const image = await korveApi.convertImage(file.name, row.bytes);
        if (image) {
          return imageRow(row, image);
        }
      }
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

  async function convertFiles(files) {
    state.busy = true;
    render();
    for (const file of files) {
      const row = await readRow(file);
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

  function choice(id, key, after = () => {}) {
    const select = $(id);
    select.value = state[key];
    select.addEventListener('change', () => {
      state[key] = select.value;
      after();
      render();
      if ($('reader').open && state.reader) {
        showReader();
      }
    });
  }

  function setUp() {
    $('code-page').replaceChildren(...codePages.names.map((value) =>
      element('option', { value, textContent: codePages.label(value) })));
    choice('code-page', 'codePage');
    choice('language', 'language', () => remember('language', state.language));
    choice('format', 'format');
    // The layout and the dialect are chosen on the page and in the view alike.
    for (const key of ['layout', 'dialect']) {
      $(`reader-${key}`).replaceChildren(...[...$(key).options].map((option) => option.cloneNode(true)));
      choice(key, key, () => { $(`reader-${key}`).value = state[key]; });
      choice(`reader-${key}`, key, () => { $(key).value = state[key]; });
    }

    const picker = $('files');
    $('choose').addEventListener('click', () => picker.click());
    picker.addEventListener('change', () => {
      addFiles([...picker.files]);
      picker.value = '';  // the same files picked again read again
    });
    $('download-all').addEventListener('click', guarded(downloadAll));
    $('clear').addEventListener('click', () => {
      state.rows = [];
      state.notice = null;
      render();
    });
    $('pack-button').addEventListener('click', guarded(packTexts));
    $('pack-output').addEventListener('change', render);

    const reader = $('reader');
    $('reader-previous').addEventListener('click', () => stepReader(-1));
    $('reader-next').addEventListener('click', () => stepReader(1));
    $('reader-wrap').addEventListener('change', (event) => setWrap(event.target.checked));
    $('reader-copy').addEventListener('click', copyReader);
    $('reader-download').addEventListener('click', () => guarded(downloadItem)(state.reader));
    $('reader-close').addEventListener('click', () => reader.close());
    reader.addEventListener('close', () => {
      const opened = state.reader;
      state.reader = null;
      // Back to where the file was opened from: the list may have been drawn
      // anew meanwhile.
      if (opened) {
        const named = (name) => `[data-name="${CSS.escape(name)}"]`;
        const row = `#rows > .row${named(opened.image ? opened.image.name : opened.name)}`;
        const place = opened.image ? `${row} .entry${named(opened.fileName)}` : row;
        document.querySelector(`${place} button.open`)?.focus();
      }
    });
    reader.addEventListener('keydown', (event) => {
      const busy = event.target instanceof HTMLSelectElement ||
        event.target instanceof HTMLInputElement && event.target.type !== 'checkbox';
      const action = readerKeys[event.key];
      if (action && !busy && !event.ctrlKey && !event.metaKey && !event.altKey) {
        event.preventDefault();
        action();
      }
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
