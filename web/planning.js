// SPDX-License-Identifier: GPL-3.0-or-later
// Plan a study: the planning form, its request to the engine (app/engine_power.h, the
// settings of `kestrum-cli power`), the report, and the power curves drawn as SVG from the
// answer's curve data (power against N for each effect, against the effect for each N,
// with the target power dashed), with their exports and the CSV table behind each curve.
(() => {
  const K = Kestrum;
  const $ = K.$;
  const el = K.plotElement;
  const ids = ['planEffectFrom', 'planEffectTo', 'planEffectStep', 'planNFrom', 'planNTo', 'planNStep',
               'planAlpha', 'planTarget', 'planEffectY', 'planR', 'planCovariates', 'planRTask', 'planRCov',
               'planDistance', 'planReplications', 'planIterations', 'planSeed'];
  for (const id of ids) {
    const f = $(id);
    Object.assign(f, { type: 'text', inputMode: 'decimal', autocomplete: 'off', spellcheck: false });
    K.numericField(f);
  }
  K.engine.needs($('planCompute'));
  const maxEffects = 200;
  const maxMarkers = 60;  // a curve of more points is drawn as a line alone
  const colours = ['#1a5fb4', '#c01c28', '#26a269', '#e66100', '#613583', '#865e3c', '#0b7a75', '#d4008f'];

  const tests = {
    deficit: [['t', 'Test for a deficit (exact)'], ['bayesian', 'Bayesian test for a deficit (simulated)']],
    dissociation: [['bsdt', 'BSDT, calibrated prior (simulated)'], ['bsdt jeffreys', 'BSDT, standard-theory prior (simulated)'],
                   ['rsdt', 'RSDT (simulated)'], ['classification', 'Classification, Bayesian criteria (simulated)'],
                   ['classification combined', 'Classification, combined criteria (simulated)']],
    udt: [['udt', 'UDT (exact)']],
  };
  function analysisChanged() {
    const a = $('planAnalysis').value;
    $('planTest').replaceChildren(...tests[a].map(([v, t]) => new Option(t, v)));
    for (const f of document.querySelectorAll('#planForm .plandiss input')) f.disabled = a !== 'dissociation';
    for (const f of document.querySelectorAll('#planForm .plancov input')) f.disabled = a === 'udt';
  }
  $('planAnalysis').addEventListener('change', analysisChanged);
  analysisChanged();

  // A field's number; throws {field, message} when it holds none.
  class FieldError extends Error { constructor(field, message) { super(message); this.field = field; } }
  function label(f) { return document.querySelector(`label[for=${f.id}]`).textContent.replace(/:$/, ''); }
  function number(id, { optional = false, whole = false } = {}) {
    const f = $(id);
    const t = f.value.trim();
    if (t === '' && optional) return null;
    if (!/^-?(\d+\.?\d*|\.\d+)$/.test(t)) throw new FieldError(f, `${f.closest('fieldset').querySelector('legend').textContent}, ${label(f)}: enter a number.`);
    const v = Number(t);
    if (whole && !Number.isInteger(v)) throw new FieldError(f, `${label(f)}: enter a whole number.`);
    return v;
  }
  // The values from..to in steps (one value when "to" is empty or equals "from").
  function range(from, to, step, stepField) {
    if (to === null || to === from) return [from];
    if (step === null || !(step > 0)) throw new FieldError(stepField, 'The step must be a positive number.');
    const dir = to > from ? 1 : -1;
    const values = [];
    for (let k = 0; ; ++k) {
      const v = Number((from + dir * k * step).toPrecision(12));
      if (dir * (v - to) > 1e-12 * Math.max(1, Math.abs(to))) break;
      if (values.length >= maxEffects) throw new FieldError(stepField, `A range gives at most ${maxEffects} effects: take a larger step.`);
      values.push(v);
    }
    return values;
  }

  // The engine's request (app/engine_power.h) for the form.
  function planRequest() {
    const analysis = $('planAnalysis').value;
    const [test, variant] = $('planTest').value.split(' ');
    const find = $('planFind').value;
    const r = { analysis };
    if (analysis === 'deficit' && test === 'bayesian') r.test = 'bayesian';
    if (analysis === 'dissociation') {
      r.test = test;
      if (variant === 'jeffreys') r.prior = 'jeffreys';
      if (variant === 'combined') r.criteria = 'combined';
    }
    const effectFrom = number('planEffectFrom');
    r.effect = find === 'effect' ? [effectFrom]
      : range(effectFrom, number('planEffectTo', { optional: true }), number('planEffectStep', { optional: true }), $('planEffectStep'));
    const nFrom = number('planNFrom', { whole: true });
    const nTo = number('planNTo', { optional: true, whole: true });
    const nStep = number('planNStep', { optional: true, whole: true });
    r.n = nTo === null || nTo === nFrom ? nFrom : find === 'n' ? `${nFrom}:${nTo}` : `${nFrom}:${nTo}:${nStep === null ? 1 : nStep}`;
    if (find !== 'power') r.find = find;
    r.alpha = number('planAlpha');
    r.target_power = number('planTarget');  // the searches' target and the curves' line
    r.tail = $('planTail').value;
    r.case = $('planCase').value;
    const simulated = !(test === 't' || test === 'udt');
    const covariates = analysis === 'udt' ? 0 : number('planCovariates', { whole: true });
    if (covariates < 0 || covariates > 5) throw new FieldError($('planCovariates'), 'Give from 0 to 5 covariates.');
    if (analysis === 'dissociation') r.effect_y = number('planEffectY');
    if (covariates > 0) {
      r.covariates = Array.from({ length: covariates }, (_, k) => `covariate ${k + 1}`);
      r.distance = number('planDistance');
      // The correlation matrix's lower triangle: covariates first, then the task(s).
      const tasks = analysis === 'dissociation' ? 2 : 1;
      const rTask = number('planRTask'), rCov = number('planRCov');
      const rXY = analysis === 'dissociation' ? number('planR') : 0;
      r.matrix = [];
      for (let i = 1; i < covariates + tasks; ++i)
        for (let j = 0; j < i; ++j) r.matrix.push(i < covariates ? rCov : j < covariates ? rTask : rXY);
    } else if (analysis === 'dissociation') {
      r.r = number('planR');
    }
    if (simulated || covariates > 0) {
      r.replications = number('planReplications', { whole: true });
      r.seed = number('planSeed', { whole: true });
    }
    if (simulated) r.iterations = number('planIterations', { whole: true });
    return r;
  }

  // Ticks at 1, 2 or 5 times a power of ten, about five over [lo, hi].
  function axis(lo, hi) {
    if (!(hi > lo)) { lo -= 1; hi += 1; }
    const raw = (hi - lo) / 5;
    const p = 10 ** Math.floor(Math.log10(raw));
    const step = [1, 2, 5, 10].map((m) => m * p).find((s) => s >= raw);
    const lower = Math.floor(lo / step) * step, upper = Math.ceil(hi / step) * step;
    const ticks = [];
    for (let t = lower; t <= upper + step / 2; t += step) ticks.push(Number(t.toPrecision(12)));
    return { lower, upper, ticks };
  }
  // The caption's lines under the drawing, so that an exported file names its inputs.
  function wrap(text, width) {
    const lines = [''];
    for (const word of text.split(' ')) {
      const last = lines.length - 1;
      if (lines[last] !== '' && lines[last].length + word.length + 1 > width) lines.push(word);
      else lines[last] += (lines[last] ? ' ' : '') + word;
    }
    return lines;
  }
  function drawFamily(family, curves, boxId, captionId) {
    const xs = family.curves.flatMap((c) => c.points.map((p) => p[0]));
    const f = K.plotFrame(curves.title, axis(Math.min(...xs), Math.max(...xs)), { lower: 0, upper: 1, ticks: [0, 0.2, 0.4, 0.6, 0.8, 1] },
                          family.x_label, 'Power');
    const ty = f.sy(curves.target);
    f.plot.appendChild(el('line', { x1: f.sx(Math.min(...xs)) - 1e4, x2: f.sx(Math.max(...xs)) + 1e4, y1: ty, y2: ty,
                                    stroke: '#000', 'stroke-dasharray': '6 4', class: 'target' }));
    family.curves.forEach((c, k) => {
      const colour = colours[k % colours.length];
      const pts = c.points.map(([x, y]) => [f.sx(x), f.sy(y)]);
      const d = pts.map(([x, y], i) => `${i ? 'L' : 'M'}${x.toFixed(2)},${y.toFixed(2)}`).join('');
      f.plot.appendChild(el('path', { d, fill: 'none', stroke: colour, 'stroke-width': 2, class: 'curve' }));
      if (pts.length <= maxMarkers) for (const [x, y] of pts) f.plot.appendChild(el('circle', { cx: x, cy: y, r: 2.5, fill: colour }));
    });
    // The legend in the corner of the plot that the curves cross least.
    const W = 560, H = 420, L = 64, R = 20, T = 34, B = 56;
    const entries = [...family.curves.map((c) => c.label), `target power ${curves.target}`];
    const lw = 12 + 7 * Math.max(...entries.map((e) => e.length)) + 30, lh = 8 + 16 * entries.length;
    const corners = [[L + 6, T + 6], [W - R - 6 - lw, T + 6], [W - R - 6 - lw, H - B - 6 - lh], [L + 6, H - B - 6 - lh]];
    // The curves' lines, sampled every few pixels between their points.
    const samples = [];
    for (const c of family.curves) {
      const pts = c.points.map(([x, y]) => [f.sx(x), f.sy(y)]);
      pts.forEach(([x, y], i) => {
        if (i === 0) { samples.push([x, y]); return; }
        const [x0, y0] = pts[i - 1];
        const steps = Math.ceil(Math.hypot(x - x0, y - y0) / 4);
        for (let k = 1; k <= steps; ++k) samples.push([x0 + (x - x0) * k / steps, y0 + (y - y0) * k / steps]);
      });
    }
    const inside = ([x0, y0]) => samples.filter(([x, y]) => x >= x0 && x <= x0 + lw && y >= y0 && y <= y0 + lh).length;
    const [lx, ly] = corners.reduce((best, c) => (inside(c) < inside(best) ? c : best));
    const legend = el('g', { class: 'legend' });
    legend.appendChild(el('rect', { x: lx, y: ly, width: lw, height: lh, fill: '#fff', stroke: '#999', 'fill-opacity': 0.9 }));
    entries.forEach((e, k) => {
      const y = ly + 14 + 16 * k;
      const target = k === family.curves.length;
      legend.appendChild(el('line', { x1: lx + 6, x2: lx + 30, y1: y - 4, y2: y - 4, stroke: target ? '#000' : colours[k % colours.length],
                                      'stroke-width': target ? 1 : 2, 'stroke-dasharray': target ? '6 4' : 'none' }));
      legend.appendChild(el('text', { x: lx + 36, y }, e));
    });
    f.svg.appendChild(legend);
    const lines = wrap(curves.caption, 88);
    f.svg.setAttribute('viewBox', `0 0 ${W} ${H + 16 * lines.length + 6}`);
    f.svg.setAttribute('height', H + 16 * lines.length + 6);
    lines.forEach((line, k) => f.svg.appendChild(el('text', { x: 10, y: H + 14 + 16 * k, 'font-size': 11 }, line)));
    $(boxId).replaceChildren(f.svg);
    $(captionId).textContent = curves.caption;
  }

  let answer = null;
  const csvBlob = (text) => new Blob([text], { type: 'text/csv' });
  function fileWord(label) { return label.replace(/ = /g, '_').replace(/[^A-Za-z0-9_.-]+/g, '_'); }
  function show(a) {
    answer = a;
    $('planReport').value = a.report;
    $('planTables').hidden = false;
    const c = a.curves;
    $('planCurves').hidden = !c;
    const tables = [];
    if (c) {
      const byN = c.against_n.curves[0].points.length > 1 || c.against_effect.curves[0].points.length < 2;
      const byEffect = c.against_effect.curves[0].points.length > 1;
      $('planByN').hidden = !byN;
      $('planByEffect').hidden = !byEffect;
      if (byN) drawFamily(c.against_n, c, 'planByNPlot', 'planByNCaption');
      if (byEffect) drawFamily(c.against_effect, c, 'planByEffectPlot', 'planByEffectCaption');
      for (const [family, shown] of [[c.against_n, byN], [c.against_effect, byEffect]]) {
        if (!shown) continue;
        for (const curve of family.curves) {
          const b = document.createElement('button');
          b.type = 'button';
          b.textContent = `Table: ${curve.label} (CSV)`;
          b.addEventListener('click', () => K.download(`power_${fileWord(curve.label)}.csv`, csvBlob(curve.csv)));
          tables.push(b);
        }
      }
    }
    $('planCurveTables').replaceChildren(...tables);
    document.body.dataset.plans = String(Number(document.body.dataset.plans || 0) + 1);
  }
  $('planCsv').addEventListener('click', () => { if (answer) K.download('power.csv', csvBlob(answer.csv)); });
  $('planByNSvg').addEventListener('click', () => K.download('power_against_n.svg', new Blob([K.svgText('planByNPlot')], { type: 'image/svg+xml' })));
  $('planByEffectSvg').addEventListener('click', () => K.download('power_against_effect.svg', new Blob([K.svgText('planByEffectPlot')], { type: 'image/svg+xml' })));
  $('planByNPng').addEventListener('click', () => K.savePng('planByNPlot', 'power_against_n.png'));
  $('planByEffectPng').addEventListener('click', () => K.savePng('planByEffectPlot', 'power_against_effect.png'));

  $('planCompute').addEventListener('click', () => {
    if (!K.engine.ready()) return;
    let request;
    try {
      request = planRequest();
    } catch (e) {
      if (e instanceof FieldError) { K.warning(e.message, e.field); return; }
      throw e;
    }
    const simulated = request.replications !== undefined;
    K.engine.run({
      message: { type: 'power', request },
      unit: request.find ? 'searches' : simulated ? 'replications' : 'points',
      onAnswer: (a) => {
        if (!a.ok) { K.warning(a.message, $('planCompute')); return; }
        show(a);
        $('planCompute').focus();
      },
      cancelFocus: $('planCompute'),
      // Compute is disabled until the new engine is ready: the focus goes to it then,
      // unless the user has moved it.
      onCancel: () => {
        const wait = setInterval(() => {
          if (!K.engine.ready()) return;
          clearInterval(wait);
          if (document.activeElement === document.body || document.activeElement === null) $('planCompute').focus();
        }, 20);
      },
    });
  });
  K.planning = { request: planRequest };
})();
