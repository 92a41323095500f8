#!/usr/bin/env node
// Generates the two pinyin tables behind makeAlias from the npm package
// pinyin-pro (MIT licence, checked below), fetched with `npm pack` into a
// temporary folder; the generated files are committed, so the build needs
// no network.
//
//   src/blog/pinyin_table.cpp    one reading per GB2312 Chinese character:
//                                the package's default reading (the first it
//                                lists, the character's most common reading as
//                                a word of its own) where the Unihan database
//                                (Debian's unicode-data) knows it as one of the
//                                character's readings, else Unihan's customary
//                                reading (kMandarin)
//   src/blog/pinyin_phrases.cpp  the phrases of the package's phrase
//                                dictionaries that makeAlias would misread
//                                without them
//   src/blog/pinyin-pro.LICENSE  the package's licence, which goes with them
//
// makeAlias reads a title by longest match over the phrase table, falling
// back to the per-character table. A phrase goes into the table when that
// reading of the phrase on its own differs from the package's; the check
// repeats until every dictionary phrase reads as the package says, so the
// table holds only the phrases that matter (about a third of them).
//
// The word list tests/blog/alias_words.txt ("word reading" a line) is
// checked against the package too: a word the package reads otherwise stops
// the script.
//
// Usage: scripts/gen-pinyin.mjs            (writes both tables)
//        scripts/gen-pinyin.mjs --check    (compares, writes nothing)
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { pathToFileURL } from 'node:url';

const PACKAGE = 'pinyin-pro';
const VERSION = '3.29.5';
const LICENCES = new Set(['MIT', 'ISC', 'BSD-2-Clause', 'BSD-3-Clause', 'Apache-2.0']);

const root = path.resolve(path.dirname(new URL(import.meta.url).pathname), '..');
const checkOnly = process.argv.includes('--check');

function fetchPackage() {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'gen-pinyin-'));
  process.on('exit', () => fs.rmSync(dir, { recursive: true, force: true }));
  const out = execFileSync('npm', ['pack', '--silent', `${PACKAGE}@${VERSION}`], { cwd: dir }).toString().trim();
  const tgz = out.split('\n').pop();
  execFileSync('tar', ['xzf', tgz], { cwd: dir });
  const pkgDir = path.join(dir, 'package');
  const meta = JSON.parse(fs.readFileSync(path.join(pkgDir, 'package.json'), 'utf8'));
  if (!LICENCES.has(meta.license)) throw new Error(`${PACKAGE} ${VERSION}: licence ${meta.license} is not one we may ship`);
  return { pkgDir, meta };
}

const UNIHAN = '/usr/share/unicode/Unihan_Readings.txt.bz2';
const UNIHAN_FIELDS = ['kMandarin', 'kTGHZ2013', 'kXHC1983', 'kHanyuPinyin'];

// Character -> { customary: first reading of the first field present, all: Set }.
function loadUnihan() {
  const text = execFileSync('bzcat', [UNIHAN], { maxBuffer: 1 << 30 }).toString();
  const byChar = new Map();
  for (const line of text.split('\n')) {
    if (!line.startsWith('U+')) continue;
    const [code, field, value] = line.split('\t');
    const rank = UNIHAN_FIELDS.indexOf(field);
    if (rank < 0) continue;
    const ch = String.fromCodePoint(parseInt(code.slice(2), 16));
    const entry = byChar.get(ch) ?? { rank: 99, customary: '', all: new Set() };
    // kMandarin: "reading reading"; the others "place:reading,reading place:...".
    const readings = value
      .split(' ')
      .flatMap((w) => (field === 'kMandarin' ? [w] : w.slice(w.indexOf(':') + 1).split(',')))
      .map(plain);
    readings.forEach((r) => entry.all.add(r));
    if (rank < entry.rank) Object.assign(entry, { rank, customary: readings[0] });
    byChar.set(ch, entry);
  }
  return byChar;
}

// Lower case, no tone, u-umlaut as "v"; anything but letters is an error.
function plain(reading) {
  const text = reading.toLowerCase().normalize('NFD').replace(/u\u0308/g, 'v').replace(/[\u0300-\u036f]/g, '');
  if (!/^[a-z]+$/.test(text)) throw new Error(`unexpected reading ${JSON.stringify(reading)}`);
  return text;
}

function gbkBytes(ch) {
  // GB2312 Chinese characters only: rows B0..F7, cells A1..FE.
  return gbkOf.get(ch);
}

const gbkOf = new Map();  // character -> [lead, trail]

async function main() {
  const { pkgDir, meta } = fetchPackage();
  const esm = (p) => import(pathToFileURL(path.join(pkgDir, 'dist', 'esm', p)).href);
  const { pinyin } = await esm('index.mjs');
  const DICT1 = (await esm('data/dict1.mjs')).default;
  const phraseSources = [
    (await esm('data/dict2.mjs')).Pattern2,
    (await esm('data/dict3.mjs')).Pattern3,
    (await esm('data/dict4.mjs')).Pattern4,
    (await esm('data/dict5.mjs')).Pattern5,
    (await esm('data/special.mjs')).PatternNumberDict,
  ];

  // Per-character table.
  const unihan = loadUnihan();
  let overridden = 0;
  const decoder = new TextDecoder('gbk', { fatal: true });
  const cells = [];
  const single = new Map();
  for (let lead = 0xb0; lead <= 0xf7; ++lead) {
    for (let trail = 0xa1; trail <= 0xfe; ++trail) {
      let ch;
      try {
        ch = decoder.decode(new Uint8Array([lead, trail]));
      } catch {
        cells.push('');
        continue;
      }
      if ([...ch].length !== 1 || (lead === 0xd7 && trail >= 0xfa)) {
        cells.push('');
        continue;
      }
      const known = unihan.get(ch);
      if (!known) throw new Error(`no Unihan reading for ${ch}`);
      const listed = DICT1.get(ch);
      const common = listed ? plain(listed.split(' ')[0]) : '';
      const r = known.all.has(common) ? common : known.customary;
      if (r !== known.customary) ++overridden;
      cells.push(r);
      single.set(ch, r);
      gbkOf.set(ch, [lead, trail]);
    }
  }
  if (single.size !== 6763) throw new Error(`expected 6763 characters, found ${single.size}`);

  // Phrase dictionary: the first entry of a phrase wins.
  const dict = new Map();
  for (const patterns of phraseSources) {
    for (const p of patterns) {
      const chars = [...p.zh];
      if (chars.length < 2 || !chars.every((c) => single.has(c)) || dict.has(p.zh)) continue;
      const syllables = p.pinyin.trim().split(/\s+/);
      if (syllables.length !== chars.length) continue;
      dict.set(p.zh, syllables.map(plain).join(''));
    }
  }

  // Longest match over the table, as makeAlias does it.
  const table = new Map();
  let longest = 0;
  const read = (text) => {
    const chars = [...text];
    let out = '';
    for (let i = 0; i < chars.length; ) {
      let matched = false;
      for (let len = Math.min(longest, chars.length - i); len >= 2; --len) {
        const piece = chars.slice(i, i + len).join('');
        if (table.has(piece)) {
          out += table.get(piece);
          i += len;
          matched = true;
          break;
        }
      }
      if (!matched) out += single.get(chars[i++]) ?? '';
    }
    return out;
  };
  for (let changed = true; changed; ) {
    changed = false;
    for (const [zh, reading] of dict) {
      if (read(zh) === reading) continue;
      table.set(zh, reading);
      longest = Math.max(longest, [...zh].length);
      changed = true;
    }
  }

  // The word list of the tests, checked against the package.
  const listPath = path.join(root, 'tests/blog/alias_words.txt');
  const problems = [];
  let words = 0;
  for (const line of fs.readFileSync(listPath, 'utf8').split('\n')) {
    if (!line.trim() || line.startsWith('#')) continue;
    const [word, expected] = line.trim().split(/\s+/);
    ++words;
    const source = pinyin(word, { toneType: 'none', v: true, type: 'array' }).join('');
    if (source !== expected) problems.push(`${word}: list says ${expected}, ${PACKAGE} says ${source}`);
    else if (read(word) !== expected) problems.push(`${word}: makeAlias would give ${read(word)}, not ${expected}`);
  }
  if (problems.length) throw new Error(`tests/blog/alias_words.txt:\n  ${problems.join('\n  ')}`);

  const origin = `${PACKAGE} ${meta.version} (npm, ${meta.license} licence) and the Unihan database`;
  const licence = fs.readFileSync(path.join(pkgDir, 'LICENSE'), 'utf8');
  const files = {
    'src/blog/pinyin_table.cpp': charTable(cells, origin),
    'src/blog/pinyin_phrases.cpp': phraseTable(table, longest, origin),
    // The tables are drawn from the package's data: its licence goes with them.
    'src/blog/pinyin-pro.LICENSE': `The pinyin tables in this folder are drawn from ${PACKAGE} ${meta.version}:\n\n${licence}`,
  };
  let stale = 0;
  for (const [rel, text] of Object.entries(files)) {
    const file = path.join(root, rel);
    const old = fs.existsSync(file) ? fs.readFileSync(file, 'utf8') : '';
    if (old === text) continue;
    ++stale;
    if (checkOnly) console.error(`${rel} differs from what ${origin} gives`);
    else fs.writeFileSync(file, text);
  }
  console.error(`${single.size} characters (${overridden} read otherwise than Unihan's customary reading), ${table.size} of ${dict.size} phrases kept, ${words} listed words agree`);
  if (checkOnly && stale) process.exit(1);
}

function header(origin) {
  return `// Generated by scripts/gen-pinyin.mjs from ${origin}.\n// Do not edit.\n`;
}

function charTable(cells, origin) {
  let out = header(origin);
  out += '#include "blog/pinyin_table.h"\n\nnamespace inkpost {\n\nnamespace {\n\n';
  out += '// Row B0..F7 x cell A1..FE; an empty text marks a cell without a character.\n';
  out += `const char* const kReadings[${cells.length}] = {\n`;
  for (let row = 0; row < cells.length; row += 94) {
    out += `    // row ${(0xb0 + row / 94).toString(16).toUpperCase()}\n`;
    const parts = cells.slice(row, row + 94);
    // Twelve readings a line keeps the file easy to diff.
    for (let i = 0; i < parts.length; i += 12)
      out += '    ' + parts.slice(i, i + 12).map((c) => `"${c}",`).join(' ') + '\n';
  }
  out += '};\n\n}  // namespace\n\n';
  out += 'const char* pinyinOf(unsigned char lead, unsigned char trail) {\n';
  out += '  if (lead < 0xB0 || lead > 0xF7 || trail < 0xA1 || trail > 0xFE) return nullptr;\n';
  out += '  const char* reading = kReadings[(lead - 0xB0) * 94 + (trail - 0xA1)];\n';
  out += '  return *reading ? reading : nullptr;\n';
  out += '}\n\n}  // namespace inkpost\n';
  return out;
}

function gbkLiteral(text) {
  return [...text].map((c) => gbkBytes(c).map((b) => '\\x' + b.toString(16).toUpperCase()).join('')).join('');
}

function compareBytes(a, b) {
  for (let i = 0; i < Math.min(a.length, b.length); ++i) if (a[i] !== b[i]) return a[i] - b[i];
  return a.length - b.length;
}

function phraseTable(table, longest, origin) {
  const entries = [...table].map(([zh, reading]) => ({
    zh,
    reading,
    bytes: [...zh].flatMap((c) => gbkBytes(c)),
  }));
  entries.sort((a, b) => compareBytes(a.bytes, b.bytes));
  let out = header(origin);
  out += '#include "blog/pinyin_table.h"\n\n#include <algorithm>\n#include <iterator>\n\n';
  out += 'namespace inkpost {\n\nnamespace {\n\n';
  out += 'struct Phrase {\n  std::string_view text;     // GBK\n  std::string_view reading;\n};\n\n';
  out += `constexpr size_t kLongestPhrase = ${longest * 2};  // bytes\n\n`;
  out += '// Sorted by their GBK bytes.\n';
  out += `constexpr Phrase kPhrases[${entries.length}] = {\n`;
  for (const e of entries) out += `    {"${gbkLiteral(e.zh)}", "${e.reading}"},  // ${e.zh}\n`;
  out += '};\n\n}  // namespace\n\n';
  out += 'PhraseMatch longestPhrase(std::string_view gbk) {\n';
  out += '  for (size_t len = std::min(kLongestPhrase, gbk.size() & ~size_t{1}); len >= 4; len -= 2) {\n';
  out += '    const std::string_view piece = gbk.substr(0, len);\n';
  out += '    const auto* hit = std::lower_bound(std::begin(kPhrases), std::end(kPhrases), piece,\n';
  out += '                                       [](const Phrase& p, std::string_view t) { return p.text < t; });\n';
  out += '    if (hit != std::end(kPhrases) && hit->text == piece) return {len, hit->reading};\n';
  out += '  }\n  return {};\n}\n\n';
  out += `size_t phraseCount() { return ${entries.length}; }\n\n`;
  out += 'size_t phraseTableBytes() {\n';
  out += '  size_t bytes = sizeof kPhrases;\n';
  out += '  for (const Phrase& p : kPhrases) bytes += p.text.size() + p.reading.size() + 2;  // with their zeros\n';
  out += '  return bytes;\n}\n\n';
  out += '}  // namespace inkpost\n';
  return out;
}

main().catch((e) => {
  console.error(e.message);
  process.exit(1);
});
