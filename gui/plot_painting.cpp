// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/plots_window.h"

#include <QFontMetricsF>
#include <QLineF>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <limits>

namespace {

// Okabe and Ito's palette for colour-blind readers ("Color Universal Design", 2002); the
// shades used together also differ in lightness, and the lines in width or dash, so that
// a grey print keeps them apart.
const QColor kBlue(0x00, 0x72, 0xB2);
const QColor kSky_blue(0x56, 0xB4, 0xE9);
const QColor kOrange(0xE6, 0x9F, 0x00);
const QColor kVermillion(0xD5, 0x5E, 0x00);
const QColor kDark_grey(0x40, 0x40, 0x40);

// Layout of a panel in logical units: its plot area is a square, so that the case's panel
// has equal scales on both axes. Below it stand the tick labels, the axis title, the
// legend and the caption.
constexpr double kPanel_width = kPlots_width / 2.0;
constexpr double kPlot_left = 64, kPlot_top = 40, kPlot_size = 400;
constexpr double kLegend_offset = 44;  // from the plot area's bottom to the legend's top
constexpr double kSwatch_width = 22, kSwatch_height = 12;

QString Text(const std::string& text) { return QString::fromStdString(text); }

QFont Font(int pixel_size, bool bold = false) {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(pixel_size);
  font.setBold(bold);
  return font;
}

// A tick's label: at most 10 significant digits, with no rounding noise and no "-0".
QString Tick_label(double value, double step) {
  value = std::round(value / step) * step;
  if (std::abs(value) < step * 1e-9) value = 0;
  return QString::number(value, 'g', 10);
}

// Maps plot units into one panel's plot area.
struct tFrame {
  QRectF Area;
  tAxis X, Y;
  QPointF Map(double x, double y) const {
    return {Area.left() + (x - X.Lower) / (X.Upper - X.Lower) * Area.width(),
            Area.bottom() - (y - Y.Lower) / (Y.Upper - Y.Lower) * Area.height()};
  }
  double Map_x(double x) const { return Map(x, Y.Lower).x(); }
};

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

// Text with a white box behind it, so that lines under it do not make it hard to read.
void Boxed_text(QPainter& p, const QRectF& box, const QString& text) {
  p.fillRect(box, QColor(255, 255, 255, 220));
  p.drawText(box, Qt::AlignCenter, text);
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
                const std::vector<QRectF>& taken, std::size_t skip = SIZE_MAX) {
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

// The frame, the ticks with their labels, the axis titles, the panel's title, the legend
// with its swatches drawn by swatch(k, box), and the caption below the legend.
template <typename tSwatch>
void Draw_axes(QPainter& p, const tFrame& f, const QString& title, const QString& x_title,
               const QString& y_title, const std::vector<tPlaced_text>& legend,
               tSwatch&& swatch, const QString& caption) {
  p.setPen(QPen(Qt::black, 1));
  p.setBrush(Qt::NoBrush);
  p.drawRect(f.Area);
  p.setFont(Font(12));
  constexpr double kTick = 5;
  for (double t : f.X.Ticks) {
    const double x = f.Map_x(t);
    p.drawLine(QPointF(x, f.Area.bottom()), QPointF(x, f.Area.bottom() + kTick));
    p.drawText(QRectF(x - 40, f.Area.bottom() + kTick, 80, 16), Qt::AlignHCenter | Qt::AlignTop,
               Tick_label(t, f.X.Step));
  }
  for (double t : f.Y.Ticks) {
    const double y = f.Map(f.X.Lower, t).y();
    p.drawLine(QPointF(f.Area.left() - kTick, y), QPointF(f.Area.left(), y));
    p.drawText(QRectF(f.Area.left() - kTick - 52, y - 8, 50, 16), Qt::AlignRight | Qt::AlignVCenter,
               Tick_label(t, f.Y.Step));
  }
  p.setFont(Font(13));
  p.drawText(QRectF(f.Area.left(), f.Area.bottom() + 22, f.Area.width(), 18), Qt::AlignCenter,
             x_title);
  p.save();
  p.translate(f.Area.left() - 46, f.Area.center().y());
  p.rotate(-90);
  p.drawText(QRectF(-f.Area.height() / 2, -16, f.Area.height(), 16), Qt::AlignCenter, y_title);
  p.restore();
  p.setFont(Font(15, true));
  p.drawText(QRectF(f.Area.left(), 8, f.Area.width(), 24), Qt::AlignCenter, title);

  p.setFont(Font(12));
  double top = f.Area.bottom() + kLegend_offset;
  for (std::size_t k = 0; k < legend.size(); ++k) {
    const QRectF& box = legend[k].Box;
    p.save();
    swatch(k, QRectF(box.left(), box.center().y() - kSwatch_height / 2, kSwatch_width,
                     kSwatch_height));
    p.restore();
    p.setPen(Qt::black);
    p.drawText(box.adjusted(kSwatch_width + 4, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
               legend[k].Text);
    top = std::max(top, box.bottom());
  }
  top += 6;
  p.drawText(QRectF(f.Area.left() - 50, top, f.Area.width() + 60, kPlots_height - top),
             Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, caption);
}

tFrame Case_frame(const tCase_plot& plot, double left) {
  return {QRectF(left + kPlot_left, kPlot_top, kPlot_size, kPlot_size), plot.X_axis, plot.Y_axis};
}

tFrame Posterior_frame(const tPosterior_plot& plot, double left) {
  return {QRectF(left + kPlot_left, kPlot_top, kPlot_size, kPlot_size), plot.X_axis, plot.Y_axis};
}

const QColor kRegion_fill(kSky_blue.red(), kSky_blue.green(), kSky_blue.blue(), 70);
const QColor kBand(kOrange.red(), kOrange.green(), kOrange.blue(), 90);

void Draw_case_panel(QPainter& p, const tCase_plot& plot, double left) {
  const tFrame f = Case_frame(plot, left);
  const tPanel_texts texts = Case_panel_texts(plot, left);
  p.save();
  p.setClipRect(f.Area);
  // The ellipses, the innermost shaded; widths fall as the coverage grows; then the line
  // z_x = z_y (the last of the panel's lines).
  const double widths[] = {2.4, 1.8, 1.2};
  for (std::size_t e = 0; e < plot.Ellipses.size(); ++e) {
    p.setPen(QPen(kBlue, widths[std::min<std::size_t>(e, 2)]));
    p.setBrush(e == 0 ? QBrush(kRegion_fill) : QBrush(Qt::NoBrush));
    p.drawPolygon(texts.Lines[e]);
  }
  p.setPen(QPen(kDark_grey, 1.5, Qt::DashLine));
  p.drawPolyline(texts.Lines.back());
  p.setPen(kBlue.darker(130));
  p.setFont(Font(12));
  for (std::size_t e = 0; e < plot.Ellipses.size(); ++e)
    Boxed_text(p, texts.Labels[e].Box, texts.Labels[e].Text);
  // The case: a filled point with its label.
  p.setPen(QPen(Qt::black, 1.2));
  p.setBrush(kVermillion);
  p.drawEllipse(f.Map(plot.Case.X, plot.Case.Y), 6, 6);
  p.setPen(Qt::black);
  p.setFont(Font(12, true));
  Boxed_text(p, texts.Labels.back().Box, texts.Labels.back().Text);
  p.restore();
  Draw_axes(p, f, Text(plot.Title), Text(plot.X_title),
            Text(plot.Y_title), texts.Legend,
            [&](std::size_t k, const QRectF& swatch) {
              if (k == 0) {
                p.setPen(QPen(kBlue, 1.8));
                p.setBrush(kRegion_fill);
                p.drawEllipse(swatch);
              } else {
                p.setPen(QPen(kDark_grey, 1.5, Qt::DashLine));
                p.drawLine(QLineF(swatch.left(), swatch.center().y(), swatch.right(),
                                  swatch.center().y()));
              }
            },
            Text(plot.Caption));
}

tFrame Task_frame(const tTask_plot& plot, double left) {
  return {QRectF(left + kPlot_left, kPlot_top, kPlot_size, kPlot_size), plot.X_axis, plot.Y_axis};
}

// The controls' density with its central 95 % shaded, and the case's z as a line with its
// label.
void Draw_task_panel(QPainter& p, const tTask_plot& plot, double left) {
  const tFrame f = Task_frame(plot, left);
  const tPanel_texts texts = Task_panel_texts(plot, left);
  p.save();
  p.setClipRect(f.Area);
  QPolygonF central;
  central << f.Map(plot.Central_lower, 0);
  for (const tPlot_point& point : plot.Density)
    if (point.X >= plot.Central_lower && point.X <= plot.Central_upper) central << f.Map(point.X, point.Y);
  central << f.Map(plot.Central_upper, 0);
  p.setPen(Qt::NoPen);
  p.setBrush(kRegion_fill);
  p.drawPolygon(central);
  p.setPen(QPen(kBlue, 2.4));
  p.setBrush(Qt::NoBrush);
  p.drawPolyline(texts.Lines[0]);
  p.setPen(QPen(Qt::white, 4));
  p.drawPolyline(texts.Lines[1]);
  p.setPen(QPen(kVermillion, 2.4));
  p.drawPolyline(texts.Lines[1]);
  p.setPen(Qt::black);
  p.setFont(Font(12, true));
  Boxed_text(p, texts.Labels[0].Box, texts.Labels[0].Text);
  p.restore();
  Draw_axes(p, f, Text(plot.Title), Text(plot.X_title), Text(plot.Y_title), texts.Legend,
            [&](std::size_t k, const QRectF& swatch) {
              if (k == 0) {
                p.fillRect(swatch, kRegion_fill);
              } else {
                p.setPen(QPen(kBlue, 2.4));
                p.drawLine(QLineF(swatch.left(), swatch.center().y(), swatch.right(),
                                  swatch.center().y()));
              }
            },
            Text(plot.Caption));
}

void Draw_posterior_panel(QPainter& p, const tPosterior_plot& plot, double left) {
  const tFrame f = Posterior_frame(plot, left);
  const tPanel_texts texts = Posterior_panel_texts(plot, left);
  p.save();
  p.setClipRect(f.Area);
  // The credible interval, shaded over the whole height.
  p.fillRect(QRectF(QPointF(f.Map_x(plot.Interval_lower), f.Area.top()),
                    QPointF(f.Map_x(plot.Interval_upper), f.Area.bottom())),
             kBand);
  // The bars, as one path so that neighbours leave no hairline gaps.
  QPainterPath bars;
  for (const tHistogram_bar& bar : plot.Bars) {
    if (bar.Density <= 0) continue;
    bars.addRect(QRectF(f.Map(bar.Left, bar.Density), f.Map(bar.Right, 0)));
  }
  p.setPen(Qt::NoPen);
  p.setBrush(kBlue);
  p.drawPath(bars.simplified());
  // The line at 0 and the point estimate, each on a white halo so that it stands out
  // from the bars also in a grey print.
  const auto vertical = [&](const QPolygonF& line, const QPen& pen) {
    p.setPen(QPen(Qt::white, pen.widthF() + 1.6));
    p.drawPolyline(line);
    p.setPen(pen);
    p.drawPolyline(line);
  };
  vertical(texts.Lines[0], QPen(Qt::black, 1.2));
  vertical(texts.Lines[1], QPen(kVermillion, 2.4));
  p.restore();
  Draw_axes(p, f, Text(plot.Title), Text(plot.X_title),
            Text(plot.Y_title),
            texts.Legend,
            [&](std::size_t k, const QRectF& swatch) {
              if (k == 0) {
                p.fillRect(swatch, kBand);
              } else {
                p.setPen(QPen(kVermillion, 2.4));
                p.drawLine(QLineF(swatch.left(), swatch.center().y(), swatch.right(),
                                  swatch.center().y()));
              }
            },
            Text(plot.Caption));
}

}  // namespace

void Map_logical_box(QPainter& p, const QRect& device) {
  const double scale = std::min(device.width() / double(kPlots_width),
                                device.height() / double(kPlots_height));
  const QSize size(qRound(kPlots_width * scale), qRound(kPlots_height * scale));
  p.setViewport(QRect(device.topLeft() + QPoint((device.width() - size.width()) / 2,
                                                (device.height() - size.height()) / 2),
                      size));
  p.setWindow(0, 0, kPlots_width, kPlots_height);
}



tPanel_texts Case_panel_texts(const tCase_plot& plot, double left) {
  const tFrame f = Case_frame(plot, left);
  tPanel_texts texts;
  texts.Area = f.Area;
  for (const tCoverage_ellipse& e : plot.Ellipses) {
    QPolygonF polygon;
    for (const tPlot_point& point : e.Points) polygon << f.Map(point.X, point.Y);
    if (!polygon.isEmpty()) polygon << polygon.front();
    texts.Lines.push_back(polygon);
  }
  // Both axes share one range, so the line z_x = z_y runs corner to corner.
  texts.Lines.push_back(QPolygonF{f.Map(f.X.Lower, f.X.Lower), f.Map(f.X.Upper, f.X.Upper)});

  // Texts keep off the dashed line above all: there is always room on one side of it.
  std::vector<double> weights(texts.Lines.size(), 1.0);
  weights.back() = 1000;
  const QPointF c = f.Map(plot.Case.X, plot.Case.Y);
  std::vector<QRectF> taken = {QRectF(c - QPointF(8, 8), QSizeF(16, 16))};  // the case's point
  // Each ellipse's label just outside one of its four extremes, the top first, centred on
  // the extreme or beside it.
  const QFont label_font = Font(12);
  for (std::size_t e = 0; e < plot.Ellipses.size(); ++e) {
    const tCoverage_ellipse& ellipse = plot.Ellipses[e];
    const QString label = Text(ellipse.Label);
    const QPolygonF& line = texts.Lines[e];
    const auto extreme = [&](auto&& less) { return *std::max_element(line.begin(), line.end(), less); };
    const auto by_x = [](const QPointF& a, const QPointF& b) { return a.x() < b.x(); };
    const auto by_y = [](const QPointF& a, const QPointF& b) { return a.y() < b.y(); };
    const auto reversed = [](auto&& less) { return [less](const QPointF& a, const QPointF& b) { return less(b, a); }; };
    const struct {
      QPointF At;
      Qt::Alignment Outward;
      QPointF Step;
    } extremes[] = {{extreme(reversed(by_y)), Qt::AlignBottom, {0, -2}},
                    {extreme(by_x), Qt::AlignLeft, {2, 0}},
                    {extreme(by_y), Qt::AlignTop, {0, 2}},
                    {extreme(reversed(by_x)), Qt::AlignRight, {-2, 0}}};
    std::vector<QRectF> candidates;
    for (const auto& x : extremes) {
      const bool vertical = x.Outward & (Qt::AlignTop | Qt::AlignBottom);
      const Qt::Alignment across[] = {vertical ? Qt::AlignHCenter : Qt::AlignVCenter,
                                      vertical ? Qt::AlignRight : Qt::AlignBottom,
                                      vertical ? Qt::AlignLeft : Qt::AlignTop};
      for (const Qt::Alignment a : across)
        candidates.push_back(Text_box(label_font, label, x.At + x.Step, x.Outward | a));
    }
    const QRectF box = Clearest(candidates, f.Area, texts.Lines, weights, taken, e);
    texts.Labels.push_back({label, box});
    taken.push_back(box);
  }
  // The case's label beside its point, away from the middle first.
  const QString label = Text(plot.Case_label);
  const QFont case_font = Font(12, true);
  const Qt::Alignment x_away = c.x() < f.Area.center().x() ? Qt::AlignRight : Qt::AlignLeft;
  const Qt::Alignment x_toward = x_away == Qt::AlignRight ? Qt::AlignLeft : Qt::AlignRight;
  const Qt::Alignment y_away = c.y() < f.Area.center().y() ? Qt::AlignBottom : Qt::AlignTop;
  const Qt::Alignment y_toward = y_away == Qt::AlignBottom ? Qt::AlignTop : Qt::AlignBottom;
  const auto offset = [&](Qt::Alignment a) {
    return QPointF(a & Qt::AlignRight ? -8 : a & Qt::AlignLeft ? 8 : 0,
                   a & Qt::AlignBottom ? -8 : a & Qt::AlignTop ? 8 : 0);
  };
  std::vector<QRectF> candidates;
  for (const Qt::Alignment a :
       {x_away | y_away, x_away | y_toward, x_toward | y_away, x_toward | y_toward,
        x_away | Qt::AlignVCenter, x_toward | Qt::AlignVCenter, Qt::AlignHCenter | y_away,
        Qt::AlignHCenter | y_toward}) {
    candidates.push_back(Text_box(case_font, label, c + offset(a), a));
  }
  // Then above and below the point, slid sideways by eighths of the label's width, up to
  // a quarter of it beyond the point.
  const double width = candidates.front().width(), reach = width / 2 + 8 + width / 4;
  for (const Qt::Alignment a : {y_away, y_toward}) {
    for (double dx = -reach; dx <= reach; dx += width / 8)
      candidates.push_back(Text_box(case_font, label, c + offset(a) + QPointF(dx, 0),
                                    Qt::AlignHCenter | a));
  }
  texts.Labels.push_back({label, Clearest(candidates, f.Area, texts.Lines, weights, taken)});
  texts.Legend = Legend(f.Area, left, {Text(plot.Regions_label), Text(plot.Diagonal_label)});
  return texts;
}

// The case's label beside its line, high up where the curve leaves room, on the side away
// from the middle first.
tPanel_texts Task_panel_texts(const tTask_plot& plot, double left) {
  const tFrame f = Task_frame(plot, left);
  tPanel_texts texts;
  texts.Area = f.Area;
  QPolygonF curve;
  for (const tPlot_point& point : plot.Density) curve << f.Map(point.X, point.Y);
  texts.Lines.push_back(curve);
  const double x = f.Map_x(plot.Case_z);
  texts.Lines.push_back(QPolygonF{QPointF(x, f.Area.top()), QPointF(x, f.Area.bottom())});
  const QString label = Text(plot.Case_label);
  const QFont font = Font(12, true);
  const Qt::Alignment away = plot.Case_z < 0 ? Qt::AlignRight : Qt::AlignLeft;
  const Qt::Alignment toward = away == Qt::AlignRight ? Qt::AlignLeft : Qt::AlignRight;
  std::vector<QRectF> candidates;
  for (double height = 0.05; height < 0.95; height += 0.1)
    for (const Qt::Alignment side : {away, toward})
      candidates.push_back(Text_box(font, label,
                                    QPointF(x + (side == Qt::AlignLeft ? 6 : -6),
                                            f.Area.top() + height * f.Area.height()),
                                    side | Qt::AlignTop));
  texts.Labels.push_back({label, Clearest(candidates, f.Area, texts.Lines, {1000, 1000}, {})});
  texts.Legend = Legend(f.Area, left, {Text(plot.Central_label), Text(plot.Curve_label)});
  return texts;
}

tPanel_texts Posterior_panel_texts(const tPosterior_plot& plot, double left) {
  const tFrame f = Posterior_frame(plot, left);
  tPanel_texts texts;
  texts.Area = f.Area;
  for (const double x : {0.0, plot.Zdcc}) {
    texts.Lines.push_back(QPolygonF{QPointF(f.Map_x(x), f.Area.top()),
                                    QPointF(f.Map_x(x), f.Area.bottom())});
  }
  texts.Legend = Legend(f.Area, left, {Text(plot.Interval_label), Text(plot.Estimate_label)});
  return texts;
}

void Paint_result_plots(QPainter& painter, const tResult_plots& plots) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.fillRect(QRectF(0, 0, kPlots_width, kPlots_height), Qt::white);
  if (plots.One_task) Draw_task_panel(painter, plots.Task, 0);
  else Draw_case_panel(painter, plots.Case, 0);
  Draw_posterior_panel(painter, plots.Posterior, kPanel_width);
  painter.restore();
}

