// SPDX-License-Identifier: GPL-3.0-or-later
// The numeric fields' typing rules, as the worksheet's: the core's key filter on every
// typed or pasted character, and the length limit when the key is released.
(() => {
  const K = Kestrum;
  const S = K.S;

  function keyFilter(ch) {
    const code = ch.charCodeAt(0);
    if (ch.length !== 1 || code > 127) return '';
    const mapped = S.key_filter[code];
    return mapped === '\0' ? '' : mapped;
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
      if (refused) { K.beep(); K.warning(S.numeric_only, field); }
      return;
    }
    const tooLong = field.value.length > S.max_field_length;
    if (tooLong) {
      field.value = field.value.slice(0, S.max_field_length);
      field.select();
    }
    if (refused || tooLong) { K.beep(); K.warning(refused ? S.numeric_only : S.max_length, field); }
  }

  // Gives an <input> the numeric field's rules.
  K.numericField = function numericField(field) {
    field.addEventListener('beforeinput', (e) => {
      if (!e.inputType.startsWith('insert')) return;  // deleting goes as usual
      const data = e.data ?? (e.dataTransfer ? e.dataTransfer.getData('text/plain') : '');
      if (data === null) return;
      e.preventDefault();
      insertIntoField(field, data, e.inputType === 'insertText');
    });
    field.addEventListener('keyup', () => {
      if (K.messageOpen || field.value.length <= S.max_field_length) return;
      field.value = field.value.slice(0, S.max_field_length);
      K.beep();
      K.warning(S.max_length, field).then(() => field.select());
    });
    return field;
  };
})();
