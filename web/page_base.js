// SPDX-License-Identifier: GPL-3.0-or-later
// The page's shared parts, in the one namespace `Kestrum` that the page's scripts fill in
// order: page_base (message boxes, the beep, downloads), page_fields (the numeric fields'
// typing rules), page_engine (the engine's worker: runs with progress and Cancel),
// page_plots (plots drawn as SVG from the core's plot geometry), page_output (the Output
// text), page_batch (the batch), then the forms (page.js: the worksheet) and the start.
// The engine (the program's core compiled to WebAssembly) runs in a worker made from a
// Blob, so the page works from a file:// address and never freezes. Nothing leaves the page.
// Set by the build before these scripts: KESTRUM_STRINGS (the worksheet's texts and the key
// filter's table, taken from the core), KESTRUM_ENGINE_SOURCE (the worker's code) and, in
// the single-file page, KESTRUM_WASM_BASE64.
const Kestrum = {
  S: KESTRUM_STRINGS,
  $: (id) => document.getElementById(id),
  main: document.querySelector('main'),
};

(() => {
  const K = Kestrum;
  const $ = K.$;

  // ---------------------------------------------------------------------------------
  // Message boxes: modal, one or two buttons, focus kept inside; Escape answers No (or
  // OK). Resolves with the button's text. The focus goes back where it was, or to `after`.
  K.messageOpen = false;
  K.messageBox = function messageBox(text, buttons = ['OK'], defaultButton = 0, after = null) {
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
        K.messageOpen = false;
        document.removeEventListener('keydown', onKey, true);
        K.main.inert = K.engine.busy();
        const target = after || before;
        if (target && target.focus) target.focus();
        resolve(label);
      }
      document.addEventListener('keydown', onKey, true);
      K.messageOpen = true;
      K.main.inert = true;
      box.hidden = false;
      made[defaultButton].focus();
    });
  };
  K.warning = (text, after) => K.messageBox(text, ['OK'], 0, after);
  K.confirmBox = async (text) => (await K.messageBox(text, ['Yes', 'No'], 1)) === 'Yes';

  // The refused key's beep: a short tone (a page has no system beep).
  let audio = null;
  K.beep = function beep() {
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
  };

  // A download of a Blob under a file name.
  K.download = function download(name, blob) {
    const a = document.createElement('a');
    a.href = URL.createObjectURL(blob);
    a.download = name;
    document.body.appendChild(a);
    a.click();
    a.remove();
    setTimeout(() => URL.revokeObjectURL(a.href), 60000);
  };
})();
