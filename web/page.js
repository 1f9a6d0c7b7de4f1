// SPDX-License-Identifier: GPL-3.0-or-later
// The worksheet: its eight fields and options (the Monte Carlo iterations among them, first
// set from the address's "#iterations=K"), Compute (also Enter in a field), Load Example
// and Clear Data; the six control figures are remembered by the browser. Then the page
// starts its engine.
(() => {
  const K = Kestrum;
  const S = K.S;
  const $ = K.$;
  const fieldIds = ['txtInput1', 'txtInput2', 'txtInput3', 'txtInput4',
                    'txtInput5', 'txtInput6', 'txtInput7', 'txtinput8'];
  const fields = fieldIds.map($);
  const storageKey = 'kestrum.controls';
  fields.forEach(K.numericField);
  K.engine.needs($('cmdCompute'));
  const iterations = $('txtIterations');
  iterations.value = new URLSearchParams(location.hash.slice(1)).get('iterations') ?? String(S.iterations.default);
  // Enter in a field computes, as the worksheet's default button; in the iterations (an
  // option of every analysis) it computes the analysis in use.
  const enterComputes = (f, button) => f.addEventListener('keydown', (e) => {
    if (e.key !== 'Enter' || e.isComposing || K.messageOpen) return;
    e.preventDefault();
    button().click();
  });
  for (const f of fields) enterComputes(f, () => $('cmdCompute'));
  enterComputes(iterations, () => {
    const kind = K.toolkit ? K.toolkit.current() : 'worksheet';
    return kind === 'worksheet' ? $('cmdCompute') : $(`${kind}_compute`);
  });

  const options = () => ({
    criteria: document.querySelector('input[name=criteria]:checked').value === '2' ? 2 : 1,
    oneTailed: $('radio_one_tail').checked,
    jeffreys: $('Prior_Radio_item1').checked,
  });
  function notesText() { return $('memoComments').value.replace(/\r\n?/g, '\n'); }
  // The notes as lines, as the worksheet splits its memo: a final line break starts no
  // further, empty line. (The toolkit's forms split theirs the same way.)
  function notesLines(text = notesText()) {
    if (text === '') return [];
    const lines = text.split('\n');
    if (lines.length > 1 && lines[lines.length - 1] === '') lines.pop();
    return lines;
  }
  // The engine's request for the worksheet (app/engine_interface.h), or null when the
  // iterations are refused (their message is shown).
  function worksheetRequest(texts) {
    const o = options();
    const k = K.iterationsOf(iterations);
    if (k === null) return null;
    return { analysis: 'worksheet', fields: texts, options: {
      criteria: o.criteria === 2 ? 'combined' : 'bayesian', tail: o.oneTailed ? 'one' : 'two',
      prior: o.jeffreys ? 'jeffreys' : 'calibrated', iterations: k } };
  }
  K.batch.request = () => worksheetRequest(fields.slice(0, 6).map((f) => f.value));
  K.batch.field = (k) => fields[k];

  function loadControls() {
    let saved = null;
    try { saved = JSON.parse(localStorage.getItem(storageKey) || 'null'); } catch (e) { saved = null; }
    if (Array.isArray(saved) && saved.length === 6 && saved.every((t) => typeof t === 'string')) {
      saved.forEach((t, k) => { fields[k].value = t.slice(0, S.max_field_length); });
    }
    (fields[0].value !== '' ? fields[6] : fields[0]).focus();
  }
  function saveControls(texts) {
    try { localStorage.setItem(storageKey, JSON.stringify(texts.slice(0, 6))); } catch (e) { /* private mode */ }
  }

  $('cmdCompute').addEventListener('click', () => {
    if (!K.engine.ready()) return;
    const texts = fields.map((f) => f.value);
    const checked = worksheetRequest(texts);
    if (!checked) return;
    const request = { ...checked, notes: notesLines(), append: K.output.any() };
    K.engine.run({
      message: { type: 'compute', request },
      onAnswer: (a) => {
        if (!a.ok && a.field >= 0) { K.warning(a.message, fields[a.field]); return; }
        if (!a.ok) { K.warning(a.message, $('cmdCompute')); return; }
        K.output.show(a);
        $('cmdCompute').focus({ preventScroll: true });
      },
      onChecked: () => saveControls(texts),
      cancelFocus: $('cmdCompute'),
    });
  });

  // The built-in example (kestrum-cli --example), ready to compute.
  $('cmdExample').addEventListener('click', () => {
    if (K.engine.busy()) return;
    S.example.forEach((t, k) => { fields[k].value = t; });
    $('cmdCompute').focus();
  });

  $('btnclearData').addEventListener('click', async () => {
    if (K.engine.busy()) return;
    if (!(await K.confirmBox('Clear every field and the User\'s Notes, and delete the saved control data?'))) return;
    for (const f of fields) f.value = '';
    $('memoComments').value = '';
    try { localStorage.removeItem(storageKey); } catch (e) { /* nothing saved */ }
    fields[0].focus();
  });

  // The worksheet's analysis is the dissociation without covariates: its figures as the
  // documented input file (docs/toolkit_input.md), for Save Analysis and Open Analysis.
  const taskNames = ['Task X', 'Task Y'];
  K.notesLines = (text) => notesLines(text.replace(/\r\n?/g, '\n'));
  K.worksheet = {
    element: $('worksheet'),
    taskNames,
    // The iterations option, left out of requests and files where it is the default.
    iterations: () => {
      const k = worksheetRequest([])?.options.iterations;
      return k === S.iterations.default ? undefined : k;
    },
    input() {
      const t = fields.map((f) => f.value);
      const o = worksheetRequest(t).options;
      if (o.iterations === S.iterations.default) delete o.iterations;
      return { analysis: 'dissociation', n: t[5],
               tasks: [0, 1].map((j) => ({ name: taskNames[j], mean: t[2 * j], sd: t[2 * j + 1], case: t[6 + j] })),
               correlations: [[1], [t[4], 1]], options: o };
    },
    // Fills the fields and options from an input that fits the worksheet (toolkit.js
    // checks): two tasks, no covariates, the lower triangle of their correlations.
    fill(input) {
      const [x, y] = input.tasks;
      const t = [x.mean, x.sd, y.mean, y.sd, input.correlations[1][0], input.n, x.case, y.case];
      t.forEach((v, k) => { fields[k].value = String(v); });
      const o = input.options || {};
      $(o.criteria === 'combined' ? 'RadioButton2' : 'RadioButton1').checked = true;
      $(o.tail === 'one' ? 'radio_one_tail' : 'radio_two_tail').checked = true;
      $(o.prior === 'jeffreys' ? 'Prior_Radio_item1' : 'Prior_Radio_item0').checked = true;
    },
  };

  loadControls();
  window.kestrumPage = { loaded: K.engine.load().catch((e) => K.warning('The engine could not start: ' + e.message)) };
})();
