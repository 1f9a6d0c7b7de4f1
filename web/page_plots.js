// SPDX-License-Identifier: GPL-3.0-or-later
// The plots, drawn as SVG from the core's plot geometry (app/plot_json), and their exports
// as SVG and PNG.
(() => {
  const K = Kestrum;
  const $ = K.$;

  const svgNS = 'http://www.w3.org/2000/svg';
  function el(name, attrs, text) {
    const e = document.createElementNS(svgNS, name);
    for (const [k, v] of Object.entries(attrs)) e.setAttribute(k, String(v));
    if (text !== undefined) e.textContent = text;
    return e;
  }
  const tickText = (t) => String(Number(t.toPrecision(10)));
  function frame(title, xAxis, yAxis, xTitle, yTitle) {
    const W = 560, H = 420, L = 64, R = 20, T = 34, B = 56;
    const svg = el('svg', { xmlns: svgNS, viewBox: `0 0 ${W} ${H}`, width: W, height: H,
                            role: 'img', 'font-family': 'DejaVu Sans, sans-serif', 'font-size': 12 });
    svg.appendChild(el('title', {}, title));
    svg.appendChild(el('rect', { x: 0, y: 0, width: W, height: H, fill: '#fff' }));
    const sx = (x) => L + (x - xAxis.lower) / (xAxis.upper - xAxis.lower) * (W - L - R);
    const sy = (y) => H - B - (y - yAxis.lower) / (yAxis.upper - yAxis.lower) * (H - T - B);
    svg.appendChild(el('text', { x: W / 2, y: 20, 'text-anchor': 'middle', 'font-weight': 'bold' }, title));
    svg.appendChild(el('rect', { x: L, y: T, width: W - L - R, height: H - T - B, fill: 'none', stroke: '#000' }));
    for (const t of xAxis.ticks) {
      svg.appendChild(el('line', { x1: sx(t), x2: sx(t), y1: H - B, y2: H - B + 5, stroke: '#000' }));
      svg.appendChild(el('text', { x: sx(t), y: H - B + 18, 'text-anchor': 'middle' }, tickText(t)));
    }
    for (const t of yAxis.ticks) {
      svg.appendChild(el('line', { x1: L - 5, x2: L, y1: sy(t), y2: sy(t), stroke: '#000' }));
      svg.appendChild(el('text', { x: L - 8, y: sy(t) + 4, 'text-anchor': 'end' }, tickText(t)));
    }
    svg.appendChild(el('text', { x: L + (W - L - R) / 2, y: H - 12, 'text-anchor': 'middle' }, xTitle));
    svg.appendChild(el('text', { x: 16, y: T + (H - T - B) / 2, 'text-anchor': 'middle',
                                 transform: `rotate(-90 16 ${T + (H - T - B) / 2})` }, yTitle));
    const clip = el('clipPath', { id: 'c' + Math.random().toString(36).slice(2) });
    clip.appendChild(el('rect', { x: L, y: T, width: W - L - R, height: H - T - B }));
    svg.appendChild(clip);
    const plot = el('g', { 'clip-path': `url(#${clip.id})` });
    svg.appendChild(plot);
    return { svg, plot, sx, sy };
  }
  function drawPlots(p) {
    if (!p) { $('plots').hidden = true; return; }
    $('plotTitle').textContent = p.title;
    const c = p.case;
    const f1 = frame('Case against the control population', c.x_axis, c.y_axis, c.x_title, c.y_title);
    for (const e of c.ellipses) {
      const d = e.points.map(([x, y], i) => `${i ? 'L' : 'M'}${f1.sx(x).toFixed(2)},${f1.sy(y).toFixed(2)}`).join('') + 'Z';
      f1.plot.appendChild(el('path', { d, fill: 'none', stroke: '#1a5fb4', 'stroke-width': 1.5 }));
      f1.plot.appendChild(el('text', { x: f1.sx(e.label_at[0]), y: f1.sy(e.label_at[1]) - 4, 'text-anchor': 'middle', fill: '#1a5fb4' }, e.label));
    }
    const [px, py] = c.point;
    f1.plot.appendChild(el('circle', { cx: f1.sx(px), cy: f1.sy(py), r: 5, fill: '#c01c28' }));
    f1.plot.appendChild(el('text', { x: f1.sx(px) + 8, y: f1.sy(py) - 8, fill: '#c01c28' }, c.point_label));
    $('casePlot').replaceChildren(f1.svg);
    $('caseCaption').textContent = c.caption;

    const q = p.posterior;
    const f2 = frame('Posterior distribution of Z-DCC', q.x_axis, q.y_axis, q.x_title, q.y_title);
    for (const [left, right, density] of q.bars) {
      f2.plot.appendChild(el('rect', { x: f2.sx(left), y: f2.sy(density), width: Math.max(0, f2.sx(right) - f2.sx(left)),
                                        height: Math.max(0, f2.sy(0) - f2.sy(density)), fill: '#99c1f1', stroke: '#3584e4', 'stroke-width': 0.5 }));
    }
    for (const x of q.interval) {
      f2.plot.appendChild(el('line', { x1: f2.sx(x), x2: f2.sx(x), y1: f2.sy(q.y_axis.lower), y2: f2.sy(q.y_axis.upper), stroke: '#000', 'stroke-dasharray': '5 4' }));
    }
    f2.plot.appendChild(el('line', { x1: f2.sx(q.zdcc), x2: f2.sx(q.zdcc), y1: f2.sy(q.y_axis.lower), y2: f2.sy(q.y_axis.upper), stroke: '#c01c28', 'stroke-width': 2 }));
    f2.plot.appendChild(el('text', { x: 72, y: 52, fill: '#c01c28' }, q.estimate_label));
    f2.plot.appendChild(el('text', { x: 72, y: 68 }, q.interval_label));
    $('posteriorPlot').replaceChildren(f2.svg);
    $('posteriorCaption').textContent = q.caption;
    $('plots').hidden = false;
  }
  K.drawPlots = drawPlots;
  K.plotElement = el;
  K.plotFrame = frame;
  function svgText(id) {
    return '<?xml version="1.0" encoding="UTF-8"?>\n' + new XMLSerializer().serializeToString($(id).firstChild);
  }
  function savePng(id, name) {
    const svg = $(id).firstChild;
    const img = new Image();
    const url = URL.createObjectURL(new Blob([svgText(id)], { type: 'image/svg+xml' }));
    img.onload = () => {
      const scale = 2;
      const canvas = document.createElement('canvas');
      canvas.width = svg.viewBox.baseVal.width * scale;
      canvas.height = svg.viewBox.baseVal.height * scale;
      const g = canvas.getContext('2d');
      g.fillStyle = '#fff';
      g.fillRect(0, 0, canvas.width, canvas.height);
      g.drawImage(img, 0, 0, canvas.width, canvas.height);
      URL.revokeObjectURL(url);
      canvas.toBlob((blob) => K.download(name, blob), 'image/png');
    };
    img.src = url;
  }
  K.svgText = svgText;
  K.savePng = savePng;
  $('caseSvg').addEventListener('click', () => K.download('case_plot.svg', new Blob([svgText('casePlot')], { type: 'image/svg+xml' })));
  $('posteriorSvg').addEventListener('click', () => K.download('posterior_plot.svg', new Blob([svgText('posteriorPlot')], { type: 'image/svg+xml' })));
  $('casePng').addEventListener('click', () => savePng('casePlot', 'case_plot.png'));
  $('posteriorPng').addEventListener('click', () => savePng('posteriorPlot', 'posterior_plot.png'));
})();
