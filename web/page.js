// The page: files picked or dropped are read through korveApi into rows
// (page_rows.js); a file opens in the reading view (page_reader.js);
// downloads are what korvex writes, with the layout, dialect and code page
// chosen, text packs back into ALASM data or is put back into a disk, and a
// disk's files download as they are or as Hobeta files (page_files.js). The
// page only draws: what an input is and how its conversion went are
// korveApi's facts, its words are messages.js's, and bytes become text
// through codePages.
// This part sets up the controls, and publishes korveApi to scripts.
'use strict';

(function () {
  const { state, $, text, element, remember, guarded } = korvePage;

  // A choice kept in the state; the page, and the view where it is open,
  // drawn anew for it.
  function choice(id, key, after = () => {}) {
    const select = $(id);
    select.value = state[key];
    select.addEventListener('change', () => {
      state[key] = select.value;
      after();
      korvePage.render();
      if ($('reader').open && state.reader) {
        korvePage.showReader();
      }
    });
  }

  function setUpChoices() {
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
  }

  function setUpList() {
    const picker = $('files');
    $('choose').addEventListener('click', () => picker.click());
    picker.addEventListener('change', () => {
      korvePage.addFiles([...picker.files]);
      picker.value = '';  // the same files picked again read again
    });
    $('download-all').addEventListener('click', guarded(korvePage.downloadAll));
    $('clear').addEventListener('click', () => {
      state.rows = [];
      state.notice = null;
      korvePage.render();
    });
    $('pack-button').addEventListener('click', guarded(korvePage.packTexts));
    $('pack-output').addEventListener('change', korvePage.render);
    $('put-button').addEventListener('click', guarded(korvePage.putTexts));
  }

  // Files may be dropped anywhere on the page.
  function setUpDrop() {
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
      korvePage.addFiles([...event.dataTransfer.files]);
    });
  }

  // The API for scripts: korveApi, where each problem's fixed name has
  // beside it the words this page shows for it, in its language.
  async function convertImage(name, bytes) {
    const image = await korveApi.convertImage(name, bytes);
    return image && {
      ...image,
      problem: image.problemKey === null ? null : text().imageProblems[image.problemKey],
      entries: image.entries.map((entry) =>
        ({ ...entry, problem: entry.problemKey === null ? null : korvePage.entryProblemOf(entry) })),
    };
  }
  window.korve = Object.freeze({ ...korveApi, convertImage });

  setUpChoices();
  setUpList();
  korvePage.setUpReader();
  setUpDrop();
  korvePage.render();
})();
