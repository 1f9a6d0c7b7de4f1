// SPDX-License-Identifier: GPL-3.0-or-later
// The numeric fields' typing rules, as the worksheet's (app/input_checks): the core's key
// filter on every typed character (U+2212, the minus sign of word processors and PDF
// files, types "-"), the length limit when the key is released, and the paste rule: a
// paste or a drop loses its surrounding white space and line ends, then is taken whole
// or refused whole, the field unchanged.
(() => {
  const K = Kestrum;
  const S = K.S;
  const minusSign = '\u2212';
  // The white space a paste loses at either end: " \t\r\n\v\f", as the core's rule.
  const surrounding = /^[ \t\r\n\v\f]+|[ \t\r\n\v\f]+$/g;

  // The character a typed character inserts ('' when refused): Key_filter_code.
  function keyFilter(ch) {
    if (ch === minusSign) return '-';
    const code = ch.codePointAt(0);
    if (ch.length !== 1 || code > 127) return '';
    const mapped = S.key_filter[code];
    return mapped === '\0' ? '' : mapped;
  }
  // Keys that edit a field (backspace, tab, carriage return) are not text.
  const editKey = (c) => c === '\b' || c === '\t' || c === '\r';

  // A paste of `pasted` in place of value[from, to): {ok, text, message}, as the core's
  // Paste_into_field.
  K.pasteIntoField = function pasteIntoField(value, from, to, pasted) {
    let typed = '';
    for (const ch of pasted.replace(surrounding, '')) {
      const c = keyFilter(ch);
      if (c === '' || editKey(c)) return { ok: false, text: '', message: S.numeric_only };
      typed += c;
    }
    from = Math.min(from, value.length);
    to = Math.min(Math.max(to, from), value.length);
    const text = value.slice(0, from) + typed + value.slice(to);
    if (text.length > S.max_field_length) return { ok: false, text: '', message: S.max_length };
    return { ok: true, text, message: '' };
  };

  // Typed text: the refused characters are dropped with the beep and the message; the
  // length limit is checked when the key is released.
  function typeIntoField(field, data) {
    let kept = '';
    let refused = false;
    for (const ch of data) {
      const c = keyFilter(ch);
      if (c === '' || editKey(c)) { refused = refused || c === ''; continue; }
      kept += c;
    }
    if (kept !== '') field.setRangeText(kept, field.selectionStart, field.selectionEnd, 'end');
    if (refused) { K.beep(); K.warning(S.numeric_only, field); }
  }
  function pasteIntoField(field, data) {
    const { selectionStart: from, selectionEnd: to, value } = field;
    const p = K.pasteIntoField(value, from, to, data);
    if (!p.ok) { K.beep(); K.warning(p.message, field); return; }
    field.value = p.text;
    const caret = p.text.length - (value.length - to);
    field.setSelectionRange(caret, caret);
  }

  // Gives an <input> the numeric field's rules.
  K.numericField = function numericField(field) {
    field.addEventListener('beforeinput', (e) => {
      if (!e.inputType.startsWith('insert')) return;  // deleting goes as usual
      const data = e.data ?? (e.dataTransfer ? e.dataTransfer.getData('text/plain') : '');
      if (data === null) return;
      e.preventDefault();
      if (e.inputType === 'insertText' || e.inputType === 'insertCompositionText') typeIntoField(field, data);
      else if (e.inputType !== 'insertLineBreak') pasteIntoField(field, data);
    });
    field.addEventListener('keyup', () => {
      if (K.messageOpen || field.value.length <= S.max_field_length) return;
      field.value = field.value.slice(0, S.max_field_length);
      K.beep();
      K.warning(S.max_length, field).then(() => field.select());
    });
    return field;
  };

  // The Monte Carlo iterations of an Options field: the whole number, or null after the
  // command line's message (its limits come from the core) with the focus on the field.
  K.iterationsOf = function iterationsOf(field) {
    const text = field.value.trim();
    const { min, max } = S.iterations;
    if (/^[0-9]{1,9}$/.test(text) && Number(text) >= min && Number(text) <= max) return Number(text);
    K.beep();
    K.warning(`Invalid value '${text}' for the Monte Carlo iterations (expected a whole number from ${min} to ${max}).`, field);
    return null;
  };
})();
