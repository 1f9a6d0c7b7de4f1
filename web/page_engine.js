// SPDX-License-Identifier: GPL-3.0-or-later
// The engine's worker. One computation runs at a time; a run shows its progress after half
// a second, and Cancel (or Escape) ends the worker and starts a new one, which the page
// may use as soon as it is ready.
(() => {
  const K = Kestrum;
  const $ = K.$;
  const progressDelayMs = 500;
  let wasmModule = null;
  let worker = null;
  let ready = false;
  // The current computation: {unit, started, timer, onAnswer, onChecked, onCancel,
  // cancelFocus, done, total}.
  let running = null;
  const buttons = [];  // enabled only while the engine is ready
  // Where the focus goes once a new worker is ready after Cancel: the button that started
  // the run is disabled while the worker starts, so it cannot take the focus at once.
  let pendingFocus = null;

  async function load() {
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
    setReady(false);
    const url = URL.createObjectURL(new Blob([KESTRUM_ENGINE_SOURCE], { type: 'text/javascript' }));
    worker = new Worker(url);
    worker.onmessage = (e) => onWorkerMessage(e.data);
    worker.onerror = (e) => { e.preventDefault(); finish(); K.warning('The engine stopped: ' + e.message); };
    worker.postMessage({ type: 'init', module: wasmModule });
  }
  function setReady(on) {
    ready = on;
    for (const b of buttons) b.disabled = !on;
    document.body.dataset.engine = on ? 'ready' : 'loading';
    if (on && pendingFocus) {
      const active = document.activeElement;
      if (!active || active === document.body || active === pendingFocus) pendingFocus.focus();
      pendingFocus = null;
    }
  }
  function onWorkerMessage(m) {
    if (m.type === 'ready') { setReady(true); return; }
    if (!running) return;
    if (m.type === 'progress') { showProgress(m.done, m.total); return; }
    if (m.type === 'checked') { if (running.onChecked) running.onChecked(); return; }
    const run = finish();
    if (m.type === 'failed') { K.warning('The engine stopped: ' + m.message, run.cancelFocus); return; }
    run.onAnswer(m.answer);
  }
  function finish() {
    const run = running;
    if (run) clearTimeout(run.timer);
    running = null;
    $('progressBox').hidden = true;
    K.main.inert = K.messageOpen;
    document.body.dataset.state = 'idle';
    return run;
  }
  function showProgress(done, total) {
    running.done = done;
    running.total = total;
    if ($('progressBox').hidden) return;
    $('progressBar').max = total > 0 ? total : 1;
    $('progressBar').value = done;
    let text = `${done.toLocaleString('en')} of ${total.toLocaleString('en')} ${running.unit} done`;
    if (done > 0 && done < total) {
      const elapsed = (performance.now() - running.started) / 1000;
      const left = elapsed / done * (total - done);
      text += `, about ${left < 10 ? left.toFixed(1) : Math.round(left)} s left`;
    }
    $('progressText').textContent = text;
  }
  function cancel() {
    if (!running) return;
    const run = running;
    worker.terminate();
    finish();
    startWorker();
    pendingFocus = run.cancelFocus;
    if (run.onCancel) run.onCancel();
  }
  $('cmdCancel').addEventListener('click', cancel);
  document.addEventListener('keydown', (e) => {
    if (e.key === 'Escape' && running && !K.messageOpen) { e.preventDefault(); cancel(); }
  });

  K.engine = {
    load,
    cancel,
    busy: () => running !== null,
    ready: () => ready && running === null,
    // A button that needs the engine: disabled until it is ready.
    needs(button) { buttons.push(button); button.disabled = !ready; },
    // Sends one message to the worker ({type: 'compute' | 'check' | 'batch', request, ...}).
    // `unit` names what the progress counts ("iterations", "cases"); onAnswer gets the
    // engine's answer; onChecked runs once the request has passed its checks; after
    // Cancel the focus goes to cancelFocus and onCancel runs.
    run({ message, unit = 'iterations', onAnswer, onChecked = null, onCancel = null, cancelFocus = null }) {
      running = { unit, started: performance.now(), onAnswer, onChecked, onCancel, cancelFocus,
                  done: 0, total: 0 };
      running.timer = setTimeout(() => {
        if (!running) return;
        $('progressBox').hidden = false;
        showProgress(running.done, running.total);
        $('cmdCancel').focus();
      }, progressDelayMs);
      K.main.inert = true;
      document.body.dataset.state = 'running';
      worker.postMessage(message);
    },
  };
})();
