// SPDX-License-Identifier: GPL-3.0-or-later
// The batch: the command line's batch of a case file against the control figures and
// options of the form in use. A form sets Kestrum.batch.request to a function giving the
// engine's request (app/engine_interface.h) for its figures.
(() => {
  const K = Kestrum;
  const $ = K.$;
  K.batch = { request: null };
  K.engine.needs($('cmdBatch'));

  function showAnswer(a) {
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
  }

  $('cmdBatch').addEventListener('click', async () => {
    if (!K.engine.ready() || !K.batch.request) return;
    const file = $('batchFile').files[0];
    if (!file) { K.warning('Choose a CSV file of cases first.', $('batchFile')); return; }
    const csv = await file.arrayBuffer();
    $('batchDownload').hidden = true;
    $('batchStatus').textContent = 'Running...';
    K.engine.run({
      message: { type: 'batch', csv, request: K.batch.request(), format: 'csv', name: file.name },
      unit: 'cases',
      onAnswer: showAnswer,
      cancelFocus: $('cmdBatch'),
      onCancel: () => { $('batchStatus').textContent = 'The batch was cancelled.'; },
    });
  });
})();
