// SPDX-License-Identifier: GPL-3.0-or-later
// The plots, drawn as SVG from the core's plot geometry (app/plot_json) with the layout of
// the desktop's plots window: each panel's plot area a square, below it the tick labels,
// the axis title, the legend and the caption. A text inside a plot area goes to the first
// of its candidate places (in order of preference) that meets no text already placed and
// the fewest drawn lines. Every panel the geometry gives is drawn: the case among the
// controls (or, for one task, the case on the controls' distribution) and the posterior.
// The exports (SVG, PNG) and the printout carry the run's inputs above the panel.
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
  // A panel in logical units, as the desktop's: 500 wide, the plot area 400 square.
  const panelWidth = 500, panelHeight = 560, plotLeft = 64, plotTop = 40, plotSize = 400;
  const legendOffset = 44, swatchWidth = 22, swatchHeight = 12;
  const fontFamily = '"DejaVu Sans", "Liberation Sans", sans-serif';
  // Okabe and Ito's colours for colour-blind readers ("Color Universal Design", 2002).
  const blue = '#0072b2', labelBlue = '#005789', vermillion = '#d55e00', darkGrey = '#404040';
  const regionFill = 'rgba(86, 180, 233, 0.275)', band = 'rgba(230, 159, 0, 0.353)';

  let measure = null;
  function textWidth(text, px, bold) {
    measure = measure || document.createElement('canvas').getContext('2d');
    measure.font = `${bold ? 'bold ' : ''}${px}px ${fontFamily}`;
    return measure.measureText(text).width;
  }
  const lineHeight = (px) => Math.ceil(px * 1.2);
  // The box of a boxed text anchored at (x, y): h 'left' | 'center' | 'right' and v 'top' |
  // 'middle' | 'bottom' name the side of the box at the anchor.
  function textBox(text, px, bold, x, y, h, v) {
    const w = textWidth(text, px, bold) + 6, ht = lineHeight(px) + 2;
    return { x: h === 'right' ? x - w : h === 'center' ? x - w / 2 : x,
             y: v === 'bottom' ? y - ht : v === 'middle' ? y - ht / 2 : y, w, h: ht };
  }
  const inside = (b, a) => b.x >= a.x && b.y >= a.y && b.x + b.w <= a.x + a.w && b.y + b.h <= a.y + a.h;
  const meets = (b, c) => b.x < c.x + c.w && c.x < b.x + b.w && b.y < c.y + c.h && c.y < b.y + b.h;
  function segmentsCross([p, q], [r, s]) {
    const cross = (o, a, b) => (a[0] - o[0]) * (b[1] - o[1]) - (a[1] - o[1]) * (b[0] - o[0]);
    const d1 = cross(r, s, p), d2 = cross(r, s, q), d3 = cross(p, q, r), d4 = cross(p, q, s);
    return ((d1 > 0) !== (d2 > 0)) && ((d3 > 0) !== (d4 > 0));
  }
  // A segment meets a box: an end inside it, or a crossing of one of its edges.
  function crosses(b, seg) {
    const within = ([x, y]) => x >= b.x && x <= b.x + b.w && y >= b.y && y <= b.y + b.h;
    if (within(seg[0]) || within(seg[1])) return true;
    const c = [[b.x, b.y], [b.x + b.w, b.y], [b.x + b.w, b.y + b.h], [b.x, b.y + b.h]];
    return [0, 1, 2, 3].some((i) => segmentsCross(seg, [c[i], c[(i + 1) % 4]]));
  }
  // The candidate meeting no taken box and the fewest segments (each of lines[k] counting
  // weights[k]); lines[skip] is the line the text labels, which it may touch.
  function clearest(candidates, area, lines, weights, taken, skip = -1) {
    let best = candidates[0], bestScore = Infinity;
    for (const b of candidates) {
      let score = inside(b, area) ? 0 : 1e9;
      for (const t of taken) score += meets(b, t) ? 1e6 : 0;
      lines.forEach((line, k) => {
        if (k === skip) return;
        for (let i = 0; i + 1 < line.length; ++i) score += crosses(b, [line[i], line[i + 1]]) ? weights[k] : 0;
      });
      if (score < bestScore) { best = b; bestScore = score; }
    }
    return best;
  }
  // The words of a text in lines no wider than width (its own line breaks kept).
  function wrap(text, px, width) {
    const lines = [];
    for (const paragraph of String(text).split('\n')) {
      let line = '';
      for (const word of paragraph.split(' ')) {
        const next = line === '' ? word : line + ' ' + word;
        if (line !== '' && textWidth(next, px, false) > width) { lines.push(line); line = word; }
        else line = next;
      }
      lines.push(line);
    }
    return lines;
  }
  const tickText = (t, step) => {
    const v = Math.round(t / step) * step;
    return String(Number((Math.abs(v) < step * 1e-9 ? 0 : v).toPrecision(10)));
  };
  const pathOf = (points, close) =>
    points.map(([x, y], i) => `${i ? 'L' : 'M'}${x.toFixed(2)},${y.toFixed(2)}`).join('') + (close ? 'Z' : '');

  // A panel's frame: the SVG, its clipped plot group, the mapping from plot units and the
  // plot area. Axes, titles, legend and caption come with finish().
  function frame(title, xAxis, yAxis, xTitle, yTitle) {
    const svg = el('svg', { xmlns: svgNS, viewBox: `0 0 ${panelWidth} ${panelHeight}`, width: panelWidth,
                            height: panelHeight, role: 'img', 'font-family': fontFamily, 'font-size': 12 });
    svg.appendChild(el('title', {}, title));
    svg.appendChild(el('rect', { x: 0, y: 0, width: panelWidth, height: panelHeight, fill: '#fff' }));
    const area = { x: plotLeft, y: plotTop, w: plotSize, h: plotSize };
    const sx = (x) => area.x + (x - xAxis.lower) / (xAxis.upper - xAxis.lower) * area.w;
    const sy = (y) => area.y + area.h - (y - yAxis.lower) / (yAxis.upper - yAxis.lower) * area.h;
    const clip = el('clipPath', { id: 'c' + Math.random().toString(36).slice(2) });
    clip.appendChild(el('rect', { x: area.x, y: area.y, width: area.w, height: area.h }));
    svg.appendChild(clip);
    const plot = el('g', { 'clip-path': `url(#${clip.id})` });
    svg.appendChild(plot);
    return { svg, plot, sx, sy, area, title, xAxis, yAxis, xTitle, yTitle };
  }
  // A text with a white box behind it, so that lines under it do not hide it.
  function boxedText(parent, b, text, attrs = {}) {
    const g = el('g', { 'data-label': text });
    g.appendChild(el('rect', { x: b.x, y: b.y, width: b.w, height: b.h, fill: '#fff', 'fill-opacity': 0.86 }));
    g.appendChild(el('text', { x: b.x + b.w / 2, y: b.y + b.h / 2, 'text-anchor': 'middle',
                               'dominant-baseline': 'central', ...attrs }, text));
    parent.appendChild(g);
  }
  // The frame, ticks, titles, the legend (entries [text, swatch(x, y) -> element]) in one
  // row under the plot area or one per row where a row is too wide, and the caption.
  function finish(f, legend, caption) {
    const { svg, area } = f;
    svg.appendChild(el('rect', { x: area.x, y: area.y, width: area.w, height: area.h, fill: 'none', stroke: '#000' }));
    const bottom = area.y + area.h;
    for (const t of f.xAxis.ticks) {
      svg.appendChild(el('line', { x1: f.sx(t), x2: f.sx(t), y1: bottom, y2: bottom + 5, stroke: '#000' }));
      svg.appendChild(el('text', { x: f.sx(t), y: bottom + 18, 'text-anchor': 'middle' }, tickText(t, f.xAxis.step)));
    }
    for (const t of f.yAxis.ticks) {
      svg.appendChild(el('line', { x1: area.x - 5, x2: area.x, y1: f.sy(t), y2: f.sy(t), stroke: '#000' }));
      svg.appendChild(el('text', { x: area.x - 8, y: f.sy(t) + 4, 'text-anchor': 'end' }, tickText(t, f.yAxis.step)));
    }
    svg.appendChild(el('text', { x: area.x + area.w / 2, y: bottom + 36, 'text-anchor': 'middle', 'font-size': 13 }, f.xTitle));
    const mid = area.y + area.h / 2;
    svg.appendChild(el('text', { x: area.x - 46, y: mid, 'text-anchor': 'middle', 'font-size': 13,
                                 transform: `rotate(-90 ${area.x - 46} ${mid})` }, f.yTitle));
    svg.appendChild(el('text', { x: area.x + area.w / 2, y: 26, 'text-anchor': 'middle', 'font-size': 15,
                                 'font-weight': 'bold' }, f.title));
    const gap = 16, room = swatchWidth + 4, ht = lineHeight(12) + 2;
    const widths = legend.map(([text]) => room + textWidth(text, 12, false) + 6);
    const row = widths.reduce((s, w) => s + w + gap, -gap);
    const oneRow = row <= panelWidth - 20;
    let x = area.x + area.w / 2 - row / 2, top = bottom + legendOffset;
    const g = el('g', { 'data-legend': '' });
    legend.forEach(([text, swatch], k) => {
      if (!oneRow) x = Math.max(10, area.x + area.w / 2 - widths[k] / 2);
      g.appendChild(swatch(x, top + ht / 2 - swatchHeight / 2));
      g.appendChild(el('text', { x: x + room, y: top + ht / 2, 'dominant-baseline': 'central' }, text));
      if (oneRow) x += widths[k] + gap; else top += ht;
    });
    svg.appendChild(g);
    const lines = wrap(caption, 12, area.w + 60);
    const first = top + ht + 6 + 12;
    lines.forEach((line, i) => svg.appendChild(el('text', { x: area.x - 50, y: first + 15 * i, 'data-caption': '' }, line)));
    const height = Math.max(panelHeight, Math.ceil(first + 15 * (lines.length - 1) + 8));
    svg.setAttribute('viewBox', `0 0 ${panelWidth} ${height}`);
    svg.setAttribute('height', height);
    svg.children[1].setAttribute('height', height);
    return svg;
  }
  const lineSwatch = (stroke, width, dash) => (x, y) => el('line', { x1: x, x2: x + swatchWidth, y1: y + swatchHeight / 2,
    y2: y + swatchHeight / 2, stroke, 'stroke-width': width, ...(dash ? { 'stroke-dasharray': dash } : {}) });
  const fillSwatch = (fill, stroke) => (x, y) => el('rect', { x, y, width: swatchWidth, height: swatchHeight, fill,
                                                                ...(stroke ? { stroke, 'stroke-width': 1.8, rx: 6 } : {}) });

  // The case among the controls: the ellipses (the innermost shaded), the dashed line
  // z_x = z_y corner to corner (both axes share one range), the case's point; labels clear
  // of the lines, of the dashed line above all.
  function casePanel(c) {
    const f = frame(c.title, c.x_axis, c.y_axis, c.x_title, c.y_title);
    const lines = c.ellipses.map((e) => { const l = e.points.map(([x, y]) => [f.sx(x), f.sy(y)]); l.push(l[0]); return l; });
    lines.push([[f.sx(c.x_axis.lower), f.sy(c.x_axis.lower)], [f.sx(c.x_axis.upper), f.sy(c.x_axis.upper)]]);
    const widths = [2.4, 1.8, 1.2];
    lines.slice(0, -1).forEach((l, e) => f.plot.appendChild(el('path', { d: pathOf(l.slice(0, -1), true), stroke: blue,
      'stroke-width': widths[Math.min(e, 2)], fill: e === 0 ? regionFill : 'none' })));
    const [d0, d1] = lines[lines.length - 1];
    f.plot.appendChild(el('line', { x1: d0[0], y1: d0[1], x2: d1[0], y2: d1[1], stroke: darkGrey, 'stroke-width': 1.5,
                                    'stroke-dasharray': '6 4', 'data-diagonal': '' }));
    const weights = lines.map((_, k) => (k === lines.length - 1 ? 1000 : 1));
    const [px, py] = [f.sx(c.point[0]), f.sy(c.point[1])];
    const taken = [{ x: px - 8, y: py - 8, w: 16, h: 16 }];
    const labels = [];
    c.ellipses.forEach((e, k) => {
      const l = lines[k];
      const pick = (better) => l.reduce((a, b) => (better(b, a) ? b : a));
      const extremes = [[pick((a, b) => a[1] < b[1]), 'bottom', [0, -2]], [pick((a, b) => a[0] > b[0]), 'left', [2, 0]],
                        [pick((a, b) => a[1] > b[1]), 'top', [0, 2]], [pick((a, b) => a[0] < b[0]), 'right', [-2, 0]]];
      const candidates = [];
      for (const [[x, y], out, [dx, dy]] of extremes) {
        const vertical = out === 'top' || out === 'bottom';
        for (const across of vertical ? ['center', 'right', 'left'] : ['middle', 'bottom', 'top']) {
          candidates.push(vertical ? textBox(e.label, 12, false, x + dx, y + dy, across, out)
                                   : textBox(e.label, 12, false, x + dx, y + dy, out, across));
        }
      }
      const b = clearest(candidates, f.area, lines, weights, taken, k);
      labels.push([b, e.label]);
      taken.push(b);
    });
    labels.forEach(([b, text]) => boxedText(f.plot, b, text, { fill: labelBlue }));
    f.plot.appendChild(el('circle', { cx: px, cy: py, r: 6, fill: vermillion, stroke: '#000', 'stroke-width': 1.2 }));
    // The case's label beside its point, away from the middle first, then above and below
    // it slid sideways.
    const xAway = px < f.area.x + f.area.w / 2 ? 'right' : 'left', xToward = xAway === 'right' ? 'left' : 'right';
    const yAway = py < f.area.y + f.area.h / 2 ? 'bottom' : 'top', yToward = yAway === 'bottom' ? 'top' : 'bottom';
    const off = (h, v) => [h === 'right' ? -8 : h === 'left' ? 8 : 0, v === 'bottom' ? -8 : v === 'top' ? 8 : 0];
    const box = (h, v, dx = 0) => {
      const [ox, oy] = off(h, v);
      return textBox(c.point_label, 12, true, px + ox + dx, py + oy, h, v);
    };
    const candidates = [[xAway, yAway], [xAway, yToward], [xToward, yAway], [xToward, yToward], [xAway, 'middle'],
                        [xToward, 'middle'], ['center', yAway], ['center', yToward]].map(([h, v]) => box(h, v));
    const width = candidates[0].w, reach = width / 2 + 8 + width / 4;
    for (const v of [yAway, yToward]) for (let dx = -reach; dx <= reach; dx += width / 8) candidates.push(box('center', v, dx));
    boxedText(f.plot, clearest(candidates, f.area, lines, weights, taken), c.point_label, { 'font-weight': 'bold' });
    return finish(f, [[c.regions_label || 'controls\' 50/95/99 % regions', fillSwatch(regionFill, blue)],
                      [c.diagonal_label || 'z_x = z_y', lineSwatch(darkGrey, 1.5, '6 4')]], c.caption);
  }

  // One task: the controls' density, its central 95 % shaded, the case's z as a line.
  function taskPanel(t) {
    const f = frame(t.title, t.x_axis, t.y_axis, t.x_title, t.y_title);
    const curve = t.density.map(([x, y]) => [f.sx(x), f.sy(y)]);
    const central = [[f.sx(t.central[0]), f.sy(0)], ...t.density.filter(([x]) => x >= t.central[0] && x <= t.central[1])
      .map(([x, y]) => [f.sx(x), f.sy(y)]), [f.sx(t.central[1]), f.sy(0)]];
    f.plot.appendChild(el('path', { d: pathOf(central, true), fill: regionFill, stroke: 'none' }));
    f.plot.appendChild(el('path', { d: pathOf(curve, false), fill: 'none', stroke: blue, 'stroke-width': 2.4 }));
    const x = f.sx(t.case_z);
    const caseLine = [[x, f.area.y], [x, f.area.y + f.area.h]];
    for (const [stroke, width] of [['#fff', 4], [vermillion, 2.4]]) {
      f.plot.appendChild(el('line', { x1: x, x2: x, y1: caseLine[0][1], y2: caseLine[1][1], stroke, 'stroke-width': width }));
    }
    const away = t.case_z < 0 ? 'right' : 'left', toward = away === 'right' ? 'left' : 'right';
    const candidates = [];
    for (let h = 0.05; h < 0.95; h += 0.1) {
      for (const side of [away, toward]) {
        candidates.push(textBox(t.point_label, 12, true, x + (side === 'left' ? 6 : -6), f.area.y + h * f.area.h, side, 'top'));
      }
    }
    boxedText(f.plot, clearest(candidates, f.area, [curve, caseLine], [1000, 1000], []), t.point_label, { 'font-weight': 'bold' });
    return finish(f, [[t.central_label, fillSwatch(regionFill)], [t.curve_label, lineSwatch(blue, 2.4)]], t.caption);
  }

  // The posterior: the credible interval shaded, the histogram, the lines at 0 and at the
  // estimate on white halos; the estimate and the interval are named in the legend.
  function posteriorPanel(q) {
    const f = frame(q.title, q.x_axis, q.y_axis, q.x_title, q.y_title);
    const [top, bottom] = [f.area.y, f.area.y + f.area.h];
    f.plot.appendChild(el('rect', { x: f.sx(q.interval[0]), y: top, width: Math.max(0, f.sx(q.interval[1]) - f.sx(q.interval[0])),
                                    height: f.area.h, fill: band }));
    const bars = q.bars.filter(([, , d]) => d > 0).map(([l, r, d]) => {
      const [x0, x1, y] = [f.sx(l), f.sx(r), f.sy(d)];
      return `M${x0.toFixed(2)},${bottom}V${y.toFixed(2)}H${x1.toFixed(2)}V${bottom}Z`;
    }).join('');
    f.plot.appendChild(el('path', { d: bars, fill: blue, stroke: 'none' }));
    for (const [x, stroke, width] of [[0, '#000', 1.2], [q.zdcc, vermillion, 2.4]]) {
      f.plot.appendChild(el('line', { x1: f.sx(x), x2: f.sx(x), y1: top, y2: bottom, stroke: '#fff', 'stroke-width': width + 1.6 }));
      f.plot.appendChild(el('line', { x1: f.sx(x), x2: f.sx(x), y1: top, y2: bottom, stroke, 'stroke-width': width }));
    }
    return finish(f, [[q.interval_label, fillSwatch(band)], [q.estimate_label, lineSwatch(vermillion, 2.4)]], q.caption);
  }

  let runTitle = '';
  // Draws every panel of the geometry: the task (one task) or the case, and the posterior.
  function drawPlots(p) {
    if (!p) { $('plots').hidden = true; return; }
    runTitle = p.title;
    $('plotTitle').textContent = p.title;
    const first = p.task || p.case;
    $('casePlot').replaceChildren(p.task ? taskPanel(p.task) : casePanel(p.case));
    $('caseCaption').textContent = first.caption;
    $('posteriorPlot').replaceChildren(posteriorPanel(p.posterior));
    $('posteriorCaption').textContent = p.posterior.caption;
    $('plots').hidden = false;
  }
  K.drawPlots = drawPlots;
  K.plotElement = el;
  K.plotFrame = frame;

  // A panel for export or print: the run's inputs and options above it.
  function exported(id) {
    const panel = $(id).firstChild;
    const { width, height } = panel.viewBox.baseVal;
    const lines = wrap(runTitle, 12, width - 20);
    const head = 15 * lines.length + 10;
    const svg = el('svg', { xmlns: svgNS, viewBox: `0 0 ${width} ${height + head}`, width, height: height + head,
                            role: 'img', 'font-family': fontFamily, 'font-size': 12 });
    svg.appendChild(el('title', {}, `${panel.firstChild.textContent}: ${runTitle}`));
    svg.appendChild(el('rect', { x: 0, y: 0, width, height: height + head, fill: '#fff' }));
    lines.forEach((line, i) => svg.appendChild(el('text', { x: 10, y: 18 + 15 * i }, line)));
    const g = el('g', { transform: `translate(0 ${head})` });
    for (const child of [...panel.childNodes].slice(1)) g.appendChild(child.cloneNode(true));
    svg.appendChild(g);
    return svg;
  }
  K.exportedPlots = () => ($('plots').hidden ? [] : [exported('casePlot'), exported('posteriorPlot')]);
  function svgText(id) {
    return '<?xml version="1.0" encoding="UTF-8"?>\n' + new XMLSerializer().serializeToString(exported(id));
  }
  function savePng(id, name) {
    const svg = exported(id);
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
