// SPDX-License-Identifier: GPL-3.0-or-later
// End-to-end tests of the web page in headless Chromium (Debian's chromium, driven by
// playwright-core). The page's answers are compared with kestrum-cli's for the same
// inputs. Environment: KESTRUM_WEB (build/web/web), KESTRUM_CLI (the native kestrum-cli),
// KESTRUM_OUT (where web.png goes), CHROMIUM (default /usr/bin/chromium).
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { createServer } from 'node:http';
import { readFileSync, writeFileSync, mkdtempSync } from 'node:fs';
import { join, extname } from 'node:path';
import { tmpdir } from 'node:os';
import { pathToFileURL } from 'node:url';
import { createRequire } from 'node:module';
import { chromium } from 'playwright-core';

const web = process.env.KESTRUM_WEB;
const cli = process.env.KESTRUM_CLI;
const out = process.env.KESTRUM_OUT || web;
const require = createRequire(import.meta.url);

// The shared table: the worksheet's inputs and options, as the page and the CLI take them.
const example = { fields: ['100', '15', '50', '10', '0.6', '20', '80', '40'] };
const cases = {
  example,
  combinedOneTailed: { fields: ['100', '15', '50', '10', '0.6', '20', '70', '52'], criteria: 'combined', tail: 'one', prior: 'jeffreys' },
  longRun: { fields: ['100', '15', '50', '10', '0.9999', '5', '80', '40'] },
};
const captions = [
  'Mean of the control or normative sample on Task X:', 'Standard deviation for the normative sample on Task X:',
  'Mean of the control or normative sample on Task Y:', 'Standard deviation for the normative sample on Task Y:',
  'Correlation between Tasks X and Y in normative sample:', 'Sample size of the normative sample:',
  "Case's test score on Task X:", "Case's test score on Task Y:"];
// Messages at Compute: field texts -> the message (CR shown as a line break) and the field.
const computeMessages = [
  { field: 0, text: '', message: `INPUT ERROR\n\n(  ${captions[0]}  )\n\nData have not been entered in this field.` },
  { field: 0, text: '1-2', message: `INPUT ERROR\n(  ${captions[0]}  1-2  )\n\nEnter numeric data only.` },
  { field: 2, text: '1.2.3', message: `INPUT ERROR\n(  ${captions[2]}  1.2.3  )\n\nEnter numeric data only.` },
  { field: 1, text: '0', message: `INPUT ERROR\n(  ${captions[1]}  0.000  )\nStandard deviations must have a positive value.` },
  { field: 4, text: '1', message: `INPUT ERROR\n(  ${captions[4]}  1.000  )\nThe correlation must lie between  -1.0 and 1.0. ` },
  { field: 5, text: '3.5', message: `INPUT ERROR\n(  ${captions[5]}  3.500  )\nThe value for sample size must be an integer greater than 2.` },
];
const cliArgs = (c) => ['--mean-x', c.fields[0], '--sd-x', c.fields[1], '--mean-y', c.fields[2], '--sd-y', c.fields[3],
  '--r', c.fields[4], '--n', c.fields[5], '--case-x', c.fields[6], '--case-y', c.fields[7],
  '--criteria', c.criteria || 'bayesian', '--tail', c.tail || 'two', '--prior', c.prior || 'calibrated'];
const cliRun = (args) => execFileSync(cli, args, { encoding: 'utf8', maxBuffer: 1 << 26 });

let browser, server, siteUrl;
before(async () => {
  browser = await chromium.launch({ executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
                                    args: ['--no-sandbox', '--allow-file-access-from-files'] });
  // The static site, served from localhost (a page opened from file:// may not fetch its
  // .wasm; the single file needs no server).
  const types = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm' };
  server = createServer((req, res) => {
    const name = req.url === '/' ? 'index.html' : req.url.slice(1).split('?')[0].split('#')[0];
    try {
      const body = readFileSync(join(web, 'site', name.replace(/\.\./g, '')));
      res.writeHead(200, { 'Content-Type': types[extname(name)] || 'application/octet-stream' });
      res.end(body);
    } catch { res.writeHead(404); res.end(); }
  });
  await new Promise((r) => server.listen(0, '127.0.0.1', r));
  siteUrl = `http://127.0.0.1:${server.address().port}/`;
});
after(async () => { await browser?.close(); server?.close(); });

async function openPage(url, viewport = { width: 1280, height: 720 }) {
  // The page's Content-Security-Policy forbids eval, which the test driver's waits use.
  const context = await browser.newContext({ viewport, acceptDownloads: true, bypassCSP: true });
  const page = await context.newPage();
  page.on('pageerror', (e) => { throw e; });
  page.on('console', (m) => { if (process.env.KESTRUM_E2E_VERBOSE) console.log('page:', m.text()); });
  await page.goto(url);
  await page.waitForSelector('body[data-engine="ready"]', { timeout: 20000 });
  return page;
}
async function fill(page, c) {
  for (let k = 0; k < 8; ++k) await page.fill(`#${['txtInput1', 'txtInput2', 'txtInput3', 'txtInput4', 'txtInput5', 'txtInput6', 'txtInput7', 'txtinput8'][k]}`, c.fields[k]);
  if (c.criteria === 'combined') await page.check('#RadioButton2');
  if (c.tail === 'one') await page.check('#radio_one_tail');
  if (c.prior === 'jeffreys') await page.check('#Prior_Radio_item1');
}
async function compute(page) {
  const before = Number(await page.evaluate(() => document.body.dataset.reports || 0));
  await page.click('#cmdCompute');
  await page.waitForFunction((n) => Number(document.body.dataset.reports || 0) > n, before, { timeout: 60000 });
  return page.inputValue('#memoResults');
}
async function messageText(page) {
  await page.waitForSelector('#messageBox:not([hidden])');
  const text = await page.textContent('#messageText');
  await page.keyboard.press('Enter');  // OK has the focus
  await page.waitForSelector('#messageBox', { state: 'hidden' });
  return text;
}

test('the example case and an option variant give kestrum-cli\'s report byte for byte', async () => {
  const page = await openPage(siteUrl);
  await fill(page, example);
  const first = cliRun(cliArgs(example));
  assert.equal(await compute(page), first);
  // The next report is appended after the separator of 106 underscores.
  await fill(page, cases.combinedOneTailed);
  assert.equal(await compute(page), first + '_'.repeat(106) + '\n' + cliRun(cliArgs(cases.combinedOneTailed)));
  // Print prints the reports alone, in the print stylesheet's monospace.
  await page.evaluate(() => { window.print = () => { document.body.dataset.printed = 'yes'; }; });
  await page.click('#cmdPrint');
  assert.equal(await page.evaluate(() => document.body.dataset.printed), 'yes');
  await page.emulateMedia({ media: 'print' });
  assert.equal(await page.textContent('#printout'), await page.inputValue('#memoResults'));
  assert.ok(await page.isVisible('#printout'));
  assert.ok(!(await page.isVisible('#worksheet')));
  await page.context().close();
});

test('each input message, with the focus on its field', async () => {
  const page = await openPage(siteUrl);
  await page.click('#txtInput1');
  await page.keyboard.type('a');
  assert.equal(await messageText(page), 'INPUT ERROR\n\nEnter numeric data only.');
  assert.equal(await page.inputValue('#txtInput1'), '');
  await page.click('#txtInput1');
  await page.keyboard.type('1,5');
  assert.equal(await page.inputValue('#txtInput1'), '1.5');
  await page.fill('#txtInput2', '');
  await page.click('#txtInput2');
  await page.keyboard.type('1234567');
  assert.equal(await messageText(page), 'Maximum length of input is 6 characters.');
  assert.equal(await page.inputValue('#txtInput2'), '123456');
  for (const m of computeMessages) {
    await fill(page, example);
    await page.fill(`#${['txtInput1', 'txtInput2', 'txtInput3', 'txtInput4', 'txtInput5', 'txtInput6'][m.field]}`, m.text);
    await page.click('#cmdCompute');
    assert.equal(await messageText(page), m.message);
    assert.equal(await page.evaluate(() => document.activeElement.id),
                 ['txtInput1', 'txtInput2', 'txtInput3', 'txtInput4', 'txtInput5', 'txtInput6'][m.field]);
  }
  await page.context().close();
});

test('Cancel (the button, then Escape) of a long run stops it within 0.5 s and leaves the page as it was', async () => {
  const page = await openPage(siteUrl);
  await fill(page, cases.longRun);
  for (const how of ['button', 'Escape']) {
    await page.waitForSelector('body[data-engine="ready"]');
    await page.click('#cmdCompute');
    await page.waitForSelector('#progressBox:not([hidden])', { timeout: 5000 });
    await page.waitForFunction(() => /iterations done, about .* s left/.test(document.getElementById('progressText').textContent));
    const elapsed = await page.evaluate(async (how) => {
      const t0 = performance.now();
      if (how === 'button') document.getElementById('cmdCancel').click();
      else document.dispatchEvent(new KeyboardEvent('keydown', { key: 'Escape', bubbles: true }));
      while (document.body.dataset.state !== 'idle') await new Promise((r) => setTimeout(r, 5));
      return performance.now() - t0;
    }, how);
    assert.ok(elapsed <= 500, `${how}: cancel took ${elapsed} ms`);
    assert.equal(await page.inputValue('#memoResults'), '');
    assert.equal(await page.inputValue('#txtInput5'), '0.9999');
    // The figures passed their checks before the run: they are kept, as on the desktop.
    assert.equal(JSON.parse(await page.evaluate(() => localStorage.getItem('kestrum.controls')))[4], '0.9999');
  }
  // A new engine is ready: the example runs.
  await page.waitForSelector('body[data-engine="ready"]');
  await fill(page, example);
  assert.equal(await compute(page), cliRun(cliArgs(example)));
  await page.context().close();
});

test('a 20-row batch gives kestrum-cli --batch\'s CSV', async () => {
  const dir = mkdtempSync(join(tmpdir(), 'kestrum-web-'));
  const csv = join(dir, 'cases.csv');
  const rows = ['id,case_x,case_y'];
  for (let i = 0; i < 20; ++i) rows.push(`p${i},${60 + 2 * i},${30 + (i * 7) % 25}`);
  rows[5] = 'p4,abc,40';  // a row the checks refuse
  writeFileSync(csv, rows.join('\n') + '\n');
  const page = await openPage(siteUrl + '#iterations=10000');
  await fill(page, example);
  await page.setInputFiles('#batchFile', csv);
  await page.click('#cmdBatch');
  await page.waitForSelector('#batchDownload:not([hidden])', { timeout: 120000 });
  const got = await page.evaluate(async () => (await fetch(document.getElementById('batchDownload').href)).text());
  // kestrum-cli compiled to WebAssembly (the page's numerics, run by node) writes the same
  // bytes.
  const args = [...cliArgs(example).slice(0, 12), '--iterations', '10000', '--batch', csv];
  let same;
  try {
    same = execFileSync(process.execPath, ['--no-experimental-fetch', join(web, 'kestrum-cli.js'), ...args],
                        { encoding: 'utf8', stdio: ['ignore', 'pipe', 'ignore'] });
  } catch (e) { same = e.stdout; }  // exit status 2: a row failed its checks
  assert.equal(got, same);
  // The CSV holds every figure at full precision (17 digits). The page computes in double,
  // with WebAssembly's math library, so its figures may differ from the native x87
  // kestrum-cli's in the last digits: every other field must be equal, and numbers agree
  // within 1E-9 (relative above 1).
  let want;
  try { want = cliRun(args); }
  catch (e) { want = e.stdout; }  // exit status 2: a row failed its checks
  const gotRows = got.split('\n'), wantRows = want.split('\n');
  assert.equal(gotRows.length, wantRows.length);
  let exact = 0, fields = 0;
  gotRows.forEach((row, i) => {
    const a = row.split(','), b = wantRows[i].split(',');
    assert.equal(a.length, b.length, `row ${i}`);
    a.forEach((x, j) => {
      ++fields;
      if (x === b[j]) { ++exact; return; }
      const u = Number(x), v = Number(b[j]);
      assert.ok(x !== '' && b[j] !== '' && Number.isFinite(u) && Number.isFinite(v) &&
                Math.abs(u - v) <= 1e-9 * Math.max(1, Math.abs(v)), `row ${i} field ${j}: ${x} vs ${b[j]}`);
    });
  });
  console.log(`# batch: ${exact} of ${fields} fields identical to the x87 kestrum-cli's, the rest within 1E-9`);
  assert.match(await page.textContent('#batchStatus'), /20 cases in results.csv. Some rows failed/);
  await page.context().close();
});

test('the self-contained file works from file://; screenshot; accessibility check', async () => {
  const page = await openPage(pathToFileURL(join(web, 'kestrum.html')).href);
  await fill(page, example);
  await page.fill('#memoComments', 'Patient AB, session 1');
  const report = await compute(page);
  assert.equal(report, cliRun([...cliArgs(example), '--notes', 'Patient AB, session 1']));
  assert.ok(await page.isVisible('#casePlot svg'));
  assert.ok(await page.isVisible('#posteriorPlot svg'));
  await page.screenshot({ path: join(out, 'web.png'), fullPage: true });
  // The six control figures are remembered.
  await page.reload();
  await page.waitForSelector('body[data-engine="ready"]');
  assert.equal(await page.inputValue('#txtInput5'), '0.6');
  assert.equal(await page.evaluate(() => document.activeElement.id), 'txtInput7');
  await page.addScriptTag({ content: readFileSync(require.resolve('axe-core/axe.min.js'), 'utf8') });
  const result = await page.evaluate(async () => await axe.run(document, { resultTypes: ['violations'] }));
  const serious = result.violations.filter((v) => v.impact === 'serious' || v.impact === 'critical');
  assert.deepEqual(serious.map((v) => `${v.id}: ${v.help}`), []);
  await page.context().close();
});

test('a whole analysis from the keyboard; Save, plot exports, Clear Results and Clear Data', async () => {
  const page = await openPage(siteUrl);
  assert.equal(await page.evaluate(() => document.activeElement.id), 'txtInput1');
  for (let k = 0; k < 8; ++k) {
    await page.keyboard.type(example.fields[k]);
    await page.keyboard.press('Tab');
  }
  assert.equal(await page.evaluate(() => document.activeElement.id), 'cmdCompute');
  const before = Number(await page.evaluate(() => document.body.dataset.reports || 0));
  await page.keyboard.press('Enter');
  await page.waitForFunction((n) => Number(document.body.dataset.reports || 0) > n, before, { timeout: 60000 });
  const report = await page.inputValue('#memoResults');
  assert.equal(report, cliRun(cliArgs(example)));

  const saved = async (button) => {
    const [download] = await Promise.all([page.waitForEvent('download'), page.click(button)]);
    return { name: download.suggestedFilename(), bytes: readFileSync(await download.path()) };
  };
  const text = await saved('#cmdSaveOutput');
  assert.equal(text.name, 'results.txt');
  assert.equal(text.bytes.toString('utf8'), report);
  for (const [button, name] of [['#caseSvg', 'case_plot.svg'], ['#posteriorSvg', 'posterior_plot.svg']]) {
    const svg = await saved(button);
    assert.equal(svg.name, name);
    assert.match(svg.bytes.toString('utf8'), /^<\?xml[^]*<svg[^]*<\/svg>$/);
  }
  for (const button of ['#casePng', '#posteriorPng']) {
    const png = await saved(button);
    assert.deepEqual([...png.bytes.subarray(0, 8)], [137, 80, 78, 71, 13, 10, 26, 10]);
  }

  // Clear Results asks first; No (the default, Enter) keeps the text.
  await page.focus('#cmdClearResults');
  await page.keyboard.press('Enter');
  await page.waitForSelector('#messageBox:not([hidden])');
  assert.equal(await page.textContent('#messageText'), 'Clear all the results?');
  await page.keyboard.press('Enter');
  assert.equal(await page.inputValue('#memoResults'), report);
  await page.click('#cmdClearResults');
  await page.click('#messageButtons button:text("Yes")');
  assert.equal(await page.inputValue('#memoResults'), '');
  // Clear Data asks first; Yes empties the fields and forgets the control figures.
  await page.click('#btnclearData');
  assert.equal(await page.textContent('#messageText'),
               "Clear every field and the User's Notes, and delete the saved control data?");
  await page.click('#messageButtons button:text("Yes")');
  assert.equal(await page.inputValue('#txtInput1'), '');
  assert.equal(await page.evaluate(() => localStorage.getItem('kestrum.controls')), null);
  assert.equal(await page.evaluate(() => document.activeElement.id), 'txtInput1');
  await page.context().close();
});

test('usable at 200 % zoom of a 1280 x 720 window: nothing wider than the window', async () => {
  for (const [viewport, scale] of [[{ width: 1280, height: 720 }, 1], [{ width: 640, height: 360 }, 2]]) {
    const context = await browser.newContext({ viewport, deviceScaleFactor: scale, bypassCSP: true });
    const page = await context.newPage();
    await page.goto(siteUrl);
    await page.waitForSelector('body[data-engine="ready"]');
    const widths = await page.evaluate(() => [document.documentElement.scrollWidth, window.innerWidth]);
    assert.ok(widths[0] <= widths[1], `page ${widths[0]} px wide in a ${widths[1]} px window`);
    await page.click('#cmdCompute');  // reachable; empty fields give the first message
    await page.waitForSelector('#messageBox:not([hidden])');
    const box = await page.locator('#messageBox .box').boundingBox();
    assert.ok(box.x >= 0 && box.y >= 0 && box.x + box.width <= viewport.width && box.y + box.height <= viewport.height);
    await context.close();
  }
});

// The planning view: its report against `kestrum-cli power` for the same settings.
const planCli = ['power', 'deficit', '--effect', '-3,-2,-1', '--n', '5:40:5', '--alpha', '0.05',
                 '--target-power', '0.8', '--tail', 'two', '--case', 'fixed'];
async function plan(page) {
  const before = Number(await page.evaluate(() => document.body.dataset.plans || 0));
  await page.click('#planCompute');
  await page.waitForFunction((n) => Number(document.body.dataset.plans || 0) > n, before, { timeout: 60000 });
  return page.inputValue('#planReport');
}

test('planning: the report of kestrum-cli power, the curves, exports, Cancel within 0.5 s, screenshot and accessibility', async () => {
  const page = await openPage(pathToFileURL(join(web, 'kestrum.html')).href);
  await page.fill('#planNTo', '40');  // effects -3 to -1 by 1 and N 5 to 40 by 5 otherwise by default
  const report = await plan(page);
  // kestrum-cli compiled to WebAssembly (the page's numerics) writes the same bytes; the
  // native x87 one the same text, each power within 1 in its 6th decimal.
  const same = execFileSync(process.execPath, ['--no-experimental-fetch', join(web, 'kestrum-cli.js'), ...planCli],
                            { encoding: 'utf8', stdio: ['ignore', 'pipe', 'ignore'] });
  assert.equal(report, same);
  const native = cliRun(planCli);
  const numbers = (t) => t.match(/-?\d+\.\d{6}/g).map(Number);
  assert.equal(report.replace(/-?\d+\.\d{6}/g, '#'), native.replace(/-?\d+\.\d{6}/g, '#'));
  numbers(report).forEach((v, k) => assert.ok(Math.abs(v - numbers(native)[k]) <= 1.000001e-6, `${v} vs ${numbers(native)[k]}`));
  // Curves: three effects against N (8 points each) and eight N against the effect, with
  // the target line; the CSV behind each curve.
  assert.equal(await page.locator('#planByNPlot path.curve').count(), 3);
  assert.equal(await page.locator('#planByEffectPlot path.curve').count(), 8);
  assert.equal(await page.locator('#planByNPlot line.target').count(), 1);
  assert.match(await page.textContent('#planByNCaption'), /^Power of the test for a deficit \(fixed case, alpha 0\.05\); two-tailed; target power 0\.8$/);
  const saved = async (button) => {
    const [download] = await Promise.all([page.waitForEvent('download'), page.click(button)]);
    return { name: download.suggestedFilename(), bytes: readFileSync(await download.path()) };
  };
  const table = await saved('#planCsv');
  assert.equal(table.bytes.toString('utf8'), execFileSync(process.execPath, ['--no-experimental-fetch', join(web, 'kestrum-cli.js'), ...planCli, '--format', 'csv'],
                                                          { encoding: 'utf8', stdio: ['ignore', 'pipe', 'ignore'] }));
  const curve = await saved('#planCurveTables button:text("Table: effect -2 (CSV)")');
  assert.equal(curve.name, 'power_effect_-2.csv');
  assert.deepEqual(curve.bytes.toString('utf8').split('\n').slice(1, -1),
                   table.bytes.toString('utf8').split('\n').filter((l) => l.includes(',-2,')));
  const svg = await saved('#planByNSvg');
  assert.match(svg.bytes.toString('utf8'), /^<\?xml[^]*<svg[^]*target power 0\.8[^]*<\/svg>$/);
  const png = await saved('#planByEffectPng');
  assert.deepEqual([...png.bytes.subarray(0, 8)], [137, 80, 78, 71, 13, 10, 26, 10]);
  await page.locator('#planning').screenshot({ path: join(out, 'planning.png') });
  await page.addScriptTag({ content: readFileSync(require.resolve('axe-core/axe.min.js'), 'utf8') });
  const result = await page.evaluate(async () => await axe.run(document, { resultTypes: ['violations'] }));
  const serious = result.violations.filter((v) => v.impact === 'serious' || v.impact === 'critical');
  assert.deepEqual(serious.map((v) => `${v.id}: ${v.help}`), []);

  // A long simulated run: progress, then Cancel within 0.5 s; the report stays.
  await page.selectOption('#planAnalysis', 'dissociation');
  await page.fill('#planReplications', '1000000');
  await page.click('#planCompute');
  await page.waitForFunction(() => /replications done/.test(document.getElementById('progressText').textContent), null, { timeout: 10000 });
  const elapsed = await page.evaluate(async () => {
    const t0 = performance.now();
    document.getElementById('cmdCancel').click();
    while (document.body.dataset.state !== 'idle') await new Promise((r) => setTimeout(r, 5));
    return performance.now() - t0;
  });
  assert.ok(elapsed <= 500, `cancel took ${elapsed} ms`);
  assert.equal(await page.inputValue('#planReport'), report);
  await page.waitForSelector('body[data-engine="ready"]');
  await page.waitForFunction(() => document.activeElement.id === 'planCompute');
  // A small simulated run on the page's one thread: the report of kestrum-cli.js, whose
  // replications run on its own thread pool.
  for (const [id, v] of [['#planEffectTo', ''], ['#planNFrom', '8'], ['#planNTo', '12'], ['#planNStep', '4'],
                         ['#planReplications', '500'], ['#planIterations', '50'], ['#planSeed', '3']]) await page.fill(id, v);
  await page.selectOption('#planTest', 'rsdt');
  const simulated = await plan(page);
  assert.equal(simulated, execFileSync(process.execPath, ['--no-experimental-fetch', join(web, 'kestrum-cli.js'), 'power', 'dissociation',
    '--test', 'rsdt', '--effect', '-3', '--n', '8:12:4', '--r', '0.5', '--replications', '500', '--iterations', '50', '--seed', '3'],
    { encoding: 'utf8', stdio: ['ignore', 'pipe', 'ignore'] }));
  assert.match(simulated, /RSDT[^]*500 replications/);
  // A field without a number is named, with the focus on it.
  await page.fill('#planAlpha', '');
  await page.click('#planCompute');
  assert.match(await messageText(page), /Alpha: enter a number/);
  assert.equal(await page.evaluate(() => document.activeElement.id), 'planAlpha');
  await page.context().close();
});
