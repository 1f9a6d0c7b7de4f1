// SPDX-License-Identifier: GPL-3.0-or-later
// Assembles the web page from the engine (emscripten's glue and module) and the page's
// sources: the static site (index.html, kestrum.js, kestrum.wasm) and one self-contained
// HTML file with everything inlined, which works from a file:// address.
//   node build_site.mjs <engine directory> <site directory> <single-file path>
// The worksheet's texts and the key filter's table are read from the engine itself (run
// here in node), so the page shows the core's own captions and messages.
import { readFileSync, writeFileSync, mkdirSync } from 'node:fs';
import { createRequire } from 'node:module';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';

const [engineDir, siteDir, singlePath] = process.argv.slice(2);
const here = dirname(fileURLToPath(import.meta.url));
const read = (name) => readFileSync(join(here, name), 'utf8');

const glue = readFileSync(join(engineDir, 'kestrum_engine.js'), 'utf8');
const wasm = readFileSync(join(engineDir, 'kestrum_engine.wasm'));

const require = createRequire(import.meta.url);
const factory = require(join(engineDir, 'kestrum_engine.js'));
const engine = await factory({ wasmBinary: wasm, print() {}, printErr() {} });
const strings = JSON.parse(engine.cwrap('kestrum_strings', 'string', [])());
const filter = engine.cwrap('kestrum_key_filter', 'number', ['number']);
strings.key_filter = Array.from({ length: 128 }, (_, c) => String.fromCharCode(filter(c))).join('');

const escapeHtml = (s) => s.replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;').replace(/"/g, '&quot;');
const ids = ['txtInput1', 'txtInput2', 'txtInput3', 'txtInput4', 'txtInput5', 'txtInput6', 'txtInput7', 'txtinput8'];
const fieldsHtml = ids.map((id, k) =>
  `\n      <label for="${id}" id="Label${k + 1}">${escapeHtml(strings.captions[k])}</label>` +
  `<input id="${id}" type="text" inputmode="decimal" autocomplete="off" spellcheck="false">`).join('');

// A script's text inside <script>: no "</script" may end it early.
const inlineSafe = (js) => js.replace(/<\/(script)/gi, '<\\/$1').replace(/<!--/g, '<\\!--');
const engineSource = glue + '\n' + read('engine_worker.js');
// The page's scripts, in order: the shared parts, then the forms: the worksheet (which
// starts the engine, asynchronously), the toolkit's forms and their files (page_base.js
// says what each holds).
const pageScripts = ['page_base.js', 'page_fields.js', 'page_engine.js', 'page_plots.js',
                     'page_output.js', 'page_batch.js', 'planning.js', 'page.js', 'toolkit.js',
                     'toolkit_file.js'];
const script = `// SPDX-License-Identifier: GPL-3.0-or-later\n` +
  `var KESTRUM_STRINGS = ${JSON.stringify(strings)};\n` +
  `var KESTRUM_ENGINE_SOURCE = ${JSON.stringify(engineSource)};\n` +
  pageScripts.map(read).join('\n');

const page = read('page.html')
  .replace('<!--STYLE-->', `<style>\n${read('page.css')}${read('planning.css')}</style>`)
  .replace('<!--PLANNING-->', read('planning.html').trimEnd())
  .replace('<!--FIELDS-->', fieldsHtml + '\n    ')
  .replace('<!--TOOLKIT-->', read('toolkit.html'));

mkdirSync(siteDir, { recursive: true });
writeFileSync(join(siteDir, 'kestrum.js'), script);
writeFileSync(join(siteDir, 'kestrum.wasm'), wasm);
writeFileSync(join(siteDir, 'index.html'), page.replace('<!--SCRIPT-->', '<script src="kestrum.js"></script>'));
writeFileSync(singlePath, page.replace('<!--SCRIPT-->',
  `<script>var KESTRUM_WASM_BASE64 = "${wasm.toString('base64')}";</script>\n` +
  `<script>\n${inlineSafe(script)}\n</script>`));
console.log(`web page: ${join(siteDir, 'index.html')} and ${singlePath}`);
