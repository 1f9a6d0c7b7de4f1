// SPDX-License-Identifier: GPL-3.0-or-later
// The Output: every report of the page's analyses, one after the other, as the desktop's
// results viewer keeps them; Save Output, Print (the reports and the plots) and Clear
// Results. A new report comes into view with its conclusion (the report's last paragraph)
// above it, in a live region that screen readers announce.
(() => {
  const K = Kestrum;
  const $ = K.$;
  const memo = $('memoResults');

  // The report's last paragraph (its overall result), on one line per line of the report.
  function conclusionOf(report) {
    const paragraphs = report.replace(/\s+$/, '').split(/\n[ \t]*\n/);
    return paragraphs[paragraphs.length - 1].split('\n').map((l) => l.trim()).filter((l) => l !== '').join('\n');
  }

  K.output = {
    // True when a report is shown: the next one is appended after the separator.
    any: () => memo.value.length > 0,
    // Shows the engine's answer to a run: its report after the earlier ones, scrolled to its
    // start, its conclusion above, and its plots; the Output comes into view.
    show(answer) {
      const linesBefore = memo.value === '' ? 0 : memo.value.split('\n').length;
      memo.value += answer.report;
      const lineHeight = parseFloat(getComputedStyle(memo).lineHeight) || 15;
      memo.scrollTop = Math.max(0, linesBefore - 1) * lineHeight;
      $('conclusion').textContent = conclusionOf(answer.report);
      K.drawPlots(answer.plots);
      $('results').scrollIntoView({ block: 'start' });
      document.body.dataset.reports = String(Number(document.body.dataset.reports || 0) + 1);
    },
  };

  $('cmdSaveOutput').addEventListener('click', () => {
    if (memo.value === '') {
      K.warning('There is nothing to save: the Output holds no results.', $('cmdSaveOutput'));
      return;
    }
    K.download('results.txt', new Blob([memo.value], { type: 'text/plain' }));
  });
  $('cmdPrint').addEventListener('click', () => {
    $('printout').textContent = memo.value;
    $('printplots').replaceChildren(...K.exportedPlots());
    window.print();
  });
  $('cmdClearResults').addEventListener('click', async () => {
    if (memo.value === '') return;
    if (!(await K.confirmBox('Clear all the results?'))) return;
    memo.value = '';
    $('conclusion').textContent = '';
    $('plots').hidden = true;
  });
})();
