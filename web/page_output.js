// SPDX-License-Identifier: GPL-3.0-or-later
// The Output: every report of the page's analyses, one after the other, as the desktop's
// results viewer keeps them; Save Output, Print and Clear Results.
(() => {
  const K = Kestrum;
  const $ = K.$;
  const memo = $('memoResults');

  K.output = {
    // True when a report is shown: the next one is appended after the separator.
    any: () => memo.value.length > 0,
    // Shows the engine's answer to a run: its report after the earlier ones, and its plots.
    show(answer) {
      memo.value += answer.report;
      memo.scrollTop = memo.scrollHeight;
      K.drawPlots(answer.plots);
      document.body.dataset.reports = String(Number(document.body.dataset.reports || 0) + 1);
    },
  };

  $('cmdSaveOutput').addEventListener('click', () => {
    K.download('results.txt', new Blob([memo.value], { type: 'text/plain' }));
  });
  $('cmdPrint').addEventListener('click', () => {
    $('printout').textContent = memo.value;
    window.print();
  });
  $('cmdClearResults').addEventListener('click', async () => {
    if (memo.value === '') return;
    if (!(await K.confirmBox('Clear all the results?'))) return;
    memo.value = '';
    $('plots').hidden = true;
  });
})();
