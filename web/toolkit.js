// SPDX-License-Identifier: GPL-3.0-or-later
// The toolkit's forms: the deficit test on one task and the dissociation, each allowing for
// up to five covariates, and the unstandardized difference test (UDT), holding what the
// desktop's toolkit windows hold: N, each variable's name, the controls' mean and SD and
// the case's score (covariates first, then the tasks), the lower triangle of the
// correlations, the options. The choice above the forms shows one form at a time: the
// worksheet ("Dissociation (two tasks)") or one of these. A form's request is the
// documented input (docs/toolkit_input.md), which the engine runs as
// `kestrum-cli <analysis> --input` does, so the report is the command line's.
(() => {
  const K = Kestrum;
  const $ = K.$;
  const kMaxCovariates = 5;
  const kinds = {
    deficit: {
      title: 'Deficit on one task', tasks: ['Task'], covariates: true, batch: ['case'],
      intro: 'Tests whether a case\'s score on one task is significantly below the controls\' (a ' +
        'deficit), allowing for up to five covariates such as age or years of education: the ' +
        'case is then compared with controls who share the case\'s covariate values. Enter the ' +
        'control sample\'s size, each variable\'s mean and SD in the controls with the case\'s ' +
        'score (covariates first), and the controls\' correlations. The report gives the ' +
        'frequentist and the Bayesian test, with the effect size and its interval.',
    },
    dissociation: {
      title: 'Dissociation allowing for covariates', tasks: ['Task X', 'Task Y'], covariates: true,
      batch: ['case_x', 'case_y'],
      intro: 'Tests whether the difference between a case\'s standardized scores on two tasks is ' +
        'significantly larger than the controls\' (a dissociation), allowing for up to five ' +
        'covariates: the tasks are taken as distances from the scores that the case\'s covariate ' +
        'values predict. Enter the control sample\'s size, each variable\'s mean and SD in the ' +
        'controls with the case\'s score (covariates first, then Tasks X and Y), and the controls\' ' +
        'correlations. The unstandardized difference test can be added for tasks on one scale.',
    },
    udt: {
      title: 'UDT: the unstandardized difference test', tasks: ['Task X', 'Task Y'], covariates: false,
      batch: ['case_x', 'case_y'],
      intro: 'Tests whether the difference between a case\'s scores on two tasks measured on the ' +
        'same scale is significantly more extreme than the controls\' differences: the test for a ' +
        'deficit applied to the difference, with its effect size and the percentage of controls ' +
        'with a lower difference, and their intervals. Enter the control sample\'s size, each ' +
        'task\'s mean and SD in the controls with the case\'s score, and the correlation between ' +
        'the tasks.',
    },
  };

  function text(tag, content, attrs = {}) {
    const e = document.createElement(tag);
    if (content !== undefined) e.textContent = content;
    for (const [k, v] of Object.entries(attrs)) e.setAttribute(k, v);
    return e;
  }
  const figureInput = (id) => K.numericField(text('input', undefined, {
    id, type: 'text', inputmode: 'decimal', autocomplete: 'off', spellcheck: 'false' }));

  function makeForm(kind) {
    const about = kinds[kind];
    const root = $('toolkitTemplate').content.firstElementChild.cloneNode(true);
    const id = (name) => `${kind}_${name}`;
    // Ids, labels and radio groups of this form alone.
    for (const e of root.querySelectorAll('[id]')) e.id = id(e.id);
    for (const e of root.querySelectorAll('label[for]')) e.htmlFor = id(e.htmlFor);
    for (const e of root.querySelectorAll('input[name]')) e.name = id(e.name);
    for (const e of root.querySelectorAll('[data-only]')) if (e.dataset.only !== kind) e.remove();
    if (!about.covariates) root.querySelector('.covariateButtons').remove();
    root.id = id('form');
    root.setAttribute('aria-labelledby', id('title'));
    $('toolkitForms').appendChild(root);
    const part = (name) => $(id(name));
    part('title').textContent = about.title;
    part('intro').textContent = about.intro;
    const n = K.numericField(part('n'));
    const compute = part('compute');
    const addButton = part('addCovariate');
    K.engine.needs(compute);

    // The variables, covariates first; each row keeps its key, so that its correlations
    // follow it when rows are added or removed.
    const vars = [];
    const correlations = new Map();  // "a|b" (keys, lower first) -> the field's text
    let nextKey = 0;
    const pairKey = (a, b) => (a.key < b.key ? `${a.key}|${b.key}` : `${b.key}|${a.key}`);
    const covariates = () => vars.filter((v) => v.covariate);
    // The name the engine gives a variable (app/toolkit_analysis: its name, else its row's).
    const label = (v) => (v.name.value !== '' ? v.name.value : v.th.textContent);

    function makeVariable(covariate) {
      const v = { key: nextKey++, covariate, tr: text('tr') };
      v.th = text('th', '', { scope: 'row', id: id(`var${v.key}`) });
      v.tr.appendChild(v.th);
      v.name = text('input', undefined, { id: id(`name${v.key}`), type: 'text', autocomplete: 'off', spellcheck: 'false' });
      v.name.addEventListener('input', refreshLabels);
      v.mean = figureInput(id(`mean${v.key}`));
      v.sd = figureInput(id(`sd${v.key}`));
      v.score = figureInput(id(`case${v.key}`));
      [[v.name, 'colName'], [v.mean, 'colMean'], [v.sd, 'colSd'], [v.score, 'colCase']].forEach(([input, col]) => {
        input.setAttribute('aria-labelledby', `${v.th.id} ${id(col)}`);
        v.tr.appendChild(text('td')).appendChild(input);
      });
      const last = v.tr.appendChild(text('td'));
      if (covariate) {
        v.remove = last.appendChild(text('button', 'Remove', { type: 'button', id: id(`remove${v.key}`) }));
        v.remove.setAttribute('aria-labelledby', `${v.remove.id} ${v.th.id}`);
        v.remove.addEventListener('click', () => removeCovariate(v));
      }
      return v;
    }
    about.tasks.forEach(() => vars.push(makeVariable(false)));

    // The correlation fields' texts into the map, before the table is made again.
    function harvest() {
      for (const input of part('correlations').querySelectorAll('input')) correlations.set(input.dataset.pair, input.value);
    }
    function refreshLabels() {
      let c = 0, t = 0;
      for (const v of vars) v.th.textContent = v.covariate ? `Covariate ${++c}` : about.tasks[t++];
      for (const v of vars) {
        const head = $(id(`colhead${v.key}`));
        if (head) head.textContent = label(v);
        const row = $(id(`rowhead${v.key}`));
        if (row) row.textContent = label(v);
      }
      for (const input of part('correlations').querySelectorAll('input')) {
        const [a, b] = input.dataset.order.split('|').map((k) => vars.find((v) => v.key === Number(k)));
        input.setAttribute('aria-label', `r(${label(a)}, ${label(b)})`);
      }
    }
    // The variables' table and the correlations' lower triangle, in the variables' order.
    function rebuild() {
      harvest();
      part('variables').replaceChildren(...vars.map((v) => v.tr));
      const head = part('correlationsHead');
      head.replaceChildren(text('td'));
      vars.slice(0, -1).forEach((v) => head.appendChild(text('th', '', { scope: 'col', id: id(`colhead${v.key}`) })));
      const body = part('correlations');
      body.replaceChildren();
      vars.forEach((vi, i) => {
        if (i === 0) return;
        const tr = body.appendChild(text('tr'));
        tr.appendChild(text('th', '', { scope: 'row', id: id(`rowhead${vi.key}`) }));
        vars.slice(0, -1).forEach((vj, j) => {
          const td = tr.appendChild(text('td'));
          if (j > i) return;
          if (j === i) { td.textContent = '1'; return; }
          const input = td.appendChild(figureInput(id(`r${vj.key}_${vi.key}`)));
          input.dataset.pair = pairKey(vi, vj);
          input.dataset.order = `${vj.key}|${vi.key}`;
          input.value = correlations.get(input.dataset.pair) ?? '';
        });
      });
      part('correlationsBox').hidden = vars.length < 2;
      if (addButton) addButton.disabled = covariates().length >= kMaxCovariates;
      refreshLabels();
    }
    function addCovariate() {
      const v = makeVariable(true);
      vars.splice(covariates().length, 0, v);
      rebuild();
      return v;
    }
    function holdsFigures(v) {
      harvest();
      if ([v.name, v.mean, v.sd, v.score].some((f) => f.value !== '')) return true;
      return vars.some((w) => w !== v && (correlations.get(pairKey(v, w)) ?? '') !== '');
    }
    async function removeCovariate(v) {
      if (K.engine.busy()) return;
      if (holdsFigures(v) &&
          !(await K.confirmBox(`Remove ${v.th.textContent}${v.name.value !== '' ? ` (${v.name.value})` : ''} ` +
                               'with its figures and correlations?'))) return;
      const at = covariates().indexOf(v);
      vars.splice(vars.indexOf(v), 1);
      for (const w of vars) correlations.delete(pairKey(v, w));
      rebuild();
      // The focus goes to the row now in its place, else the one before, else Add.
      const rest = covariates();
      (rest[Math.min(at, rest.length - 1)]?.remove ?? addButton).focus();
    }
    if (addButton) addButton.addEventListener('click', () => addCovariate().name.focus());

    const checkedValue = (name) => root.querySelector(`input[name="${id(name)}"]:checked`).value;
    const form = {
      kind, root, iterations: null,
      // The documented input of the analysis, every figure as its field's text.
      input() {
        harvest();
        const variable = (v) => ({ name: v.name.value, mean: v.mean.value, sd: v.sd.value, case: v.score.value });
        const input = { analysis: kind, n: n.value };
        if (covariates().length) input.covariates = covariates().map(variable);
        input.tasks = vars.filter((v) => !v.covariate).map(variable);
        if (vars.length > 1) {
          input.correlations = vars.map((vi, i) => [...vars.slice(0, i).map((vj) => correlations.get(pairKey(vi, vj)) ?? ''), 1]);
        }
        const options = { tail: checkedValue('tail') };
        if (kind === 'dissociation') {
          Object.assign(options, { prior: checkedValue('prior'), criteria: checkedValue('criteria'), udt: part('udt').checked });
        }
        const iterations = form.iterations ?? K.worksheet.iterations();
        if (iterations) options.iterations = iterations;
        input.options = options;
        return input;
      },
      // Fills the form from an input that toolkit_file.js has checked: the correlations as
      // the full lower triangle in the variables' order; iterations null for the page's.
      fill(input, iterations) {
        vars.splice(0, vars.length, ...about.tasks.map(() => makeVariable(false)));
        correlations.clear();
        (input.covariates || []).forEach(() => vars.splice(covariates().length, 0, makeVariable(true)));
        [...(input.covariates || []), ...input.tasks].forEach((t, k) => {
          vars[k].name.value = t.name ?? '';
          [['mean', 'mean'], ['sd', 'sd'], ['score', 'case']].forEach(([f, m]) => { vars[k][f].value = t[m] ?? ''; });
        });
        (input.correlations || []).forEach((row, i) => row.forEach((r, j) => {
          if (j < i) correlations.set(pairKey(vars[i], vars[j]), r);
        }));
        n.value = input.n;
        const o = input.options || {};
        part(o.tail === 'one' ? 'tailOne' : 'tailTwo').checked = true;
        if (kind === 'dissociation') {
          part(o.prior === 'jeffreys' ? 'priorJeffreys' : 'priorCalibrated').checked = true;
          part(o.criteria === 'combined' ? 'criteriaCombined' : 'criteriaBayesian').checked = true;
          part('udt').checked = o.udt === true;
        }
        form.iterations = iterations;
        part('iterationsNote').hidden = iterations === null;
        part('iterationsNote').textContent = iterations === null ? ''
          : `Monte Carlo iterations: ${iterations.toLocaleString('en')}, as the opened file gives them.`;
        part('correlations').replaceChildren();
        rebuild();
      },
      // The field a refusal names ("(  Age: SD  0.000  )"), in the engine's order of checks.
      fieldOf(message) {
        const named = [['Sample size', n]];
        for (const v of vars) named.push([`${label(v)}: mean`, v.mean], [`${label(v)}: SD`, v.sd], [`${label(v)}: case`, v.score]);
        for (const input of part('correlations').querySelectorAll('input')) named.push([input.getAttribute('aria-label'), input]);
        return named.find(([caption]) => message.includes(`(  ${caption}  `))?.[1] ?? null;
      },
      focus: () => n.focus(),
    };

    compute.addEventListener('click', () => {
      if (!K.engine.ready()) return;
      const request = { ...form.input(), notes: K.notesLines(part('notes').value), append: K.output.any() };
      K.engine.run({
        message: { type: 'compute', request },
        onAnswer: (a) => {
          if (!a.ok) { K.warning(a.message, form.fieldOf(a.message) ?? compute); return; }
          K.output.show(a);
          compute.focus();
        },
        cancelFocus: compute,
      });
    });
    // Enter in a text field computes, as the worksheet's default button.
    root.addEventListener('keydown', (e) => {
      if (e.key !== 'Enter' || e.isComposing || K.messageOpen || !e.target.matches('input[type=text]')) return;
      e.preventDefault();
      compute.click();
    });
    part('clear').addEventListener('click', async () => {
      if (K.engine.busy()) return;
      if (!(await K.confirmBox(`Clear every figure, name and covariate and the User's Notes of "${about.title}"?`))) return;
      form.fill({ n: '', tasks: about.tasks.map(() => ({})) }, null);
      part('notes').value = '';
      n.focus();
    });
    rebuild();
    return form;
  }

  const forms = Object.fromEntries(Object.keys(kinds).map((kind) => [kind, makeForm(kind)]));

  // The batch's case file for each form: the columns app/batch_job reads.
  const batchHelp = $('batch').querySelector('p');
  const worksheetHelp = [...batchHelp.childNodes].map((node) => node.cloneNode(true));
  const worksheetBatch = K.batch.request;
  function describeBatch(kind) {
    if (kind === 'worksheet') { batchHelp.replaceChildren(...worksheetHelp.map((node) => node.cloneNode(true))); return; }
    const about = kinds[kind];
    const parts = ['A CSV file whose header row names ', ...about.batch.flatMap((c, k) => [k ? ' and ' : '', text('code', c)]),
      ' (and optionally ', text('code', 'id'), ')'];
    if (about.covariates) {
      parts.push(', and optionally one column per covariate, named as the covariate, for the case\'s ' +
                 'covariate scores (else the form\'s)');
    }
    parts.push(`: every case is run against the control sample and the options of "${about.title}", as `,
               text('code', `kestrum-cli ${kind} --batch`), ' runs them.');
    batchHelp.replaceChildren(...parts);
  }

  function choose(kind) {
    $(`choose_${kind}`).checked = true;
    K.worksheet.element.hidden = kind !== 'worksheet';
    for (const form of Object.values(forms)) form.root.hidden = form.kind !== kind;
    K.batch.request = kind === 'worksheet' ? worksheetBatch : () => forms[kind].input();
    describeBatch(kind);
    document.body.dataset.analysis = kind;
  }
  for (const radio of document.querySelectorAll('input[name=analysis]')) {
    radio.addEventListener('change', () => { if (radio.checked) choose(radio.value); });
  }
  K.toolkit = { forms, choose, current: () => document.querySelector('input[name=analysis]:checked').value };
})();
