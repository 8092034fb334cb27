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
    tagline: 'Turns Z80 assembler sources that ALASM 5.x saved on a ZX Spectrum, bare, in ' +
      'Hobeta files or on TR-DOS disk images (.trd, .scl), into plain text. It all happens here, ' +
      'in your browser: nothing is uploaded.',
    language: 'Language',
    dropHere: 'Drop files or disk images here (.h, .$h, .$C, .trd, .scl or any other name), or',
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
    image: (files, alasm) => `Disk image: ${counted('en', files, { one: 'file', other: 'files' })}, ` +
      `${alasm} of them ALASM data.`,
    length: (bytes) => counted('en', bytes, { one: 'byte', other: 'bytes' }),
    // What is wrong with an image, and why one of its files could not be read.
    imageProblems: {
      'cut-short': 'The image is cut short: it ends before the files it lists.',
      'past-the-disk': 'A catalogue entry points past the end of the disk.',
      'count-too-large': 'The archive’s file count is larger than the files it holds.',
      'checksum-mismatch': 'The archive’s checksum does not match its contents.',
    },
    entryProblems: {
      'cut-short': 'Not read: the image ends before this file’s data.',
      'past-the-disk': 'Not read: its catalogue entry points past the end of the disk.',
    },
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
      'ZX Spectrum, как есть, в файлах Hobeta или на образах дисков TR-DOS (.trd, .scl). Всё ' +
      'происходит здесь, в браузере: файлы никуда не отправляются.',
    language: 'Язык',
    dropHere: 'Перетащите сюда файлы или образы дисков (.h, .$h, .$C, .trd, .scl или с любым ' +
      'другим именем) или',
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
    image: (files, alasm) => `Образ диска: ${counted('ru', files,
      { one: 'файл', few: 'файла', many: 'файлов', other: 'файла' })}, из них с данными ALASM: ` +
      `${alasm}.`,
    length: (bytes) => counted('ru', bytes, { one: 'байт', few: 'байта', many: 'байт', other: 'байта' }),
    // What is wrong with an image, and why one of its files could not be read.
    imageProblems: {
      'cut-short': 'Образ обрезан: он кончается раньше перечисленных в нём файлов.',
      'past-the-disk': 'Запись каталога указывает за конец диска.',
      'count-too-large': 'Число файлов в заголовке архива больше, чем в нём есть.',
      'checksum-mismatch': 'Контрольная сумма архива не совпадает с его содержимым.',
    },
    entryProblems: {
      'cut-short': 'Не прочитан: образ кончается раньше данных этого файла.',
      'past-the-disk': 'Не прочитан: запись каталога указывает за конец диска.',
    },
    download: 'Скачать',
    preview: 'Просмотр',
    console: 'Консоль',
    footer: 'Преобразует тот же код на C++, что и программа korve для командной строки, ' +
      'скомпилированный в WebAssembly. Скачанные файлы — её байты в точности, с концами строк ' +
      'LF, если не выбран текст UTF-8. Zip-архивы пишет библиотека fflate (лицензия MIT).',
  },
};
