// SPDX-License-Identifier: GPL-3.0-or-later
// The page: the worksheet, the results, the plots and the batch. The engine (the program's
// core compiled to WebAssembly) runs in a worker made from a Blob, so the page works from
// a file:// address and never freezes; a long run shows its progress after half a second,
// and Cancel (or Escape) ends the worker and starts a new one. Nothing leaves the page.
// Set by the build before this script: KESTRUM_STRINGS (the worksheet's texts and the key
// filter's table, taken from the core), KESTRUM_ENGINE_SOURCE (the worker's code) and, in
// the single-file page, KESTRUM_WASM_BASE64.
(() => {
  const S = KESTRUM_STRINGS;
  const $ = (id) => document.getElementById(id);
  const fieldIds = ['txtInput1', 'txtInput2', 'txtInput3', 'txtInput4',
                    'txtInput5', 'txtInput6', 'txtInput7', 'txtinput8'];
  const fields = fieldIds.map($);
  const storageKey = 'kestrum.controls';
  const main = document.querySelector('main');
  const progressDelayMs = 500;

  // ---------------------------------------------------------------------------------
  // Message boxes: modal, one or two buttons, focus kept inside; Escape answers No (or
  // OK). Resolves with the button's text. The focus goes back where it was, or to `after`.
  let messageOpen = false;
  function messageBox(text, buttons = ['OK'], defaultButton = 0, after = null) {
    return new Promise((resolve) => {
      const box = $('messageBox');
      const row = $('messageButtons');
      const before = document.activeElement;
      $('messageText').textContent = text.replace(/\r\n?/g, '\n');
      row.replaceChildren();
      const made = buttons.map((label) => {
        const b = document.createElement('button');
        b.type = 'button';
        b.textContent = label;
        b.addEventListener('click', () => close(label));
        row.appendChild(b);
        return b;
      });
      const onKey = (e) => {
        if (e.key === 'Escape') { e.preventDefault(); close(buttons[buttons.length - 1]); }
        if (e.key === 'Tab') {
          e.preventDefault();
          const i = made.indexOf(document.activeElement);
          made[(i + (e.shiftKey ? made.length - 1 : 1)) % made.length].focus();
        }
      };
      function close(label) {
        box.hidden = true;
        messageOpen = false;
        document.removeEventListener('keydown', onKey, true);
        main.inert = running !== null;
        const target = after || before;
        if (target && target.focus) target.focus();
        resolve(label);
      }
      document.addEventListener('keydown', onKey, true);
      messageOpen = true;
      main.inert = true;
      box.hidden = false;
      made[defaultButton].focus();
    });
  }
  const warning = (text, after) => messageBox(text, ['OK'], 0, after);
  const confirmBox = async (text) => (await messageBox(text, ['Yes', 'No'], 1)) === 'Yes';

  // ---------------------------------------------------------------------------------
  // The fields' typing rules: the core's key filter on every typed or pasted character,
  // and the length limit when the key is released.
  function keyFilter(ch) {
    const code = ch.charCodeAt(0);
    if (ch.length !== 1 || code > 127) return '';
    const mapped = S.key_filter[code];
    return mapped === '\0' ? '' : mapped;
  }
  // The refused key's beep: a short tone (a page has no system beep).
  let audio = null;
  function beep() {
    try {
      audio = audio || new AudioContext();
      const tone = audio.createOscillator();
      const gain = audio.createGain();
      tone.frequency.value = 880;
      gain.gain.value = 0.1;
      tone.connect(gain).connect(audio.destination);
      tone.start();
      tone.stop(audio.currentTime + 0.08);
    } catch (e) { /* no audio: the message still shows */ }
  }
  function insertIntoField(field, data, typed) {
    let kept = '';
    let refused = false;
    for (const ch of data.replace(/\r\n?/g, '\n')) {
      const c = keyFilter(ch);
      if (c === '' || c === '\r' || c === '\t' || c === '\b') { refused = refused || c === ''; continue; }
      kept += c;
    }
    if (kept !== '') field.setRangeText(kept, field.selectionStart, field.selectionEnd, 'end');
    if (typed) {
      if (refused) { beep(); warning(S.numeric_only, field); }
      return;
    }
    const tooLong = field.value.length > S.max_field_length;
    if (tooLong) {
      field.value = field.value.slice(0, S.max_field_length);
      field.select();
    }
    if (refused || tooLong) { beep(); warning(refused ? S.numeric_only : S.max_length, field); }
  }
  for (const field of fields) {
    field.addEventListener('beforeinput', (e) => {
      if (!e.inputType.startsWith('insert')) return;  // deleting goes as usual
      const data = e.data ?? (e.dataTransfer ? e.dataTransfer.getData('text/plain') : '');
      if (data === null) return;
      e.preventDefault();
      insertIntoField(field, data, e.inputType === 'insertText');
    });
    field.addEventListener('keyup', () => {
      if (messageOpen || field.value.length <= S.max_field_length) return;
      field.value = field.value.slice(0, S.max_field_length);
      beep();
      warning(S.max_length, field).then(() => field.select());
    });
  }

  // ---------------------------------------------------------------------------------
  // The engine's worker.
  let wasmModule = null;
  let worker = null;
  let engineReady = false;
  let running = null;  // {kind, started, timer, onAnswer}

  async function loadEngine() {
    let bytes;
    if (typeof KESTRUM_WASM_BASE64 === 'string') {
      const text = atob(KESTRUM_WASM_BASE64);
      bytes = new Uint8Array(text.length);
      for (let i = 0; i < text.length; ++i) bytes[i] = text.charCodeAt(i);
    } else {
      try {
        const response = await fetch('kestrum.wasm');
        if (!response.ok) throw new Error(response.statusText);
        bytes = await response.arrayBuffer();
      } catch (e) {
        throw new Error('kestrum.wasm could not be loaded (' + e.message + '). A page opened from ' +
                        'disk cannot load it: open kestrum.html, the single-file page, instead.');
      }
    }
    wasmModule = await WebAssembly.compile(bytes);
    startWorker();
  }
  function startWorker() {
    engineReady = false;
    const url = URL.createObjectURL(new Blob([KESTRUM_ENGINE_SOURCE], { type: 'text/javascript' }));
    worker = new Worker(url);
    worker.onmessage = (e) => onWorkerMessage(e.data);
    worker.onerror = (e) => { e.preventDefault(); finishRun(); warning('The engine stopped: ' + e.message); };
    worker.postMessage({ type: 'init', module: wasmModule });
  }
  function setReady(ready) {
    engineReady = ready;
    $('cmdCompute').disabled = !ready;
    $('cmdBatch').disabled = !ready;
    document.body.dataset.engine = ready ? 'ready' : 'loading';
  }
  function onWorkerMessage(m) {
    if (m.type === 'ready') { setReady(true); return; }
    if (!running) return;
    if (m.type === 'progress') { showProgress(m.done, m.total); return; }
    if (m.type === 'checked') { if (running.onChecked) running.onChecked(); return; }
    const run = finishRun();
    if (m.type === 'failed') { warning('The engine stopped: ' + m.message); return; }
    run.onAnswer(m.answer);
  }
  function startRun(kind, message, onAnswer, onChecked = null) {
    running = { kind, started: performance.now(), onAnswer, onChecked, done: 0, total: 0 };
    running.timer = setTimeout(() => {
      if (!running) return;
      $('progressBox').hidden = false;
      showProgress(running.done, running.total);
      $('cmdCancel').focus();
    }, progressDelayMs);
    main.inert = true;
    document.body.dataset.state = 'running';
    worker.postMessage(message);
  }
  function finishRun() {
    const run = running;
    if (run) clearTimeout(run.timer);
    running = null;
    $('progressBox').hidden = true;
    main.inert = messageOpen;
    document.body.dataset.state = 'idle';
    return run;
  }
  function showProgress(done, total) {
    running.done = done;
    running.total = total;
    if ($('progressBox').hidden) return;
    const unit = running.kind === 'batch' ? 'cases' : 'iterations';
    $('progressBar').max = total > 0 ? total : 1;
    $('progressBar').value = done;
    let text = `${done.toLocaleString('en')} of ${total.toLocaleString('en')} ${unit} done`;
    if (done > 0 && done < total) {
      const elapsed = (performance.now() - running.started) / 1000;
      const left = elapsed / done * (total - done);
      text += `, about ${left < 10 ? left.toFixed(1) : Math.round(left)} s left`;
    }
    $('progressText').textContent = text;
  }
  function cancelRun() {
    if (!running) return;
    const kind = running.kind;
    worker.terminate();
    finishRun();
    setReady(false);
    startWorker();
    (kind === 'batch' ? $('cmdBatch') : $('cmdCompute')).focus();
    if (kind === 'batch') $('batchStatus').textContent = 'The batch was cancelled.';
  }
  $('cmdCancel').addEventListener('click', cancelRun);
  document.addEventListener('keydown', (e) => {
    if (e.key === 'Escape' && running && !messageOpen) { e.preventDefault(); cancelRun(); }
  });

  // ---------------------------------------------------------------------------------
  // The worksheet.
  const options = () => ({
    criteria: document.querySelector('input[name=criteria]:checked').value === '2' ? 2 : 1,
    oneTailed: $('radio_one_tail').checked,
    jeffreys: $('Prior_Radio_item1').checked,
  });
  function notesText() { return $('memoComments').value.replace(/\r\n?/g, '\n'); }
  // The notes as lines, as the worksheet splits its memo: a final line break starts no
  // further, empty line.
  function notesLines() {
    const text = notesText();
    if (text === '') return [];
    const lines = text.split('\n');
    if (lines.length > 1 && lines[lines.length - 1] === '') lines.pop();
    return lines;
  }
  // The engine's request for the worksheet (app/engine_interface.h).
  function worksheetRequest(texts) {
    const o = options();
    const iterations = Number(new URLSearchParams(location.hash.slice(1)).get('iterations')) || 0;
    const request = { analysis: 'worksheet', fields: texts, options: {
      criteria: o.criteria === 2 ? 'combined' : 'bayesian', tail: o.oneTailed ? 'one' : 'two',
      prior: o.jeffreys ? 'jeffreys' : 'calibrated' } };
    if (iterations) request.options.iterations = iterations;
    return request;
  }

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
    if (running || !engineReady) return;
    const texts = fields.map((f) => f.value);
    const request = { ...worksheetRequest(texts), notes: notesLines(),
                      append: $('memoResults').value.length > 0 };
    startRun('compute', { type: 'compute', request }, (a) => {
      if (!a.ok && a.field >= 0) { warning(a.message, fields[a.field]); return; }
      if (!a.ok) { warning(a.message, $('cmdCompute')); return; }
      const memo = $('memoResults');
      memo.value += a.report;
      memo.scrollTop = memo.scrollHeight;
      drawPlots(a.plots);
      document.body.dataset.reports = String(Number(document.body.dataset.reports || 0) + 1);
      $('cmdCompute').focus();
    }, () => saveControls(texts));
  });

  $('btnclearData').addEventListener('click', async () => {
    if (running) return;
    if (!(await confirmBox('Clear every field and the User\'s Notes, and delete the saved control data?'))) return;
    for (const f of fields) f.value = '';
    $('memoComments').value = '';
    try { localStorage.removeItem(storageKey); } catch (e) { /* nothing saved */ }
    fields[0].focus();
  });

  // ---------------------------------------------------------------------------------
  // Results.
  function download(name, blob) {
    const a = document.createElement('a');
    a.href = URL.createObjectURL(blob);
    a.download = name;
    document.body.appendChild(a);
    a.click();
    a.remove();
    setTimeout(() => URL.revokeObjectURL(a.href), 60000);
  }
  $('cmdSaveOutput').addEventListener('click', () => {
    download('results.txt', new Blob([$('memoResults').value], { type: 'text/plain' }));
  });
  $('cmdPrint').addEventListener('click', () => {
    $('printout').textContent = $('memoResults').value;
    window.print();
  });
  $('cmdClearResults').addEventListener('click', async () => {
    if ($('memoResults').value === '') return;
    if (!(await confirmBox('Clear all the results?'))) return;
    $('memoResults').value = '';
    $('plots').hidden = true;
  });

  // ---------------------------------------------------------------------------------
  // The two plots, drawn as SVG from the core's plot geometry.
  const svgNS = 'http://www.w3.org/2000/svg';
  function el(name, attrs, text) {
    const e = document.createElementNS(svgNS, name);
    for (const [k, v] of Object.entries(attrs)) e.setAttribute(k, String(v));
    if (text !== undefined) e.textContent = text;
    return e;
  }
  const tickText = (t) => String(Number(t.toPrecision(10)));
  function frame(title, xAxis, yAxis, xTitle, yTitle) {
    const W = 560, H = 420, L = 64, R = 20, T = 34, B = 56;
    const svg = el('svg', { xmlns: svgNS, viewBox: `0 0 ${W} ${H}`, width: W, height: H,
                            role: 'img', 'font-family': 'DejaVu Sans, sans-serif', 'font-size': 12 });
    svg.appendChild(el('title', {}, title));
    svg.appendChild(el('rect', { x: 0, y: 0, width: W, height: H, fill: '#fff' }));
    const sx = (x) => L + (x - xAxis.lower) / (xAxis.upper - xAxis.lower) * (W - L - R);
    const sy = (y) => H - B - (y - yAxis.lower) / (yAxis.upper - yAxis.lower) * (H - T - B);
    svg.appendChild(el('text', { x: W / 2, y: 20, 'text-anchor': 'middle', 'font-weight': 'bold' }, title));
    svg.appendChild(el('rect', { x: L, y: T, width: W - L - R, height: H - T - B, fill: 'none', stroke: '#000' }));
    for (const t of xAxis.ticks) {
      svg.appendChild(el('line', { x1: sx(t), x2: sx(t), y1: H - B, y2: H - B + 5, stroke: '#000' }));
      svg.appendChild(el('text', { x: sx(t), y: H - B + 18, 'text-anchor': 'middle' }, tickText(t)));
    }
    for (const t of yAxis.ticks) {
      svg.appendChild(el('line', { x1: L - 5, x2: L, y1: sy(t), y2: sy(t), stroke: '#000' }));
      svg.appendChild(el('text', { x: L - 8, y: sy(t) + 4, 'text-anchor': 'end' }, tickText(t)));
    }
    svg.appendChild(el('text', { x: L + (W - L - R) / 2, y: H - 12, 'text-anchor': 'middle' }, xTitle));
    svg.appendChild(el('text', { x: 16, y: T + (H - T - B) / 2, 'text-anchor': 'middle',
                                 transform: `rotate(-90 16 ${T + (H - T - B) / 2})` }, yTitle));
    const clip = el('clipPath', { id: 'c' + Math.random().toString(36).slice(2) });
    clip.appendChild(el('rect', { x: L, y: T, width: W - L - R, height: H - T - B }));
    svg.appendChild(clip);
    const plot = el('g', { 'clip-path': `url(#${clip.id})` });
    svg.appendChild(plot);
    return { svg, plot, sx, sy };
  }
  function drawPlots(p) {
    if (!p) { $('plots').hidden = true; return; }
    $('plotTitle').textContent = p.title;
    const c = p.case;
    const f1 = frame('Case against the control population', c.x_axis, c.y_axis, c.x_title, c.y_title);
    for (const e of c.ellipses) {
      const d = e.points.map(([x, y], i) => `${i ? 'L' : 'M'}${f1.sx(x).toFixed(2)},${f1.sy(y).toFixed(2)}`).join('') + 'Z';
      f1.plot.appendChild(el('path', { d, fill: 'none', stroke: '#1a5fb4', 'stroke-width': 1.5 }));
      f1.plot.appendChild(el('text', { x: f1.sx(e.label_at[0]), y: f1.sy(e.label_at[1]) - 4, 'text-anchor': 'middle', fill: '#1a5fb4' }, e.label));
    }
    const [px, py] = c.point;
    f1.plot.appendChild(el('circle', { cx: f1.sx(px), cy: f1.sy(py), r: 5, fill: '#c01c28' }));
    f1.plot.appendChild(el('text', { x: f1.sx(px) + 8, y: f1.sy(py) - 8, fill: '#c01c28' }, c.point_label));
    $('casePlot').replaceChildren(f1.svg);
    $('caseCaption').textContent = c.caption;

    const q = p.posterior;
    const f2 = frame('Posterior distribution of Z-DCC', q.x_axis, q.y_axis, q.x_title, q.y_title);
    for (const [left, right, density] of q.bars) {
      f2.plot.appendChild(el('rect', { x: f2.sx(left), y: f2.sy(density), width: Math.max(0, f2.sx(right) - f2.sx(left)),
                                        height: Math.max(0, f2.sy(0) - f2.sy(density)), fill: '#99c1f1', stroke: '#3584e4', 'stroke-width': 0.5 }));
    }
    for (const x of q.interval) {
      f2.plot.appendChild(el('line', { x1: f2.sx(x), x2: f2.sx(x), y1: f2.sy(q.y_axis.lower), y2: f2.sy(q.y_axis.upper), stroke: '#000', 'stroke-dasharray': '5 4' }));
    }
    f2.plot.appendChild(el('line', { x1: f2.sx(q.zdcc), x2: f2.sx(q.zdcc), y1: f2.sy(q.y_axis.lower), y2: f2.sy(q.y_axis.upper), stroke: '#c01c28', 'stroke-width': 2 }));
    f2.plot.appendChild(el('text', { x: 72, y: 52, fill: '#c01c28' }, q.estimate_label));
    f2.plot.appendChild(el('text', { x: 72, y: 68 }, q.interval_label));
    $('posteriorPlot').replaceChildren(f2.svg);
    $('posteriorCaption').textContent = q.caption;
    $('plots').hidden = false;
  }
  function svgText(id) {
    return '<?xml version="1.0" encoding="UTF-8"?>\n' + new XMLSerializer().serializeToString($(id).firstChild);
  }
  function savePng(id, name) {
    const svg = $(id).firstChild;
    const img = new Image();
    const url = URL.createObjectURL(new Blob([svgText(id)], { type: 'image/svg+xml' }));
    img.onload = () => {
      const scale = 2;
      const canvas = document.createElement('canvas');
      canvas.width = svg.viewBox.baseVal.width * scale;
      canvas.height = svg.viewBox.baseVal.height * scale;
      const g = canvas.getContext('2d');
      g.fillStyle = '#fff';
      g.fillRect(0, 0, canvas.width, canvas.height);
      g.drawImage(img, 0, 0, canvas.width, canvas.height);
      URL.revokeObjectURL(url);
      canvas.toBlob((blob) => download(name, blob), 'image/png');
    };
    img.src = url;
  }
  $('caseSvg').addEventListener('click', () => download('case_plot.svg', new Blob([svgText('casePlot')], { type: 'image/svg+xml' })));
  $('posteriorSvg').addEventListener('click', () => download('posterior_plot.svg', new Blob([svgText('posteriorPlot')], { type: 'image/svg+xml' })));
  $('casePng').addEventListener('click', () => savePng('casePlot', 'case_plot.png'));
  $('posteriorPng').addEventListener('click', () => savePng('posteriorPlot', 'posterior_plot.png'));

  // ---------------------------------------------------------------------------------
  // Batch: the command line's batch on the worksheet's control figures and options.
  $('cmdBatch').addEventListener('click', async () => {
    if (running || !engineReady) return;
    const file = $('batchFile').files[0];
    if (!file) { warning('Choose a CSV file of cases first.', $('batchFile')); return; }
    const csv = await file.arrayBuffer();
    const request = worksheetRequest(fields.slice(0, 6).map((f) => f.value));
    $('batchDownload').hidden = true;
    $('batchStatus').textContent = 'Running...';
    startRun('batch', { type: 'batch', csv, request, format: 'csv', name: file.name }, (a) => {
      if (!a.ok) {
        $('batchStatus').textContent = 'The batch did not run.\n' + a.message;
        $('cmdBatch').focus();
        return;
      }
      const messages = a.messages.split('\n').filter((l) => l.trim() !== '');
      const rows = a.output === '' ? 0 : a.output.split('\n').filter((l) => l !== '').length - 1;
      let status = `${Math.max(0, rows)} case${rows === 1 ? '' : 's'} in results.csv.`;
      if (a.status === 2) status += ' Some rows failed their checks (see the error column).';
      else if (a.status !== 0) status = 'The batch did not run.';
      $('batchStatus').textContent = [status, ...messages].join('\n');
      if (a.output !== '') {
        const link = $('batchDownload');
        if (link.href) URL.revokeObjectURL(link.href);
        link.href = URL.createObjectURL(new Blob([a.output], { type: 'text/csv' }));
        link.hidden = false;
        link.focus();
      } else {
        $('cmdBatch').focus();
      }
    });
  });

  loadControls();
  setReady(false);
  window.kestrumPage = { loaded: loadEngine().catch((e) => warning('The engine could not start: ' + e.message)) };
})();
