// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/plot_layout.h"

#include <QFontMetricsF>
#include <algorithm>
#include <iterator>
#include <limits>

namespace plot_layout {

QFont Font(int pixel_size, bool bold) {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(pixel_size);
  font.setBold(bold);
  return font;
}

// The box that a boxed text of this font takes, anchored as Qt's alignment flags say.
QRectF Text_box(const QFont& font, const QString& text, const QPointF& anchor,
                Qt::Alignment align) {
  const QFontMetricsF metrics(font);
  QRectF box(0, 0, metrics.horizontalAdvance(text) + 6, metrics.height() + 2);
  if (align & Qt::AlignRight) box.moveRight(anchor.x());
  else if (align & Qt::AlignHCenter) box.moveLeft(anchor.x() - box.width() / 2);
  else box.moveLeft(anchor.x());
  if (align & Qt::AlignBottom) box.moveBottom(anchor.y());
  else if (align & Qt::AlignVCenter) box.moveTop(anchor.y() - box.height() / 2);
  else box.moveTop(anchor.y());
  return box;
}

bool Crosses(const QRectF& box, const QLineF& line) {
  if (box.contains(line.p1()) || box.contains(line.p2())) return true;
  const QLineF edges[] = {{box.topLeft(), box.topRight()}, {box.topRight(), box.bottomRight()},
                          {box.bottomRight(), box.bottomLeft()}, {box.bottomLeft(), box.topLeft()}};
  return std::any_of(std::begin(edges), std::end(edges), [&](const QLineF& edge) {
    return edge.intersects(line, nullptr) == QLineF::BoundedIntersection;
  });
}

// Of the candidate boxes inside the area, the one that meets no box already placed and
// the fewest drawn lines, each segment of lines[k] met counting weights[k] (the first of
// equals, so candidates go in order of preference); lines[skip] is the line the text
// labels, which it may touch.
QRectF Clearest(const std::vector<QRectF>& candidates, const QRectF& area,
                const std::vector<QPolygonF>& lines, const std::vector<double>& weights,
                const std::vector<QRectF>& taken, std::size_t skip) {
  QRectF best = candidates.front();
  double best_score = std::numeric_limits<double>::infinity();
  for (const QRectF& box : candidates) {
    double score = area.contains(box) ? 0 : 1e9;
    for (const QRectF& other : taken) score += box.intersects(other) ? 1e6 : 0;
    for (std::size_t k = 0; k < lines.size(); ++k) {
      if (k == skip) continue;
      for (qsizetype i = 0; i + 1 < lines[k].size(); ++i)
        score += Crosses(box, QLineF(lines[k][i], lines[k][i + 1])) ? weights[k] : 0;
    }
    if (score < best_score) {
      best = box;
      best_score = score;
    }
  }
  return best;
}

// The legend's entries in one row centred under the plot area, or one entry per row where
// one row is wider than the panel; each entry is its swatch and its text.
std::vector<tPlaced_text> Legend(const QRectF& area, double left,
                                 const std::vector<QString>& entries) {
  const QFont font = Font(12);
  const QFontMetricsF metrics(font);
  constexpr double kGap = 16, kSwatch_room = kSwatch_width + 4;
  std::vector<double> widths;
  double row = -kGap;
  for (const QString& entry : entries) {
    widths.push_back(kSwatch_room + metrics.horizontalAdvance(entry) + 6);
    row += widths.back() + kGap;
  }
  const bool one_row = row <= kPanel_width - 20;
  std::vector<tPlaced_text> legend;
  double x = area.center().x() - row / 2, top = area.bottom() + kLegend_offset;
  for (std::size_t k = 0; k < entries.size(); ++k) {
    if (!one_row) x = std::max(left + 10, area.center().x() - widths[k] / 2);
    legend.push_back({entries[k], QRectF(x, top, widths[k], metrics.height() + 2)});
    if (one_row) x += widths[k] + kGap;
    else top += metrics.height() + 2;
  }
  return legend;
}

tFrame Case_frame(const tCase_plot& plot, double left) {
  return {QRectF(left + kPlot_left, kPlot_top, kPlot_size, kPlot_size), plot.X_axis, plot.Y_axis};
}

tFrame Posterior_frame(const tPosterior_plot& plot, double left) {
  return {QRectF(left + kPlot_left, kPlot_top, kPlot_size, kPlot_size), plot.X_axis, plot.Y_axis};
}

tFrame Task_frame(const tTask_plot& plot, double left) {
  return {QRectF(left + kPlot_left, kPlot_top, kPlot_size, kPlot_size), plot.X_axis, plot.Y_axis};
}

}  // namespace plot_layout
