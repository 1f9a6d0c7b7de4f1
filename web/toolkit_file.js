// SPDX-License-Identifier: GPL-3.0-or-later
// Save Analysis and Open Analysis: the form in use as the documented input file
// (docs/toolkit_input.md), analysis.json, which `kestrum-cli <analysis> --input` takes.
// The worksheet saves its analysis, the dissociation without covariates, with the tasks
// named "Task X" and "Task Y"; such a file opens in the worksheet again, every other one in
// the toolkit's form of its analysis. An opened file's structure is checked here, before
// anything changes; its figures are checked by the engine at Compute, as the command
// line checks them at its run. Numbers keep the text they have in the file ("0.60"), as
// the command line reads them.
(() => {
  const K = Kestrum;
  const $ = K.$;
  const kMaxFileBytes = 1 << 20;  // far above any analysis; a larger file is not one
  const kMaxCovariates = 5;
  const kMinIterations = 21;
  const kMaxIterations = 100000000;
  const taskCount = { deficit: 1, dissociation: 2, udt: 2 };
  const choices = { tail: ['two', 'one'], prior: ['calibrated', 'jeffreys'], criteria: ['bayesian', 'combined'] };

  $('cmdSaveAnalysis').addEventListener('click', () => {
    const kind = K.toolkit.current();
    const input = kind === 'worksheet' ? K.worksheet.input() : K.toolkit.forms[kind].input();
    K.download('analysis.json', new Blob([JSON.stringify(input, null, 2) + '\n'], { type: 'application/json' }));
  });

  class ERefused extends Error {}
  const refuse = (why) => { throw new ERefused(why); };
  const isObject = (v) => v !== null && typeof v === 'object' && !Array.isArray(v);
  const onlyMembers = (o, allowed, where) => {
    for (const k of Object.keys(o)) if (!allowed.includes(k)) refuse(`unknown member "${k}"${where}.`);
  };
  const figure = (v, what) => (typeof v === 'string' ? v : refuse(`${what} must be a number or a text.`));

  // JSON with each number kept as its text in the file (the reviver's source text; a
  // browser without it gives the number's shortest text).
  function parse(textOfFile) {
    return JSON.parse(textOfFile, (key, value, context) =>
      (typeof value === 'number' ? (context && typeof context.source === 'string' ? context.source : String(value)) : value));
  }

  function variables(list, what) {
    if (list === undefined) return [];
    if (!Array.isArray(list)) refuse(`"${what}" must be an array.`);
    return list.map((v, k) => {
      const where = ` in "${what}" ${k + 1}`;
      if (!isObject(v)) refuse(`each of "${what}" must be an object {"name", "mean", "sd", "case"}.`);
      onlyMembers(v, ['name', 'mean', 'sd', 'case'], where);
      if (v.name !== undefined && typeof v.name !== 'string') refuse(`"name"${where} must be a text.`);
      const out = { name: v.name ?? '' };
      for (const m of ['mean', 'sd', 'case']) out[m] = v[m] === undefined ? '' : figure(v[m], `"${m}"${where}`);
      return out;
    });
  }

  // A matrix of p variables as its lower triangle (row i holding i + 1 texts), from rows
  // square or lower triangular, with 1 on the diagonal and, when square, symmetric.
  function lowerTriangle(rows, p) {
    if (!Array.isArray(rows) || rows.length !== p || !rows.every(Array.isArray)) {
      refuse(`the correlations must be ${p} rows, one per variable (covariates first, then the tasks).`);
    }
    const square = rows.every((row) => row.length === p);
    if (!square && !rows.every((row, i) => row.length === i + 1)) {
      refuse(`the correlations must be a square matrix of ${p} rows or its lower triangle (row i holding i entries and the 1).`);
    }
    return rows.map((row, i) => row.slice(0, i + 1).map((r, j) => {
      const t = figure(r, `the correlation in row ${i + 1}, column ${j + 1}`);
      if (j === i && Number(t) !== 1) refuse(`the correlations' diagonal must hold 1 (row ${i + 1}).`);
      if (square && j < i && Number(t) !== Number(figure(rows[j][i], 'a correlation'))) {
        refuse(`the correlation matrix is not symmetric (row ${i + 1}, column ${j + 1}).`);
      }
      return t;
    }));
  }
  // {"names": [...], "matrix": [...]}: the rows named in any order, put in the variables'.
  function namedMatrix(m, names) {
    onlyMembers(m, ['names', 'matrix'], ' in "correlations"');
    if (!Array.isArray(m.names) || m.names.length !== names.length) {
      refuse(`"correlations" must name its ${names.length} variables in "names".`);
    }
    const at = names.map((name) => {
      const k = m.names.indexOf(name);
      return k >= 0 ? k : refuse(`the correlation matrix has no variable named "${name}".`);
    });
    const lower = lowerTriangle(m.matrix, names.length);
    const cell = (a, b) => (a >= b ? lower[a][b] : lower[b][a]);
    return names.map((_, i) => names.slice(0, i + 1).map((__, j) => cell(at[i], at[j])));
  }

  // The input, checked for its structure and with its correlations as the lower triangle
  // in the variables' order, and the analysis's form; throws ERefused saying why not.
  function checked(doc) {
    if (!isObject(doc)) refuse('it must hold one JSON object.');
    onlyMembers(doc, ['analysis', 'n', 'covariates', 'tasks', 'correlations', 'options'], '');
    const kind = doc.analysis;
    if (!Object.hasOwn(taskCount, kind)) refuse('"analysis" must be "deficit", "dissociation" or "udt".');
    if (doc.n === undefined) refuse('it has no "n" (the control sample size).');
    const input = { analysis: kind, n: figure(doc.n, '"n"') };
    input.covariates = variables(doc.covariates, 'covariates');
    input.tasks = variables(doc.tasks, 'tasks');
    if (input.covariates.length > kMaxCovariates) refuse(`it has ${input.covariates.length} covariates; at most ${kMaxCovariates} are allowed.`);
    if (kind === 'udt' && input.covariates.length) refuse('the unstandardized difference test allows for no covariates.');
    const tasks = taskCount[kind];
    if (input.tasks.length !== tasks) refuse(`"${kind}" takes ${tasks === 1 ? 'one task' : 'two tasks'} in "tasks".`);
    const vars = [...input.covariates, ...input.tasks];
    // The names the engine gives the variables, to match a named matrix.
    const names = vars.map((v, k) => v.name || (k < input.covariates.length ? `Covariate ${k + 1}`
      : tasks === 1 ? 'Task' : ['Task X', 'Task Y'][k - input.covariates.length]));
    const m = doc.correlations;
    if (m === undefined && vars.length > 1) refuse('it has no "correlations".');
    if (m !== undefined) input.correlations = isObject(m) ? namedMatrix(m, names) : lowerTriangle(m, vars.length);
    const o = doc.options ?? {};
    if (!isObject(o)) refuse('"options" must be an object.');
    onlyMembers(o, ['tail', 'prior', 'criteria', 'iterations', 'udt'], ' in "options"');
    for (const [key, allowed] of Object.entries(choices)) {
      if (o[key] !== undefined && !allowed.includes(o[key])) refuse(`"${key}" must be "${allowed[0]}" or "${allowed[1]}".`);
    }
    if (o.udt !== undefined && typeof o.udt !== 'boolean') refuse('"udt" must be true or false.');
    let iterations = null;
    if (o.iterations !== undefined) {
      const t = figure(o.iterations, '"iterations"');
      iterations = /^[0-9]+$/.test(t) ? Number(t) : NaN;
      if (!(iterations >= kMinIterations && iterations <= kMaxIterations)) {
        refuse(`"iterations" must be a whole number from ${kMinIterations} to ${kMaxIterations}.`);
      }
    }
    input.options = { ...o };
    return { input, iterations };
  }
  // The worksheet's own file: its dissociation without covariates or the UDT option, with
  // the tasks as the worksheet names them.
  const fitsWorksheet = (input) => input.analysis === 'dissociation' && input.covariates.length === 0 &&
    input.options.udt !== true && input.tasks.every((t, j) => t.name === K.worksheet.taskNames[j]);

  async function open(file) {
    const cannot = (why) => K.warning(`The file "${file.name}" cannot be opened: ${why}`, $('cmdOpenAnalysis'));
    if (file.size > kMaxFileBytes) { cannot('it is too large to be an analysis file.'); return; }
    let doc;
    try {
      doc = parse(await file.text());
    } catch (e) {
      cannot(`it is not valid JSON (${e.message}).`);
      return;
    }
    let read;
    try {
      read = checked(doc);
    } catch (e) {
      if (!(e instanceof ERefused)) throw e;
      cannot(e.message);
      return;
    }
    const kind = fitsWorksheet(read.input) ? 'worksheet' : read.input.analysis;
    if (kind === 'worksheet') K.worksheet.fill(read.input);
    else K.toolkit.forms[kind].fill(read.input, read.iterations);
    K.toolkit.choose(kind);
    $(`choose_${kind}`).focus();
    document.body.dataset.opened = String(Number(document.body.dataset.opened || 0) + 1);
  }

  $('cmdOpenAnalysis').addEventListener('click', () => $('analysisFile').click());
  $('analysisFile').addEventListener('change', async () => {
    const file = $('analysisFile').files[0];
    if (!file || K.engine.busy()) return;
    try {
      await open(file);
    } finally {
      $('analysisFile').value = '';  // the same file may be opened again
    }
  });
})();
