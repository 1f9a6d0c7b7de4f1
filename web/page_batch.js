// SPDX-License-Identifier: GPL-3.0-or-later
// The batch: the command line's batch of a case file against the control figures and
// options of the form in use. A form sets Kestrum.batch.request to a function giving the
// engine's request (app/engine_interface.h) for its figures, or null when it has refused
// them with a message; Kestrum.batch.field(k) may give the form's field k, which gets the
// focus when the engine refuses that control figure. The control figures are checked
// before the case file is read; a case file that cannot be used gets a message box. The
// results are named after the case file.
(() => {
  const K = Kestrum;
  const $ = K.$;
  K.batch = { request: null, field: null };
  K.engine.needs($('cmdBatch'));

  // "cases.csv" -> "cases_results.csv".
  const resultsName = (name) => name.replace(/\.[^.]*$/, '') + '_results.csv';

  function showAnswer(a, name) {
    if (!a.ok) {
      $('batchStatus').textContent = 'The batch did not run.';
      K.warning(a.message, $('cmdBatch'));
      return;
    }
    const messages = a.messages.split('\n').filter((l) => l.trim() !== '');
    if (a.output === '' && a.status !== 0 && !a.cancelled) {
      // Nothing ran: the file cannot be used.
      $('batchStatus').textContent = 'The batch did not run.';
      K.warning(messages.join('\n'), $('batchFile'));
      return;
    }
    const rows = a.output === '' ? 0 : a.output.split('\n').filter((l) => l !== '').length - 1;
    const results = resultsName(name);
    let status = `${Math.max(0, rows)} case${rows === 1 ? '' : 's'} of ${name} in ${results}.`;
    if (a.status === 2) status += ' Some rows failed their checks (see the error column).';
    $('batchStatus').textContent = [status, ...messages].join('\n');
    const link = $('batchDownload');
    if (link.href) URL.revokeObjectURL(link.href);
    link.href = URL.createObjectURL(new Blob([a.output], { type: 'text/csv' }));
    link.download = results;
    link.textContent = `Download ${results}`;
    link.hidden = false;
    link.focus();
  }

  function runBatch(request, file, csv) {
    K.engine.run({
      message: { type: 'batch', csv, request, format: 'csv', name: file.name },
      unit: 'cases',
      onAnswer: (a) => showAnswer(a, file.name),
      cancelFocus: $('cmdBatch'),
      onCancel: () => { $('batchStatus').textContent = 'The batch was cancelled.'; },
    });
  }

  $('cmdBatch').addEventListener('click', async () => {
    if (!K.engine.ready() || !K.batch.request) return;
    const request = K.batch.request();
    if (!request) return;
    const file = $('batchFile').files[0];
    $('batchDownload').hidden = true;
    // The control figures first: a refused one gets its message and the focus.
    K.engine.run({
      message: { type: 'check', request },
      onAnswer: async (c) => {
        if (!c.ok) {
          const field = c.field >= 0 && K.batch.field ? K.batch.field(c.field) : null;
          K.warning(c.message, field || $('cmdBatch'));
          return;
        }
        if (!file) { K.warning('Choose a CSV file of cases first.', $('batchFile')); return; }
        $('batchStatus').textContent = 'Running...';
        runBatch(request, file, await file.arrayBuffer());
      },
      cancelFocus: $('cmdBatch'),
    });
  });
})();
