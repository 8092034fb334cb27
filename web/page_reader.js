// The reading view: a file's text, coloured from what the converter knew of
// each byte, or translated with the lines that could not be, as korvex made
// them; the next and previous file, wrapping, copying, from the keyboard too.
'use strict';

Object.assign(korvePage, (function () {
  const { state, $, text, element, remember, decodeBytes, headerNameOf, readable, readsAsUtf8,
    strictUtf8, guarded } = korvePage;

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

  // What the view shows of an item for the choices made: its lines, the
  // facts said above them, and the lines that could not be translated.
  async function readerContent(item) {
    const words = text();
    if (item.kind === 'text') {
      const characters = readsAsUtf8(item.bytes) ? strictUtf8.decode(item.bytes)
        : decodeBytes(item.bytes, 'view');
      return { lines: plainLines(characters), facts: words.textFacts, untranslated: [] };
    }
    if (state.dialect === 'alasm') {
      const view = await viewOf(item);
      return { lines: view ? colouredLines(view) : [], facts: words.alasmFacts(headerNameOf(item)),
        untranslated: [] };
    }
    const { file, made } = await korvePage.korvexFile(item,
      { ...korvePage.textOptions(), charset: null });
    const untranslated = made?.untranslated ?? [];
    return {
      lines: file ? plainLines(decodeBytes(file.bytes, 'view')) : [],
      facts: words.translatedFacts(state.dialect, untranslated.length),
      untranslated,
    };
  }

  // Draws the view of the item for the choices made; a later choice or file
  // wins over one still being drawn.
  let drawing = 0;
  async function drawReader() {
    const item = state.reader;
    const drawn = ++drawing;
    drawReaderPlace();
    $('reader-text').classList.toggle('wrap', state.wrap);
    $('reader-wrap').checked = state.wrap;
    const { lines, facts, untranslated } = await readerContent(item);
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

  // The view's buttons, keys and closing.
  function setUpReader() {
    const reader = $('reader');
    $('reader-previous').addEventListener('click', () => stepReader(-1));
    $('reader-next').addEventListener('click', () => stepReader(1));
    $('reader-wrap').addEventListener('change', (event) => setWrap(event.target.checked));
    $('reader-copy').addEventListener('click', copyReader);
    $('reader-download').addEventListener('click',
      () => guarded(korvePage.downloadItem)(state.reader));
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
  }

  return { openReader, showReader, drawReaderPlace, setUpReader };
})());
