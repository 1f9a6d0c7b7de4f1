// SPDX-License-Identifier: GPL-3.0-or-later
// The engine's worker: follows emscripten's glue (which defines KestrumEngine) in the Blob
// the page makes. It instantiates the compiled module the page sends, then answers one
// request at a time; progress goes to the page while a computation runs. The page stops a
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
        compute: module.cwrap('kestrum_compute', 'string',
                              ['string', 'number', 'number', 'number', 'string', 'number', 'number']),
        cli: module.cwrap('kestrum_cli', 'string', ['string', 'number']),
        FS: module.FS,
      };
      self.postMessage({ type: 'ready' });
    } else if (m.type === 'compute') {
      const answer = engine.compute(m.fields.join('\x1f'), m.criteria, m.oneTailed ? 1 : 0,
                                    m.jeffreys ? 1 : 0, m.notes, m.viewerHasText ? 1 : 0,
                                    m.iterations || 0);
      self.postMessage({ type: 'computed', answer: JSON.parse(answer) });
    } else if (m.type === 'batch') {
      engine.FS.writeFile('/cases.csv', new Uint8Array(m.csv));
      const answer = engine.cli([...m.args, '--batch', '/cases.csv'].join('\x1f'), 1);
      engine.FS.unlink('/cases.csv');
      self.postMessage({ type: 'batched', answer: JSON.parse(answer) });
    }
  } catch (error) {
    self.postMessage({ type: 'failed', message: String(error && error.message || error) });
  }
};
