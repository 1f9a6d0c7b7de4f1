// SPDX-License-Identifier: GPL-3.0-or-later
// The engine's worker: follows emscripten's glue (which defines KestrumEngine) in the Blob
// the page makes. It instantiates the compiled module the page sends, then answers one
// request at a time (app/engine_interface.h: a run, a batch, the check of a batch's
// control figures or a plan, each a JSON request);
// progress goes to the page while a computation runs. The page stops a
// computation by ending this worker.
let engine = null;

self.onmessage = async (event) => {
  const m = event.data;
  try {
    if (m.type === 'init') {
      const module = await KestrumEngine({
        instantiateWasm(imports, done) {
          WebAssembly.instantiate(m.module, imports).then((instance) => done(instance, m.module));
          return {};
        },
        onProgress(done, total) { self.postMessage({ type: 'progress', done, total }); },
        onChecked() { self.postMessage({ type: 'checked' }); },
        print() {},
        printErr() {},
      });
      engine = {
        run: module.cwrap('kestrum_run', 'string', ['string']),
        power: module.cwrap('kestrum_power', 'string', ['string']),
        batch: module.cwrap('kestrum_batch', 'string', ['string', 'number', 'number', 'string', 'string']),
        check: module.cwrap('kestrum_check_controls', 'string', ['string']),
        module,
      };
      self.postMessage({ type: 'ready' });
    } else if (m.type === 'compute') {
      const answer = engine.run(JSON.stringify(m.request));
      self.postMessage({ type: 'computed', answer: JSON.parse(answer) });
    } else if (m.type === 'power') {
      const answer = engine.power(JSON.stringify(m.request));
      self.postMessage({ type: 'planned', answer: JSON.parse(answer) });
    } else if (m.type === 'check') {
      // A batch's control figures and options, before its case file is read.
      self.postMessage({ type: 'controls', answer: JSON.parse(engine.check(JSON.stringify(m.request))) });
    } else if (m.type === 'batch') {
      // The case file's bytes as they are, in the module's memory for the call.
      const bytes = new Uint8Array(m.csv);
      const at = engine.module._malloc(Math.max(1, bytes.length));
      let answer;
      try {
        engine.module.HEAPU8.set(bytes, at);
        answer = engine.batch(JSON.stringify(m.request), at, bytes.length, m.format, m.name);
      } finally {
        engine.module._free(at);
      }
      self.postMessage({ type: 'batched', answer: JSON.parse(answer) });
    }
  } catch (error) {
    self.postMessage({ type: 'failed', message: String(error && error.message || error) });
  }
};
