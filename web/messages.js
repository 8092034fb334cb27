// The page's words, in English and Russian (most ALASM users read Russian).
// korve's console text is the program's own and is never translated.
'use strict';

// The form of a counted noun: `forms` by plural category of `language`.
function counted(language, count, forms) {
  return `${count} ${forms[new Intl.PluralRules(language).select(count)] || forms.other}`;
}

const messages = {
  en: {
    title: 'korve: ALASM sources to text',
    tagline: 'Turns Z80 assembler sources that ALASM 5.x saved on a ZX Spectrum, bare or in ' +
      'Hobeta files, into plain text. It all happens here, in your browser: nothing is uploaded.',
    language: 'Language',
    dropHere: 'Drop files here (.h, .$h, .$C or any other name), or',
    choose: 'Choose files…',
    codePage: 'Code page',
    downloads: 'Downloads',
    exact: 'korve’s bytes, exactly',
    utf8: 'UTF-8 text, through the code page',
    downloadAll: 'Download all (.zip)',
    clear: 'Clear the list',
    converting: 'Converting…',
    summary: (files, converted) => `Files: ${files}, converted: ${converted}.`,
    headerName: 'name in header',
    converted: (lines) => `Converted: ${counted('en', lines, { one: 'line', other: 'lines' })}.`,
    notAlasm: 'Not ALASM data: nothing to convert.',
    undefinedToken: (token, line) => `Stopped at an undefined token ${token} on line ${line}; ` +
      (line === 1 ? 'no line comes before it.' : `the ${counted('en', line - 1,
        { one: 'line', other: 'lines' })} before it ${line === 2 ? 'is' : 'are'} kept.`),
    badChecksum: 'The Hobeta header’s checksum is wrong; converted all the same.',
    failed: 'Not converted: see the console.',
    unreadable: 'The browser could not read this file.',
    download: 'Download',
    preview: 'Preview',
    console: 'Console',
    footer: 'The conversion is the korve command-line program’s own C++ code, compiled to ' +
      'WebAssembly. Downloads are its bytes exactly, with LF line ends, unless UTF-8 text is ' +
      'chosen. Zip files are written with fflate (MIT licence).',
  },
  ru: {
    title: 'korve: исходники ALASM в текст',
    tagline: 'Переводит в обычный текст исходники на ассемблере Z80, сохранённые ALASM 5.x на ' +
      'ZX Spectrum, как есть или в файлах Hobeta. Всё происходит здесь, в браузере: файлы никуда ' +
      'не отправляются.',
    language: 'Язык',
    dropHere: 'Перетащите сюда файлы (.h, .$h, .$C или с любым другим именем) или',
    choose: 'Выберите файлы…',
    codePage: 'Кодировка',
    downloads: 'Скачивание',
    exact: 'байты korve, в точности',
    utf8: 'текст UTF-8 через кодовую страницу',
    downloadAll: 'Скачать всё (.zip)',
    clear: 'Очистить список',
    converting: 'Преобразование…',
    summary: (files, converted) => `Файлов: ${files}, преобразовано: ${converted}.`,
    headerName: 'имя в заголовке',
    converted: (lines) => `Преобразован: ${counted('ru', lines,
      { one: 'строка', few: 'строки', many: 'строк', other: 'строки' })}.`,
    notAlasm: 'Это не данные ALASM: преобразовывать нечего.',
    undefinedToken: (token, line) => `Остановлено на неизвестном токене ${token} в строке ` +
      `${line}; ` + (line === 1 ? 'строк до неё нет.' : `строки до неё (${line - 1}) сохранены.`),
    badChecksum: 'Неверная контрольная сумма заголовка Hobeta; файл всё равно преобразован.',
    failed: 'Не преобразован: см. консоль.',
    unreadable: 'Браузер не смог прочитать этот файл.',
    download: 'Скачать',
    preview: 'Просмотр',
    console: 'Консоль',
    footer: 'Преобразует тот же код на C++, что и программа korve для командной строки, ' +
      'скомпилированный в WebAssembly. Скачанные файлы — её байты в точности, с концами строк ' +
      'LF, если не выбран текст UTF-8. Zip-архивы пишет библиотека fflate (лицензия MIT).',
  },
};
