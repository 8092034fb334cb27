// What every part of the page shares: its state, the words of its
// language, making elements, and korveApi's facts about an item as the page
// tells them. The other parts add their own functions to korvePage: the
// rows (page_rows.js), the reading view (page_reader.js), korvex's text,
// downloads and packing (page_files.js); page.js sets the page up. A part
// takes what this one gives as it loads, and calls the others through
// korvePage as it runs, so that parts may call each other both ways.
'use strict';

const korvePage = (function () {
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

  // Why a disk's file could not be read, in the page's words, with the
  // sector a floppy image lost, as korvex names it.
  function entryProblemOf(entry) {
    const words = text().entryProblems[entry.problemKey];
    return entry.damage ? `${words} (${entry.damage})` : words;
  }

  // The outcome of one conversion: a kind (a class for styles and checks)
  // and words. An entry of an image may not have been read, or not be ALASM
  // data.
  function outcomeOf(item) {
    const words = text();
    if (item.kind === 'text') {
      return { kind: 'text', words: words.toPack };
    }
    if (item.problemKey) {
      return { kind: 'unread', words: entryProblemOf(item) };
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

  // The header's name as every verb spells a file, with its type where
  // korve's name shows it: "PGMFLASH.H".
  function headerNameOf(item) {
    const result = item.result;
    if (!result || !result.headerName) {
      return null;
    }
    const name = decodeBytes(result.headerPlainName, 'name');
    const type = result.headerType && decodeBytes(Uint8Array.of(result.headerType.charCodeAt(0)),
      'name');
    return type ? `${name}.${type}` : name;
  }

  function rowHasText(row) {
    return row.kind === 'image' ? row.entries.some(hasText) : hasText(row);
  }

  // The items that open in the reading view, in the order of the list.
  function readable() {
    return state.rows.flatMap((row) => (row.kind === 'image' ? row.entries : [row]))
      .filter(hasText);
  }

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

  // Says what a download or a pack came to, korvex's own messages with it.
  function tell(words, messagesText = '') {
    state.notice = { words, messages: messagesText.trim() };
    korvePage.render();
  }

  // Runs what a button or a choice asked for; what fails is said on the
  // page, not lost in the console.
  function guarded(work) {
    return (...args) => work(...args).catch((error) => tell(text().failedWith(String(error))));
  }

  return {
    state, $, text, element, remember, decodeBytes, entryProblemOf, outcomeOf, hasText, rowHasText,
    headerNameOf, readable, readsAsUtf8, strictUtf8, tell, guarded,
  };
})();
