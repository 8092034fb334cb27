// Bytes as text through a code page: the one decoder of the page's bytes.
// ALASM sources, the names in their headers and TR-DOS names are bytes of a
// ZX Spectrum's character set, whose bytes of 0x80 and above mean what the
// code page a user chooses makes of them; below 0x80 every code page here is
// ASCII.
//
//   codePages.names                the code pages, in the order a user picks from
//   codePages.label(page)          how a code page is named to a user ("CP866")
//   codePages.charset(page)        its name for korvex's --charset ("KOI8-R")
//   codePages.decode(bytes, page, shown = 'text')
//
// decode() gives the characters of `bytes` (a Uint8Array) through `page`.
// `shown` says what becomes of control characters (below 0x20, and 0x7F):
// 'text' keeps them, for text that is saved; 'view' shows them as their
// pictures (U+2400 and on), all but tab and line feed, for text on the page;
// 'name' shows every one of them as its picture, for a name on one line.
'use strict';

const codePages = (function () {
  // By the name of their decoder. ISO-8859-1 maps each byte to the character
  // of the same number, which the decoder of that name does not (it is
  // windows-1252).
  // `charset` is the name korvex's --charset takes for the same code page;
  // latin1 is for the page's own use (a byte as the character of its number),
  // not offered to a user.
  const pages = {
    cp866: { label: 'CP866', decoder: 'ibm866', charset: 'CP866' },
    cp1251: { label: 'CP1251', decoder: 'windows-1251', charset: 'CP1251' },
    koi8r: { label: 'KOI8-R', decoder: 'koi8-r', charset: 'KOI8-R' },
    latin1: { label: 'ISO-8859-1', decoder: null, charset: null },
  };
  const tab = 0x09;
  const lineFeed = 0x0A;
  const firstPrintable = 0x20;
  const deleteByte = 0x7F;
  const controlPictures = 0x2400;
  const deletePicture = 0x2421;
  const kept = {
    text: () => true,
    view: (byte) => byte === tab || byte === lineFeed,
    name: () => false,
  };

  // The character of each byte, made once for each code page and way of
  // showing.
  const tables = new Map();
  function table(page, shown) {
    const key = `${page}:${shown}`;
    if (!tables.has(key)) {
      if (!(page in pages) || !(shown in kept)) {
        throw new TypeError(`codePages.decode: no code page ${page} shown as ${shown}`);
      }
      const { decoder } = pages[page];
      const decode = decoder ? new TextDecoder(decoder) : null;
      const characters = [];
      for (let byte = 0; byte < 256; byte++) {
        const control = byte < firstPrintable || byte === deleteByte;
        if (control && !kept[shown](byte)) {
          const picture = byte === deleteByte ? deletePicture : controlPictures + byte;
          characters.push(String.fromCharCode(picture));
        } else {
          characters.push(decode ? decode.decode(Uint8Array.of(byte)) : String.fromCharCode(byte));
        }
      }
      tables.set(key, characters);
    }
    return tables.get(key);
  }

  // A piece at a time, so that no array holds a character for every byte of a
  // large file.
  const piece = 65536;
  function decode(bytes, page, shown = 'text') {
    const characters = table(page, shown);
    const pieces = [];
    for (let start = 0; start < bytes.length; start += piece) {
      const text = [];
      for (const byte of bytes.subarray(start, start + piece)) {
        text.push(characters[byte]);
      }
      pieces.push(text.join(''));
    }
    return pieces.join('');
  }

  return Object.freeze({
    names: Object.freeze(Object.keys(pages).filter((page) => pages[page].charset)),
    label: (page) => pages[page].label,
    charset: (page) => pages[page].charset,
    decode,
  });
})();
