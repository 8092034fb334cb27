// The page's words, in English and Russian (most ALASM users read Russian).
// korve's console text is the program's own and is never translated.
'use strict';

// The form of a counted noun: `forms` by plural category of `language`.
function counted(language, count, forms) {
  return `${count} ${forms[new Intl.PluralRules(language).select(count)] || forms.other}`;
}

const messages = {
  en: {
    title: 'korve: ALASM sources to text and back',
    tagline: 'Reads Z80 assembler sources that ALASM 5.x saved on a ZX Spectrum, bare, in ' +
      'Hobeta files or on TR-DOS disk images (.trd, .scl, .fdi, .udi, .td0), as plain text, ' +
      'for ALASM or for sjasmplus and pasmo; packs text back into ALASM data, or puts it back ' +
      'on its disk. It all happens here, in your browser: nothing is uploaded.',
    language: 'Language',
    dropHere: 'Drop ALASM files (.h, .$h, any name), disk images (.trd, .scl, .fdi, .udi, .td0) ' +
      'or text to pack (.asm, .txt) here, or',
    choose: 'Choose files…',
    codePage: 'Code page',
    layout: 'Layout',
    layoutStored: 'as stored',
    layoutTidy: 'tidy',
    dialect: 'For',
    downloads: 'Downloads',
    exact: 'bytes as stored',
    utf8: 'UTF-8 text',
    downloadAll: 'Download all (.zip)',
    clear: 'Clear',
    converting: 'Reading…',
    summary: (files, converted) => `Files: ${files}, converted: ${converted}.`,
    converted: 'Converted',
    notAlasm: 'Not ALASM data: nothing to convert.',
    notAlasmShort: 'Not ALASM data',
    undefinedToken: (token, line) => `Stopped at an undefined token ${token} on line ${line}; ` +
      (line === 1 ? 'no line comes before it.' : `the ${counted('en', line - 1,
        { one: 'line', other: 'lines' })} before it ${line === 2 ? 'is' : 'are'} kept.`),
    badChecksum: 'The Hobeta header’s checksum is wrong; converted all the same.',
    failed: 'Not converted',
    failedWith: (error) => `Something went wrong: ${error}`,
    unreadable: 'The browser could not read this file.',
    image: (files, alasm) => `${alasm} of ${files} ALASM`,
    size: (bytes) => counted('en', bytes, { one: 'byte', other: 'bytes' }),
    lines: (lines) => counted('en', lines, { one: 'line', other: 'lines' }),
    files: (files) => counted('en', files, { one: 'file', other: 'files' }),
    kinds: {
      alasm: 'ALASM data',
      hobeta: 'Hobeta',
      trd: 'TR-DOS disk',
      scl: 'SCL archive',
      fdi: 'FDI floppy image',
      udi: 'UDI floppy image',
      td0: 'TD0 floppy image',
      none: '',
      text: 'text',
    },
    inHeader: (name) => `header: ${name}`,
    columns: ['File', 'Name in header', 'Size', 'Lines', 'Outcome'],
    // What is wrong with an image, and why one of its files could not be read.
    imageProblems: {
      'cut-short': 'The image is cut short: it ends before the files it lists.',
      'past-the-disk': 'A catalogue entry points past the end of the disk.',
      'count-too-large': 'The archive’s file count is larger than the files it holds.',
      'checksum-mismatch': 'The archive’s checksum does not match its contents.',
      'sector-damaged': 'Sectors of the floppy are damaged: the files on them are lost.',
    },
    entryProblems: {
      'cut-short': 'Not read: the image ends before this file’s data.',
      'past-the-disk': 'Not read: its catalogue entry points past the end of the disk.',
      'sector-damaged': 'Not read: a sector of its data is damaged',
    },
    korvexSays: 'korvex says:',
    open: 'Open',
    download: 'Download',
    downloadTitle: 'The text, with the layout, target and kind of download chosen above',
    downloadZip: 'Zip',
    downloadImageTitle: 'Every file of the disk as text, in one zip',
    nothingWritten: (name) => `Nothing to download for ${name}.`,
    savedWithMessages: (name) => `Downloaded ${name}. korvex said:`,
    toPack: 'Text to pack',
    packTitle: 'Back to ALASM',
    packCount: (texts) => `${counted('en', texts, { one: 'text file', other: 'text files' })} ` +
      'to pack into ALASM data, as korvex pack does. The result downloads and is listed above, ' +
      'as ALASM will read it.',
    packInto: 'Pack into',
    packTrd: 'a TR-DOS disk (.trd)',
    packScl: 'an SCL archive (.scl)',
    packFdi: 'an FDI floppy image (.fdi)',
    packUdi: 'a UDI floppy image (.udi)',
    packHobeta: 'Hobeta files (.$h), one per text',
    packName: 'Disk name',
    packCharset: 'Text is',
    packAuto: 'UTF-8 where it reads as such',
    packUtf8: 'UTF-8, stored in the code page',
    packStored: 'bytes as ALASM stores them',
    packButton: 'Pack and download',
    packed: (names) => `Packed ${names}.`,
    notPacked: 'Not everything could be packed. korvex said:',
    putAbout: 'Or put them back into a disk, as korvex put does: each text replaces the file ' +
      'it was written from (GREET.H.asm the file GREET.H), in the layout chosen above, its ' +
      'unchanged lines keeping their bytes; a text of no file on the disk is added to it. The ' +
      'disk downloads under its own name and takes its row’s place above.',
    putInto: 'Put back into',
    putButton: 'Put and download',
    putDone: (name) => `Put the texts into ${name}.`,
    notPut: (name) => `${name} was not written. korvex said:`,
    getFile: 'File',
    getFileTitle: 'This file off the disk, as korvex get copies it: as it is, or as a Hobeta ' +
      'file, as chosen above',
    getAsTitle: 'How the File buttons download this disk’s files',
    getAsFile: 'Files as they are',
    getAsHobeta: 'Files as Hobeta (.$T)',
    sameDisks: (a, b) => `${a} and ${b} hold the same files.`,
    diskChanges: (a, b) => `What changed from ${a} to ${b}, as korvex diff says:`,
    notCompared: (a, b) => `${a} and ${b} could not be compared in full. korvex said:`,
    previous: '◀ Previous',
    next: 'Next ▶',
    previousKeys: 'The previous file (P or ←)',
    nextKeys: 'The next file (N or →)',
    wrap: 'Wrap',
    copy: 'Copy',
    copyKeys: 'Copy the text (C)',
    copied: 'Copied',
    notCopied: 'Not copied',
    close: 'Close',
    closeKeys: 'Back to the list (Esc)',
    readerKeys: 'N, P or ←, →: next and previous file · W: wrap lines · C: copy · Esc: close',
    position: (at, of) => `${at} of ${of}`,
    textFacts: 'Text to pack, as it stands.',
    alasmFacts: (name) => (name === null ? 'ALASM’s own text.' : `ALASM’s own text; the name in ` +
      `its header: ${name}.`),
    translatedFacts: (dialect, untranslated) => `Translated for ${dialect}` + (untranslated === 0
      ? ': it builds to the bytes ALASM builds.'
      : `; ${counted('en', untranslated, { one: 'line', other: 'lines' })} could not be ` +
        'translated and stand as comments marked ;!.'),
    untranslatedTitle: (count) => `${counted('en', count, { one: 'line', other: 'lines' })} ` +
      'could not be translated:',
    lineNumber: (line) => `line ${line}`,
    console: 'korve’s console',
    footer: 'The conversion is the korve and korvex command-line programs’ own C++ code, ' +
      'compiled to WebAssembly. Downloads are what korvex writes, with LF line ends. Zip files ' +
      'are written with fflate (MIT licence).',
  },
  ru: {
    title: 'korve: исходники ALASM в текст и обратно',
    tagline: 'Показывает как обычный текст исходники на ассемблере Z80, сохранённые ALASM 5.x ' +
      'на ZX Spectrum: отдельные файлы, файлы Hobeta и образы дисков TR-DOS (.trd, .scl, ' +
      '.fdi, .udi, .td0). ' +
      'Текст можно получить для ALASM или для sjasmplus и pasmo, а можно упаковать обратно ' +
      'в формат ALASM или вернуть на диск. Всё происходит здесь, в браузере: файлы никуда ' +
      'не отправляются.',
    language: 'Язык',
    dropHere: 'Перетащите сюда файлы ALASM (.h, .$h, с любым именем), образы дисков ' +
      '(.trd, .scl, .fdi, .udi, .td0) или текст для упаковки (.asm, .txt) или',
    choose: 'Выберите файлы…',
    codePage: 'Кодировка',
    layout: 'Вид',
    layoutStored: 'как сохранён',
    layoutTidy: 'аккуратный',
    dialect: 'Для',
    downloads: 'Скачивать',
    exact: 'байты как есть',
    utf8: 'текст в UTF-8',
    downloadAll: 'Скачать всё (.zip)',
    clear: 'Очистить',
    converting: 'Чтение…',
    summary: (files, converted) => `Файлов: ${files}, преобразовано: ${converted}.`,
    converted: 'Преобразован',
    notAlasm: 'Это не данные ALASM: преобразовывать нечего.',
    notAlasmShort: 'Не данные ALASM',
    undefinedToken: (token, line) => `Остановлено на неизвестном токене ${token} в строке ` +
      `${line}; ` + (line === 1 ? 'до неё строк нет.' : `предыдущие строки (${line - 1}) сохранены.`),
    badChecksum: 'Неверная контрольная сумма заголовка Hobeta; файл всё равно преобразован.',
    failed: 'Не преобразован',
    failedWith: (error) => `Что-то пошло не так: ${error}`,
    unreadable: 'Браузер не смог прочитать этот файл.',
    image: (files, alasm) => `ALASM: ${alasm} из ${files}`,
    size: (bytes) => counted('ru', bytes, { one: 'байт', few: 'байта', many: 'байт', other: 'байта' }),
    lines: (lines) => counted('ru', lines,
      { one: 'строка', few: 'строки', many: 'строк', other: 'строки' }),
    files: (files) => counted('ru', files,
      { one: 'файл', few: 'файла', many: 'файлов', other: 'файла' }),
    kinds: {
      alasm: 'данные ALASM',
      hobeta: 'Hobeta',
      trd: 'диск TR-DOS',
      scl: 'архив SCL',
      fdi: 'образ дискеты FDI',
      udi: 'образ дискеты UDI',
      td0: 'образ дискеты TD0',
      none: '',
      text: 'текст',
    },
    inHeader: (name) => `в заголовке: ${name}`,
    columns: ['Файл', 'Имя в заголовке', 'Размер', 'Строк', 'Результат'],
    // What is wrong with an image, and why one of its files could not be read.
    imageProblems: {
      'cut-short': 'Образ обрезан: он кончается раньше перечисленных в нём файлов.',
      'past-the-disk': 'Запись каталога указывает за конец диска.',
      'count-too-large': 'В заголовке архива указано больше файлов, чем в нём есть.',
      'checksum-mismatch': 'Контрольная сумма архива не совпадает с его содержимым.',
      'sector-damaged': 'Сектора дискеты повреждены: файлы на них потеряны.',
    },
    entryProblems: {
      'cut-short': 'Не прочитан: образ кончается раньше данных этого файла.',
      'past-the-disk': 'Не прочитан: запись каталога указывает за конец диска.',
      'sector-damaged': 'Не прочитан: повреждён сектор его данных',
    },
    korvexSays: 'Сообщение korvex:',
    open: 'Открыть',
    download: 'Скачать',
    downloadTitle: 'Текст в том виде, для того ассемблера и в той форме, что выбраны выше',
    downloadZip: 'Zip',
    downloadImageTitle: 'Все файлы диска текстом, одним zip-архивом',
    nothingWritten: (name) => `Для ${name} скачивать нечего.`,
    savedWithMessages: (name) => `${name} скачан. Сообщения korvex:`,
    toPack: 'Текст для упаковки',
    packTitle: 'Обратно в ALASM',
    packCount: (texts) => `${counted('ru', texts, { one: 'текстовый файл', few: 'текстовых файла',
      many: 'текстовых файлов', other: 'текстового файла' })} можно упаковать в формат ALASM, ` +
      'как это делает korvex pack. Результат скачается и появится в списке выше таким, каким ' +
      'его прочитает ALASM.',
    packInto: 'Упаковать в',
    packTrd: 'диск TR-DOS (.trd)',
    packScl: 'архив SCL (.scl)',
    packFdi: 'образ дискеты FDI (.fdi)',
    packUdi: 'образ дискеты UDI (.udi)',
    packHobeta: 'файлы Hobeta (.$h), по одному на текст',
    packName: 'Имя диска',
    packCharset: 'Текст',
    packAuto: 'в UTF-8, если читается как UTF-8',
    packUtf8: 'в UTF-8, сохранить в выбранной кодировке',
    packStored: 'байты как их хранит ALASM',
    packButton: 'Упаковать и скачать',
    packed: (names) => `Упаковано: ${names}.`,
    notPacked: 'Упаковать удалось не всё. Сообщения korvex:',
    putAbout: 'Или вернуть их на диск, как это делает korvex put: каждый текст заменяет файл, ' +
      'из которого он получен (GREET.H.asm — файл GREET.H), в выбранном выше виде, а его ' +
      'неизменённые строки сохраняют свои байты; текст, которому на диске нет файла, ' +
      'добавляется новым файлом. Диск скачается под своим именем и заменит свою строку в списке.',
    putInto: 'Вернуть на',
    putButton: 'Вернуть и скачать',
    putDone: (name) => `Тексты возвращены на ${name}.`,
    notPut: (name) => `${name} не записан. Сообщения korvex:`,
    getFile: 'Файл',
    getFileTitle: 'Этот файл с диска, как его копирует korvex get: как есть или файлом Hobeta, ' +
      'как выбрано выше',
    getAsTitle: 'Как кнопки «Файл» скачивают файлы этого диска',
    getAsFile: 'Файлы как есть',
    getAsHobeta: 'Файлы в Hobeta (.$T)',
    sameDisks: (a, b) => `На ${a} и ${b} одни и те же файлы.`,
    diskChanges: (a, b) => `Что изменилось от ${a} к ${b}, по словам korvex diff:`,
    notCompared: (a, b) => `${a} и ${b} не удалось сравнить целиком. Сообщения korvex:`,
    previous: '◀ Предыдущий',
    next: 'Следующий ▶',
    previousKeys: 'Предыдущий файл (P или ←)',
    nextKeys: 'Следующий файл (N или →)',
    wrap: 'Перенос строк',
    copy: 'Копировать',
    copyKeys: 'Скопировать текст (C)',
    copied: 'Скопировано',
    notCopied: 'Не скопировано',
    close: 'Закрыть',
    closeKeys: 'Назад к списку (Esc)',
    readerKeys: 'N, P или ←, →: следующий и предыдущий файл · W: перенос строк · C: копировать · ' +
      'Esc: закрыть',
    position: (at, of) => `${at} из ${of}`,
    textFacts: 'Текст для упаковки, как есть.',
    alasmFacts: (name) => (name === null ? 'Текст в формате ALASM.' : `Текст в формате ALASM; имя в ` +
      `заголовке: ${name}.`),
    translatedFacts: (dialect, untranslated) => `Переведён для ${dialect}` + (untranslated === 0
      ? ': собирается в те же байты, что и у ALASM.'
      : `; не удалось перевести: ${counted('ru', untranslated,
        { one: 'строка', few: 'строки', many: 'строк', other: 'строки' })}, они оставлены ` +
        'комментариями с пометкой ;!.'),
    untranslatedTitle: (count) => `Не удалось перевести ${counted('ru', count,
      { one: 'строку', few: 'строки', many: 'строк', other: 'строки' })}:`,
    lineNumber: (line) => `строка ${line}`,
    console: 'Вывод korve',
    footer: 'Преобразует тот же код на C++, что и программы korve и korvex для командной ' +
      'строки, скомпилированный в WebAssembly. Скачиваются файлы, которые пишет korvex, с ' +
      'концами строк LF. Zip-архивы пишет библиотека fflate (лицензия MIT).',
  },
};
